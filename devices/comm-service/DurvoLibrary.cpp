// SPDX-License-Identifier: MIT
#include "DurvoLibrary.h"

#include <dlfcn.h>

namespace service {

namespace {
template <typename Function> bool resolve(void* library, const char* name, Function& function)
{
    function = reinterpret_cast<Function>(::dlsym(library, name));
    return function != nullptr;
}
} // namespace

DurvoLibrary::~DurvoLibrary()
{
    if (handle)
        ::dlclose(handle);
}

bool DurvoLibrary::load(const std::string& path, std::string& error)
{
    handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = ::dlerror();
        error = why ? why : "cannot load " + path;
        return false;
    }
    if (!resolve(handle, "OpenQuarle", open) || !resolve(handle, "CloseQuarle", close)
        || !resolve(handle, "WriteQuarleExEx", write) || !resolve(handle, "ReadQuarleExEx", read)
        || !resolve(handle, "ReadStatusExEx", readStatus)) {
        error = "a function is missing from " + path;
        return false;
    }
    return true;
}

} // namespace service
