// SPDX-License-Identifier: MIT
// One host connection to the virtual printer, served on its own thread:
// reads packets, hands data to the command parser, answers every command
// and status request as the printer state says.
#pragma once

#include "CommandParser.h"

#include <atomic>
#include <cstdint>
#include <string>

namespace wizard::sim {

class CommandLog;
class PrinterServer;

class PrinterConnection {
public:
    PrinterConnection(int fd, int id, PrinterState& state, CommandLog& log, PrinterServer& server);
    ~PrinterConnection();
    PrinterConnection(const PrinterConnection&) = delete;
    PrinterConnection& operator=(const PrinterConnection&) = delete;

    void run();
    // From another thread: ends run() soon, also during a delayed answer.
    void shutdown();
    bool finished() const { return done; }

private:
    bool readExact(std::uint8_t* buffer, std::size_t size);
    long readSome(std::uint8_t* buffer, std::size_t size);
    bool sendPacket(std::uint8_t type, const std::string& payload, long long cutAfter);
    void answer(const ParsedCommand& command);
    void answerStatus();
    void sleepUnlessClosing(int milliseconds);

    int fd;
    int id;
    PrinterState& state;
    CommandLog& log;
    PrinterServer& server;
    CommandParser parser;
    std::atomic<bool> closing { false };
    std::atomic<bool> done { false };
    bool ended = false; // this thread stopped serving (drop, cut, restart)
    long long received = 0;
    bool smallBuffer = false;
};

} // namespace wizard::sim
