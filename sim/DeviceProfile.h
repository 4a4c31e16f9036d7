#pragma once
// The device's build: flash layout, identification words and settings layouts, taken from a
// package's verup.dat (the same file the tool reads) or from the built-in demo package.
#include <cstddef>
#include <optional>
#include <string>

#include "package/Config.h"

namespace devsim {

struct DeviceProfile {
    verup::Config Cfg;                      // AREA values, KIKI1, NUM_LEN, ...
    verup::SettingsLayoutTable OldLayout;   // O_SAVE: firmware before 1.1
    verup::SettingsLayoutTable NewLayout;   // N_SAVE: firmware 1.1 and later

    std::size_t SectorBytes() const { return static_cast<std::size_t>(Cfg.SECT_END_ADR) + 1; }
    // PROG_RAM_END_ADR - PROG_RAM_STR_ADR + 1
    std::size_t ProgramBytes() const { return static_cast<std::size_t>(Cfg.PROG_RAM_END_ADR - Cfg.PROG_RAM_STR_ADR) + 1; }
    const verup::SettingsLayoutTable& LayoutFor(bool new_layout) const { return new_layout ? NewLayout : OldLayout; }

    // The profile of `make-package` with its default options.
    static DeviceProfile Demo();
    // Reads DIR/verup.dat; nullopt (with a reason) when it is missing or its layout does not fit.
    static std::optional<DeviceProfile> FromPackage(const std::string& dir, std::string* error);
    // Empty when the layout fits the simulated flash, else why not.
    std::string Check() const;
};

}  // namespace devsim
