#pragma once
// COM number <-> combo index of the ten COM entries.
#include "ui/ConnectionTexts.h"

namespace verup {

// A number outside 1 ... 10 selects nothing (-1).
constexpr int ComIndexOf(int com_number) { return com_number >= 1 && com_number <= COM_ENTRY_COUNT ? com_number - 1 : -1; }
// Nothing selected (-1) gives 0, which names no port.
constexpr int ComNumberOf(int index) { return index + 1; }

}  // namespace verup
