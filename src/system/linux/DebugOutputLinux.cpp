// SPDX-License-Identifier: MIT
#include "system/DebugOutput.h"

#include <string>
#include <syslog.h>

namespace wizard::sys {

namespace {
// wchar_t is UTF-32 here; the system log takes UTF-8.
std::string toUtf8(const wchar_t* text)
{
    std::string out;
    for (; *text; ++text) {
        auto c = static_cast<char32_t>(*text);
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            c = 0xFFFD;
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
    return out;
}
} // namespace

void systemDebugOutput(const wchar_t* line)
{
    static const bool opened = [] {
        openlog("kavni-wizard", LOG_PID | LOG_NDELAY, LOG_USER);
        return true;
    }();
    (void)opened;
    syslog(LOG_DEBUG, "%s", toUtf8(line).c_str());
}

} // namespace wizard::sys
