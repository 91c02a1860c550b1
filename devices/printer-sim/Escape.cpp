// SPDX-License-Identifier: MIT
#include "Escape.h"

namespace wizard::sim {

namespace {
int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}
} // namespace

std::string escapeBytes(const char* bytes, std::size_t size)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(size);
    for (std::size_t i = 0; i < size; ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case 0x1B:
            out += "\\e";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c >= 0x20 && c < 0x7F) {
                out += static_cast<char>(c);
            } else {
                out += "\\x";
                out += digits[c >> 4];
                out += digits[c & 0x0F];
            }
        }
    }
    return out;
}

std::string unescapeText(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 >= text.size()) {
            out += text[i];
            continue;
        }
        const char e = text[i + 1];
        switch (e) {
        case '\\':
            out += '\\';
            ++i;
            break;
        case 'e':
            out += '\x1B';
            ++i;
            break;
        case 'r':
            out += '\r';
            ++i;
            break;
        case 'n':
            out += '\n';
            ++i;
            break;
        case 't':
            out += '\t';
            ++i;
            break;
        case '0':
            out += '\0';
            ++i;
            break;
        case 'x':
            if (i + 3 < text.size() && hexValue(text[i + 2]) >= 0 && hexValue(text[i + 3]) >= 0) {
                out += static_cast<char>(hexValue(text[i + 2]) * 16 + hexValue(text[i + 3]));
                i += 3;
            } else {
                out += text[i];
            }
            break;
        default:
            out += text[i];
        }
    }
    return out;
}

} // namespace wizard::sim
