// SPDX-License-Identifier: MIT
#include "CommandLog.h"

namespace wizard::sim {

CommandLog::~CommandLog()
{
    if (file)
        std::fclose(file);
}

bool CommandLog::open(const std::string& logPath)
{
    std::lock_guard<std::mutex> lock(mutex);
    path = logPath;
    file = std::fopen(path.c_str(), "w");
    return file != nullptr;
}

void CommandLog::write(int connection, const char* kind, const std::string& text)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (!file)
        return;
    std::string line = "c" + std::to_string(connection) + " " + kind;
    if (!text.empty()) {
        line += ' ';
        line += text;
    }
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), file);
    std::fflush(file);
}

void CommandLog::clear()
{
    std::lock_guard<std::mutex> lock(mutex);
    if (file)
        file = std::freopen(path.c_str(), "w", file);
}

} // namespace wizard::sim
