// SPDX-License-Identifier: MIT
// Where a print queue's printer is reached: the host and TCP port its queue
// sends to. On Linux the queue's device-uri, asked of the CUPS server
// (QueueLookupCups.cpp); on Windows the queue's port, asked of the spooler
// (QueueLookupWin32.cpp). README.md says which queues qualify.
#pragma once

#include <cstdint>
#include <string>

namespace wizard::durvo {

// False for a name that is no queue, an unknown queue, or a queue whose
// printer is not reached over TCP.
bool queuePrinterAddress(const char* queueName, std::string& host, std::uint16_t& port);

} // namespace wizard::durvo
