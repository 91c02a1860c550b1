// SPDX-License-Identifier: MIT
#include "ControlChannel.h"

#include "CommandLog.h"
#include "PrinterServer.h"
#include "PrinterState.h"

namespace wizard::sim {

ControlChannel::ControlChannel(PrinterState& state, CommandLog& log, PrinterServer& server)
    : state(state)
    , log(log)
    , server(server)
{
}

std::string ControlChannel::handle(const std::string& line)
{
    const std::size_t space = line.find(' ');
    const std::string verb = line.substr(0, space);
    const std::string rest = space == std::string::npos ? std::string() : line.substr(space + 1);

    if (verb == "ping")
        return "ok";
    if (verb == "set") {
        // The value is everything after the key's one space, so it may itself
        // hold spaces (a reply text such as "OK ").
        const std::size_t keyEnd = rest.find(' ');
        if (keyEnd == std::string::npos)
            return "error set needs a key and a value";
        std::string error;
        if (!state.set(rest.substr(0, keyEnd), rest.substr(keyEnd + 1), error))
            return "error " + error;
        return "ok";
    }
    if (verb == "get") {
        if (rest == "state")
            return std::string("ok ") + (server.restarting() ? "restarting" : "up");
        if (rest == "connections")
            return "ok " + std::to_string(server.connectionCount());
        if (rest == "port")
            return "ok " + std::to_string(server.port());
        std::string value;
        if (!state.get(rest, value))
            return "error unknown key " + rest;
        return "ok " + value;
    }
    if (verb == "reset") {
        state.resetFaults();
        return "ok";
    }
    if (verb == "clear-log") {
        log.clear();
        return "ok";
    }
    if (verb == "restart") {
        server.restart(state.version());
        return "ok";
    }
    if (verb == "quit") {
        server.stop();
        return "ok";
    }
    return "error unknown request " + verb;
}

} // namespace wizard::sim
