// SPDX-License-Identifier: MIT
// The five calls of the device-access library over DurvoDevice.
#include "durvo.h"

#include "DeviceTable.h"
#include "DurvoDevice.h"
#include "QueueLookup.h"

#include <cstring>

using wizard::durvo::DeviceTable;
using wizard::durvo::DurvoDevice;

namespace {
// A printer that takes longer than this to accept a connection is not there.
constexpr int connectTimeoutMs = 5000;

void storeReceived(int32_t* received, uint32_t value)
{
    if (received)
        *received = static_cast<int32_t>(value);
}

// The device of a read call, received set to 0 first; null when the handle is unknown
// or there is no buffer for a capacity. A capacity past the signed range of the stored
// length is cut to it, so it is never filled past what can be reported.
std::shared_ptr<DurvoDevice> readTarget(
    QuarleHandle handle, char* buffer, uint32_t& capacity, int32_t* received)
{
    storeReceived(received, 0);
    std::shared_ptr<DurvoDevice> device = DeviceTable::instance().find(handle);
    if (!device || (capacity > 0 && !buffer))
        return nullptr;
    if (capacity > INT32_MAX)
        capacity = INT32_MAX;
    return device;
}

void writeTimeOut(char* buffer, uint32_t capacity)
{
    static const char text[] = "Time out";
    if (buffer && capacity > 0)
        std::memcpy(buffer, text, capacity < sizeof text ? capacity : sizeof text);
}
} // namespace

extern "C" {

DURVO_EXPORT QuarleHandle DURVO_CALL OpenQuarle(const char* name)
{
    std::string host;
    std::uint16_t port = 0;
    if (!wizard::durvo::queuePrinterAddress(name, host, port))
        return 0;
    std::shared_ptr<DurvoDevice> device = DurvoDevice::connect(host, port, connectTimeoutMs);
    if (!device)
        return 0;
    return DeviceTable::instance().add(std::move(device));
}

DURVO_EXPORT int32_t DURVO_CALL CloseQuarle(QuarleHandle handle)
{
    std::shared_ptr<DurvoDevice> device = DeviceTable::instance().remove(handle);
    if (!device)
        return 0;
    device->shutdown();
    return 1;
}

DURVO_EXPORT int32_t DURVO_CALL WriteQuarleExEx(
    QuarleHandle handle, const char* bytes, int32_t length, int32_t timeoutMs, int32_t, int32_t)
{
    std::shared_ptr<DurvoDevice> device = DeviceTable::instance().find(handle);
    if (!device || length < 0 || (length > 0 && !bytes))
        return 0;
    if (length == 0)
        return 1;
    return device->write(bytes, static_cast<std::size_t>(length), timeoutMs) == DurvoDevice::Result::Ok;
}

DURVO_EXPORT int32_t DURVO_CALL ReadQuarleExEx(QuarleHandle handle, char* buffer, uint32_t capacity,
    int32_t* received, int32_t timeoutMs, int32_t, int32_t)
{
    const std::shared_ptr<DurvoDevice> device = readTarget(handle, buffer, capacity, received);
    if (!device)
        return 0;
    uint32_t got = 0;
    if (device->readReply(buffer, capacity, got, timeoutMs) != DurvoDevice::Result::Ok)
        return 0;
    storeReceived(received, got);
    return 1;
}

DURVO_EXPORT int32_t DURVO_CALL ReadStatusExEx(QuarleHandle handle, char* buffer, uint32_t capacity,
    int32_t* received, int32_t timeoutMs, int32_t, int32_t)
{
    const std::shared_ptr<DurvoDevice> device = readTarget(handle, buffer, capacity, received);
    if (!device)
        return 0;
    uint32_t got = 0;
    const DurvoDevice::Result result = device->readStatus(buffer, capacity, got, timeoutMs);
    if (result == DurvoDevice::Result::TimedOut) {
        writeTimeOut(buffer, capacity);
        return 0;
    }
    if (result != DurvoDevice::Result::Ok)
        return 0;
    storeReceived(received, got);
    return 1;
}

} // extern "C"
