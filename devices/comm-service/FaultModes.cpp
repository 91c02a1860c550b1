// SPDX-License-Identifier: MIT
#include "FaultModes.h"

#include <algorithm>
#include <iterator>

namespace service {

bool FaultModes::isReadReplyField(const std::string& field)
{
    static const char* const fields[] = { "count", "total", "length", "result", "fill" };
    return std::find(std::begin(fields), std::end(fields), field) != std::end(fields);
}

void FaultModes::assignNextOpen(
    std::int32_t channel, std::int32_t first, std::int32_t second, std::int32_t third)
{
    assigned[0] = channel;
    assigned[1] = first;
    assigned[2] = second;
    assigned[3] = third;
    assignNext = true;
}

void FaultModes::clear()
{
    assignNext = false;
    resultZero.clear();
    hangup = {};
    silentCode = 0;
    readOverrides.clear();
}

bool FaultModes::hangsUp(int code, std::map<int, int>& seen)
{
    if (hangup.code != code || ++seen[code] != hangup.nth)
        return false;
    hangup = {};
    return true;
}

bool FaultModes::staysSilent(int code)
{
    if (silentCode == 0 || silentCode != code)
        return false;
    silentCode = 0;
    return true;
}

void FaultModes::adjustReply(int code, int readIndex, Message& reply)
{
    if (auto zero = resultZero.find(code); zero != resultZero.end() && zero->second != 0) {
        reply.set(Message::result, 0);
        if (zero->second > 0 && --zero->second == 0)
            resultZero.erase(zero);
    }
    const auto forced = readOverrides.find(readIndex);
    if (readIndex < 0 || forced == readOverrides.end())
        return;
    for (const auto& [field, value] : forced->second) {
        if (field == "count")
            reply.set(Message::chunkCount, value);
        else if (field == "total")
            reply.set(Message::totalLength, value);
        else if (field == "length")
            reply.set(Message::chunkLength, value);
        else if (field == "result")
            reply.set(Message::result, value);
        else if (field == "fill")
            std::fill_n(
                reply.bytes.begin() + Message::chunkData, Message::chunkCapacity, std::uint8_t(value));
    }
    readOverrides.erase(forced);
}

} // namespace service
