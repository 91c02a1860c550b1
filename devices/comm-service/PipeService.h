// SPDX-License-Identifier: MIT
// Serves, for each print queue that carries a printer identifier, the pipe
// "ExtCom" + identifier (a SOCK_SEQPACKET socket in the pipe folder), and does
// each client's exchanges with the printer through the device-access library.
// One conversation at a time, as the clients open one connection per exchange.
//
// Faults for tests come in on standard input, one command a line, each answered
// "ok" or "error ..." on standard output:
//   absent ID|*          no socket file: the pipe does not exist
//   stale ID|*           the socket file stays but nobody listens
//   busy ID|*            every instance taken: the listener's backlog is full
//   serve ID|*           back to normal
//   result0 CODE [N]     the next N replies to messages of CODE (all if N is
//                        missing or -1) carry result 0
//   hangup CODE [NTH]    close the connection, without a reply, on the NTH
//                        message of CODE of the next conversation (default 1)
//   silent CODE          never answer the next message of CODE; the connection
//                        stays open until the client gives up
//   readreply INDEX FIELD=VALUE...   in the next read exchange, reply INDEX
//                        (0: the first) carries these values; FIELD is one of
//                        count, total, length, result, fill (every chunk byte)
//   assign CHANNEL A B C the next open gets this channel and these values
//                        for the first, second and third options
//   clear                all faults off, every pipe served
//   rescan               read the print queues again
// The log (--log) gets one line per event: "connect NAME", "announce N",
// "recv HEX", "reply HEX", "hangup", "end", "printer ...".
#pragma once

#include "DurvoLibrary.h"
#include "ServiceMessage.h"

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace service {

class PipeService {
public:
    PipeService(DurvoLibrary& durvo, std::string folder, std::FILE* log);
    ~PipeService();

    // Adds a pipe for each queue with an identifier; false if CUPS cannot be asked.
    bool scan(std::string& error);
    void addPipe(const std::string& id, const std::string& queue);
    void printPipes() const;
    // Serves until standard input ends or a termination signal arrives.
    int run();

private:
    enum class Mode { Serving, Busy, Absent, Stale };
    struct Pipe {
        std::string id;
        std::string queue;
        Mode mode = Mode::Absent;
        int listener = -1;
        int filler = -1; // the connection that fills a busy pipe's backlog
    };
    struct ReadState {
        bool active = false;
        std::vector<char> data;
        std::int32_t count = 0;
        std::int32_t sent = 0;
    };
    struct WriteState {
        bool active = false;
        std::vector<char> data;
        std::int32_t total = 0;
    };
    struct Hangup {
        int code = 0;
        int nth = 0;
    };

    std::string path(const Pipe& pipe) const;
    bool setMode(Pipe& pipe, Mode mode);
    void shutPipe(Pipe& pipe, bool unlinkFile);
    bool control(const std::string& line, std::string& answer);
    void converse(Pipe& pipe, int fd);
    Message handle(const Pipe& pipe, const Message& request, ReadState& read, WriteState& write);
    void sendChunk(Message& reply, const ReadState& read, std::int32_t index) const;
    void logLine(const std::string& line);

    DurvoLibrary& durvo;
    std::string folder;
    std::FILE* log;
    std::map<std::string, Pipe> pipes;
    std::map<std::int32_t, QuarleHandle> channels;
    std::int32_t nextChannel = 1;

    std::map<int, int> resultZero; // code -> replies left (-1: all)
    Hangup hangup;
    int silentCode = 0;
    bool assignNext = false;
    std::int32_t assigned[4] = {}; // channel, first, second, third option
    std::map<int, std::map<std::string, std::int32_t>> readOverrides; // reply index -> fields
};

} // namespace service
