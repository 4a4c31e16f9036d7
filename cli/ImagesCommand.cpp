// `verup images`: the package check and conversion report.
#include "ImagesCommand.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <vector>

#include "Commands.h"
#include "app/Config.h"
#include "app/ConfigReader.h"
#include "app/DialogTexts.h"
#include "image/ImageBuilder.h"
#include "image/ImageLimits.h"
#include "image/ImagePresence.h"
#include "platform/Cp932.h"
#include "platform/ProfileFile.h"

namespace verup::cli {

namespace {

std::string Hex(std::uint64_t value, int digits)
{
    char text[32];
    std::snprintf(text, sizeof text, "0x%0*llX", digits, static_cast<unsigned long long>(value));
    return text;
}

std::string SizeText(std::uint32_t size)
{
    return size == 0 ? "missing or empty" : std::to_string(size) + " bytes";
}

bool WriteBinary(const std::filesystem::path& path, const std::uint8_t* data, std::size_t size, std::ostream& out)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    file.close();
    if (!file) {
        out << "  cannot write " << path.string() << "\n";
        return false;
    }
    out << "  wrote " << path.string() << " (" << size << " bytes)\n";
    return true;
}

void ReportConversion(const std::string& file, const ConversionResult& c, std::ostream& out)
{
    out << "  " << file << ": " << c.DataRecords << " data records, " << c.BytesWritten << " bytes";
    if (c.Terminated)
        out << ", converted\n";
    else if (c.Error)
        out << ", STOPPED at line " << c.Error->line << ", column " << c.Error->column << ": expected "
            << c.Error->expected << ", found " << c.Error->found << "\n";
    else
        out << ", STOPPED\n";
}

}  // namespace

int RunImagesCommand(const ImagesOptions& options, std::ostream& out)
{
    const std::string& dir = options.PackageDirectory;
    const std::string config_path = ImagePath(dir, CONFIG_FILE);
    const ImagePresence presence = CheckImagePresence(dir, config_path);

    out << "Package " << dir << "\n";
    const char* names[] = {PROGRAM_IMAGE_FILE, "fpga01.mot", "fpga02.mot", nullptr, BOOT_IMAGE_FILE};
    for (int i : {0, 1, 2, 4})
        out << "  " << names[i] << ": " << SizeText(presence.ImageFileSizes[i]) << "\n";
    out << "  " << CONFIG_FILE << ": " << SizeText(presence.ConfigFileSize) << "\n";

    std::vector<std::string> writes;
    if (presence.WritesProgram())
        writes.push_back("program (rt00.mot)");
    if (presence.WritesFpga())
        writes.push_back("FPGA sector (fpga01.mot and fpga02.mot)");
    if (presence.WritesBoot())
        writes.push_back("boot area (from00.mot)");
    out << "Images to write:";
    if (writes.empty())
        out << " none";
    for (std::size_t i = 0; i < writes.size(); ++i)
        out << (i == 0 ? " " : ", ") << writes[i];
    out << "\n";

    int exit_code = IMAGES_OK;
    if (!presence.Accepted) {
        out << "Package refused: " << Cp932ToUtf8(kMsgFilesMissing) << "\n";
        for (const std::string& reason : presence.Refusals)
            out << "  - " << reason << "\n";
        exit_code = IMAGES_PACKAGE_REFUSED;
    }
    if (presence.ConfigFileSize == 0) {
        out << "Nothing converted: the flash layout comes from verup.dat.\n";
        return exit_code;
    }

    Config cfg;
    ReadConfig(ProfileFile(config_path), cfg);
    out << "Layout: program " << Hex(cfg.PROG_RAM_STR_ADR, 8) << " ... " << Hex(cfg.PROG_RAM_END_ADR, 8)
        << ", FRAM_END_ADR " << Hex(cfg.FRAM_END_ADR, 8) << ", CHECK_SUM_ADR " << Hex(cfg.CHECK_SUM_ADR, 8)
        << ", SECT_END_ADR " << Hex(cfg.SECT_END_ADR, 8) << "\n";

    bool converted = true;
    bool dumped = true;
    std::filesystem::path dump;
    if (!options.DumpDirectory.empty()) {
        dump = options.DumpDirectory;
        std::error_code ec;
        std::filesystem::create_directories(dump, ec);
        if (ec) {
            out << "Cannot create " << dump.string() << ": " << ec.message() << "\n";
            dumped = false;
            dump.clear();
        }
    }

    if (presence.WritesProgram()) {
        std::vector<std::uint8_t> image;
        const ProgramBuildResult r = BuildProgramImage(cfg, dir, presence.ImageFileSizes[0], image);
        out << "Program image: ";
        if (r.Ok())
            out << "OK, SectorCount " << static_cast<int>(r.SectorCount) << ", checksum word "
                << Hex(r.ChecksumWord, 4) << " at " << Hex(cfg.CHECK_SUM_ADR, 8) << "\n";
        else
            out << "FAILED (SectorCount 0): " << r.Reason << "\n";
        if (r.Opened)
            ReportConversion(PROGRAM_IMAGE_FILE, r.Conversion, out);
        converted = converted && r.Ok();
        if (!dump.empty() && !image.empty()) {
            const std::size_t area = static_cast<std::size_t>(cfg.PROG_RAM_END_ADR - cfg.PROG_RAM_STR_ADR) + 1;
            dumped = WriteBinary(dump / "program.bin", image.data(), std::min(area, image.size()), out) && dumped;
        }
    }
    if (presence.FpgaImageCount == 1)
        out << "FPGA image: not converted, only one of fpga01.mot and fpga02.mot is present\n";
    if (presence.WritesFpga()) {
        std::vector<std::uint8_t> image;
        LineTable fpga1 = LineTable::ForFpga();
        LineTable fpga2 = LineTable::ForFpga();
        const SectorBuildResult r = BuildFpgaImage(cfg, dir, fpga1, fpga2, image);
        out << "FPGA sector image: ";
        if (r.FullyConverted())
            out << "OK, " << image.size() << " bytes, " << cfg.FP_LEN << " parameter bytes per FPGA at "
                << Hex(static_cast<std::uint64_t>(cfg.FPGA1_STR_ADR) + cfg.FPGA_DATA_LEN - 16, 4) << " and "
                << Hex(static_cast<std::uint64_t>(cfg.FPGA2_STR_ADR) + cfg.FPGA_DATA_LEN - 16, 4) << "\n";
        else
            out << "FAILED: " << r.Reason << "\n";
        for (std::size_t i = 0; i < r.Conversions.size(); ++i)
            ReportConversion(FpgaImageFile(static_cast<int>(i) + 1), r.Conversions[i], out);
        converted = converted && r.FullyConverted();
        if (!dump.empty() && r.Ok)
            dumped = WriteBinary(dump / "fpga.bin", image.data(), image.size(), out) && dumped;
    }
    if (presence.WritesBoot()) {
        std::vector<std::uint8_t> image;
        LineTable boot = LineTable::ForBoot();
        const SectorBuildResult r = BuildBootImage(cfg, dir, boot, image);
        out << "Boot sector image: ";
        if (r.FullyConverted())
            out << "OK, " << image.size() << " bytes\n";
        else
            out << "FAILED: " << r.Reason << "\n";
        for (const ConversionResult& c : r.Conversions)
            ReportConversion(BOOT_IMAGE_FILE, c, out);
        converted = converted && r.FullyConverted();
        if (!dump.empty() && r.Ok)
            dumped = WriteBinary(dump / "boot.bin", image.data(), image.size(), out) && dumped;
    }

    if (exit_code == IMAGES_OK && !converted)
        exit_code = IMAGES_CONVERSION_FAILED;
    if (exit_code == IMAGES_OK && !dumped)
        exit_code = IMAGES_DUMP_FAILED;
    out << (exit_code == IMAGES_OK ? "All present images convert.\n" : "Not every image is usable.\n");
    return exit_code;
}

}  // namespace verup::cli

void AddImagesCommand(CLI::App& app)
{
    auto options = std::make_shared<verup::cli::ImagesOptions>();
    CLI::App* images = app.add_subcommand(
        "images", "Check a package's images and convert them as the LAN update would");
    images->add_option("--dump", options->DumpDirectory,
                       "Write program.bin, fpga.bin and boot.bin (the converted images) into DIR")
        ->option_text("DIR");
    images->footer("Exit codes: 0 every present image converts, 2 package refused, 3 an image does not convert,\n"
                   "4 --dump could not write.");
    images->callback([options]() {
        std::error_code ec;
        options->PackageDirectory = std::filesystem::current_path(ec).string();
        const int code = verup::cli::RunImagesCommand(*options, std::cout);
        if (code != verup::cli::IMAGES_OK)
            throw CLI::RuntimeError(code);
    });
}
