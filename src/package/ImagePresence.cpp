#include "package/ImagePresence.h"

#include <algorithm>

#include "image/ImageFiles.h"
#include "image/ImageLimits.h"
#include "platform/ProfileFile.h"

namespace verup {

ImagePresence EvaluateImagePresence(const std::array<std::uint32_t, 5>& image_file_sizes, std::uint32_t config_file_size)
{
    ImagePresence p;
    p.ImageFileSizes = image_file_sizes;
    p.ImageFileSizes[3] = std::max(image_file_sizes[1], image_file_sizes[2]);
    p.ConfigFileSize = config_file_size;
    p.ProgramPresent = image_file_sizes[0] > 0;
    p.FpgaImageCount = (image_file_sizes[1] > 0 ? 1 : 0) + (image_file_sizes[2] > 0 ? 1 : 0);
    p.BootPresent = image_file_sizes[4] > 0;

    if (!p.BootPresent && p.FpgaImageCount != 2 && !p.ProgramPresent)
        p.Refusals.push_back("no image to write: rt00.mot, both fpga01.mot and fpga02.mot, or from00.mot is needed"
                             " (an empty file counts as missing)");
    if (p.FpgaImageCount == 1)
        p.Refusals.push_back(std::string("only one FPGA image (") + (image_file_sizes[1] > 0 ? "fpga01.mot" : "fpga02.mot") +
                             "): both fpga01.mot and fpga02.mot are needed");
    if (config_file_size == 0)
        p.Refusals.push_back("verup.dat is missing or empty");
    else if (config_file_size > kMaxProfileFileBytes)
        p.Refusals.push_back("verup.dat is " + std::to_string(config_file_size) + " bytes, more than the " +
                             std::to_string(kMaxProfileFileBytes) +
                             " bytes (1 MiB) a configuration file may have: it is not a package's verup.dat;"
                             " put the package's own verup.dat in its place");
    p.Accepted = p.Refusals.empty();
    return p;
}

ImagePresence CheckImagePresence(const std::string& image_directory, const std::string& config_path)
{
    std::array<std::uint32_t, 5> sizes{};
    sizes[0] = GetImageFileSize(ImagePath(image_directory, PROGRAM_IMAGE_FILE));
    sizes[1] = GetImageFileSize(ImagePath(image_directory, FpgaImageFile(1)));
    sizes[2] = GetImageFileSize(ImagePath(image_directory, FpgaImageFile(2)));
    sizes[4] = GetImageFileSize(ImagePath(image_directory, BOOT_IMAGE_FILE));
    return EvaluateImagePresence(sizes, GetImageFileSize(config_path));
}

}  // namespace verup
