#pragma once
// Which images a package holds, and whether an update may start with them.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace verup {

struct ImagePresence {
    // Sizes of rt00.mot, fpga01.mot, fpga02.mot, the larger FPGA file, from00.mot
    // (0 = missing or empty), as ImageFileSizes holds them.
    std::array<std::uint32_t, 5> ImageFileSizes{};
    std::uint32_t ConfigFileSize = 0;
    bool ProgramPresent = false;
    int FpgaImageCount = 0;
    bool BootPresent = false;
    // The start-up may go on.
    bool Accepted = false;
    // Why not, one plain sentence each (empty when accepted).
    std::vector<std::string> Refusals;

    bool WritesProgram() const { return ProgramPresent; }
    bool WritesFpga() const { return FpgaImageCount == 2; }
    bool WritesBoot() const { return BootPresent; }
};

// Takes the sizes of the four images in `image_directory` and of `config_path`, and
// applies the rules: at least the program, both FPGA images or the boot image; never
// exactly one FPGA image; a non-empty configuration file of at most kMaxProfileFileBytes.
ImagePresence CheckImagePresence(const std::string& image_directory, const std::string& config_path);

// The same rules over sizes already taken.
ImagePresence EvaluateImagePresence(const std::array<std::uint32_t, 5>& image_file_sizes, std::uint32_t config_file_size);

}  // namespace verup
