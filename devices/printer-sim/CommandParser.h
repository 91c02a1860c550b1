// SPDX-License-Identifier: MIT
// Splits the bytes of one data packet into the printer's commands: text
// commands run from their first byte to CR; "\eDf;SIZE;" starts a download
// frame of SIZE image bytes, ";", the XOR checksum, CR, ".". A command that the
// packet's end cuts short is handed on as it is (a frame then is refused), so
// every command the host wrote gets exactly one verdict. Frames are taken in
// chunks and never held whole: only their first and last bytes are kept for
// the log.
#pragma once

#include "PrinterState.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

namespace wizard::sim {

struct ParsedCommand {
    CommandClass commandClass = CommandClass::Other;
    std::string logText; // escaped; long commands keep their ends around "\{N bytes}"
    std::string frameVerdict; // download frames: "OK", "ERROR CHECKSUM", "ERROR FRAME", "ERROR IMAGE"
    bool frameAccepted = false;
    std::string imageVersion;
};

class CommandParser {
public:
    using Sink = std::function<void(const ParsedCommand&)>;
    static constexpr std::uint64_t MaxFrameSize = 256u * 1024u * 1024u;

    explicit CommandParser(Sink sink);
    ~CommandParser();
    CommandParser(const CommandParser&) = delete;
    CommandParser& operator=(const CommandParser&) = delete;
    // For the frames that start from now on: image byte `flipAt` arrives
    // inverted (-1: none), and the frame is saved as received to `savePath`
    // (written whole, by rename, once the frame has ended; empty: not saved).
    void setFrameOptions(long long flipAt, const std::string& savePath);
    void feed(const std::uint8_t* data, std::size_t size);
    void endOfPacket();

private:
    enum class Mode {
        Idle,
        Text,
        FrameSize,
        FrameBody,
        FrameSemicolon,
        FrameChecksum,
        FrameCr,
        FrameDot,
        FrameBad
    };

    void capture(const std::uint8_t* data, std::size_t size);
    void finishText();
    void finishFrame(const char* verdict);
    void restart();
    void endSavedFrame();
    std::string logText() const;

    Sink sink;
    Mode mode = Mode::Idle;
    std::string head; // first bytes of the current command
    std::string tail; // its last bytes, once it outgrew `head`
    std::uint64_t total = 0;
    std::string sizeDigits;
    std::uint64_t remaining = 0;
    std::uint8_t checksum = 0;
    std::uint8_t sentChecksum = 0;
    std::string imageHeader;
    std::uint64_t bodySize = 0;
    long long flipAt = -1;
    std::string savePath;
    long long frameFlipAt = -1;
    std::FILE* saved = nullptr;
    std::string savedPath;
};

} // namespace wizard::sim
