// SPDX-License-Identifier: MIT
#include "system/SharedLibrary.h"

#include "system/ApplicationDirectory.h"
#include "system/TextEncoding.h"

#include <dlfcn.h>
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
    // File names reach the file system as bytes, in UTF-8.
    const std::string name = toUtf8(fileName);
    // RTLD_NOW: a library missing one of its own dependencies fails here, not
    // at the first call into it.
    if (name.find('/') == std::string::npos) {
        const std::string besideUs = toUtf8(applicationDirectory());
        if (!besideUs.empty())
            handle = dlopen((besideUs + name).c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    if (!handle)
        handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    return handle != nullptr;
}

void SharedLibrary::unload()
{
    if (handle)
        dlclose(handle);
    handle = nullptr;
}

void* SharedLibrary::resolve(const char* symbol) const
{
    if (!handle || !symbol)
        return nullptr;
    return dlsym(handle, symbol);
}

} // namespace wizard::sys
