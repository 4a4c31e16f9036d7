#include "DeviceProfile.h"

#include <filesystem>

#include "PackageMaker.h"
#include "package/ConfigReader.h"
#include "platform/ProfileFile.h"

namespace devsim {

DeviceProfile DeviceProfile::Demo()
{
    DeviceProfile p;
    p.Cfg = MakeConfig(PackageOptions{});
    p.OldLayout = OldSettingsLayout();
    p.NewLayout = NewSettingsLayout();
    return p;
}

std::optional<DeviceProfile> DeviceProfile::FromPackage(const std::string& dir, std::string* error)
{
    const std::filesystem::path path = std::filesystem::path(dir) / "verup.dat";
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        if (error)
            *error = path.string() + ": no such file";
        return std::nullopt;
    }
    const verup::ProfileFile file(path.string());
    DeviceProfile p;
    verup::ReadConfig(file, p.Cfg);
    p.NewLayout = verup::ReadSettingsLayout(file, "N_SAVE");
    if (p.NewLayout.BlockCount == 0)
        p.NewLayout = verup::ReadSettingsLayout(file, "C_SAVE");
    p.OldLayout = verup::ReadSettingsLayout(file, "O_SAVE");
    const std::string problem = p.Check();
    if (!problem.empty()) {
        if (error)
            *error = path.string() + ": " + problem;
        return std::nullopt;
    }
    return p;
}

std::string DeviceProfile::Check() const
{
    const auto& c = Cfg;
    if (c.SECT_END_ADR == 0 || c.SECT_END_ADR > 0xFFFFF)
        return "SECT_END_ADR must lie in 1 ... 0xFFFFF";
    if (c.PROG_RAM_END_ADR <= c.PROG_RAM_STR_ADR)
        return "PROG_RAM_END_ADR must lie above PROG_RAM_STR_ADR";
    if (ProgramBytes() % 2 != 0 || c.CHECK_SUM_ADR % 2 != 0 || c.CHECK_SUM_ADR + 1 >= ProgramBytes())
        return "the program area and CHECK_SUM_ADR must be even, the slot inside the area";
    const std::size_t sectors = (ProgramBytes() + SectorBytes() - 1) / SectorBytes();
    if (sectors > 30)
        return "the program area needs more than 30 flash areas";
    if (c.MAIN < 1 || c.MAIN > 30 || c.FPGA < 0 || c.FPGA > 30 || c.DATA < 1 || c.DATA > 31)
        return "MAIN, FPGA and DATA must be flash areas below 31 (DATA may be 31)";
    if (c.FPGA1_STR_ADR + c.FPGA_DATA_LEN > SectorBytes() || c.FPGA2_STR_ADR + c.FPGA_DATA_LEN > SectorBytes() ||
        c.FPGA_DATA_LEN < 16)
        return "the FPGA areas must lie inside one flash area";
    return {};
}

}  // namespace devsim
