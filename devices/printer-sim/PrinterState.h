// SPDX-License-Identifier: MIT
// What the virtual printer is and which faults it shows: its firmware version,
// its raw status block, and per class of command a forced reply text, silence,
// a delay or a reply cut short. Shared by all connections and the control
// channel; every member function takes the lock.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace wizard::sim {

enum class CommandClass { Pem2, Pem0, Rfv, Rpst, Sa, Df, Status, Other };
constexpr int CommandClassCount = 8;

const char* commandClassName(CommandClass commandClass);

// How one command is answered.
struct PlannedReply {
    std::string payload;
    bool send = true;
    int delayMs = 0;
    long long cutAfter = -1; // payload bytes sent before the connection drops; -1: whole
};

class PrinterState {
public:
    PrinterState();

    // "set" and "get" of the control channel; the keys are listed in README.md.
    bool set(const std::string& key, const std::string& value, std::string& error);
    bool get(const std::string& key, std::string& value) const;
    // Faults off and the built-in status block; version, adjustment and restart time stay.
    void resetFaults();

    // The reply to one command of `commandClass`; `frameVerdict` is the reply a
    // download frame earned. Consumes a one-time ribbon fault.
    PlannedReply plan(CommandClass commandClass, const std::string& frameVerdict);

    std::string version() const;
    void setVersion(const std::string& version);
    int restartMs() const;
    long long dropIn() const;
    // Byte N of every download frame's image arrives inverted (line noise); -1 off.
    long long flipInFrame() const;
    // Where each download frame is saved as received; empty: not saved.
    std::string saveFramePath() const;
    // Bytes per second the printer takes in; 0: as fast as they come.
    long long intake() const;

private:
    struct ClassFaults {
        bool hasReply = false;
        std::string reply;
        bool noReply = false;
        int delayMs = 0;
        long long cutAfter = -1;
    };
    enum class Ribbon { Off, Once, Always };

    std::vector<std::uint8_t> statusBlockLocked() const;

    mutable std::mutex mutex;
    std::string firmwareVersion = "F2200";
    std::vector<std::uint8_t> status;
    bool coverOpen = false;
    bool statusTimeout = false;
    bool refuseHandshake = false;
    Ribbon ribbon = Ribbon::Off;
    int adjustMs = 0;
    int restartDelayMs = 1000;
    long long dropInBytes = -1;
    long long flipByte = -1;
    std::string saveFrame;
    long long intakeBytesPerSecond = 0;
    ClassFaults faults[CommandClassCount];
};

} // namespace wizard::sim
