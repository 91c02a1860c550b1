// SPDX-License-Identifier: MIT
#include "MessageHandler.h"

#include "FaultModes.h"
#include "ServiceLog.h"

#include <algorithm>
#include <cstring>

namespace service {

namespace {

// The most a client may write or ask to read in one exchange.
constexpr std::int32_t maxTransfer = 16 << 20;
// What the service takes from the printer in one read at the least.
constexpr std::int32_t readAtLeast = 64 << 10;

std::int32_t chunksFor(std::int64_t length)
{
    return static_cast<std::int32_t>(
        (length + std::int64_t(Message::chunkCapacity) - 1) / std::int64_t(Message::chunkCapacity));
}

// Chunk index (1: the first) of the reply gathered in read; past the last, an empty one.
void putChunk(Message& reply, const Exchange::Read& read, std::int32_t index)
{
    std::fill_n(reply.bytes.begin() + Message::chunkData, Message::chunkCapacity, std::uint8_t(0));
    const std::size_t from = std::size_t(index - 1) * Message::chunkCapacity;
    const std::size_t length = index >= 1 && from < read.data.size()
        ? std::min(Message::chunkCapacity, read.data.size() - from)
        : 0;
    if (length > 0)
        std::memcpy(reply.bytes.data() + Message::chunkData, read.data.data() + from, length);
    reply.set(Message::chunkCount, read.count);
    reply.set(Message::totalLength, static_cast<std::int32_t>(read.data.size()));
    reply.set(Message::chunkLength, static_cast<std::int32_t>(length));
    reply.set(Message::result, 1);
}

} // namespace

MessageHandler::MessageHandler(DurvoLibrary& durvo, FaultModes& faults, const ServiceLog& log)
    : durvo(durvo)
    , faults(faults)
    , log(log)
{
}

MessageHandler::~MessageHandler()
{
    for (const auto& channel : channels)
        durvo.close(channel.second);
}

Message MessageHandler::handle(const std::string& queue, const Message& request, Exchange& exchange)
{
    Message reply = request;
    reply.set(Message::result, 0);
    const Command code = request.commandCode();
    if (code == Command::Open)
        return open(queue, reply);

    const auto found = channels.find(request.get(Message::channel));
    if (found == channels.end()) {
        log.line("printer unknown channel " + std::to_string(request.get(Message::channel)));
        return reply;
    }
    const QuarleHandle device = found->second;
    switch (code) {
    case Command::Close:
        return close(found, reply);
    case Command::Write:
        return write(device, request, exchange.write, reply);
    case Command::Read:
        return read(device, request, exchange.read, reply);
    case Command::ReadStatus:
        return readStatus(device, request, reply);
    case Command::Open:
        break;
    }
    log.line("printer unknown command " + std::to_string(request.get(Message::command)));
    return reply;
}

Message MessageHandler::open(const std::string& queue, Message reply)
{
    const QuarleHandle device = durvo.open(queue.c_str());
    log.line("printer open " + queue + (device ? " ok" : " failed"));
    if (!device)
        return reply;
    std::int32_t channel = nextChannel++;
    // The service's own values for the options; clients must carry them from here on.
    std::int32_t values[3] = { 100 + channel, 200 + channel, 300 + channel };
    faults.takeAssignment(
        channel, values, [this](std::int32_t wanted) { return channels.find(wanted) != channels.end(); });
    if (auto previous = channels.find(channel); previous != channels.end())
        durvo.close(previous->second);
    channels[channel] = device;
    reply.set(Message::channel, channel);
    reply.set(Message::optionA, values[0]);
    reply.set(Message::optionB, values[1]);
    reply.set(Message::optionC, values[2]);
    reply.set(Message::result, 1);
    return reply;
}

Message MessageHandler::close(std::map<std::int32_t, QuarleHandle>::iterator channel, Message reply)
{
    const bool ok = durvo.close(channel->second) != 0;
    channels.erase(channel);
    log.line(std::string("printer close ") + (ok ? "ok" : "failed"));
    reply.set(Message::result, ok ? 1 : 0);
    return reply;
}

Message MessageHandler::write(
    QuarleHandle device, const Message& request, Exchange::Write& write, Message reply)
{
    const std::int32_t piece = request.get(Message::chunkLength);
    if (!write.active) {
        const std::int32_t total = request.get(Message::totalLength);
        if (total <= 0 || total > maxTransfer || request.get(Message::chunkCount) != chunksFor(total)) {
            log.line("printer write refused: bad total");
            return reply;
        }
        write = { true, {}, total };
    }
    if (piece < 0 || piece > std::int32_t(Message::chunkCapacity)
        || std::size_t(piece) > std::size_t(write.total) - write.data.size()) {
        log.line("printer write refused: bad chunk");
        write = {};
        return reply;
    }
    const auto* start = reinterpret_cast<const char*>(request.bytes.data() + Message::chunkData);
    write.data.insert(write.data.end(), start, start + piece);
    if (write.data.size() < std::size_t(write.total)) {
        reply.set(Message::result, 1);
        return reply;
    }
    // The printer takes a command, a download frame above all, only whole.
    const bool ok
        = durvo.write(device, write.data.data(), write.total, request.get(Message::timeout), 0, 0) != 0;
    log.line("printer write " + std::to_string(write.total) + (ok ? " ok" : " failed"));
    write = {};
    reply.set(Message::result, ok ? 1 : 0);
    return reply;
}

Message MessageHandler::read(QuarleHandle device, const Message& request, Exchange::Read& read, Message reply)
{
    if (!read.active) {
        // The printer's whole reply is taken, also when it is longer than the
        // client's capacity: the client learns its real length and keeps what fits.
        const std::int32_t capacity = std::clamp<std::int32_t>(
            std::max(request.get(Message::totalLength), readAtLeast), 0, maxTransfer);
        std::vector<char> buffer(std::size_t(capacity) + 1, 0);
        std::int32_t received = 0;
        const bool ok = durvo.read(device, buffer.data(), std::uint32_t(capacity), &received,
                            request.get(Message::timeout), 0, 0)
            != 0;
        log.line("printer read " + std::to_string(received) + (ok ? " ok" : " failed"));
        if (!ok) {
            reply.set(Message::chunkCount, 0);
            reply.set(Message::totalLength, 0);
            reply.set(Message::chunkLength, 0);
            return reply;
        }
        received = std::clamp<std::int32_t>(received, 0, capacity);
        read = { true, std::vector<char>(buffer.begin(), buffer.begin() + received), chunksFor(received), 0 };
    }
    // Chunk k+1 answers the acknowledgement of chunk k; after the last, a final reply.
    ++read.sent;
    putChunk(reply, read, read.sent);
    if (read.sent > read.count)
        read.active = false;
    return reply;
}

Message MessageHandler::readStatus(QuarleHandle device, const Message& request, Message reply)
{
    const std::int32_t timeout = request.get(Message::timeout);
    char raw[1024] = {};
    std::int32_t received = 0;
    const bool ok
        = durvo.readStatus(device, raw, sizeof raw, &received, timeout > 0 ? timeout : 1000, 0, 0) != 0;
    log.line(std::string("printer status ") + (ok ? "ok" : "failed"));
    if (!ok)
        return reply;
    // The status record skips raw byte 10.
    std::memcpy(reply.bytes.data() + Message::status, raw, 10);
    std::memcpy(reply.bytes.data() + Message::status + 10, raw + 11, 6);
    reply.set(Message::result, 1);
    return reply;
}

} // namespace service
