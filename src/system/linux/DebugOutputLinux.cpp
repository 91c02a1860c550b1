// SPDX-License-Identifier: MIT
#include "system/DebugOutput.h"
#include "system/TextEncoding.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <syslog.h>

namespace wizard::sys {

namespace {

// With KAVNI_TRACE_FILE set, the lines go to the end of that file (UTF-8, each
// as the logger formatted it) instead of the system log, so that a test can
// read the trace of the real executable.
std::FILE* traceFile()
{
    static std::FILE* file = [] {
        const char* path = std::getenv("KAVNI_TRACE_FILE");
        return path && *path ? std::fopen(path, "ab") : nullptr;
    }();
    return file;
}

} // namespace

void systemDebugOutput(const wchar_t* line)
{
    if (std::FILE* file = traceFile()) {
        static std::mutex writing;
        const std::string text = toUtf8(line);
        std::lock_guard<std::mutex> lock(writing);
        std::fwrite(text.data(), 1, text.size(), file);
        std::fflush(file);
        return;
    }
    static const bool opened = [] {
        openlog("kavni-wizard", LOG_PID | LOG_NDELAY, LOG_USER);
        return true;
    }();
    (void)opened;
    syslog(LOG_DEBUG, "%s", toUtf8(line).c_str());
}

} // namespace wizard::sys
