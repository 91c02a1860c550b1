// SPDX-License-Identifier: MIT
#include "comm/DurvoFunctions.h"

#include "system/SharedLibrary.h"

#include "durvo.h"

#include <type_traits>

namespace wizard {

static_assert(std::is_same_v<DurvoFunctions::OpenFn, decltype(&::OpenQuarle)>);
static_assert(std::is_same_v<DurvoFunctions::CloseFn, decltype(&::CloseQuarle)>);
static_assert(std::is_same_v<DurvoFunctions::WriteFn, decltype(&::WriteQuarleExEx)>);
static_assert(std::is_same_v<DurvoFunctions::ReadFn, decltype(&::ReadQuarleExEx)>);
static_assert(std::is_same_v<DurvoFunctions::ReadStatusFn, decltype(&::ReadStatusExEx)>);

namespace {
template <typename Fn> Fn resolveAs(const sys::SharedLibrary& library, const char* name)
{
    return reinterpret_cast<Fn>(library.resolve(name));
}
} // namespace

std::wstring DurvoFunctions::libraryFileName()
{
#ifdef _WIN32
    return L"" DURVO_LIBRARY_NAME_WIN32;
#else
    return L"" DURVO_LIBRARY_NAME_LINUX;
#endif
}

DurvoFunctions DurvoFunctions::load(sys::SharedLibrary& library, const std::wstring& fileName)
{
    DurvoFunctions functions;
    if (!library.load(fileName))
        return functions;
    functions.OpenQuarle = resolveAs<OpenFn>(library, "OpenQuarle");
    functions.CloseQuarle = resolveAs<CloseFn>(library, "CloseQuarle");
    functions.WriteQuarleExEx = resolveAs<WriteFn>(library, "WriteQuarleExEx");
    functions.ReadQuarleExEx = resolveAs<ReadFn>(library, "ReadQuarleExEx");
    functions.ReadStatusExEx = resolveAs<ReadStatusFn>(library, "ReadStatusExEx");
    if (!functions.complete()) {
        library.unload();
        return DurvoFunctions {};
    }
    return functions;
}

} // namespace wizard
