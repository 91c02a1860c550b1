// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

namespace wizard::sys {

// The 32-bit number stored under valueName below the machine-wide key
// "Software\Talvor Card Printer" (on Windows the 64-bit view of the local
// machine's registry; elsewhere the system-wide settings file
// "Talvor Card Printer.ini", found through XDG_CONFIG_DIRS). Data shorter than
// 4 bytes reads with its missing high bytes as zero. 0 when the key or value is
// missing or the value cannot be read as such a number.
std::uint32_t readRegistryDword(const wchar_t* valueName);

} // namespace wizard::sys
