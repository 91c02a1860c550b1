// SPDX-License-Identifier: MIT
#include "system/TextEncoding.h"

namespace wizard::sys {

namespace {

void append(std::string& out, char32_t c)
{
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

bool isSurrogate(char32_t c)
{
    return c >= 0xD800 && c <= 0xDFFF;
}

} // namespace

std::string toUtf8(const std::wstring& text, char32_t replacement)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        auto c = static_cast<char32_t>(static_cast<std::make_unsigned_t<wchar_t>>(text[i]));
        if constexpr (sizeof(wchar_t) == 2) {
            const bool high = c >= 0xD800 && c <= 0xDBFF;
            const char32_t next = i + 1 < text.size() ? static_cast<char16_t>(text[i + 1]) : 0;
            if (high && next >= 0xDC00 && next <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (next - 0xDC00);
                ++i;
            }
        }
        if (c > 0x10FFFF || isSurrogate(c))
            c = replacement;
        append(out, c);
    }
    return out;
}

} // namespace wizard::sys
