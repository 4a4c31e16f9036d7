#pragma once
// How a package names the device it is made for and the version it brings: what makes the
// product words and the version text usable at all.
#include <string>
#include <string_view>
#include <vector>

#include "package/Config.h"

namespace verup {

struct PackageIdentityRefusal {
    std::string Reason;   // plain English, for `verup config`
    const char* Message;  // the start-up's message box (CP932)
};

// What keeps the package from identifying the device (no KIKI1) or from checking the version
// after the update (no version text of NUM_LEN characters holding a number, or a NUM shorter
// than the NUM_LEN characters every device version is cut to). Empty when usable.
std::vector<PackageIdentityRefusal> CheckPackageIdentity(const Config& cfg);

}  // namespace verup
