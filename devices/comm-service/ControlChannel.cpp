// SPDX-License-Identifier: MIT
#include "ControlChannel.h"

#include "FaultModes.h"
#include "PipeService.h"

#include <map>
#include <sstream>

namespace service {

namespace {

// "CODE [N]": false without a code; number keeps its default when N is missing.
bool codeAndNumber(std::istringstream& words, int& code, int& number)
{
    if (!(words >> code))
        return false;
    words >> number;
    return true;
}

} // namespace

ControlChannel::ControlChannel(PipeService& pipes, FaultModes& faults)
    : pipes(pipes)
    , faults(faults)
{
}

bool ControlChannel::handle(const std::string& line, std::string& answer)
{
    std::istringstream words(line);
    std::string verb;
    words >> verb;
    if (verb.empty()) {
        answer = "error empty command";
        return false;
    }
    using Mode = PipeService::Mode;
    const std::map<std::string, Mode> modes { { "absent", Mode::Absent }, { "stale", Mode::Stale },
        { "busy", Mode::Busy }, { "serve", Mode::Serving } };
    if (const auto mode = modes.find(verb); mode != modes.end()) {
        std::string id;
        words >> id;
        return pipes.switchPipes(id, mode->second, answer);
    }
    if (verb == "result0") {
        int code = 0;
        int count = -1;
        if (!codeAndNumber(words, code, count)) {
            answer = "error result0 CODE [N]";
            return false;
        }
        faults.forceResultZero(code, count);
        answer = "ok";
        return true;
    }
    if (verb == "hangup") {
        int code = 0;
        int nth = 1;
        if (!codeAndNumber(words, code, nth)) {
            answer = "error hangup CODE [NTH]";
            return false;
        }
        faults.hangUpOn(code, nth);
        answer = "ok";
        return true;
    }
    if (verb == "silent") {
        int code = 0;
        if (!(words >> code)) {
            // A word that is no number leaves nothing silenced.
            faults.silenceOn(0);
            answer = "error silent CODE";
            return false;
        }
        faults.silenceOn(code);
        answer = "ok";
        return true;
    }
    if (verb == "readreply") {
        int index = 0;
        if (!(words >> index)) {
            answer = "error readreply INDEX FIELD=VALUE...";
            return false;
        }
        std::string pair;
        while (words >> pair) {
            const auto equals = pair.find('=');
            const std::string field = pair.substr(0, equals);
            if (equals == std::string::npos || !FaultModes::isReadReplyField(field)) {
                answer = "error bad field " + pair;
                return false;
            }
            faults.overrideReadReply(
                index, field, static_cast<std::int32_t>(std::stoll(pair.substr(equals + 1), nullptr, 0)));
        }
        answer = "ok";
        return true;
    }
    if (verb == "assign") {
        std::int32_t values[4] = {};
        if (!(words >> values[0] >> values[1] >> values[2] >> values[3])) {
            answer = "error assign CHANNEL A B C";
            return false;
        }
        faults.assignNextOpen(values[0], values[1], values[2], values[3]);
        answer = "ok";
        return true;
    }
    if (verb == "clear") {
        faults.clear();
        pipes.serveAll();
        answer = "ok";
        return true;
    }
    if (verb == "rescan") {
        std::string error;
        if (!pipes.scan(error)) {
            answer = "error " + error;
            return false;
        }
        pipes.printPipes();
        answer = "ok";
        return true;
    }
    answer = "error unknown command " + verb;
    return false;
}

} // namespace service
