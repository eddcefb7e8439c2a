#include "log/utf8_encoder.hpp"

#include <type_traits>

namespace {

constexpr char32_t replacement = 0xFFFD;

bool is_high_surrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool is_low_surrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

void append_code_point(char32_t c, std::string& out)
{
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        c = replacement;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

void utf8_encoder::encode(const wchar_t* text, std::size_t length, std::string& out)
{
    for (std::size_t i = 0; i < length; ++i) {
        // Through the unsigned type of the same width, so that a 16-bit unit is never sign-extended.
        const char32_t c = static_cast<std::make_unsigned_t<wchar_t>>(text[i]);
        if (pending_high_) {
            const char32_t high = pending_high_;
            pending_high_ = 0;
            if (is_low_surrogate(c)) {
                append_code_point(0x10000 + ((high - 0xD800) << 10) + (c - 0xDC00), out);
                continue;
            }
            append_code_point(replacement, out);
        }
        if (is_high_surrogate(c))
            pending_high_ = c;
        else
            append_code_point(c, out);
    }
}
