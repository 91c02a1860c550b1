// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace wizard::sys {

// Wide text as UTF-8, the encoding of file names, queue names and the system
// log on Linux. wchar_t is UTF-32 there and UTF-16 on Windows; a value that is
// no character (a lone surrogate, past U+10FFFF) becomes `replacement`.
std::string toUtf8(const std::wstring& text, char32_t replacement = U'\uFFFD');

} // namespace wizard::sys
