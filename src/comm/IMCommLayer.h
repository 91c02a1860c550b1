// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

namespace wizard {

// The printer's status record: raw status bytes 0 to 9, then 11 to 16 (raw
// byte 10 is not kept). Record byte 9, bit 0x02 set: the cover is open.
struct CommStatus {
    std::uint8_t bytes[16];
};
static_assert(sizeof(CommStatus) == 16, "the status record is copied as four 32-bit words");

// A connection to one printer, built by FactoryCommLayer for one page action,
// used on that action's thread and deleted at its end. Every failure is a
// false result; nothing throws.
class IMCommLayer {
public:
    virtual bool Open(const wchar_t* printerName) = 0;
    virtual bool Write(const char* bytes, std::int32_t length) = 0;
    virtual bool Read(char* buffer, std::uint32_t capacity, std::int32_t* received) = 0;
    virtual bool ReadStatus(CommStatus* status) = 0;
    virtual bool ReadStatusRpst(CommStatus* status) = 0;
    virtual bool Close() = 0;
    virtual void SetTimeout(std::int32_t milliseconds) = 0;
    virtual std::int32_t GetTimeout() = 0;
    // Closes the connection if it is still open.
    virtual ~IMCommLayer() = default;
};

} // namespace wizard
