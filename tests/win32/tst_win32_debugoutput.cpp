// SPDX-License-Identifier: MIT
// The trace reaches OutputDebugStringW exactly as formatted, and a test sink
// takes its place while installed.

#include "DebugCapture.h"
#include "WinCheck.h"

#include "foundation/DebugLogger.h"
#include "system/DebugOutput.h"

#include <cstdint>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

namespace {

std::vector<std::wstring> sunk;
void sink(const wchar_t* line)
{
    sunk.emplace_back(line);
}

// 7 March 2024, 14:05:09 local time, the example the trace header is known by.
std::time_t marchSeventh()
{
    std::tm local {};
    local.tm_year = 2024 - 1900;
    local.tm_mon = 2;
    local.tm_mday = 7;
    local.tm_hour = 14;
    local.tm_min = 5;
    local.tm_sec = 9;
    local.tm_isdst = -1;
    return std::mktime(&local);
}

std::wstring throughCodePage(const std::wstring& line)
{
    const int bytes = WideCharToMultiByte(
        CP_ACP, 0, line.data(), static_cast<int>(line.size()), nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(
        CP_ACP, 0, line.data(), static_cast<int>(line.size()), narrow.data(), bytes, nullptr, nullptr);
    const int chars = MultiByteToWideChar(CP_ACP, 0, narrow.data(), bytes, nullptr, 0);
    std::wstring back(static_cast<std::size_t>(chars), L'\0');
    MultiByteToWideChar(CP_ACP, 0, narrow.data(), bytes, back.data(), chars);
    return back;
}

void rawLinesReachTheDebugger(wintest::DebugCapture& capture)
{
    wintest::section("raw lines reach OutputDebugStringW unchanged");
    const std::vector<std::wstring> lines = {
        L"[TALVOR][WZ] plain line\r\n",
        L"",
        L"accents \u00e9\u00e8 and a clef \U0001D11E\r\n",
        std::wstring(1023, L'x'),
    };
    for (const std::wstring& line : lines) {
        const int narrowBefore = capture.narrowOnly();
        wizard::sys::debugOutput(line.c_str());
        std::vector<std::wstring> got = capture.take();
        if (!CHECK_EQ(got.size(), std::size_t(1)))
            continue;
        // A system that raises only the narrow exception (Wine does) hands the
        // debugger the line in the code page; it must still be this line.
        if (capture.narrowOnly() > narrowBefore)
            CHECK_EQ(got[0], throughCodePage(line));
        else
            CHECK_EQ(got[0], line);
    }
}

void sinkReplacesTheDebugger(wintest::DebugCapture& capture)
{
    wintest::section("an installed sink takes every line; removing it restores the debugger");
    CHECK(wizard::sys::setDebugOutputSink(&sink) == nullptr);
    wizard::sys::debugOutput(L"to the sink");
    CHECK(capture.take().empty());
    if (CHECK_EQ(sunk.size(), std::size_t(1)))
        CHECK_EQ(sunk[0], std::wstring(L"to the sink"));
    CHECK(wizard::sys::setDebugOutputSink(nullptr) == &sink);
    wizard::sys::debugOutput(L"to the debugger");
    CHECK_EQ(sunk.size(), std::size_t(1));
    CHECK_EQ(capture.take().size(), std::size_t(1));
}

void loggerLinesAreExact(wintest::DebugCapture& capture)
{
    wintest::section("DebugLogger lines as the debugger sees them");
    wizard::DebugLogger::setClock(&marchSeventh);
    wizard::DebugLogger first;
    wizard::DebugLogger second;
    first.Enable();
    second.Enable();
    const std::wstring header0 = L"[TALVOR][WZ] (ID:000) 2024/03/07 14:05:09 : ";
    const std::wstring header1 = L"[TALVOR][WZ] (ID:001) 2024/03/07 14:05:09 : ";

    first.Log(L"");
    second.Log(L"[%s] Enter entry point of the Kavni Wizard {%s}", L"INFO   ", L"main");
    first.Log(L"[%s] [Page1K] [OnDownloadFw] [Fail %d] {%s}", L"DEBUG  ", 3, L"wizard::Page1K::OnDownloadFw");
    // "%lx" takes a pointer-sized value; on 64-bit Windows long is only 32 bits wide.
    first.Log(
        L"[WIZARD MEM] ALLOCATOR MEM - NEW Page0\tPTR: %lx", static_cast<std::uintptr_t>(0x12345678abcdULL));
    first.Log(L"100%% %c", L'\u00e9');
    std::vector<std::wstring> got = capture.take();
    const std::vector<std::wstring> expected = {
        header0 + L"\r\n",
        header1 + L"[INFO   ] Enter entry point of the Kavni Wizard {main}\r\n",
        header0 + L"[DEBUG  ] [Page1K] [OnDownloadFw] [Fail 3] {wizard::Page1K::OnDownloadFw}\r\n",
        header0 + L"[WIZARD MEM] ALLOCATOR MEM - NEW Page0\tPTR: 12345678abcd\r\n",
        header0 + L"100% \u00e9\r\n",
    };
    if (CHECK_EQ(got.size(), expected.size())) {
        const bool narrow = capture.narrowOnly() > 0;
        for (std::size_t i = 0; i < got.size(); ++i)
            CHECK_EQ(got[i], narrow ? throughCodePage(expected[i]) : expected[i]);
    }

    wintest::section("a disabled logger emits nothing");
    first.Disable();
    first.Log(L"[%s] hidden {%s}", L"INFO   ", L"main");
    CHECK(capture.take().empty());

    wintest::section("an overlong line is cut to 1023 characters and keeps its line end");
    second.Log(L"%s", std::wstring(3000, L'y').c_str());
    got = capture.take();
    if (CHECK_EQ(got.size(), std::size_t(1))) {
        CHECK_EQ(got[0].size(), std::size_t(1023));
        CHECK(got[0].compare(0, header1.size(), header1) == 0);
        CHECK(got[0].compare(got[0].size() - 2, 2, L"\r\n") == 0);
    }
    wizard::DebugLogger::setClock(nullptr);
}

void concurrentCallersKeepWholeLines(wintest::DebugCapture& capture)
{
    wintest::section("concurrent callers each get whole lines through");
    constexpr int threads = 4;
    constexpr int perThread = 50;
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([t] {
            const std::wstring line
                = L"worker " + std::to_wstring(t) + L" " + std::wstring(200, static_cast<wchar_t>(L'a' + t));
            for (int i = 0; i < perThread; ++i)
                wizard::sys::debugOutput(line.c_str());
        });
    }
    for (std::thread& w : workers)
        w.join();
    std::vector<std::wstring> got = capture.take();
    CHECK_EQ(got.size(), std::size_t(threads * perThread));
    int whole = 0;
    for (const std::wstring& line : got) {
        const wchar_t fill = line.empty() ? 0 : line.back();
        if (line.size() == 209 && line.find(std::wstring(200, fill)) == 9)
            ++whole;
    }
    CHECK_EQ(whole, threads * perThread);
}

} // namespace

int main()
{
    wintest::DebugCapture capture;
    rawLinesReachTheDebugger(capture);
    sinkReplacesTheDebugger(capture);
    loggerLinesAreExact(capture);
    concurrentCallersKeepWholeLines(capture);
    return wintest::finish();
}
