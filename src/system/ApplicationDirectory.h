// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace wizard::sys {

// The separator that paths are joined with: a backslash on Windows, a slash elsewhere.
#ifdef _WIN32
inline constexpr wchar_t pathSeparator = L'\\';
#else
inline constexpr wchar_t pathSeparator = L'/';
#endif

// The full path of the running executable, from the system (not from the
// command line or the working folder). Needs no application object.
std::wstring executablePath();

// path cut after its last separator, so that it ends in one; empty when path has none.
std::wstring directoryOf(const std::wstring& path);

// The folder of the running executable, ending in the separator; empty when
// the system gives no path. Needs no application object.
std::wstring applicationDirectory();

} // namespace wizard::sys
