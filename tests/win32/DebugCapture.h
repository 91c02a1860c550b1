// SPDX-License-Identifier: MIT
#pragma once

// Catches what OutputDebugStringW hands to a debugger. Without a debugger
// attached, the call raises DBG_PRINTEXCEPTION_WIDE_C (newer systems) or
// DBG_PRINTEXCEPTION_C; a vectored handler sees it before anyone else and
// declares it handled, so the text the program really emitted can be compared.

#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

#ifndef DBG_PRINTEXCEPTION_WIDE_C
#define DBG_PRINTEXCEPTION_WIDE_C 0x4001000AL
#endif

namespace wintest {

class DebugCapture {
public:
    DebugCapture()
    {
        instance() = this;
        handler = AddVectoredExceptionHandler(1, &DebugCapture::onException);
    }
    ~DebugCapture()
    {
        RemoveVectoredExceptionHandler(handler);
        instance() = nullptr;
    }
    DebugCapture(const DebugCapture&) = delete;
    DebugCapture& operator=(const DebugCapture&) = delete;

    std::vector<std::wstring> take()
    {
        std::lock_guard<std::mutex> lock(mutex);
        std::vector<std::wstring> out;
        out.swap(lines);
        return out;
    }

    // How many lines arrived only as narrow text (a system that raises the
    // narrow exception alone loses characters outside the code page).
    int narrowOnly() const { return narrowCount; }

private:
    static DebugCapture*& instance()
    {
        static DebugCapture* current = nullptr;
        return current;
    }

    static LONG CALLBACK onException(EXCEPTION_POINTERS* info)
    {
        DebugCapture* self = instance();
        const EXCEPTION_RECORD* record = info->ExceptionRecord;
        if (!self || record->NumberParameters < 2)
            return EXCEPTION_CONTINUE_SEARCH;
        const auto length = static_cast<std::size_t>(record->ExceptionInformation[0]);
        if (record->ExceptionCode == static_cast<DWORD>(DBG_PRINTEXCEPTION_WIDE_C)) {
            const auto* text = reinterpret_cast<const wchar_t*>(record->ExceptionInformation[1]);
            std::wstring line(text, length ? length - 1 : 0);
            std::lock_guard<std::mutex> lock(self->mutex);
            self->lines.push_back(line);
            return EXCEPTION_CONTINUE_EXECUTION;
        }
        if (record->ExceptionCode == static_cast<DWORD>(DBG_PRINTEXCEPTION_C)) {
            const auto* text = reinterpret_cast<const char*>(record->ExceptionInformation[1]);
            std::string narrow(text, length ? length - 1 : 0);
            std::wstring line;
            int count
                = MultiByteToWideChar(CP_ACP, 0, narrow.data(), static_cast<int>(narrow.size()), nullptr, 0);
            line.resize(static_cast<std::size_t>(count));
            if (count > 0)
                MultiByteToWideChar(
                    CP_ACP, 0, narrow.data(), static_cast<int>(narrow.size()), line.data(), count);
            std::lock_guard<std::mutex> lock(self->mutex);
            self->lines.push_back(line);
            ++self->narrowCount;
            return EXCEPTION_CONTINUE_EXECUTION;
        }
        return EXCEPTION_CONTINUE_SEARCH;
    }

    PVOID handler = nullptr;
    std::mutex mutex;
    std::vector<std::wstring> lines;
    int narrowCount = 0;
};

} // namespace wintest
