// SPDX-License-Identifier: MIT
#pragma once

// A tiny check harness for the Windows-side programs that run under Wine, where
// no test framework is available. Each program ends with finish(), whose closing
// line "N passed, M failed" the runner requires: a program that never ran can
// still exit 0 under Wine.

#include <cstdio>
#include <string>
#include <type_traits>

namespace wintest {

struct Tally {
    int passed = 0;
    int failed = 0;
};

inline Tally& tally()
{
    static Tally t;
    return t;
}

inline bool record(bool ok, const char* what, const char* file, int line)
{
    if (ok) {
        ++tally().passed;
    } else {
        ++tally().failed;
        std::printf("FAIL %s:%d: %s\n", file, line, what);
        std::fflush(stdout);
    }
    return ok;
}

inline std::string narrow(const std::wstring& text)
{
    std::string out;
    for (wchar_t c : text)
        out += (c >= 0x20 && c < 0x7f) ? static_cast<char>(c) : '?';
    return out;
}

template <typename A, typename B>
bool recordEqual(const A& actual, const B& expected, const char* what, const char* file, int line)
{
    if (actual == expected)
        return record(true, what, file, line);
    std::printf("FAIL %s:%d: %s\n", file, line, what);
    if constexpr (std::is_integral_v<A> && std::is_integral_v<B>)
        std::printf("     actual %lld, expected %lld\n", static_cast<long long>(actual),
            static_cast<long long>(expected));
    else if constexpr (std::is_convertible_v<A, std::string> && std::is_convertible_v<B, std::string>)
        std::printf("     actual \"%s\", expected \"%s\"\n", std::string(actual).c_str(),
            std::string(expected).c_str());
    else if constexpr (std::is_convertible_v<A, std::wstring> && std::is_convertible_v<B, std::wstring>)
        std::printf(
            "     actual \"%s\", expected \"%s\"\n", narrow(actual).c_str(), narrow(expected).c_str());
    std::fflush(stdout);
    ++tally().failed;
    return false;
}

// Names the case that follows, so a failure can be placed.
inline void section(const char* name)
{
    std::printf("-- %s\n", name);
    std::fflush(stdout);
}

inline int finish()
{
    std::printf("%d passed, %d failed\n", tally().passed, tally().failed);
    std::fflush(stdout);
    return tally().failed == 0 ? 0 : 1;
}

} // namespace wintest

#define CHECK(cond) ::wintest::record(static_cast<bool>(cond), #cond, __FILE__, __LINE__)
#define CHECK_EQ(actual, expected)                                                                           \
    ::wintest::recordEqual((actual), (expected), #actual " == " #expected, __FILE__, __LINE__)
