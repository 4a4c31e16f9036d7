#include "image/ImagePreflight.h"

#include <cstdio>

#include "image/ImageLimits.h"
#include "image/LineTable.h"

namespace verup {

namespace {

std::string Hex(std::uint64_t value)
{
    char text[32];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

// "fpga02.mot: line 41, column 1: expected ..., found ...", or why the file never converted.
std::string ConversionProblem(const std::string& file, const ConversionResult& conversion)
{
    if (conversion.Error)
        return file + ": " + conversion.Error->Describe();
    return file + ": did not end with a termination record";
}

// "rt00.mot: " and the reason, which may name the file itself first.
std::string FileProblem(const std::string& file, const std::string& reason)
{
    if (reason.compare(0, file.size() + 1, file + " ") == 0)
        return file + ": " + reason.substr(file.size() + 1);
    return file + ": " + reason;
}

void JudgeSectorBuild(const SectorBuildResult& build, const std::vector<std::string>& files,
                      std::vector<std::string>& problems)
{
    if (!build.Ok) {
        problems.push_back(FileProblem(files.size() > 1 ? files.front() + ", " + files.back() : files.front(),
                                       build.Reason));
        return;
    }
    for (std::size_t i = 0; i < build.Conversions.size() && i < files.size(); ++i)
        if (!build.Conversions[i].Terminated)
            problems.push_back(ConversionProblem(files[i], build.Conversions[i]));
}

}  // namespace

std::vector<std::string> ImagePreflight::Problems() const
{
    std::vector<std::string> all = ProgramProblems;
    all.insert(all.end(), FpgaProblems.begin(), FpgaProblems.end());
    all.insert(all.end(), BootProblems.begin(), BootProblems.end());
    return all;
}

std::uint8_t ImagePreflight::SectorCount() const
{
    return Writes.Program && Usable() ? Program.SectorCount : 0;
}

std::string CheckProgramLayout(const ImageLayout& cfg)
{
    if (cfg.MAIN < 1)
        return "MAIN " + std::to_string(cfg.MAIN) + " gives the program no flash area";
    if (cfg.PROG_RAM_END_ADR < cfg.PROG_RAM_STR_ADR)
        return "PROG_RAM_END_ADR " + Hex(cfg.PROG_RAM_END_ADR) + " lies below PROG_RAM_STR_ADR " +
               Hex(cfg.PROG_RAM_STR_ADR);
    const std::uint64_t area = static_cast<std::uint64_t>(cfg.PROG_RAM_END_ADR) - cfg.PROG_RAM_STR_ADR + 1;
    const std::uint64_t sector = static_cast<std::uint64_t>(cfg.SECT_END_ADR) + 1;
    const std::uint64_t needed = (area + sector - 1) / sector;
    if (needed > static_cast<std::uint64_t>(cfg.MAIN))
        return "the program area of " + Hex(area) + " bytes (PROG_RAM_STR_ADR ... PROG_RAM_END_ADR) takes " +
               std::to_string(needed) + " sectors of " + Hex(sector) + " bytes (SECT_END_ADR + 1), but MAIN " +
               std::to_string(cfg.MAIN) + " gives it " + std::to_string(cfg.MAIN) +
               " flash areas: SECT_END_ADR and MAIN do not describe the same flash areas";
    return {};
}

std::string CheckProgramSectors(const ImageLayout& cfg, int sector_count)
{
    const std::string span = sector_count == 1 ? "sector 1" : "sectors 1 ... " + std::to_string(sector_count);
    if (sector_count > cfg.MAIN)
        return "the program needs " + span + " but MAIN " + std::to_string(cfg.MAIN) + " gives it areas 1 ... " +
               std::to_string(cfg.MAIN);
    // The last program area may double as the FPGA area, as long as the program leaves it free.
    if (cfg.FPGA >= 1 && cfg.FPGA <= sector_count)
        return "the program needs " + span + ", which takes the FPGA area " + std::to_string(cfg.FPGA);
    if (cfg.DATA >= 1 && cfg.DATA <= sector_count)
        return "the program needs " + span + ", which takes the data area " + std::to_string(cfg.DATA);
    return {};
}

ImagePreflight CheckImagesBeforeWriting(const ImageLayout& cfg, const std::string& image_directory,
                                        const ImagesToWrite& writes, std::uint32_t program_file_size)
{
    ImagePreflight result;
    result.Writes = writes;
    if (writes.Program) {
        const std::string layout = CheckProgramLayout(cfg);
        if (!layout.empty())
            result.ProgramProblems.push_back(std::string(CONFIG_FILE) + ": " + layout);
        result.Program = BuildProgramImage(cfg, image_directory, program_file_size, result.ProgramImage);
        if (result.Program.Ok()) {
            const std::string sectors = CheckProgramSectors(cfg, result.Program.SectorCount);
            if (!sectors.empty())
                result.ProgramProblems.push_back(std::string(PROGRAM_IMAGE_FILE) + ": " + sectors);
        } else if (result.Program.Opened && !result.Program.Conversion.Terminated) {
            result.ProgramProblems.push_back(ConversionProblem(PROGRAM_IMAGE_FILE, result.Program.Conversion));
        } else {
            result.ProgramProblems.push_back(FileProblem(PROGRAM_IMAGE_FILE, result.Program.Reason));
        }
    }
    if (writes.Fpga) {
        result.Fpga = BuildFpgaImage(cfg, image_directory, result.Fpga1Lines, result.Fpga2Lines, result.FpgaImage);
        JudgeSectorBuild(result.Fpga, {FpgaImageFile(1), FpgaImageFile(2)}, result.FpgaProblems);
    }
    if (writes.Boot) {
        result.Boot = BuildBootImage(cfg, image_directory, result.BootLines, result.BootImage);
        JudgeSectorBuild(result.Boot, {BOOT_IMAGE_FILE}, result.BootProblems);
    }
    return result;
}

}  // namespace verup
