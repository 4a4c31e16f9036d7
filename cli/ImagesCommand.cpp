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
#include "app/DialogTexts.h"
#include "image/ImageBuilder.h"
#include "image/ImageLimits.h"
#include "image/ImagePreflight.h"
#include "package/Config.h"
#include "package/ConfigReader.h"
#include "package/ImagePresence.h"
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

// The facts of one image file, as far as the check got.
nlohmann::json FileJson(const std::string& file, std::uint32_t size)
{
    return {{"file", file},
            {"present", size != 0},
            {"bytes", size},
            {"verdict", size != 0 ? "not-checked" : "missing"},
            {"reason", nullptr},
            {"image_bytes", nullptr},
            {"word_sum", nullptr},
            {"checksum_word", nullptr}};
}

// The problems that name `file`, else all of them (a problem of the image as a whole).
std::string ReasonFor(const std::string& file, const std::vector<std::string>& problems)
{
    std::string named;
    std::string all;
    for (const std::string& problem : problems) {
        all += (all.empty() ? "" : "; ") + problem;
        if (problem.rfind(file + ":", 0) == 0)
            named += (named.empty() ? "" : "; ") + problem;
    }
    return named.empty() ? all : named;
}

// The verdict on a file that goes into `image`: fine, or refused with its reason.
void Judge(nlohmann::json& j, const std::vector<std::string>& problems, const std::vector<std::uint8_t>& image,
           std::size_t image_bytes)
{
    if (!problems.empty()) {
        j["verdict"] = "refused";
        j["reason"] = ReasonFor(j["file"].get<std::string>(), problems);
        return;
    }
    const std::size_t size = std::min(image_bytes, image.size());
    j["verdict"] = "ok";
    j["image_bytes"] = size;
    j["word_sum"] = size == 0 ? 0 : SumImageWords(image, 0, size - 1);
}

}  // namespace

int RunImagesCommand(const ImagesOptions& options, std::ostream& out, nlohmann::json* report)
{
    const std::string& dir = options.PackageDirectory;
    const std::string config_path = ImagePath(dir, CONFIG_FILE);
    const ImagePresence presence = CheckImagePresence(dir, config_path);

    out << "Package " << dir << "\n";
    const char* names[] = {PROGRAM_IMAGE_FILE, "fpga01.mot", "fpga02.mot", nullptr, BOOT_IMAGE_FILE};
    for (int i : {0, 1, 2, 4})
        out << "  " << names[i] << ": " << SizeText(presence.ImageFileSizes[i]) << "\n";
    out << "  " << CONFIG_FILE << ": " << SizeText(presence.ConfigFileSize) << "\n";

    // Indexed as ImageFileSizes: rt00.mot, fpga01.mot, fpga02.mot, (unused), from00.mot.
    nlohmann::json files[5];
    for (int i : {0, 1, 2, 4})
        files[i] = FileJson(names[i], presence.ImageFileSizes[static_cast<std::size_t>(i)]);
    const auto finish = [&](int code) {
        if (report == nullptr)
            return code;
        nlohmann::json refusals = presence.Refusals;
        nlohmann::json writes = nlohmann::json::array();
        if (presence.WritesProgram())
            writes.push_back("program");
        if (presence.WritesFpga())
            writes.push_back("fpga");
        if (presence.WritesBoot())
            writes.push_back("boot");
        *report = {{"folder", dir},
                   {"config_file_bytes", presence.ConfigFileSize},
                   {"accepted", presence.Accepted},
                   {"refusals", refusals},
                   {"writes", writes},
                   {"images", {files[0], files[1], files[2], files[4]}},
                   {"dump_directory", options.DumpDirectory.empty() ? nlohmann::json(nullptr)
                                                                    : nlohmann::json(options.DumpDirectory)},
                   {"exit_code", code}};
        return code;
    };

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
        return finish(exit_code);
    }

    Config cfg;
    ReadConfig(ProfileFile(config_path), cfg);
    out << "Layout: program " << Hex(cfg.PROG_RAM_STR_ADR, 8) << " ... " << Hex(cfg.PROG_RAM_END_ADR, 8)
        << ", FRAM_END_ADR " << Hex(cfg.FRAM_END_ADR, 8) << ", CHECK_SUM_ADR " << Hex(cfg.CHECK_SUM_ADR, 8)
        << ", SECT_END_ADR " << Hex(cfg.SECT_END_ADR, 8) << "\n";

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

    // The update's own check: what it says here, the update says before erasing anything.
    const ImagesToWrite to_write{presence.WritesProgram(), presence.WritesFpga(), presence.WritesBoot()};
    const ImagePreflight checked = CheckImagesBeforeWriting(cfg, dir, to_write, presence.ImageFileSizes[0]);
    const auto failed = [&out](const std::vector<std::string>& problems) {
        out << "FAILED";
        for (std::size_t i = 0; i < problems.size(); ++i)
            out << (i == 0 ? ": " : "; ") << problems[i];
        out << "\n";
    };

    if (to_write.Program) {
        const ProgramBuildResult& r = checked.Program;
        out << "Program image: ";
        if (checked.ProgramProblems.empty())
            out << "OK, SectorCount " << static_cast<int>(r.SectorCount) << " (sectors of "
                << Hex(static_cast<std::uint64_t>(cfg.SECT_END_ADR) + 1, 0) << " bytes, areas 1 ... " << cfg.MAIN
                << "), checksum word " << Hex(r.ChecksumWord, 4) << " at " << Hex(cfg.CHECK_SUM_ADR, 8) << "\n";
        else
            failed(checked.ProgramProblems);
        if (r.Opened)
            ReportConversion(PROGRAM_IMAGE_FILE, r.Conversion, out);
        if (!dump.empty() && !checked.ProgramImage.empty()) {
            const std::size_t area = static_cast<std::size_t>(cfg.PROG_RAM_END_ADR - cfg.PROG_RAM_STR_ADR) + 1;
            dumped = WriteBinary(dump / "program.bin", checked.ProgramImage.data(),
                                 std::min(area, checked.ProgramImage.size()), out) &&
                     dumped;
        }
    }
    if (presence.FpgaImageCount == 1)
        out << "FPGA image: not converted, only one of fpga01.mot and fpga02.mot is present\n";
    if (to_write.Fpga) {
        const SectorBuildResult& r = checked.Fpga;
        out << "FPGA sector image: ";
        if (checked.FpgaProblems.empty())
            out << "OK, " << checked.FpgaImage.size() << " bytes, " << cfg.FP_LEN << " parameter bytes per FPGA at "
                << Hex(static_cast<std::uint64_t>(cfg.FPGA1_STR_ADR) + cfg.FPGA_DATA_LEN - 16, 4) << " and "
                << Hex(static_cast<std::uint64_t>(cfg.FPGA2_STR_ADR) + cfg.FPGA_DATA_LEN - 16, 4) << "\n";
        else
            failed(checked.FpgaProblems);
        for (std::size_t i = 0; i < r.Conversions.size(); ++i)
            ReportConversion(FpgaImageFile(static_cast<int>(i) + 1), r.Conversions[i], out);
        if (!dump.empty() && r.Ok)
            dumped = WriteBinary(dump / "fpga.bin", checked.FpgaImage.data(), checked.FpgaImage.size(), out) && dumped;
    }
    if (to_write.Boot) {
        const SectorBuildResult& r = checked.Boot;
        out << "Boot sector image: ";
        if (checked.BootProblems.empty())
            out << "OK, " << checked.BootImage.size() << " bytes\n";
        else
            failed(checked.BootProblems);
        for (const ConversionResult& c : r.Conversions)
            ReportConversion(BOOT_IMAGE_FILE, c, out);
        if (!dump.empty() && r.Ok)
            dumped = WriteBinary(dump / "boot.bin", checked.BootImage.data(), checked.BootImage.size(), out) && dumped;
    }
    const bool converted = checked.Usable();
    if (to_write.Program) {
        const std::size_t area = static_cast<std::size_t>(cfg.PROG_RAM_END_ADR - cfg.PROG_RAM_STR_ADR) + 1;
        Judge(files[0], checked.ProgramProblems, checked.ProgramImage, area);
        if (checked.ProgramProblems.empty())
            files[0]["checksum_word"] = checked.Program.ChecksumWord;
    }
    for (int i : {1, 2}) {
        if (to_write.Fpga)
            Judge(files[i], checked.FpgaProblems, checked.FpgaImage, checked.FpgaImage.size());
        else if (presence.ImageFileSizes[static_cast<std::size_t>(i)] != 0) {
            files[i]["verdict"] = "not-written";
            files[i]["reason"] = "only one of fpga01.mot and fpga02.mot is present";
        }
    }
    if (to_write.Boot)
        Judge(files[4], checked.BootProblems, checked.BootImage, checked.BootImage.size());

    if (exit_code == IMAGES_OK && !converted)
        exit_code = IMAGES_CONVERSION_FAILED;
    if (exit_code == IMAGES_OK && !dumped)
        exit_code = IMAGES_DUMP_FAILED;
    if (exit_code == IMAGES_OK)
        out << "All present images convert.\n";
    else if (!converted)
        out << "Not every image is usable: the update refuses this package before it erases anything.\n";
    else
        out << "Not every image is usable.\n";
    return finish(exit_code);
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
    images->add_flag("--json", options->Json,
                     "Write the report as one JSON document to stdout; the text then goes to stderr");
    images->footer("Exit codes: 0 every present image converts, 2 package refused, 3 an image does not convert\n"
                   "completely or does not fit the flash layout (the update refuses it), 4 --dump could not write.");
    images->callback([options]() {
        std::error_code ec;
        options->PackageDirectory = std::filesystem::current_path(ec).string();
        nlohmann::json report;
        const int code = verup::cli::RunImagesCommand(*options, options->Json ? std::cerr : std::cout,
                                                      options->Json ? &report : nullptr);
        if (options->Json)
            std::cout << report.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n" << std::flush;
        if (code != verup::cli::IMAGES_OK)
            throw CLI::RuntimeError(code);
    });
}
