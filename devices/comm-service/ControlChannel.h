// SPDX-License-Identifier: MIT
// The fault commands on standard input, one a line, each answered "ok" or
// "error ..." (PipeService.h lists them): pipe modes go to the service, the
// conversation's faults to FaultModes.
#pragma once

#include <string>

namespace service {

class FaultModes;
class PipeService;

class ControlChannel {
public:
    ControlChannel(PipeService& pipes, FaultModes& faults);
    // The answer to one line; true when it is "ok".
    bool handle(const std::string& line, std::string& answer);

private:
    PipeService& pipes;
    FaultModes& faults;
};

} // namespace service
