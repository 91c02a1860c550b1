// SPDX-License-Identifier: MIT
#include "comm/VekCommLayer.h"

#include "foundation/Trace.h"
#include "system/NamedPipe.h"
#include "system/Sleep.h"
#include "system/SpoolerControl.h"
#include "system/TextEncoding.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

namespace wizard {

namespace {

// Ends the conversation on every way out of an exchange: the service takes one
// connection per exchange and serves no other client while one stays open.
class ConversationEnd {
public:
    explicit ConversationEnd(sys::NamedPipe* pipe)
        : pipe(pipe)
    {
    }
    ~ConversationEnd()
    {
        if (pipe)
            pipe->close();
    }
    ConversationEnd(const ConversationEnd&) = delete;
    ConversationEnd& operator=(const ConversationEnd&) = delete;

private:
    sys::NamedPipe* pipe;
};

} // namespace

std::int32_t VekMessage::get(Field field) const
{
    const std::size_t at = field;
    const std::uint32_t value = std::uint32_t(bytes[at]) | std::uint32_t(bytes[at + 1]) << 8
        | std::uint32_t(bytes[at + 2]) << 16 | std::uint32_t(bytes[at + 3]) << 24;
    return static_cast<std::int32_t>(value);
}

void VekMessage::set(Field field, std::int32_t value)
{
    const std::size_t at = field;
    const auto bits = static_cast<std::uint32_t>(value);
    for (std::size_t i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<std::uint8_t>(bits >> (8 * i));
}

bool VekMessage::setPrinterName(const std::wstring& name)
{
    std::fill_n(bytes.begin() + printerName, nameUnits * 2, std::uint8_t(0));
    const std::u16string units = sys::toUtf16(name);
    if (units.size() >= nameUnits)
        return false;
    for (std::size_t i = 0; i < units.size(); ++i) {
        bytes[printerName + 2 * i] = static_cast<std::uint8_t>(units[i] & 0xFF);
        bytes[printerName + 2 * i + 1] = static_cast<std::uint8_t>(units[i] >> 8);
    }
    return true;
}

VekCommLayer::VekCommLayer(ILogger* logger, const wchar_t* printerName, std::int32_t optionA,
    std::int32_t optionB, std::int32_t optionC, std::int32_t optionD, std::int32_t optionE)
    : opened(0)
    , logger(logger)
    , optionA(optionA)
    , channel(-1)
    , optionB(optionB)
    , optionC(optionC)
    , timeout(1000)
    , printerName(printerName ? printerName : L"")
    , optionD(optionD)
    , optionE(optionE)
    , pipe(new (std::nothrow) sys::NamedPipe)
{
    trace(logger, TraceLevel::info, L"[%s] [VekCommLayer] [Creating] {%s}",
        L"wizard::VekCommLayer::VekCommLayer");
}

VekCommLayer::~VekCommLayer()
{
    trace(logger, TraceLevel::info, L"[%s] [VekCommLayer] [Destructing] {%s}",
        L"wizard::VekCommLayer::~VekCommLayer");
    if (opened == 1)
        Close();
}

void VekCommLayer::replacePipe(std::unique_ptr<sys::NamedPipe> replacement)
{
    pipe = std::move(replacement);
}

VekMessage VekCommLayer::request(std::int32_t code) const
{
    VekMessage message;
    message.set(VekMessage::command, code);
    message.set(VekMessage::channel, channel);
    message.set(VekMessage::optionB, optionB);
    message.set(VekMessage::optionC, optionC);
    message.set(VekMessage::timeout, timeout);
    message.set(VekMessage::optionA, optionA);
    // A name too long for the field never gets this far: Open refuses it.
    message.setPrinterName(printerName);
    return message;
}

int VekCommLayer::transferLimitMs() const
{
    // Summed wide: a limit near the largest value must not wrap into a
    // negative one, which the pipe would take as no limit at all.
    const std::int64_t limit = std::int64_t(std::max(timeout, 0)) + transferGraceMs;
    return static_cast<int>(std::min<std::int64_t>(limit, std::numeric_limits<int>::max()));
}

bool VekCommLayer::connect()
{
    if (!pipe)
        return false;
    int notFoundWaits = 0;
    int busyTimeouts = 0;
    for (;;) {
        const sys::PipeResult opening = pipe->open(pipeName);
        if (opening == sys::PipeResult::Ok)
            break;
        const bool notFoundAgain = opening == sys::PipeResult::NotFound && notFoundWaits < notFoundWaitLimit;
        if (opening != sys::PipeResult::Busy && !notFoundAgain)
            return false;
        const sys::PipeResult waiting = pipe->wait(pipeName, busyWaitMs);
        if (waiting == sys::PipeResult::Ok)
            continue;
        if (waiting == sys::PipeResult::TimedOut) {
            if (++busyTimeouts >= busyTimeoutLimit)
                return false;
            continue;
        }
        if (waiting == sys::PipeResult::NotFound && notFoundWaits < notFoundWaitLimit) {
            sys::sleepMs(notFoundPauseMs);
            ++notFoundWaits;
            continue;
        }
        return false;
    }
    if (!pipe->setMessageMode()) {
        pipe->close();
        return false;
    }
    const std::uint8_t hello[4]
        = { std::uint8_t(announcement & 0xFF), std::uint8_t((announcement >> 8) & 0xFF),
              std::uint8_t((announcement >> 16) & 0xFF), std::uint8_t((announcement >> 24) & 0xFF) };
    std::size_t written = 0;
    if (pipe->write(hello, sizeof hello, &written, transferLimitMs()) != sys::PipeResult::Ok
        || written != sizeof hello) {
        pipe->close();
        return false;
    }
    return true;
}

bool VekCommLayer::transfer(VekMessage& message)
{
    std::size_t moved = 0;
    if (pipe->write(message.bytes.data(), VekMessage::size, &moved, transferLimitMs()) != sys::PipeResult::Ok
        || moved != VekMessage::size)
        return false;
    // The reply lands in a buffer of its own: a short or failed read must not
    // leave a half-replaced request behind.
    VekMessage reply;
    if (pipe->read(reply.bytes.data(), VekMessage::size, &moved, transferLimitMs()) != sys::PipeResult::Ok
        || moved != VekMessage::size)
        return false;
    message = reply;
    return true;
}

bool VekCommLayer::ExecuteCmd(VekMessage& message)
{
    trace(logger, TraceLevel::info, L"[%s] ExecuteCmd {%s}", L"wizard::VekCommLayer::ExecuteCmd");
    if (!connect())
        return false;
    const ConversationEnd end(pipe.get());
    return transfer(message);
}

bool VekCommLayer::ExecuteWriteCmd(VekMessage& message, const char* bytes, std::int32_t length)
{
    trace(logger, TraceLevel::info, L"[%s] ExecuteWriteCmd {%s}", L"wizard::VekCommLayer::ExecuteWriteCmd");
    if (!connect())
        return false;
    const ConversationEnd end(pipe.get());
    const std::int64_t chunks = (std::int64_t(length) + std::int64_t(VekMessage::chunkCapacity) - 1)
        / std::int64_t(VekMessage::chunkCapacity);
    message.set(VekMessage::chunkCount, static_cast<std::int32_t>(std::max<std::int64_t>(chunks, 0)));
    message.set(VekMessage::totalLength, length);
    if (length <= 0 || !bytes)
        return false;
    std::int32_t sent = 0;
    while (sent < length) {
        const std::int32_t piece
            = std::min<std::int32_t>(length - sent, std::int32_t(VekMessage::chunkCapacity));
        std::fill_n(
            message.bytes.begin() + VekMessage::chunkData, VekMessage::chunkCapacity, std::uint8_t(0));
        std::memcpy(message.bytes.data() + VekMessage::chunkData, bytes + sent, std::size_t(piece));
        message.set(VekMessage::chunkLength, piece);
        if (!transfer(message))
            return false;
        sent += piece;
    }
    return true;
}

bool VekCommLayer::ExecuteReadCmd(
    VekMessage& message, char* buffer, std::uint32_t capacity, std::int32_t* received)
{
    trace(logger, TraceLevel::info, L"[%s] ExecuteReadCmd {%s}", L"wizard::VekCommLayer::ExecuteReadCmd");
    if (!connect())
        return false;
    const ConversationEnd end(pipe.get());
    if (!transfer(message))
        return false;
    // The first reply announces the total; every chunk must fit inside it, and
    // no reply may change it, so the data never runs past its buffer.
    const std::int32_t total = message.get(VekMessage::totalLength);
    if (total < 0 || total > maxReplyLength)
        return false;
    const std::int32_t chunkLimit
        = (total + std::int32_t(VekMessage::chunkCapacity) - 1) / std::int32_t(VekMessage::chunkCapacity);
    std::vector<char> data(static_cast<std::size_t>(total), 0);
    std::int32_t offset = 0;
    for (std::int32_t chunk = 1; chunk <= message.get(VekMessage::chunkCount); ++chunk) {
        const std::int32_t piece = message.get(VekMessage::chunkLength);
        if (message.get(VekMessage::chunkCount) > chunkLimit || message.get(VekMessage::totalLength) != total
            || piece < 0 || piece > std::int32_t(VekMessage::chunkCapacity) || piece > total - offset)
            return false;
        if (piece > 0)
            std::memcpy(
                data.data() + offset, message.bytes.data() + VekMessage::chunkData, std::size_t(piece));
        offset += piece;
        message.set(VekMessage::result, 1);
        if (!transfer(message))
            return false;
        if (message.get(VekMessage::result) == 0)
            return true;
    }
    if (message.get(VekMessage::result) != 0) {
        if (message.get(VekMessage::totalLength) != total)
            return false;
        if (!buffer || !received)
            return false;
        *received = total;
        std::memset(buffer, 0, capacity);
        // An empty reply has no data block at all: nothing to copy.
        if (const std::size_t kept = std::min<std::size_t>(capacity, data.size()); kept > 0)
            std::memcpy(buffer, data.data(), kept);
    }
    return true;
}

bool VekCommLayer::Open(const wchar_t* name)
{
    trace(logger, TraceLevel::info, L"[%s] [VekCommLayer] [Open] {%s}", L"wizard::VekCommLayer::Open");
    if (opened != 0)
        return false;
    // The service gets the name in a field of 32 UTF-16 units with its NUL; a
    // longer name would reach it cut, so it is refused before any exchange.
    if (sys::toUtf16(printerName).size() >= VekMessage::nameUnits || !name)
        return false;

    std::uint8_t block[sys::printerIdSize] = {};
    if (!sys::readPrinterId(name, block))
        return false;
    const std::wstring id = sys::decodePrinterId(block);
    if (id.empty())
        return false;

    pipeName = std::wstring(sys::NamedPipe::prefix()) + L"ExtCom" + id;
    VekMessage message = request(VekMessage::open);
    if (!ExecuteCmd(message) || message.get(VekMessage::result) == 0)
        return false;
    channel = message.get(VekMessage::channel);
    optionB = message.get(VekMessage::optionB);
    optionC = message.get(VekMessage::optionC);
    optionA = message.get(VekMessage::optionA);
    opened = 1;
    return true;
}

bool VekCommLayer::Close()
{
    trace(logger, TraceLevel::info, L"[%s] [VekCommLayer] [Close] {%s}", L"wizard::VekCommLayer::Close");
    if (opened == 0)
        return false;
    VekMessage message = request(VekMessage::close);
    const bool ok = ExecuteCmd(message) && message.get(VekMessage::result) != 0;
    // The layer is closed whatever the service made of it.
    opened = 0;
    channel = -1;
    pipeName.clear();
    return ok;
}

bool VekCommLayer::Write(const char* bytes, std::int32_t length)
{
    trace(logger, TraceLevel::info, L"[%s] [VekCommLayer] [Write] {%s}", L"wizard::VekCommLayer::Write");
    if (opened == 0)
        return false;
    VekMessage message = request(VekMessage::write);
    return ExecuteWriteCmd(message, bytes, length) && message.get(VekMessage::result) != 0;
}

bool VekCommLayer::Read(char* buffer, std::uint32_t capacity, std::int32_t* received)
{
    trace(logger, TraceLevel::info, L"[%s] [VekCommLayer] [Read] {%s}", L"wizard::VekCommLayer::Read");
    if (opened == 0)
        return false;
    VekMessage message = request(VekMessage::read);
    message.set(VekMessage::totalLength, static_cast<std::int32_t>(capacity));
    return ExecuteReadCmd(message, buffer, capacity, received) && message.get(VekMessage::result) != 0;
}

bool VekCommLayer::readStatus(CommStatus* status, const wchar_t* operation)
{
    trace(logger, TraceLevel::info, L"[%s] [VekCommLayer] [ReadStatus] {%s}", operation);
    if (opened == 0)
        return false;
    VekMessage message = request(VekMessage::readStatus);
    message.set(VekMessage::optionD, optionD);
    message.set(VekMessage::optionE, optionE);
    if (!ExecuteCmd(message) || message.get(VekMessage::result) == 0 || !status)
        return false;
    std::memcpy(status->bytes, message.bytes.data() + VekMessage::status, VekMessage::statusSize);
    return true;
}

bool VekCommLayer::ReadStatus(CommStatus* status)
{
    return readStatus(status, L"wizard::VekCommLayer::ReadStatus");
}

bool VekCommLayer::ReadStatusRpst(CommStatus* status)
{
    return readStatus(status, L"wizard::VekCommLayer::ReadStatusRpst");
}

void VekCommLayer::SetTimeout(std::int32_t milliseconds)
{
    trace(logger, TraceLevel::info, L"[%s] [VekCommLayer] [SetTimeout] {%s}",
        L"wizard::VekCommLayer::SetTimeout");
    timeout = milliseconds;
}

std::int32_t VekCommLayer::GetTimeout()
{
    trace(logger, TraceLevel::info, L"[%s] [VekCommLayer] [GetTimeout] {%s}",
        L"wizard::VekCommLayer::GetTimeout");
    return timeout;
}

} // namespace wizard
