#include "platform/mnemonics.h"

namespace {

bool isKey(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Position of `letter` in text, preferring the start of a word; npos when absent.
size_t find(const std::string& text, char letter)
{
    size_t any = std::string::npos;
    for (size_t i = 0; i < text.size(); ++i) {
        if (lower(text[i]) != letter)
            continue;
        const bool wordStart = i == 0 || !isKey(static_cast<unsigned char>(text[i - 1]));
        if (wordStart)
            return i;
        if (any == std::string::npos)
            any = i;
    }
    return any;
}

}  // namespace

void MnemonicPicker::reserve(int id, char letter) { chosen_[id] = lower(letter); }

std::string MnemonicPicker::mark(int id, const std::string& text, char marker)
{
    size_t at = std::string::npos;
    if (auto it = chosen_.find(id); it != chosen_.end())
        at = find(text, it->second);
    if (at == std::string::npos) {
        chosen_.erase(id);
        auto taken = [&](char c) {
            for (const auto& [other, letter] : chosen_)
                if (letter == c)
                    return true;
            return false;
        };
        // Word starts first, then any letter, then digits.
        for (int pass = 0; pass < 3 && at == std::string::npos; ++pass) {
            for (size_t i = 0; i < text.size(); ++i) {
                const unsigned char c = static_cast<unsigned char>(text[i]);
                if (!isKey(c) || taken(lower(static_cast<char>(c))))
                    continue;
                const bool digit = c >= '0' && c <= '9';
                const bool wordStart = i == 0 || !isKey(static_cast<unsigned char>(text[i - 1]));
                if ((pass == 0 && wordStart && !digit) || (pass == 1 && !digit) || pass == 2) {
                    at = i;
                    break;
                }
            }
        }
        if (at != std::string::npos)
            chosen_[id] = lower(text[at]);
    }
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (i == at)
            out += marker;
        out += text[i];
        if (text[i] == marker)
            out += marker;
    }
    return out;
}
