#pragma once
// The version `verup --version` prints.
namespace verup::cli {

const char* ToolVersion();

}  // namespace verup::cli
