// SPDX-License-Identifier: MIT
#pragma once

#include "comm/DurvoFunctions.h"
#include "comm/IMCommLayer.h"
#include "system/SharedLibrary.h"

#include <cstdint>

namespace wizard {

class ILogger;

// The comm layer over the device-access library: opens the printer by its
// queue name, greets it with "\ePem;2\r" (it must answer exactly "OK"), and
// says goodbye with "\ePem;0\r" before releasing it. The library is loaded on
// the first Open and its five calls resolved by name; without them Open fails.
class DurvoCommLayer final : public IMCommLayer {
public:
    // passA and passB go unchanged to every library read, write and status call.
    DurvoCommLayer(ILogger* logger, std::int32_t passA, std::int32_t passB);
    // With a table of calls instead of the library, for tests that need a
    // result the real library cannot be made to give. A table missing any
    // call makes Open fail.
    DurvoCommLayer(ILogger* logger, std::int32_t passA, std::int32_t passB, const DurvoFunctions& functions);
    ~DurvoCommLayer() override;
    DurvoCommLayer(const DurvoCommLayer&) = delete;
    DurvoCommLayer& operator=(const DurvoCommLayer&) = delete;

    bool Open(const wchar_t* printerName) override;
    bool Write(const char* bytes, std::int32_t length) override;
    bool Read(char* buffer, std::uint32_t capacity, std::int32_t* received) override;
    bool ReadStatus(CommStatus* status) override;
    bool ReadStatusRpst(CommStatus* status) override;
    bool Close() override;
    void SetTimeout(std::int32_t milliseconds) override;
    std::int32_t GetTimeout() override;

    // The ANSI name buffer holds 220 bytes and the terminating NUL; a longer
    // name is refused by Open rather than cut.
    static constexpr std::size_t nameCapacity = 221;

    // The printer name as the library takes it, NUL included, into out
    // (nameCapacity bytes), in the system's narrow name encoding (see
    // system/TextEncoding.h). False when the name does not fit.
    static bool toAnsiName(const wchar_t* name, char* out);

private:
    bool ensureFunctions();
    bool failStatusRead(const wchar_t* operation);

    std::int32_t opened;
    ILogger* logger;
    std::uint32_t device;
    std::int32_t timeout;
    std::int32_t passA;
    std::int32_t passB;
    CommStatus lastStatus;

    DurvoFunctions functions;
    bool injected;
    sys::SharedLibrary library;
};

} // namespace wizard
