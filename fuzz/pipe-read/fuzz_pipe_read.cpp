// SPDX-License-Identifier: MIT
// The read exchange of the pipe comm layer fed hostile replies: any chunk
// count, chunk length, total and result, short or failed transfers. A real
// service cannot be made to send most of these, so the replies come from a
// scripted pipe in place of the socket.
//
// Input: two bytes of capacity (little-endian), then one record per reply:
// chunk count, total length, chunk length, result (four 32-bit little-endian
// values), one fill byte for the chunk data, one flags byte (bit 0: the reply
// arrives short, bit 1: the acknowledgement cannot be written).
#include "comm/VekCommLayer.h"
#include "system/NamedPipe.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

std::int32_t take32(const std::uint8_t* p)
{
    return static_cast<std::int32_t>(std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8
        | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24);
}

class ScriptedPipe : public wizard::sys::NamedPipe {
public:
    ScriptedPipe(const std::uint8_t* data, std::size_t size)
        : data(data)
        , size(size)
    {
    }
    wizard::sys::PipeResult open(const std::wstring&) override
    {
        connected = true;
        return wizard::sys::PipeResult::Ok;
    }
    wizard::sys::PipeResult wait(const std::wstring&, int) override { return wizard::sys::PipeResult::Ok; }
    bool setMessageMode() override { return connected; }
    wizard::sys::PipeResult write(const void*, std::size_t length, std::size_t* written, int) override
    {
        *written = 0;
        if (!connected || failNextWrite)
            return wizard::sys::PipeResult::Failed;
        *written = length;
        return wizard::sys::PipeResult::Ok;
    }
    wizard::sys::PipeResult read(void* buffer, std::size_t capacity, std::size_t* received, int) override
    {
        *received = 0;
        constexpr std::size_t record = 18;
        if (!connected || size - position < record)
            return wizard::sys::PipeResult::Failed;
        const std::uint8_t* p = data + position;
        position += record;
        wizard::VekMessage reply;
        reply.set(wizard::VekMessage::command, wizard::VekMessage::read);
        reply.set(wizard::VekMessage::chunkCount, take32(p));
        reply.set(wizard::VekMessage::totalLength, take32(p + 4));
        reply.set(wizard::VekMessage::chunkLength, take32(p + 8));
        reply.set(wizard::VekMessage::result, take32(p + 12));
        std::memset(
            reply.bytes.data() + wizard::VekMessage::chunkData, p[16], wizard::VekMessage::chunkCapacity);
        failNextWrite = (p[17] & 2) != 0;
        const std::size_t length = (p[17] & 1) ? wizard::VekMessage::size / 2 : wizard::VekMessage::size;
        if (capacity < length)
            std::abort();
        std::memcpy(buffer, reply.bytes.data(), length);
        *received = length;
        return wizard::sys::PipeResult::Ok;
    }
    void close() override { connected = false; }

private:
    const std::uint8_t* data;
    std::size_t size;
    std::size_t position = 0;
    bool connected = false;
    bool failNextWrite = false;
};

class FuzzedLayer : public wizard::VekCommLayer {
public:
    FuzzedLayer(const std::uint8_t* data, std::size_t size)
        : VekCommLayer(nullptr, L"fuzz", 0, 0, 0, 0, 0)
    {
        replacePipe(std::make_unique<ScriptedPipe>(data, size));
        setPipeName(L"\\\\.\\pipe\\ExtComFuzz");
    }
    bool read(char* buffer, std::uint32_t capacity, std::int32_t* received)
    {
        wizard::VekMessage message = request(wizard::VekMessage::read);
        message.set(wizard::VekMessage::totalLength, static_cast<std::int32_t>(capacity));
        return ExecuteReadCmd(message, buffer, capacity, received)
            && message.get(wizard::VekMessage::result) != 0;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    const std::uint32_t capacity = std::uint32_t(data[0]) | std::uint32_t(data[1]) << 8;
    // Exactly the capacity, so that any write past it is caught by the address sanitizer.
    std::unique_ptr<char[]> buffer(new char[capacity ? capacity : 1]);
    std::memset(buffer.get(), 0x5A, capacity ? capacity : 1);
    std::int32_t received = -7;
    FuzzedLayer layer(data + 2, size - 2);
    const bool ok = layer.read(buffer.get(), capacity, &received);
    if (ok) {
        if (received < 0 || received > wizard::VekCommLayer::maxReplyLength)
            std::abort();
    } else {
        // A failed read leaves the caller's buffer and received length as they were.
        if (received != -7)
            std::abort();
        for (std::uint32_t i = 0; i < capacity; ++i)
            if (buffer[i] != 0x5A)
                std::abort();
    }
    return 0;
}
