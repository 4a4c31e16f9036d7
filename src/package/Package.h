#pragma once
// An update package: verup.dat and the images beside it, read once. Nothing here touches the
// disk afterwards: the serial road streams the program's text and the words of the boot and
// FPGA files, the LAN road sends the binary images, both from what was read here.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "image/ImagePreflight.h"
#include "package/Config.h"
#include "package/ImagePresence.h"
#include "platform/ProfileFile.h"

namespace verup {

// Whether Read builds the images: only an update writes them.
enum class PackageImages { Skip, Build };

class Package {
public:
    Package() = default;

    // Reads verup.dat in `directory`, takes the image sizes and applies the presence rules.
    // With PackageImages::Build and UPLOAD=1 the images the update writes are built and
    // judged before any device is reached, and the program's text is kept for the monitor.
    static Package Read(const std::string& directory, PackageImages images);

    const std::string& Directory() const { return directory_; }
    const std::string& ConfigFilePath() const { return config_file_path_; }
    const Config& Configuration() const { return config_; }
    // verup.dat as read, for its settings layout sections.
    const ProfileSnapshot& Profile() const { return profile_; }
    const ImagePresence& Presence() const { return presence_; }

    bool WritesImages() const { return config_.UPLOAD == 1; }
    // What an update writes: the images present, when UPLOAD=1.
    ImagesToWrite Writes() const;
    // Whether the images were built (Read with PackageImages::Build and UPLOAD=1).
    bool ImagesBuilt() const { return images_built_; }
    // The images as built; empty unless ImagesBuilt().
    const ImagePreflight& Images() const { return images_; }
    // Why the images cannot be written, one line per problem (empty when usable or not built).
    std::vector<std::string> ImageProblems() const { return images_.Problems(); }
    // Why the program's text cannot be sent to the serial monitor (empty when it can, or
    // when the program is not written).
    const std::string& ProgramTextProblem() const { return program_text_problem_; }
    // The program's sectors when it is written and usable, else 0.
    std::uint8_t SectorCount() const { return images_.SectorCount(); }
    // rt00.mot as the monitor is sent it (at most the size taken first), and its CR LF count.
    std::string_view ProgramText() const;
    int ProgramLineCount() const { return program_line_count_; }

private:
    std::string directory_;
    std::string config_file_path_;
    Config config_;
    ProfileSnapshot profile_;
    ImagePresence presence_;
    bool images_built_ = false;
    ImagePreflight images_;
    std::string program_text_problem_;
    std::string program_text_;
    int program_line_count_ = 0;
};

}  // namespace verup
