// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>

namespace wizard {

namespace sys {
class SharedLibrary;
}

// The five calls of the device-access library, resolved by name at run time.
// The types repeat the library's C interface; DurvoFunctions.cpp checks them
// against its header.
struct DurvoFunctions {
#ifdef _WIN32
#define WIZARD_DURVO_CALL __stdcall
#else
#define WIZARD_DURVO_CALL
#endif
    using Handle = std::uint32_t;
    using OpenFn = Handle(WIZARD_DURVO_CALL*)(const char* name);
    using CloseFn = std::int32_t(WIZARD_DURVO_CALL*)(Handle handle);
    using WriteFn = std::int32_t(WIZARD_DURVO_CALL*)(Handle handle, const char* bytes, std::int32_t length,
        std::int32_t timeoutMs, std::int32_t passA, std::int32_t passB);
    using ReadFn = std::int32_t(WIZARD_DURVO_CALL*)(Handle handle, char* buffer, std::uint32_t capacity,
        std::int32_t* received, std::int32_t timeoutMs, std::int32_t passA, std::int32_t passB);
    using ReadStatusFn = ReadFn;
#undef WIZARD_DURVO_CALL

    OpenFn OpenQuarle = nullptr;
    CloseFn CloseQuarle = nullptr;
    WriteFn WriteQuarleExEx = nullptr;
    ReadFn ReadQuarleExEx = nullptr;
    ReadStatusFn ReadStatusExEx = nullptr;

    bool complete() const
    {
        return OpenQuarle && CloseQuarle && WriteQuarleExEx && ReadQuarleExEx && ReadStatusExEx;
    }

    // "durvo.dll" on Windows, "libdurvo.so" elsewhere.
    static std::wstring libraryFileName();
    // Loads fileName into library and resolves the five calls by name. Returns
    // a complete table, or an empty one (and library unloaded) when the
    // library or any one of the calls is missing.
    static DurvoFunctions load(sys::SharedLibrary& library, const std::wstring& fileName);
};

} // namespace wizard
