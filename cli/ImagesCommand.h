#pragma once
// `verup images`: checks a package's images as the start-up does and converts each present
// one as the LAN update would, saying why anything is refused.
#include <nlohmann/json.hpp>
#include <ostream>
#include <string>

namespace verup::cli {

// Exit codes of `verup images`.
inline constexpr int IMAGES_OK = 0;
inline constexpr int IMAGES_PACKAGE_REFUSED = 2;   // the start-up would refuse the package
inline constexpr int IMAGES_CONVERSION_FAILED = 3; // a present image did not convert
inline constexpr int IMAGES_DUMP_FAILED = 4;       // --dump could not write its files

struct ImagesOptions {
    std::string PackageDirectory;  // holds verup.dat and the images
    std::string DumpDirectory;     // empty: write nothing
    bool Json = false;             // the report as one JSON document, the text on stderr
};

// Writes the report to `out`; returns one of the exit codes above (the worst that applies:
// refused before conversion failed before dump failed).
// With `report`, the same facts go there as JSON.
int RunImagesCommand(const ImagesOptions& options, std::ostream& out, nlohmann::json* report = nullptr);

}  // namespace verup::cli
