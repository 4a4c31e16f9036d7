#pragma once
// COM number <-> combo index of the ten COM entries, and the entries' texts.
#include <cstddef>
#include <string>

#include "platform/SerialPortNames.h"
#include "ui/ConnectionTexts.h"

namespace verup {

// A number outside 1 ... 10 selects nothing (-1).
constexpr int ComIndexOf(int com_number) { return com_number >= 1 && com_number <= COM_ENTRY_COUNT ? com_number - 1 : -1; }
// Nothing selected (-1) gives 0, which names no port.
constexpr int ComNumberOf(int index) { return index + 1; }

// The text of combo entry `index` in the window: the COM name, and what it stands for on this
// machine when a port is there ("COM1 (/dev/ttyUSB0)"); the automatic entry as it is.
inline std::string ComEntryText(int index)
{
    const std::string name(kComEntries[static_cast<std::size_t>(index)]);
    if (index + 1 == COM_AUTOMATIC)
        return name;
    const std::string target = ComNameTarget(name);
    return target.empty() ? name : name + " (" + target + ")";
}

}  // namespace verup
