// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Text at the seam, decided once for every service and both comm layers.
//
// Inside the wizard text is wide: wchar_t is UTF-16 on Windows and UTF-32 on Linux.
// The rule for names handed to the system (file and folder names, command lines,
// queue names, library names, the system log):
//   - On Linux they are bytes in UTF-8, whatever the locale, as CUPS gives queue
//     names and as Qt 6 reads and writes local 8-bit text there. A wide value that is
//     no character becomes the replacement; bytes that are no UTF-8 read as U+FFFD.
//   - On Windows the wide calls take them as they are; the one narrow name, the
//     printer name the device library takes, is in the system's ANSI code page.
// The pipe service and the spooler's string values speak UTF-16 on both systems.

namespace wizard::sys {

// Wide text as UTF-8; a value that is no character (a lone surrogate, past
// U+10FFFF) becomes `replacement`.
std::string toUtf8(const std::wstring& text, char32_t replacement = U'\uFFFD');

// UTF-8 as wide text; each ill-formed sequence (its longest valid start) reads as U+FFFD.
std::wstring fromUtf8(std::string_view text);

// Wide text as UTF-16 units: characters past U+FFFF as surrogate pairs, other
// units as they are; a value past U+10FFFF becomes U+FFFD.
std::u16string toUtf16(const std::wstring& text);

// UTF-16 units as wide text: a surrogate pair as one character where wchar_t has
// room for it, lone surrogates as they are.
std::wstring fromUtf16(std::u16string_view text);

// A name in the narrow encoding the system's name rule gives (above): the ANSI code
// page on Windows, where a character it lacks becomes its default character; UTF-8
// with '?' for a value that is no character elsewhere. Written with its NUL into out
// (capacity bytes); false, out then unusable, when name is null or does not fit.
bool toSystemNarrow(const wchar_t* name, char* out, std::size_t capacity);

} // namespace wizard::sys
