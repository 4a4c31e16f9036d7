#include "platform/Cp932.h"

#include <windows.h>

#include "platform/BackendCommon.h"

namespace verup {
namespace {

constexpr UINT kCp932 = 932;
constexpr char kReplacementUtf8[] = "\xEF\xBF\xBD";

// One character from `from` (code page) appended to `out` in code page `to`; false when `from`
// does not hold exactly one valid character, or `to` has no form for it.
bool ConvertOne(UINT from, std::string_view text, UINT to, std::string& out)
{
    wchar_t wide[4];
    const int units = ::MultiByteToWideChar(from, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                                            wide, 4);
    if (units <= 0)
        return false;
    char bytes[8];
    BOOL defaulted = FALSE;
    // Code page 932 takes no flags with a default character check; UTF-8 takes none at all.
    const int length = ::WideCharToMultiByte(to, to == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS, wide, units, bytes,
                                             sizeof bytes, nullptr, to == CP_UTF8 ? nullptr : &defaulted);
    if (length <= 0 || defaulted)
        return false;
    out.append(bytes, static_cast<std::size_t>(length));
    return true;
}

}  // namespace

std::string Cp932ToUtf8(std::string_view cp932)
{
    std::string out;
    out.reserve(cp932.size());
    for (std::size_t i = 0; i < cp932.size();) {
        const auto byte = static_cast<unsigned char>(cp932[i]);
        if (byte < 0x80) {
            out += static_cast<char>(byte);
            ++i;
            continue;
        }
        const std::size_t length = ::IsDBCSLeadByteEx(kCp932, byte) && i + 1 < cp932.size() ? 2 : 1;
        if (ConvertOne(kCp932, cp932.substr(i, length), CP_UTF8, out)) {
            i += length;
        } else {
            out += kReplacementUtf8;
            ++i;
        }
    }
    return out;
}

std::string Utf8ToCp932(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const auto byte = static_cast<unsigned char>(utf8[i]);
        if (byte < 0x80) {
            out += static_cast<char>(byte);
            ++i;
            continue;
        }
        // The lead byte and only the continuation bytes that belong to it.
        const std::size_t length = Utf8SequenceLength(byte);
        std::size_t take = 1;
        while (take < length && i + take < utf8.size() && (static_cast<unsigned char>(utf8[i + take]) & 0xC0) == 0x80)
            ++take;
        if (take != length || !ConvertOne(CP_UTF8, utf8.substr(i, take), kCp932, out))
            out += '?';
        i += take;
    }
    return out;
}

}  // namespace verup
