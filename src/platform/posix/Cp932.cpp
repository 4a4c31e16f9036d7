#include "platform/Cp932.h"

#include <iconv.h>

#include <cerrno>

#include "platform/BackendCommon.h"

namespace verup {
namespace {

constexpr char kReplacementUtf8[] = "\xEF\xBF\xBD";

// One converter per call: an iconv descriptor keeps shift state and is not thread-safe.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(::iconv_open(to, from)) {}
    ~Converter()
    {
        if (Valid())
            ::iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool Valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Converts as much as possible; returns false at an unconvertible or incomplete sequence,
    // leaving `in` at it.
    bool Run(const char*& in, std::size_t& in_left, std::string& out)
    {
        char buffer[1024];
        while (in_left > 0) {
            char* src = const_cast<char*>(in);
            char* dst = buffer;
            std::size_t dst_left = sizeof buffer;
            const std::size_t rc = ::iconv(cd_, &src, &in_left, &dst, &dst_left);
            const int err = errno;
            out.append(buffer, static_cast<std::size_t>(dst - buffer));
            in = src;
            if (rc != static_cast<std::size_t>(-1))
                continue;
            if (err == E2BIG)
                continue;
            return false;
        }
        return true;
    }

private:
    iconv_t cd_;
};

}  // namespace

std::string Cp932ToUtf8(std::string_view cp932)
{
    Converter converter("UTF-8", "CP932");
    std::string out;
    if (!converter.Valid()) {
        for (char c : cp932)
            if (static_cast<unsigned char>(c) < 0x80)
                out += c;
            else
                out += kReplacementUtf8;
        return out;
    }
    const char* in = cp932.data();
    std::size_t left = cp932.size();
    while (!converter.Run(in, left, out)) {
        out += kReplacementUtf8;
        ++in;
        --left;
    }
    return out;
}

std::string Utf8ToCp932(std::string_view utf8)
{
    Converter converter("CP932", "UTF-8");
    std::string out;
    if (!converter.Valid()) {
        for (char c : utf8)
            out += static_cast<unsigned char>(c) < 0x80 ? c : '?';
        return out;
    }
    const char* in = utf8.data();
    std::size_t left = utf8.size();
    while (!converter.Run(in, left, out)) {
        // Skip the lead byte and only the continuation bytes that belong to it.
        const std::size_t length = Utf8SequenceLength(static_cast<unsigned char>(*in));
        std::size_t skip = 1;
        while (skip < length && skip < left && (static_cast<unsigned char>(in[skip]) & 0xC0) == 0x80)
            ++skip;
        out += '?';
        in += skip;
        left -= skip;
    }
    return out;
}

}  // namespace verup
