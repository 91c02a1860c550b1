// SPDX-License-Identifier: MIT
// The control channel's line protocol: one request per line, one reply line
// each, "ok [value]" or "error <why>". README.md lists the requests.
#pragma once

#include <string>

namespace wizard::sim {

class CommandLog;
class PrinterServer;
class PrinterState;

class ControlChannel {
public:
    ControlChannel(PrinterState& state, CommandLog& log, PrinterServer& server);
    std::string handle(const std::string& line);

private:
    PrinterState& state;
    CommandLog& log;
    PrinterServer& server;
};

} // namespace wizard::sim
