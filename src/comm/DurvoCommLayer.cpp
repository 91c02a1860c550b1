// SPDX-License-Identifier: MIT
#include "comm/DurvoCommLayer.h"

#include "comm/PrinterCommands.h"
#include "foundation/Trace.h"
#include "system/TextEncoding.h"

#include <cstring>

namespace wizard {

DurvoCommLayer::DurvoCommLayer(ILogger* logger, std::int32_t passA, std::int32_t passB)
    : opened(0)
    , logger(logger)
    , device(0)
    , timeout(1000)
    , passA(passA)
    , passB(passB)
    , lastStatus {}
    , injected(false)
{
    trace(logger, TraceLevel::info, L"[%s] [DurvoCommLayer] [Creating] {%s}",
        L"wizard::DurvoCommLayer::DurvoCommLayer");
}

DurvoCommLayer::DurvoCommLayer(
    ILogger* logger, std::int32_t passA, std::int32_t passB, const DurvoFunctions& functions)
    : DurvoCommLayer(logger, passA, passB)
{
    this->functions = functions;
    injected = true;
}

DurvoCommLayer::~DurvoCommLayer()
{
    trace(logger, TraceLevel::info, L"[%s] [DurvoCommLayer] [Destructing] {%s}",
        L"wizard::DurvoCommLayer::~DurvoCommLayer");
    if (device != 0)
        Close();
    // The library is unloaded only after the device has been released.
}

bool DurvoCommLayer::ensureFunctions()
{
    if (functions.complete())
        return true;
    if (injected)
        return false;
    functions = DurvoFunctions::load(library, DurvoFunctions::libraryFileName());
    return functions.complete();
}

bool DurvoCommLayer::toAnsiName(const wchar_t* name, char* out)
{
    return sys::toSystemNarrow(name, out, nameCapacity);
}

bool DurvoCommLayer::Open(const wchar_t* printerName)
{
    trace(logger, TraceLevel::info, L"[%s] [DurvoCommLayer] [Open] {%s}", L"wizard::DurvoCommLayer::Open");
    if (opened != 0)
        return false;

    char name[nameCapacity] = {};
    if (!toAnsiName(printerName, name))
        return false;
    if (!ensureFunctions())
        return false;

    device = functions.OpenQuarle(name);
    if (device == 0)
        return false;

    bool greeted = false;
    if (functions.WriteQuarleExEx(device, PrinterCommands::handshakeOn,
            PrinterCommands::length(PrinterCommands::handshakeOn), timeout, passA, passB)) {
        char reply[PrinterCommands::replyCapacity] = {};
        std::int32_t received = 0;
        greeted = functions.ReadQuarleExEx(device, reply, sizeof reply, &received, timeout, passA, passB)
            && received != 0 && PrinterCommands::isOk(reply, sizeof reply);
    }
    if (!greeted) {
        // A device that would not greet us is still opened in the library;
        // release it here, as nothing later will.
        functions.CloseQuarle(device);
        device = 0;
        return false;
    }
    opened = 1;
    return true;
}

bool DurvoCommLayer::Write(const char* bytes, std::int32_t length)
{
    if (opened == 0)
        return false;
    trace(logger, TraceLevel::info, L"[%s] [DurvoCommLayer] [Write] {%s}", L"wizard::DurvoCommLayer::Write");
    if (length < 0 || (!bytes && length != 0))
        return false;
    return functions.WriteQuarleExEx(device, bytes, length, timeout, passA, passB) != 0;
}

bool DurvoCommLayer::Read(char* buffer, std::uint32_t capacity, std::int32_t* received)
{
    if (opened == 0)
        return false;
    trace(logger, TraceLevel::info, L"[%s] [DurvoCommLayer] [Read] {%s}", L"wizard::DurvoCommLayer::Read");
    if (!received || (!buffer && capacity != 0))
        return false;
    return functions.ReadQuarleExEx(device, buffer, capacity, received, timeout, passA, passB) != 0;
}

bool DurvoCommLayer::Close()
{
    if (opened != 1)
        return false;
    trace(logger, TraceLevel::info, L"[%s] [DurvoCommLayer] [Close] {%s}", L"wizard::DurvoCommLayer::Close");
    if (functions.WriteQuarleExEx(device, PrinterCommands::handshakeOff,
            PrinterCommands::length(PrinterCommands::handshakeOff), timeout, passA, passB)) {
        char reply[PrinterCommands::replyCapacity] = {};
        std::int32_t received = 0;
        functions.ReadQuarleExEx(device, reply, sizeof reply, &received, timeout, passA, passB);
    }
    const bool released = functions.CloseQuarle(device) != 0;
    opened = 0;
    return released;
}

bool DurvoCommLayer::failStatusRead(const wchar_t* operation)
{
    trace(logger, TraceLevel::debug, L"[%s] [DurvoCommLayer] [fail to read status] {%s}", operation);
    // Through the virtual slot, as any other closing of the layer.
    static_cast<IMCommLayer*>(this)->Close();
    return false;
}

bool DurvoCommLayer::ReadStatus(CommStatus* status)
{
    if (opened == 0)
        return false;
    trace(logger, TraceLevel::info, L"[%s] [DurvoCommLayer] [ReadStatus] {%s}",
        L"wizard::DurvoCommLayer::ReadStatus");

    // One spare byte beyond what the library may fill keeps the text
    // comparison inside the buffer whatever the library wrote.
    std::uint8_t raw[PrinterCommands::statusCapacity + 1] = {};
    std::int32_t received = 0;
    const bool read
        = functions.ReadStatusExEx(device, reinterpret_cast<char*>(raw), PrinterCommands::statusCapacity,
              &received, PrinterCommands::statusTimeoutMs, passA, passB)
        != 0;
    if (!read || PrinterCommands::isTimeOut(reinterpret_cast<const char*>(raw), sizeof raw))
        return failStatusRead(L"wizard::DurvoCommLayer::ReadStatus");

    lastStatus = PrinterCommands::recordFromRawStatus(raw);
    if (status)
        *status = lastStatus;
    return true;
}

bool DurvoCommLayer::ReadStatusRpst(CommStatus* status)
{
    if (opened == 0)
        return false;
    trace(logger, TraceLevel::info, L"[%s] [DurvoCommLayer] [ReadStatus] {%s}",
        L"wizard::DurvoCommLayer::ReadStatusRpst");

    std::uint8_t decoded[PrinterCommands::statusCapacity] = {};
    bool exchanged = false;
    if (functions.WriteQuarleExEx(device, PrinterCommands::extendedStatus,
            PrinterCommands::length(PrinterCommands::extendedStatus), PrinterCommands::statusTimeoutMs, passA,
            passB)) {
        char reply[PrinterCommands::replyCapacity] = {};
        std::int32_t received = 0;
        if (functions.ReadQuarleExEx(
                device, reply, sizeof reply, &received, PrinterCommands::statusTimeoutMs, passA, passB)) {
            exchanged = true;
            // The reply buffer was zero-filled, so the pairs past a short
            // reply decode as 0.
            PrinterCommands::decodeExtendedStatus(reply, sizeof reply, decoded, sizeof reply / 2);
        }
    }
    if (!exchanged || PrinterCommands::isTimeOut(reinterpret_cast<const char*>(decoded), sizeof decoded))
        return failStatusRead(L"wizard::DurvoCommLayer::ReadStatusRpst");

    lastStatus = PrinterCommands::recordFromRawStatus(decoded);
    if (status)
        *status = lastStatus;
    return true;
}

void DurvoCommLayer::SetTimeout(std::int32_t milliseconds)
{
    trace(logger, TraceLevel::info, L"[%s] [DurvoCommLayer] [SetTimeout] {%s}",
        L"wizard::DurvoCommLayer::SetTimeout");
    timeout = milliseconds;
}

std::int32_t DurvoCommLayer::GetTimeout()
{
    trace(logger, TraceLevel::info, L"[%s] [DurvoCommLayer] [GetTimeout] {%s}",
        L"wizard::DurvoCommLayer::GetTimeout");
    return timeout;
}

} // namespace wizard
