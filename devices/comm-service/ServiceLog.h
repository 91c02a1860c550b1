// SPDX-License-Identifier: MIT
// The service's event log (--log): one line per event, flushed at once so that a
// test reads it while the service runs. Without a file nothing is written.
#pragma once

#include <cstdio>
#include <string>

namespace service {

class ServiceLog {
public:
    explicit ServiceLog(std::FILE* file)
        : file(file)
    {
    }
    void line(const std::string& text) const
    {
        if (!file)
            return;
        std::fputs(text.c_str(), file);
        std::fputc('\n', file);
        std::fflush(file);
    }

private:
    std::FILE* file;
};

} // namespace service
