// SPDX-License-Identifier: MIT
#include "system/SharedLibrary.h"

#include "system/ApplicationDirectory.h"

#include <windows.h>

#include <string>

namespace wizard::sys {

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
