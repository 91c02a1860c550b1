// SPDX-License-Identifier: MIT
// The printer's log, read by tests: one line per event, "<connection> <kind>
// [text]", flushed at once and always written before the printer answers, so
// a host that has its reply finds the command in the log.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>

namespace wizard::sim {

class CommandLog {
public:
    CommandLog() = default;
    ~CommandLog();
    CommandLog(const CommandLog&) = delete;
    CommandLog& operator=(const CommandLog&) = delete;

    bool open(const std::string& path);
    // `connection` 0 is the printer itself (restarts), not a host connection.
    void write(int connection, const char* kind, const std::string& text = std::string());
    void clear();

private:
    std::mutex mutex;
    std::string path;
    std::FILE* file = nullptr;
};

} // namespace wizard::sim
