// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace wizard::sys {

// A shared library loaded at run time (dlopen on Linux, LoadLibraryW on
// Windows). A bare file name is looked for in the application's own directory
// first, so the copy installed beside the wizard wins, then through the
// system's default search. The library stays loaded until this object goes.
class SharedLibrary {
public:
    SharedLibrary() = default;
    ~SharedLibrary();
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    // Loads fileName, unloading whatever this object held before; false when
    // neither place has it or the system refuses it.
    bool load(const std::wstring& fileName);
    void unload();
    bool isLoaded() const { return handle != nullptr; }
    // The address of an exported function or object, null when not exported
    // or nothing is loaded.
    void* resolve(const char* symbol) const;

private:
    void* handle = nullptr;
};

} // namespace wizard::sys
