#pragma once
// Whether an identification reply names the product the package is made for.
#include <string>
#include <string_view>

#include "package/Config.h"

namespace verup {

// True when `reply` contains KIKI1 or KIKI2. An empty word names nothing and never matches
// (a plain text search would find it in every reply).
bool NamesProduct(std::string_view reply, const Config& cfg);
// The word NamesProduct found (KIKI1 before KIKI2), else empty.
std::string NamedProduct(std::string_view reply, const Config& cfg);

}  // namespace verup
