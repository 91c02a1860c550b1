// SPDX-License-Identifier: MIT
#include "system/SharedLibrary.h"

#include <climits>
#include <cwchar>
#include <dlfcn.h>
#include <string>
#include <unistd.h>

namespace wizard::sys {

namespace {

// File names reach the file system as bytes; the wide name is taken as UTF-8,
// the encoding of every path on the systems we run on.
std::string toUtf8(const std::wstring& text)
{
    std::string out;
    for (wchar_t w : text) {
        auto c = static_cast<char32_t>(w);
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            c = U'?';
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string applicationDirectory()
{
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0)
        return {};
    std::string exe(path, static_cast<std::size_t>(length));
    const auto slash = exe.rfind('/');
    return slash == std::string::npos ? std::string() : exe.substr(0, slash + 1);
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
    const std::string name = toUtf8(fileName);
    // RTLD_NOW: a library missing one of its own dependencies fails here, not
    // at the first call into it.
    if (name.find('/') == std::string::npos) {
        const std::string besideUs = applicationDirectory();
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
