// SPDX-License-Identifier: MIT
// Answers one message of a conversation through the device-access library:
// open (a new channel), close, read (the printer's reply in chunks, one per
// acknowledgement), write (chunks gathered, sent whole) and read status. The
// channels outlive a conversation, as clients open one connection per exchange.
#pragma once

#include "DurvoLibrary.h"
#include "ServiceMessage.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace service {

class FaultModes;
class ServiceLog;

// What one conversation has gathered of a read or a write that spans messages.
struct Exchange {
    struct Read {
        bool active = false;
        std::vector<char> data;
        std::int32_t count = 0;
        std::int32_t sent = 0;
    };
    struct Write {
        bool active = false;
        std::vector<char> data;
        std::int32_t total = 0;
    };
    Read read;
    Write write;
};

class MessageHandler {
public:
    MessageHandler(DurvoLibrary& durvo, FaultModes& faults, const ServiceLog& log);
    ~MessageHandler();
    MessageHandler(const MessageHandler&) = delete;
    MessageHandler& operator=(const MessageHandler&) = delete;

    // The reply to request, for the printer of queue; result 0 unless it succeeded.
    Message handle(const std::string& queue, const Message& request, Exchange& exchange);

private:
    Message open(const std::string& queue, Message reply);
    Message close(std::map<std::int32_t, QuarleHandle>::iterator channel, Message reply);
    Message read(QuarleHandle device, const Message& request, Exchange::Read& read, Message reply);
    Message write(QuarleHandle device, const Message& request, Exchange::Write& write, Message reply);
    Message readStatus(QuarleHandle device, const Message& request, Message reply);

    DurvoLibrary& durvo;
    FaultModes& faults;
    const ServiceLog& log;
    std::map<std::int32_t, QuarleHandle> channels;
    std::int32_t nextChannel = 1;
};

} // namespace service
