// SPDX-License-Identifier: MIT
#include "foundation/DebugLogger.h"

#include "system/DebugOutput.h"

#include <atomic>
#include <cstdarg>
#include <cwchar>
#include <memory>
#include <new>
#include <string>

namespace wizard {

namespace {

// Loggers are created on the user-interface thread only; the counter is read,
// then incremented.
std::uint32_t createdLoggers = 0;

std::time_t systemClock()
{
    return std::time(nullptr);
}

std::atomic<DebugLogger::Clock> currentClock { &systemClock };

bool toLocalTime(std::time_t now, std::tm* out)
{
#ifdef _WIN32
    return localtime_s(out, &now) == 0;
#else
    return localtime_r(&now, out) != nullptr;
#endif
}

// Trace formats follow the Windows convention, where "%s" and "%c" in a wide
// format take wide arguments. glibc, and MinGW's standard-conforming printf,
// read those as narrow and want "%ls" and "%lc"; every C library, Microsoft's
// included, reads "%ls" and "%lc" as wide, so the format is rewritten everywhere.
// "%lx" takes a pointer-sized value, but long is 32 bits on 64-bit Windows: it
// becomes "%zx", which is pointer-sized wherever the wizard runs.
std::wstring toWideArgumentFormat(const wchar_t* format)
{
    std::wstring out;
    out.reserve(std::wcslen(format) + 8);
    for (const wchar_t* p = format; *p;) {
        out += *p;
        if (*p++ != L'%')
            continue;
        if (*p == L'%') {
            out += *p++;
            continue;
        }
        while (*p && std::wcschr(L"-+ #0123456789.*", *p))
            out += *p++;
        if (*p == L's' || *p == L'c') {
            out += L'l';
        } else if (*p == L'l' && (p[1] == L'x' || p[1] == L'X')) {
            out += L'z';
            ++p;
        }
    }
    return out;
}

// vswprintf's result on overflow differs between C libraries; the buffer is
// always terminated here and what fitted is kept.
void formatInto(wchar_t* buffer, int capacity, const wchar_t* format, va_list args)
{
    buffer[0] = L'\0';
    std::vswprintf(buffer, static_cast<std::size_t>(capacity), format, args);
    buffer[capacity - 1] = L'\0';
}

void formatInto(wchar_t* buffer, int capacity, const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    formatInto(buffer, capacity, format, args);
    va_end(args);
}

} // namespace

DebugLogger::DebugLogger()
    : id(createdLoggers++)
    , enabled(0)
{
}

void DebugLogger::Activate(std::int32_t)
{
    enabled = 1;
}

void DebugLogger::Enable()
{
    enabled = 1;
}

void DebugLogger::Disable()
{
    enabled = 0;
}

DebugLogger::Clock DebugLogger::setClock(Clock clock)
{
    return currentClock.exchange(clock ? clock : &systemClock);
}

#ifdef _MSC_VER
#define KAVNI_NOINLINE __declspec(noinline)
#else
#define KAVNI_NOINLINE __attribute__((noinline))
#endif

namespace {

// Everything an enabled Log does, kept out of Log itself: a disabled call then
// costs only the test and the variadic call's own entry, not this frame's set-up.
KAVNI_NOINLINE void writeLine(std::uint32_t id, const wchar_t* format, va_list args)
{
    constexpr int lineCapacity = DebugLogger::lineCapacity;
    std::tm local {};
    if (!toLocalTime(currentClock.load()(), &local))
        return;

    std::unique_ptr<wchar_t[]> line(new (std::nothrow) wchar_t[lineCapacity]);
    std::unique_ptr<wchar_t[]> message(new (std::nothrow) wchar_t[lineCapacity]);
    if (!line || !message)
        return;

    formatInto(line.get(), lineCapacity, L"[TALVOR][WZ] (ID:%03x) %04d/%02d/%02d %02d:%02d:%02d : ", id,
        local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);

    formatInto(message.get(), lineCapacity, toWideArgumentFormat(format ? format : L"").c_str(), args);

    // Header, message and line end share one buffer; a line that does not fit
    // loses the end of its message, never its line end.
    const std::size_t room = lineCapacity - 3;
    std::size_t length = std::wcslen(line.get());
    for (const wchar_t* m = message.get(); *m && length < room; ++m)
        line[length++] = *m;
    line[length++] = L'\r';
    line[length++] = L'\n';
    line[length] = L'\0';

    sys::debugOutput(line.get());
}

} // namespace

void DebugLogger::Log(const wchar_t* format, ...)
{
    if (!enabled)
        return;
    va_list args;
    va_start(args, format);
    writeLine(id, format, args);
    va_end(args);
}

} // namespace wizard
