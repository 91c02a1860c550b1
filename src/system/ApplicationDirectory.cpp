// SPDX-License-Identifier: MIT
#include "system/ApplicationDirectory.h"

namespace wizard::sys {

std::wstring directoryOf(const std::wstring& path)
{
    const std::wstring::size_type last = path.rfind(pathSeparator);
    return last == std::wstring::npos ? std::wstring() : path.substr(0, last + 1);
}

std::wstring applicationDirectory()
{
    return directoryOf(executablePath());
}

} // namespace wizard::sys
