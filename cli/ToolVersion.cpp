#include "ToolVersion.h"

namespace verup::cli {

// Only this file is built with the version, so a new version rebuilds little.
const char* ToolVersion() { return VERUP_VERSION; }

}  // namespace verup::cli
