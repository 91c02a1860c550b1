// SPDX-License-Identifier: MIT
// Loading a library at run time with LoadLibraryW: a bare name is found beside
// the executable whatever the working folder, functions resolve by name, and a
// missing library or function fails cleanly.

#include "WinCheck.h"
#include "WinProcess.h"

#include "system/SharedLibrary.h"

#include <windows.h>

#include <string>

int main()
{
    using wizard::sys::SharedLibrary;
    // The library the tests build beside this program; the working folder is elsewhere.
    const std::wstring besideUs = L"kavni_tcpmon.dll";
    const std::wstring elsewhere = wintest::tempFolder(L"kavni-library-cwd");
    SetCurrentDirectoryW(elsewhere.c_str());

    wintest::section("a bare name is found beside the executable; its functions resolve");
    {
        SharedLibrary library;
        CHECK(library.load(besideUs));
        CHECK(library.isLoaded());
        CHECK(library.resolve("InitializePrintMonitor2") != nullptr);
        CHECK(library.resolve("NoSuchFunction") == nullptr);
        CHECK(library.resolve(nullptr) == nullptr);
        // The module is the one beside us, not some other of that name.
        wchar_t path[MAX_PATH] = {};
        HMODULE module = GetModuleHandleW(besideUs.c_str());
        CHECK(module && GetModuleFileNameW(module, path, MAX_PATH) > 0);
        std::wstring loaded(path);
        std::wstring expected = wintest::selfDirectory() + besideUs;
        CharLowerW(loaded.data());
        CharLowerW(expected.data());
        CHECK_EQ(loaded, expected);

        wintest::section("unload lets it go; resolving then gives null");
        library.unload();
        CHECK(!library.isLoaded());
        CHECK(library.resolve("InitializePrintMonitor2") == nullptr);
        CHECK(GetModuleHandleW(besideUs.c_str()) == nullptr);
    }

    wintest::section("a system library through the default search; a resolved function is callable");
    {
        SharedLibrary library;
        CHECK(library.load(L"kernel32.dll"));
        using GetId = DWORD(WINAPI*)();
        auto getId = reinterpret_cast<GetId>(library.resolve("GetCurrentProcessId"));
        CHECK(getId && getId() == GetCurrentProcessId());

        wintest::section("loading again replaces what was held");
        CHECK(library.load(wintest::selfDirectory() + besideUs));
        CHECK(library.resolve("InitializePrintMonitor2") != nullptr);
        CHECK(library.resolve("GetCurrentProcessId") == nullptr);
    }
    CHECK(GetModuleHandleW(besideUs.c_str()) == nullptr);

    wintest::section("a missing library, an empty name: false, nothing held");
    {
        SharedLibrary library;
        CHECK(!library.load(L"kavni_no_such_library.dll"));
        CHECK(!library.isLoaded());
        CHECK(library.resolve("anything") == nullptr);
        CHECK(!library.load(L""));
        CHECK(!library.load(elsewhere + L"kavni_no_such_library.dll"));
        CHECK(!library.isLoaded());
    }

    SetCurrentDirectoryW(wintest::selfDirectory().c_str());
    RemoveDirectoryW(elsewhere.substr(0, elsewhere.size() - 1).c_str());
    return wintest::finish();
}
