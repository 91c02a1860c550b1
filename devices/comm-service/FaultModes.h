// SPDX-License-Identifier: MIT
// The faults a test switches on in the conversation (the pipes' own modes are
// PipeService's): replies forced to result 0, a hang-up or a silence on a given
// message, a read reply's fields overwritten, the next open's channel and values.
// The control channel sets them; the conversation and the handler consult them.
#pragma once

#include "ServiceMessage.h"

#include <cstdint>
#include <map>
#include <string>

namespace service {

class FaultModes {
public:
    // The next count replies to messages of code (-1: all) carry result 0.
    void forceResultZero(int code, int count) { resultZero[code] = count; }
    // The connection closes without a reply on the nth message of code of the next conversation.
    void hangUpOn(int code, int nth) { hangup = { code, nth }; }
    // The next message of code is never answered.
    void silenceOn(int code) { silentCode = code; }
    // Whether field (count, total, length, result, fill) can be overwritten in a read reply.
    static bool isReadReplyField(const std::string& field);
    // In the next read exchange, reply index (0: the first) carries value in field.
    void overrideReadReply(int index, const std::string& field, std::int32_t value)
    {
        readOverrides[index][field] = value;
    }
    // The next open gets this channel and these values for the first, second and third options.
    void assignNextOpen(std::int32_t channel, std::int32_t first, std::int32_t second, std::int32_t third);
    void clear();

    // For the conversation, in the order it asks: whether this message (seen counts
    // the conversation's messages per code) ends it without a reply, whether it is
    // left unanswered, then the reply as the faults change it (readIndex: the
    // message's place among the read messages, -1 for any other).
    bool hangsUp(int code, std::map<int, int>& seen);
    bool staysSilent(int code);
    void adjustReply(int code, int readIndex, Message& reply);

    // For the handler's open: the assigned channel and values, once, when that
    // channel is free (isTaken tells); the assignment is used up either way.
    template <typename IsTaken>
    bool takeAssignment(std::int32_t& channel, std::int32_t values[3], IsTaken isTaken)
    {
        const bool use = assignNext && !isTaken(assigned[0]);
        assignNext = false;
        if (!use)
            return false;
        channel = assigned[0];
        for (int i = 0; i < 3; ++i)
            values[i] = assigned[i + 1];
        return true;
    }

private:
    struct Hangup {
        int code = 0;
        int nth = 0;
    };

    std::map<int, int> resultZero; // code -> replies left (-1: all)
    Hangup hangup;
    int silentCode = 0;
    bool assignNext = false;
    std::int32_t assigned[4] = {}; // channel, first, second, third option
    std::map<int, std::map<std::string, std::int32_t>> readOverrides; // reply index -> fields
};

} // namespace service
