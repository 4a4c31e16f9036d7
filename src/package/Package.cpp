#include "package/Package.h"

#include <algorithm>

#include "image/ImageFiles.h"
#include "image/ImageLimits.h"
#include "package/ConfigReader.h"
#include "platform/Paths.h"

namespace verup {

Package Package::Read(const std::string& directory, PackageImages images)
{
    Package package;
    package.directory_ = directory;
    package.config_file_path_ = ConfigFilePathIn(directory);
    package.profile_ = ProfileFile(package.config_file_path_).Read();
    ReadConfig(package.profile_, package.config_);
    package.presence_ = CheckImagePresence(directory, package.config_file_path_);
    if (images == PackageImages::Skip || !package.WritesImages())
        return package;

    // Every image that will be written must convert completely before anything is erased;
    // the monitor is sent the files' own text, which converts exactly as these images do.
    package.images_built_ = true;
    package.images_ = CheckImagesBeforeWriting(package.config_, directory, package.Writes(),
                                               package.presence_.ImageFileSizes[0]);
    if (package.images_.SectorCount() != 0) {
        const ProgramTextResult text = LoadProgramText(ImagePath(directory, PROGRAM_IMAGE_FILE), package.program_text_);
        package.program_line_count_ = text.Count;
        if (!text.Read || text.Count == 0)
            package.program_text_problem_ = std::string(PROGRAM_IMAGE_FILE) + ": " + (text.Read ? "no lines" : text.Reason);
    }
    return package;
}

ImagesToWrite Package::Writes() const
{
    if (!WritesImages())
        return {};
    return {presence_.ProgramPresent, presence_.FpgaImageCount > 0, presence_.BootPresent};
}

std::string_view Package::ProgramText() const
{
    return std::string_view(program_text_).substr(0, std::min<std::size_t>(program_text_.size(), presence_.ImageFileSizes[0]));
}

}  // namespace verup
