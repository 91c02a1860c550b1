// SPDX-License-Identifier: MIT
#include "PipeService.h"

#include "QueueLookup.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace service {

namespace {

volatile std::sig_atomic_t stopRequested = 0;
void onSignal(int)
{
    stopRequested = 1;
}

// A client that stops talking mid-exchange is given up after this long, so
// the next client is not kept out for ever.
constexpr int idleLimitMs = 15000;

std::string hex(const std::uint8_t* bytes, std::size_t size)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(size * 2);
    for (std::size_t i = 0; i < size; ++i) {
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 0xF];
    }
    return out;
}

// Waits for one whole message; 0 when the peer closed, -1 on error or idle time-out.
ssize_t receive(int fd, void* buffer, std::size_t capacity)
{
    pollfd entry { fd, POLLIN, 0 };
    for (;;) {
        const int n = ::poll(&entry, 1, idleLimitMs);
        // A termination request ends the conversation too, not only the wait for the next one.
        if (n < 0 && errno == EINTR && !stopRequested)
            continue;
        if (n <= 0)
            return -1;
        const ssize_t got = ::recv(fd, buffer, capacity, MSG_TRUNC);
        if (got < 0 && errno == EINTR)
            continue;
        return got;
    }
}

} // namespace

PipeService::PipeService(DurvoLibrary& durvo, std::string folder, std::FILE* log)
    : folder(std::move(folder))
    , log(log)
    , handler(durvo, faults, this->log)
    , control(*this, faults)
{
}

PipeService::~PipeService()
{
    for (auto& entry : pipes)
        shutPipe(entry.second, true);
}

std::string PipeService::path(const Pipe& pipe) const
{
    return folder + "/ExtCom" + pipe.id;
}

bool PipeService::scan(std::string& error)
{
    std::vector<IdentifiedQueue> queues;
    if (!QueueLookup::identifiedQueues(queues, error))
        return false;
    for (const IdentifiedQueue& queue : queues)
        addPipe(queue.id, queue.queue);
    return true;
}

void PipeService::addPipe(const std::string& id, const std::string& queue)
{
    Pipe& pipe = pipes[id];
    const bool fresh = pipe.id.empty();
    pipe.id = id;
    pipe.queue = queue;
    if (fresh && !setMode(pipe, Mode::Serving))
        log.line("cannot serve " + path(pipe));
}

void PipeService::printPipes() const
{
    for (const auto& entry : pipes)
        std::printf("pipe ExtCom%s %s\n", entry.second.id.c_str(), entry.second.queue.c_str());
    std::fflush(stdout);
}

void PipeService::shutPipe(Pipe& pipe, bool unlinkFile)
{
    if (pipe.filler >= 0)
        ::close(pipe.filler);
    if (pipe.listener >= 0)
        ::close(pipe.listener);
    pipe.filler = pipe.listener = -1;
    if (unlinkFile)
        ::unlink(path(pipe).c_str());
}

bool PipeService::setMode(Pipe& pipe, Mode mode)
{
    shutPipe(pipe, true);
    pipe.mode = mode;
    if (mode == Mode::Absent)
        return true;
    const std::string file = path(pipe);
    sockaddr_un address {};
    if (file.size() >= sizeof address.sun_path)
        return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, file.c_str(), file.size() + 1);
    const int s = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (s < 0)
        return false;
    if (::bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(s);
        return false;
    }
    if (mode == Mode::Stale) {
        // Bound but never listening, then gone: the file stays with nobody behind it.
        ::close(s);
        return true;
    }
    // A busy pipe listens with no room in its backlog and one connection
    // nobody accepts already waiting in it, so every other client is refused
    // with "try again" until the pipe is served again.
    if (::listen(s, mode == Mode::Busy ? 0 : 16) != 0) {
        ::close(s);
        return false;
    }
    pipe.listener = s;
    if (mode == Mode::Busy) {
        const int filler = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (filler < 0
            || ::connect(filler, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            if (filler >= 0)
                ::close(filler);
            return false;
        }
        pipe.filler = filler;
    }
    return true;
}

bool PipeService::switchPipes(const std::string& id, Mode mode, std::string& answer)
{
    bool done = false;
    for (auto& entry : pipes) {
        if (id == "*" || entry.first == id) {
            if (!setMode(entry.second, mode)) {
                answer = "error cannot switch " + entry.first;
                return false;
            }
            done = true;
        }
    }
    answer = done ? "ok" : "error no pipe " + id;
    return done;
}

void PipeService::serveAll()
{
    for (auto& entry : pipes)
        setMode(entry.second, Mode::Serving);
}

void PipeService::converse(Pipe& pipe, int fd)
{
    log.line("connect ExtCom" + pipe.id);
    std::uint8_t hello[8] = {};
    const ssize_t got = receive(fd, hello, sizeof hello);
    if (got != 4) {
        log.line("announce missing " + std::to_string(got));
        ::close(fd);
        log.line("end");
        return;
    }
    const std::int32_t announced = static_cast<std::int32_t>(std::uint32_t(hello[0])
        | std::uint32_t(hello[1]) << 8 | std::uint32_t(hello[2]) << 16 | std::uint32_t(hello[3]) << 24);
    log.line("announce " + std::to_string(announced));

    Exchange exchange;
    std::map<int, int> seen;
    int readReplies = 0;
    for (;;) {
        Message request;
        const ssize_t n = receive(fd, request.bytes.data(), Message::size);
        if (n != ssize_t(Message::size)) {
            if (n != 0)
                log.line("bad message " + std::to_string(n));
            break;
        }
        log.line("recv " + hex(request.bytes.data(), Message::size));
        const int code = request.get(Message::command);
        if (faults.hangsUp(code, seen)) {
            log.line("hangup");
            break;
        }
        if (faults.staysSilent(code)) {
            log.line("silent");
            // Hold the connection, answering nothing, until the client leaves.
            std::uint8_t ignored[Message::size];
            while (receive(fd, ignored, sizeof ignored) > 0) { }
            break;
        }
        const int readIndex = request.commandCode() == Command::Read ? readReplies++ : -1;
        Message reply = handler.handle(pipe.queue, request, exchange);
        faults.adjustReply(code, readIndex, reply);
        if (::send(fd, reply.bytes.data(), Message::size, MSG_NOSIGNAL) != ssize_t(Message::size)) {
            log.line("reply failed");
            break;
        }
        log.line("reply " + hex(reply.bytes.data(), Message::size));
    }
    // An exchange cut short leaves nothing behind for the next one.
    ::close(fd);
    log.line("end");
}

int PipeService::run()
{
    struct sigaction action { };
    action.sa_handler = onSignal;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    std::string input;
    while (!stopRequested) {
        std::vector<pollfd> entries { { STDIN_FILENO, POLLIN, 0 } };
        std::vector<Pipe*> owners { nullptr };
        for (auto& entry : pipes) {
            if (entry.second.mode == Mode::Serving && entry.second.listener >= 0) {
                entries.push_back({ entry.second.listener, POLLIN, 0 });
                owners.push_back(&entry.second);
            }
        }
        const int n = ::poll(entries.data(), entries.size(), 1000);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return 1;
        if (entries[0].revents & (POLLIN | POLLHUP)) {
            char chunk[512];
            const ssize_t got = ::read(STDIN_FILENO, chunk, sizeof chunk);
            if (got <= 0)
                return 0; // whoever started the service has gone
            input.append(chunk, std::size_t(got));
            for (auto end = input.find('\n'); end != std::string::npos; end = input.find('\n')) {
                const std::string line = input.substr(0, end);
                input.erase(0, end + 1);
                std::string answer;
                control.handle(line, answer);
                std::printf("%s\n", answer.c_str());
                std::fflush(stdout);
            }
        }
        for (std::size_t i = 1; i < entries.size(); ++i) {
            if (!(entries[i].revents & POLLIN))
                continue;
            const int fd = ::accept4(entries[i].fd, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0)
                converse(*owners[i], fd);
        }
    }
    return 0;
}

} // namespace service
