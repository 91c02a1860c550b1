// SPDX-License-Identifier: MIT
// Finds where a print queue's printer is: the queue's device-uri, asked of the
// CUPS server that cupsServer() names (CUPS_SERVER honoured). Never prompts
// for a password: a server that wants one simply refuses.
#pragma once

#include <cstdint>
#include <string>

namespace wizard::durvo {

class QueueLookup {
public:
    static bool deviceUri(const char* queueName, std::string& uri);
    // Host and port of a "socket://host[:port]" URI (port 9100 when absent);
    // false for any other scheme or a URI without a host.
    static bool socketAddress(const std::string& uri, std::string& host, std::uint16_t& port);
};

} // namespace wizard::durvo
