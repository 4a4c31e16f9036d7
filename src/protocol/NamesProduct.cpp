#include "protocol/NamesProduct.h"

#include "protocol/ReplyText.h"

namespace verup {
namespace {

bool HasWord(std::string_view reply, const std::string& word)
{
    return !word.empty() && FindText(reply, word) > 0;
}

}  // namespace

bool NamesProduct(std::string_view reply, const Config& cfg)
{
    return HasWord(reply, cfg.KIKI1) || HasWord(reply, cfg.KIKI2);
}

std::string NamedProduct(std::string_view reply, const Config& cfg)
{
    if (HasWord(reply, cfg.KIKI1))
        return cfg.KIKI1;
    if (HasWord(reply, cfg.KIKI2))
        return cfg.KIKI2;
    return std::string();
}

}  // namespace verup
