#pragma once
// Reading the number out of a version text such as "Version 1.20 3": the number from the
// ninth character, the revision after the NUM_LEN characters of the version text.
#include <string>
#include <string_view>

namespace verup {

// The number after "Version " (0 when the text is shorter, or holds no finite number).
double ReadVersionNumber(std::string_view text);
// The same after cutting the text to `num_len` characters, as every version text is cut.
double ReadVersionNumber(std::string_view text, int num_len);
// The revision that follows the version text after one separator: "Version 1.10 3" with
// NUM_LEN 12 gives 3. Nothing there reads as 0.
int ReadRevision(const std::string& text, int num_len);

}  // namespace verup
