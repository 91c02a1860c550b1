// SPDX-License-Identifier: MIT
#include "CommandParser.h"

#include "Escape.h"
#include "FirmwareImage.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace wizard::sim {

namespace {
constexpr std::size_t headKeep = 96;
constexpr std::size_t headShown = 48;
constexpr std::size_t tailKeep = 16;
// A text command that never reaches its CR is taken as one anyway past this size.
constexpr std::uint64_t maxTextCommand = 4096;
const char frameStart[] = "\x1B"
                          "Df;";

CommandClass classify(const std::string& text)
{
    if (text == "\x1BPem;2\r")
        return CommandClass::Pem2;
    if (text == "\x1BPem;0\r")
        return CommandClass::Pem0;
    if (text == "\x1BRfv\r")
        return CommandClass::Rfv;
    if (text == "\x1BRpst\r")
        return CommandClass::Rpst;
    if (text == "\x1BSa;c\r")
        return CommandClass::Sa;
    return CommandClass::Other;
}
} // namespace

CommandParser::CommandParser(Sink sink)
    : sink(std::move(sink))
{
}

CommandParser::~CommandParser()
{
    if (saved) {
        std::fclose(saved);
        std::remove((savedPath + ".part").c_str());
    }
}

void CommandParser::setFrameOptions(long long flip, const std::string& path)
{
    flipAt = flip;
    savePath = path;
}

void CommandParser::endSavedFrame()
{
    if (!saved)
        return;
    const bool written = std::fclose(saved) == 0;
    saved = nullptr;
    const std::string part = savedPath + ".part";
    if (!written || std::rename(part.c_str(), savedPath.c_str()) != 0)
        std::remove(part.c_str());
}

void CommandParser::capture(const std::uint8_t* data, std::size_t size)
{
    const char* bytes = reinterpret_cast<const char*>(data);
    if (saved && std::fwrite(bytes, 1, size, saved) != size) {
        std::fclose(saved);
        saved = nullptr;
        std::remove((savedPath + ".part").c_str());
    }
    const std::size_t toHead = std::min(size, headKeep - std::min(head.size(), headKeep));
    head.append(bytes, toHead);
    total += size;
    if (size >= tailKeep) {
        tail.assign(bytes + size - tailKeep, tailKeep);
    } else {
        tail.append(bytes, size);
        if (tail.size() > tailKeep)
            tail.erase(0, tail.size() - tailKeep);
    }
}

std::string CommandParser::logText() const
{
    if (total <= headKeep)
        return escapeBytes(head);
    return escapeBytes(head.data(), headShown) + "\\{" + std::to_string(total - headShown - tailKeep)
        + " bytes}" + escapeBytes(tail);
}

void CommandParser::restart()
{
    mode = Mode::Idle;
    head.clear();
    tail.clear();
    total = 0;
    sizeDigits.clear();
    remaining = 0;
    checksum = 0;
    sentChecksum = 0;
    imageHeader.clear();
    bodySize = 0;
    frameFlipAt = -1;
}

void CommandParser::finishText()
{
    ParsedCommand command;
    command.commandClass = classify(head.size() == total ? head : std::string());
    command.logText = logText();
    restart();
    sink(command);
}

void CommandParser::finishFrame(const char* verdict)
{
    ParsedCommand command;
    command.commandClass = CommandClass::Df;
    command.logText = logText();
    command.frameVerdict = verdict;
    endSavedFrame();
    if (std::strcmp(verdict, "OK") == 0) {
        if (FirmwareImage::versionFromHeader(imageHeader.data(), imageHeader.size(), command.imageVersion))
            command.frameAccepted = true;
        else
            command.frameVerdict = "ERROR IMAGE";
    }
    restart();
    sink(command);
}

void CommandParser::feed(const std::uint8_t* data, std::size_t size)
{
    std::size_t i = 0;
    while (i < size) {
        switch (mode) {
        case Mode::Idle:
            mode = Mode::Text;
            break;
        case Mode::Text: {
            const std::uint8_t c = data[i];
            capture(&c, 1);
            ++i;
            if (total == sizeof frameStart - 1 && head == frameStart) {
                mode = Mode::FrameSize;
                frameFlipAt = flipAt;
                if (!savePath.empty()) {
                    savedPath = savePath;
                    saved = std::fopen((savedPath + ".part").c_str(), "wb");
                    if (saved && std::fwrite(head.data(), 1, head.size(), saved) != head.size()) {
                        std::fclose(saved);
                        saved = nullptr;
                    }
                }
            } else if (c == '\r' || total >= maxTextCommand)
                finishText();
            break;
        }
        case Mode::FrameSize: {
            const std::uint8_t c = data[i];
            capture(&c, 1);
            ++i;
            if (c == ';' && !sizeDigits.empty()) {
                remaining = std::stoull(sizeDigits);
                bodySize = remaining;
                mode = remaining > MaxFrameSize ? Mode::FrameBad : Mode::FrameBody;
                if (remaining == 0)
                    mode = Mode::FrameSemicolon;
            } else if (c >= '0' && c <= '9' && sizeDigits.size() < 12) {
                sizeDigits += static_cast<char>(c);
            } else {
                mode = Mode::FrameBad;
            }
            break;
        }
        case Mode::FrameBody: {
            const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(remaining, size - i));
            const std::uint8_t* p = data + i;
            // Line noise: one byte of the image arrives inverted.
            std::vector<std::uint8_t> noisy;
            const std::uint64_t at = bodySize - remaining;
            if (frameFlipAt >= 0 && static_cast<std::uint64_t>(frameFlipAt) >= at
                && static_cast<std::uint64_t>(frameFlipAt) < at + n) {
                noisy.assign(p, p + n);
                noisy[static_cast<std::size_t>(static_cast<std::uint64_t>(frameFlipAt) - at)] ^= 0xFF;
                p = noisy.data();
            }
            if (imageHeader.size() < FirmwareImage::HeaderSize) {
                const std::size_t h = std::min(n, FirmwareImage::HeaderSize - imageHeader.size());
                imageHeader.append(reinterpret_cast<const char*>(p), h);
            }
            // Eight bytes at a time: a 16 MiB image must not cost more than its transfer.
            std::uint64_t wide = 0;
            std::size_t k = 0;
            for (; k + sizeof wide <= n; k += sizeof wide) {
                std::uint64_t word;
                std::memcpy(&word, p + k, sizeof word);
                wide ^= word;
            }
            std::uint8_t x = checksum;
            for (unsigned shift = 0; shift < 64; shift += 8)
                x ^= static_cast<std::uint8_t>(wide >> shift);
            for (; k < n; ++k)
                x ^= p[k];
            checksum = x;
            capture(p, n);
            i += n;
            remaining -= n;
            if (remaining == 0)
                mode = Mode::FrameSemicolon;
            break;
        }
        case Mode::FrameSemicolon:
        case Mode::FrameChecksum:
        case Mode::FrameCr:
        case Mode::FrameDot: {
            const std::uint8_t c = data[i];
            capture(&c, 1);
            ++i;
            if (mode == Mode::FrameSemicolon) {
                mode = c == ';' ? Mode::FrameChecksum : Mode::FrameBad;
            } else if (mode == Mode::FrameChecksum) {
                sentChecksum = c;
                mode = Mode::FrameCr;
            } else if (mode == Mode::FrameCr) {
                mode = c == '\r' ? Mode::FrameDot : Mode::FrameBad;
            } else if (c != '.') {
                mode = Mode::FrameBad;
            } else {
                finishFrame(sentChecksum == checksum ? "OK" : "ERROR CHECKSUM");
            }
            break;
        }
        case Mode::FrameBad:
            // A malformed frame swallows the rest of its packet: there is no
            // telling where its image ends.
            capture(data + i, size - i);
            i = size;
            break;
        }
    }
}

void CommandParser::endOfPacket()
{
    switch (mode) {
    case Mode::Idle:
        return;
    case Mode::Text:
        finishText();
        return;
    default:
        finishFrame("ERROR FRAME");
        return;
    }
}

} // namespace wizard::sim
