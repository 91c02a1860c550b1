// SPDX-License-Identifier: MIT
#include "PrinterState.h"

#include "Escape.h"

#include <cerrno>
#include <cstdlib>

namespace wizard::sim {

namespace {
const char* const classNames[CommandClassCount]
    = { "pem2", "pem0", "rfv", "rpst", "sa", "df", "status", "other" };

std::string toHex(const std::uint8_t* bytes, std::size_t size)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(size * 2);
    for (std::size_t i = 0; i < size; ++i) {
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 0x0F];
    }
    return out;
}

bool parseNumber(const std::string& text, long long minimum, long long& value)
{
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < minimum || v > 3600000000LL)
        return false;
    value = v;
    return true;
}

bool parseFlag(const std::string& text, bool& value)
{
    if (text == "1" || text == "on" || text == "true") {
        value = true;
        return true;
    }
    if (text == "0" || text == "off" || text == "false") {
        value = false;
        return true;
    }
    return false;
}

std::vector<std::uint8_t> defaultStatus()
{
    // 32 distinct bytes; byte 9 (0x99) has the cover bit 0x02 clear and byte 10
    // (0xAA) is the printer's own counter, which the host drops from its record.
    std::vector<std::uint8_t> block(32);
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<std::uint8_t>(i * 0x11);
    return block;
}
} // namespace

const char* commandClassName(CommandClass commandClass)
{
    return classNames[static_cast<int>(commandClass)];
}

PrinterState::PrinterState()
    : status(defaultStatus())
{
}

std::vector<std::uint8_t> PrinterState::statusBlockLocked() const
{
    std::vector<std::uint8_t> block = status;
    if (block.size() > 9)
        block[9] = static_cast<std::uint8_t>(coverOpen ? (block[9] | 0x02) : (block[9] & ~0x02));
    return block;
}

bool PrinterState::set(const std::string& key, const std::string& value, std::string& error)
{
    std::lock_guard<std::mutex> lock(mutex);
    long long number = 0;
    bool flag = false;
    if (key == "version") {
        if (value.empty() || value.size() > 64) {
            error = "version must be 1 to 64 characters";
            return false;
        }
        firmwareVersion = unescapeText(value);
        return true;
    }
    if (key == "status") {
        if (value.size() % 2 != 0 || value.size() > 2048) {
            error = "status must be pairs of hexadecimal digits, at most 1024 bytes";
            return false;
        }
        std::vector<std::uint8_t> block;
        for (std::size_t i = 0; i < value.size(); i += 2) {
            char* end = nullptr;
            const std::string pair = value.substr(i, 2);
            const long byte = std::strtol(pair.c_str(), &end, 16);
            if (*end != '\0' || pair[0] == '-' || pair[0] == '+' || pair[0] == ' ') {
                error = "status must be pairs of hexadecimal digits";
                return false;
            }
            block.push_back(static_cast<std::uint8_t>(byte));
        }
        status = block;
        // The cover setting stays the one source of bit 0x02 of byte 9.
        if (status.size() > 9)
            coverOpen = (status[9] & 0x02) != 0;
        return true;
    }
    if (key == "cover" && parseFlag(value, flag)) {
        coverOpen = flag;
        return true;
    }
    if (key == "status-timeout" && parseFlag(value, flag)) {
        statusTimeout = flag;
        return true;
    }
    if (key == "refuse" && parseFlag(value, flag)) {
        refuseHandshake = flag;
        return true;
    }
    if (key == "ribbon") {
        if (value == "off" || value == "0")
            ribbon = Ribbon::Off;
        else if (value == "once")
            ribbon = Ribbon::Once;
        else if (value == "always")
            ribbon = Ribbon::Always;
        else {
            error = "ribbon is off, once or always";
            return false;
        }
        return true;
    }
    if (key == "adjust-ms" && parseNumber(value, 0, number)) {
        adjustMs = static_cast<int>(number);
        return true;
    }
    if (key == "restart-ms" && parseNumber(value, 0, number)) {
        restartDelayMs = static_cast<int>(number);
        return true;
    }
    if (key == "drop-in" && parseNumber(value, -1, number)) {
        dropInBytes = number;
        return true;
    }
    if (key == "flip-df" && parseNumber(value, -1, number)) {
        flipByte = number;
        return true;
    }
    if (key == "save-frame") {
        saveFrame = value == "-" ? std::string() : unescapeText(value);
        return true;
    }
    if (key == "intake" && parseNumber(value, 0, number)) {
        intakeBytesPerSecond = number;
        return true;
    }

    const std::size_t dot = key.find('.');
    if (dot != std::string::npos) {
        const std::string what = key.substr(0, dot);
        const std::string className = key.substr(dot + 1);
        int first = -1;
        int last = -1;
        if (className == "all") {
            first = 0;
            last = CommandClassCount - 1;
        }
        for (int i = 0; i < CommandClassCount; ++i) {
            if (className == classNames[i])
                first = last = i;
        }
        if (first < 0) {
            error = "unknown command class " + className;
            return false;
        }
        bool ok = false;
        for (int i = first; i <= last; ++i) {
            ClassFaults& f = faults[i];
            if (what == "reply") {
                f.hasReply = value != "-";
                f.reply = f.hasReply ? unescapeText(value) : std::string();
                ok = true;
            } else if (what == "noreply" && parseFlag(value, flag)) {
                f.noReply = flag;
                ok = true;
            } else if (what == "delay" && parseNumber(value, 0, number)) {
                f.delayMs = static_cast<int>(number);
                ok = true;
            } else if (what == "cut" && parseNumber(value, -1, number)) {
                f.cutAfter = number;
                ok = true;
            }
        }
        if (ok)
            return true;
    }
    error = "bad key or value: " + key;
    return false;
}

bool PrinterState::get(const std::string& key, std::string& value) const
{
    std::lock_guard<std::mutex> lock(mutex);
    if (key == "version")
        value = escapeBytes(firmwareVersion);
    else if (key == "status") {
        const std::vector<std::uint8_t> block = statusBlockLocked();
        value = toHex(block.data(), block.size());
    } else if (key == "cover")
        value = coverOpen ? "1" : "0";
    else if (key == "ribbon")
        value = ribbon == Ribbon::Off ? "off" : ribbon == Ribbon::Once ? "once" : "always";
    else if (key == "restart-ms")
        value = std::to_string(restartDelayMs);
    else if (key == "adjust-ms")
        value = std::to_string(adjustMs);
    else if (key == "intake")
        value = std::to_string(intakeBytesPerSecond);
    else
        return false;
    return true;
}

void PrinterState::resetFaults()
{
    std::lock_guard<std::mutex> lock(mutex);
    for (ClassFaults& f : faults)
        f = ClassFaults();
    status = defaultStatus();
    coverOpen = false;
    statusTimeout = false;
    refuseHandshake = false;
    ribbon = Ribbon::Off;
    dropInBytes = -1;
    flipByte = -1;
}

PlannedReply PrinterState::plan(CommandClass commandClass, const std::string& frameVerdict)
{
    std::lock_guard<std::mutex> lock(mutex);
    PlannedReply reply;
    static const char timeOut[] = "Time out";
    switch (commandClass) {
    case CommandClass::Pem2:
        reply.payload = refuseHandshake ? "ERROR BUSY" : "OK";
        break;
    case CommandClass::Pem0:
        reply.payload = "OK";
        break;
    case CommandClass::Rfv:
        reply.payload = firmwareVersion;
        break;
    case CommandClass::Rpst:
        if (statusTimeout) {
            reply.payload = toHex(reinterpret_cast<const std::uint8_t*>(timeOut), sizeof timeOut - 1);
        } else {
            const std::vector<std::uint8_t> block = statusBlockLocked();
            reply.payload = toHex(block.data(), block.size());
        }
        break;
    case CommandClass::Sa:
        reply.delayMs = adjustMs;
        if (coverOpen) {
            reply.payload = "ERROR COVER";
        } else if (ribbon != Ribbon::Off) {
            reply.payload = "ERROR RIBBON";
            if (ribbon == Ribbon::Once)
                ribbon = Ribbon::Off;
        } else {
            reply.payload = "OK";
        }
        break;
    case CommandClass::Df:
        reply.payload = frameVerdict;
        break;
    case CommandClass::Status:
        if (statusTimeout) {
            reply.payload.assign(timeOut, sizeof timeOut - 1);
        } else {
            const std::vector<std::uint8_t> block = statusBlockLocked();
            reply.payload.assign(block.begin(), block.end());
        }
        break;
    case CommandClass::Other:
        reply.payload = "ERROR COMMAND";
        break;
    }
    const ClassFaults& f = faults[static_cast<int>(commandClass)];
    if (f.hasReply)
        reply.payload = f.reply;
    reply.send = !f.noReply;
    reply.delayMs += f.delayMs;
    reply.cutAfter = f.cutAfter;
    return reply;
}

std::string PrinterState::version() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return firmwareVersion;
}

void PrinterState::setVersion(const std::string& version)
{
    std::lock_guard<std::mutex> lock(mutex);
    firmwareVersion = version;
}

int PrinterState::restartMs() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return restartDelayMs;
}

long long PrinterState::dropIn() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return dropInBytes;
}

long long PrinterState::intake() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return intakeBytesPerSecond;
}

} // namespace wizard::sim

namespace wizard::sim {

long long PrinterState::flipInFrame() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return flipByte;
}

std::string PrinterState::saveFramePath() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return saveFrame;
}

} // namespace wizard::sim
