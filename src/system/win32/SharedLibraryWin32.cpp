// SPDX-License-Identifier: MIT
#include "system/SharedLibrary.h"

#include <windows.h>

#include <string>
#include <vector>

namespace wizard::sys {

namespace {

std::wstring applicationDirectory()
{
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            return {};
        if (length < path.size()) {
            std::wstring exe(path.data(), length);
            const auto slash = exe.find_last_of(L"\\/");
            return slash == std::wstring::npos ? std::wstring() : exe.substr(0, slash + 1);
        }
        if (path.size() >= 32768)
            return {};
        path.resize(path.size() * 2);
    }
}

} // namespace

SharedLibrary::~SharedLibrary()
{
    unload();
}

bool SharedLibrary::load(const std::wstring& fileName)
{
    unload();
    if (fileName.empty())
        return false;
    // LoadLibraryW would search the executable's folder too, but only after a
    // copy already loaded under that name; asking for the full path first
    // makes the wizard's own copy win every time.
    HMODULE module = nullptr;
    if (fileName.find_first_of(L"\\/") == std::wstring::npos) {
        const std::wstring besideUs = applicationDirectory();
        if (!besideUs.empty())
            module = LoadLibraryW((besideUs + fileName).c_str());
    }
    if (!module)
        module = LoadLibraryW(fileName.c_str());
    handle = reinterpret_cast<void*>(module);
    return handle != nullptr;
}

void SharedLibrary::unload()
{
    if (handle)
        FreeLibrary(reinterpret_cast<HMODULE>(handle));
    handle = nullptr;
}

void* SharedLibrary::resolve(const char* symbol) const
{
    if (!handle || !symbol)
        return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(handle), symbol));
}

} // namespace wizard::sys
