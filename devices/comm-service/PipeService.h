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

#include "ControlChannel.h"
#include "DurvoLibrary.h"
#include "FaultModes.h"
#include "MessageHandler.h"
#include "ServiceLog.h"

#include <cstdio>
#include <map>
#include <string>

namespace service {

// The pipes, their modes and the loop that serves them; the message handling,
// the faults and the control channel are each their own class.
class PipeService {
public:
    enum class Mode { Serving, Busy, Absent, Stale };

    PipeService(DurvoLibrary& durvo, std::string folder, std::FILE* log);
    ~PipeService();

    // Adds a pipe for each queue with an identifier; false if CUPS cannot be asked.
    bool scan(std::string& error);
    void addPipe(const std::string& id, const std::string& queue);
    void printPipes() const;
    // Puts the pipe id (every pipe for "*") in mode; answer "ok" or "error ...".
    bool switchPipes(const std::string& id, Mode mode, std::string& answer);
    // Every pipe served again, whatever could not be.
    void serveAll();
    // Serves until standard input ends or a termination signal arrives.
    int run();

private:
    struct Pipe {
        std::string id;
        std::string queue;
        Mode mode = Mode::Absent;
        int listener = -1;
        int filler = -1; // the connection that fills a busy pipe's backlog
    };

    std::string path(const Pipe& pipe) const;
    bool setMode(Pipe& pipe, Mode mode);
    void shutPipe(Pipe& pipe, bool unlinkFile);
    void converse(Pipe& pipe, int fd);

    std::string folder;
    ServiceLog log;
    FaultModes faults;
    MessageHandler handler;
    ControlChannel control;
    std::map<std::string, Pipe> pipes;
};

} // namespace service
