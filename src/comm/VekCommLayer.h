// SPDX-License-Identifier: MIT
#pragma once

#include "comm/IMCommLayer.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace wizard {

class ILogger;

namespace sys {
class NamedPipe;
}

// One message on the service's pipe: 1168 bytes, integers 32-bit
// little-endian, the printer name UTF-16LE. It is kept as its bytes and read
// and written field by field, so the layout never depends on the compiler's.
// A reply is read into the same message, so its fields replace the request's.
struct VekMessage {
    static constexpr std::size_t size = 1168;
    static constexpr std::size_t chunkCapacity = 1024;
    static constexpr std::size_t statusSize = 16;
    static constexpr std::size_t nameUnits = 32; // UTF-16 units, terminating NUL included

    enum Field : std::size_t {
        command = 0, // 1 open, 2 close, 3 read, 4 write, 5 read status
        zeroA = 4,
        channel = 8,
        reservedA = 12,
        optionB = 16,
        optionC = 20,
        timeout = 24,
        optionA = 28,
        chunkCount = 32,
        chunkData = 36,
        totalLength = 1060,
        chunkLength = 1064,
        zeroB = 1068,
        status = 1072,
        optionD = 1088,
        optionE = 1092,
        printerName = 1096,
        result = 1160,
        reservedB = 1164,
    };

    enum Command : std::int32_t { open = 1, close = 2, read = 3, write = 4, readStatus = 5 };

    std::array<std::uint8_t, size> bytes {};

    std::int32_t get(Field field) const;
    void set(Field field, std::int32_t value);
    // Zero-fills the name field and writes name in it; false (field left zero)
    // if name needs 32 or more UTF-16 units.
    bool setPrinterName(const std::wstring& name);
};

// The comm layer that asks the printer-communication service to talk to the
// printer. Each operation is one conversation on a fresh connection to the
// pipe "\\.\pipe\ExtCom" + the printer's identifier: connect, announce,
// exchange whole messages, disconnect.
class VekCommLayer : public IMCommLayer {
public:
    // A missing service is tried this many times, with a pause between tries...
    static constexpr int notFoundWaitLimit = 18;
    static constexpr int notFoundPauseMs = 500;
    // ...a busy one waited for this many times, this long each.
    static constexpr int busyTimeoutLimit = 4;
    static constexpr int busyWaitMs = 3000;
    static constexpr std::int32_t announcement = 2;
    // The most a reply may announce. Printer replies are a few hundred bytes; a
    // larger total is a broken or hostile service, not data to allocate for.
    static constexpr std::int32_t maxReplyLength = 1 << 20;
    // How much longer than the time limit sent in a message a transfer may take
    // before the service counts as hung.
    static constexpr int transferGraceMs = 5000;

    VekCommLayer(ILogger* logger, const wchar_t* printerName, std::int32_t optionA, std::int32_t optionB,
        std::int32_t optionC, std::int32_t optionD, std::int32_t optionE);
    ~VekCommLayer() override;
    VekCommLayer(const VekCommLayer&) = delete;
    VekCommLayer& operator=(const VekCommLayer&) = delete;

    bool Open(const wchar_t* printerName) override;
    bool Write(const char* bytes, std::int32_t length) override;
    bool Read(char* buffer, std::uint32_t capacity, std::int32_t* received) override;
    bool ReadStatus(CommStatus* status) override;
    bool ReadStatusRpst(CommStatus* status) override;
    bool Close() override;
    void SetTimeout(std::int32_t milliseconds) override;
    std::int32_t GetTimeout() override;

protected:
    // The exchanges are reachable from a derived class so that hostile replies
    // no real service sends can be fed to them through a pipe of its own.
    void replacePipe(std::unique_ptr<sys::NamedPipe> replacement);
    void setPipeName(const std::wstring& name) { pipeName = name; }
    // A request for `code` carrying the layer's current fields.
    VekMessage request(std::int32_t code) const;

    // Each returns false when a transfer failed; otherwise the reply's result
    // field (in `message`) tells whether the service succeeded.
    bool ExecuteCmd(VekMessage& message);
    bool ExecuteWriteCmd(VekMessage& message, const char* bytes, std::int32_t length);
    bool ExecuteReadCmd(VekMessage& message, char* buffer, std::uint32_t capacity, std::int32_t* received);

private:
    bool connect();
    bool transfer(VekMessage& message);
    int transferLimitMs() const;
    bool readStatus(CommStatus* status, const wchar_t* operation);

    std::int32_t opened;
    ILogger* logger;
    std::int32_t optionA;
    std::int32_t channel;
    std::int32_t optionB;
    std::int32_t optionC;
    std::int32_t timeout;
    std::wstring pipeName;
    std::wstring printerName;
    std::int32_t optionD;
    std::int32_t optionE;
    std::unique_ptr<sys::NamedPipe> pipe;
};

} // namespace wizard
