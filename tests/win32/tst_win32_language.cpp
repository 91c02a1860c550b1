// SPDX-License-Identifier: MIT
// The system's default language as a primary-language number, and the wizard's
// text language it leads to. The language is the process's locale, so the
// runner starts this program once per locale, with the expected number and
// language code as arguments (under Wine: LC_ALL=fr_FR gives French).

#include "WinCheck.h"

#include "system/SystemLanguage.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::printf("usage: tst_win32_language EXPECTED-NUMBER EXPECTED-CODE\n");
        return 2;
    }
    const int expected = std::atoi(argv[1]);
    const std::string code = argv[2];
    const char* locale = std::getenv("LC_ALL");
    wintest::section((std::string("locale ") + (locale ? locale : "(unset)")).c_str());

    const int primary = wizard::sys::systemPrimaryLanguage();
    std::printf("system language id 0x%04x, primary %d\n", GetSystemDefaultLangID(), primary);
    CHECK_EQ(primary, expected);
    CHECK_EQ(std::string(wizard::sys::wizardLanguageCode(primary)), code);
    return wintest::finish();
}
