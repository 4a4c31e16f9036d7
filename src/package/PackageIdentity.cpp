#include "package/PackageIdentity.h"

#include <cctype>

#include "package/ConfigReader.h"
#include "package/PackageTexts.h"

namespace verup {
namespace {

constexpr std::string_view kVersionWord = "Version ";

}  // namespace

std::vector<PackageIdentityRefusal> CheckPackageIdentity(const Config& cfg)
{
    std::vector<PackageIdentityRefusal> refusals;
    // KIKI2 is a second name the device may answer with; KIKI1 is the product's own.
    if (cfg.KIKI1.empty())
        refusals.push_back({"KIKI1 is empty or absent: the package names no product, so the device cannot be "
                            "identified (and any device would be written)",
                            kMsgNoProductWord});

    // The check after the update compares NUM_LEN characters from "Version " in the device's
    // answer with NUM cut to NUM_LEN: it must hold "Version " and a number, and be that long.
    const std::string expected = CutText(cfg.NUM, cfg.NUM_LEN);
    const bool numbered = expected.size() > kVersionWord.size() && expected.compare(0, kVersionWord.size(), kVersionWord) == 0 &&
                          std::isdigit(static_cast<unsigned char>(expected[kVersionWord.size()])) != 0;
    if (cfg.NUM_LEN <= 0)
        refusals.push_back({"NUM_LEN is 0 or absent: every version text would be empty and the version after the "
                            "update could not be checked",
                            kMsgVersionNotCheckable});
    else if (!numbered)
        refusals.push_back({"NUM cut to NUM_LEN (" + std::to_string(cfg.NUM_LEN) + ") characters is \"" + expected +
                                "\", not \"Version \" and a number: the version after the update could not be checked",
                            kMsgVersionNotCheckable});
    else if (expected.size() < static_cast<std::size_t>(cfg.NUM_LEN))
        refusals.push_back({"NUM has " + std::to_string(expected.size()) + " characters, fewer than NUM_LEN (" +
                                std::to_string(cfg.NUM_LEN) +
                                "): the device's version text, cut to NUM_LEN, could never equal it",
                            kMsgVersionNotCheckable});
    return refusals;
}

}  // namespace verup
