// SPDX-License-Identifier: MIT
// The seam's text toolkit where wchar_t is UTF-16: surrogate pairs become one
// character in UTF-8 and back, lone surrogates never reach the system as such, and
// the narrow name the device library takes is in the ANSI code page.

#include "WinCheck.h"

#include "system/SpoolerControl.h"
#include "system/TextEncoding.h"

#include <windows.h>

#include <string>

namespace {

void utf8()
{
    wintest::section("UTF-8: a surrogate pair is one four-byte character, both ways");
    struct Row {
        const wchar_t* wide;
        const char* utf8;
    };
    const Row rows[] = {
        { L"Talvor", "Talvor" },
        { L"\u00e9t\u00e9", "\xC3\xA9t\xC3\xA9" },
        { L"\u20ac", "\xE2\x82\xAC" },
        { L"card \xD83D\xDDA8", "card \xF0\x9F\x96\xA8" },
        { L"\xDBFF\xDFFF", "\xF4\x8F\xBF\xBF" },
    };
    for (const Row& row : rows) {
        CHECK_EQ(wizard::sys::toUtf8(row.wide), std::string(row.utf8));
        CHECK_EQ(wizard::sys::fromUtf8(row.utf8), std::wstring(row.wide));
    }

    wintest::section("UTF-8: lone surrogates become the replacement");
    CHECK_EQ(wizard::sys::toUtf8(L"a\xD83Dz"), std::string("a\xEF\xBF\xBDz"));
    CHECK_EQ(wizard::sys::toUtf8(L"a\xDDA8z"), std::string("a\xEF\xBF\xBDz"));
    CHECK_EQ(wizard::sys::toUtf8(L"a\xD83D", U'?'), std::string("a?"));
    CHECK_EQ(wizard::sys::fromUtf8("\xED\xA0\x80"), std::wstring(L"\xFFFD\xFFFD\xFFFD"));
}

void utf16()
{
    wintest::section("UTF-16: units pass as they are, pairs included");
    const std::wstring pair = L"x\xD83D\xDDA8y";
    const std::u16string units = wizard::sys::toUtf16(pair);
    CHECK_EQ(units.size(), std::size_t(4));
    CHECK(units == std::u16string(u"x\xD83D\xDDA8y"));
    CHECK_EQ(wizard::sys::fromUtf16(units), pair);
    CHECK_EQ(wizard::sys::fromUtf16(u"\xD83D"), std::wstring(L"\xD83D"));
}

void printerId()
{
    wintest::section("printer identifier: the block written is the block read");
    const std::wstring id = L"TLV-0123456789-ABCDEFGHIJ-0123456789-X\xD83D\xDDA8";
    const std::vector<std::uint8_t> block = wizard::sys::encodePrinterId(id);
    CHECK_EQ(block.size(), wizard::sys::printerIdSize);
    CHECK_EQ(wizard::sys::decodePrinterId(block.data()), id);
    std::vector<std::uint8_t> shorter = wizard::sys::encodePrinterId(id.substr(0, 39));
    shorter.resize(wizard::sys::printerIdSize);
    CHECK(wizard::sys::decodePrinterId(shorter.data()).empty());
}

void narrowName()
{
    wintest::section("narrow name: ANSI code page, refused rather than cut");
    char out[8];
    CHECK(wizard::sys::toSystemNarrow(L"Talvor", out, 7));
    CHECK_EQ(std::string(out), std::string("Talvor"));
    CHECK(!wizard::sys::toSystemNarrow(L"Talvor", out, 6));
    CHECK(!wizard::sys::toSystemNarrow(nullptr, out, 8));
    CHECK(!wizard::sys::toSystemNarrow(L"a", nullptr, 8));
    CHECK(!wizard::sys::toSystemNarrow(L"a", out, 0));
    if (GetACP() == 1252) {
        wintest::section("narrow name: code page 1252, a character it lacks becomes '?'");
        CHECK(wizard::sys::toSystemNarrow(L"\u00e9t\u00e9", out, sizeof out));
        CHECK_EQ(std::string(out), std::string("\xE9t\xE9"));
        CHECK(wizard::sys::toSystemNarrow(L"\u65e5", out, sizeof out));
        CHECK_EQ(std::string(out), std::string("?"));
    }
}

} // namespace

int main()
{
    utf8();
    utf16();
    printerId();
    narrowName();
    return wintest::finish();
}
