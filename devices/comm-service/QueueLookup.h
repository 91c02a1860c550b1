// SPDX-License-Identifier: MIT
// The print queues that carry a printer identifier, asked of the CUPS server
// cupsServer() names (CUPS_SERVER honoured).
#pragma once

#include <string>
#include <vector>

namespace service {

struct IdentifiedQueue {
    std::string id;
    std::string queue;
};

class QueueLookup {
public:
    // Every queue with a "talvor-printer-id-default" that can name a file in the pipe
    // folder; a server without queues gives none. False, with error set, when the
    // server cannot be asked.
    static bool identifiedQueues(std::vector<IdentifiedQueue>& queues, std::string& error);
};

} // namespace service
