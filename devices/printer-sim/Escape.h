// SPDX-License-Identifier: MIT
// The readable form of bytes used by the command log and the control channel:
// printable ASCII stays, a backslash doubles, ESC is \e, CR \r, LF \n, TAB \t,
// every other byte \xHH (upper-case). A line of it never holds a raw line end.
#pragma once

#include <cstddef>
#include <string>

namespace wizard::sim {

std::string escapeBytes(const char* bytes, std::size_t size);
inline std::string escapeBytes(const std::string& bytes)
{
    return escapeBytes(bytes.data(), bytes.size());
}
// Also accepts \0 for NUL; an unknown or cut escape is kept literally.
std::string unescapeText(const std::string& text);

} // namespace wizard::sim
