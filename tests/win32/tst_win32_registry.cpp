// SPDX-License-Identifier: MIT
// The trace switch read from the real registry: the 64-bit view of the local
// machine's "Software\Talvor Card Printer", any type, at most 4 bytes.

#include "WinCheck.h"

#include "system/Registry.h"

#include <windows.h>

#include <cstdint>
#include <vector>

namespace {

const wchar_t keyPath[] = L"Software\\Talvor Card Printer";
const wchar_t valueName[] = L"DRNWZKAVNI";

void removeKey(REGSAM view)
{
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, keyPath, view, 0);
}

bool writeValue(REGSAM view, DWORD type, const std::vector<BYTE>& data, const wchar_t* name = valueName)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, nullptr, 0, KEY_WRITE | view, nullptr, &key, nullptr)
        != ERROR_SUCCESS)
        return false;
    const LONG status = RegSetValueExW(key, name, 0, type, data.data(), static_cast<DWORD>(data.size()));
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

std::vector<BYTE> dword(std::uint32_t v)
{
    return { BYTE(v), BYTE(v >> 8), BYTE(v >> 16), BYTE(v >> 24) };
}

struct Row {
    const char* name;
    DWORD type;
    std::vector<BYTE> data;
    std::uint32_t expected;
};

void valuesOfEveryShape()
{
    wintest::section("values in the 64-bit view, by type and size");
    const Row rows[] = {
        { "DWORD 1 switches the trace on", REG_DWORD, dword(1), 1 },
        { "DWORD 0 leaves it off", REG_DWORD, dword(0), 0 },
        { "all 32 bits come through", REG_DWORD, dword(0xfedcba98u), 0xfedcba98u },
        { "2-byte value: high bytes zero", REG_BINARY, { 0x34, 0x12 }, 0x1234 },
        { "1-byte value", REG_BINARY, { 0x07 }, 7 },
        { "3-byte value", REG_BINARY, { 0x01, 0x02, 0x03 }, 0x030201 },
        { "empty value reads 0", REG_BINARY, {}, 0 },
        { "8-byte QWORD does not fit: 0", REG_QWORD, { 1, 0, 0, 0, 0, 0, 0, 0 }, 0 },
        { "5-byte binary does not fit: 0", REG_BINARY, { 1, 0, 0, 0, 0 }, 0 },
        // Any type is taken as its bytes: the text "1" is 31 00 00 00.
        { "REG_SZ \"1\" is read as its bytes", REG_SZ, { '1', 0, 0, 0 }, 0x31 },
    };
    for (const Row& row : rows) {
        wintest::section(row.name);
        removeKey(KEY_WOW64_64KEY);
        if (CHECK(writeValue(KEY_WOW64_64KEY, row.type, row.data)))
            CHECK_EQ(wizard::sys::readRegistryDword(valueName), row.expected);
    }
}

void missingPlaces()
{
    wintest::section("missing key, missing value, other value names");
    removeKey(KEY_WOW64_64KEY);
    removeKey(KEY_WOW64_32KEY);
    CHECK_EQ(wizard::sys::readRegistryDword(valueName), 0u);

    CHECK(writeValue(KEY_WOW64_64KEY, REG_DWORD, dword(5), L"SomethingElse"));
    CHECK_EQ(wizard::sys::readRegistryDword(valueName), 0u);
    CHECK_EQ(wizard::sys::readRegistryDword(L"SomethingElse"), 5u);
    // Value names are not case-sensitive in the registry.
    CHECK_EQ(wizard::sys::readRegistryDword(L"somethingelse"), 5u);
    removeKey(KEY_WOW64_64KEY);
}

void theViewsAreApart()
{
    wintest::section("a value only in the 32-bit view is not read");
    removeKey(KEY_WOW64_64KEY);
    removeKey(KEY_WOW64_32KEY);
    CHECK(writeValue(KEY_WOW64_32KEY, REG_DWORD, dword(1)));
    // The value is really there, seen through the 32-bit view.
    HKEY key = nullptr;
    DWORD value = 0;
    DWORD size = sizeof value;
    CHECK(RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_READ | KEY_WOW64_32KEY, &key) == ERROR_SUCCESS
        && RegQueryValueExW(key, valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size)
            == ERROR_SUCCESS
        && value == 1);
    if (key)
        RegCloseKey(key);
    CHECK_EQ(wizard::sys::readRegistryDword(valueName), 0u);

    wintest::section("with both views set, the 64-bit one wins");
    CHECK(writeValue(KEY_WOW64_64KEY, REG_DWORD, dword(2)));
    CHECK_EQ(wizard::sys::readRegistryDword(valueName), 2u);
    removeKey(KEY_WOW64_64KEY);
    removeKey(KEY_WOW64_32KEY);
}

} // namespace

int main()
{
    valuesOfEveryShape();
    missingPlaces();
    theViewsAreApart();
    return wintest::finish();
}
