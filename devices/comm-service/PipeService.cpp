// SPDX-License-Identifier: MIT
#include "PipeService.h"

#include <cups/cups.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <sstream>

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
// The most a client may write or ask to read in one exchange.
constexpr std::int32_t maxTransfer = 16 << 20;
// What the service takes from the printer in one read at the least.
constexpr std::int32_t readAtLeast = 64 << 10;

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

std::int32_t chunksFor(std::int64_t length)
{
    return static_cast<std::int32_t>(
        (length + std::int64_t(Message::chunkCapacity) - 1) / std::int64_t(Message::chunkCapacity));
}

} // namespace

PipeService::PipeService(DurvoLibrary& durvo, std::string folder, std::FILE* log)
    : durvo(durvo)
    , folder(std::move(folder))
    , log(log)
{
}

PipeService::~PipeService()
{
    for (auto& entry : pipes)
        shutPipe(entry.second, true);
    for (const auto& channel : channels)
        durvo.close(channel.second);
}

void PipeService::logLine(const std::string& line)
{
    if (!log)
        return;
    std::fputs(line.c_str(), log);
    std::fputc('\n', log);
    std::fflush(log);
}

std::string PipeService::path(const Pipe& pipe) const
{
    return folder + "/ExtCom" + pipe.id;
}

bool PipeService::scan(std::string& error)
{
    http_t* http
        = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, 30000, nullptr);
    if (!http) {
        error = std::string("cannot reach the print server ") + cupsServer();
        return false;
    }
    ipp_t* request = ippNewRequest(IPP_OP_CUPS_GET_PRINTERS);
    static const char* const wanted[] = { "printer-name", "talvor-printer-id-default" };
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 2, nullptr, wanted);
    ipp_t* response = cupsDoRequest(http, request, "/");
    if (!response || ippGetStatusCode(response) > IPP_STATUS_OK_CONFLICTING) {
        // A server without queues answers "not found": nothing to serve.
        const bool empty = response && ippGetStatusCode(response) == IPP_STATUS_ERROR_NOT_FOUND;
        ippDelete(response);
        httpClose(http);
        if (empty)
            return true;
        error = cupsLastErrorString();
        return false;
    }
    std::string name;
    std::string id;
    auto flush = [&]() {
        // The identifier becomes a file name: one that could leave the folder is not served.
        if (!name.empty() && !id.empty() && id.find('/') == std::string::npos && id != "." && id != "..")
            addPipe(id, name);
        name.clear();
        id.clear();
    };
    for (ipp_attribute_t* attribute = ippFirstAttribute(response); attribute;
         attribute = ippNextAttribute(response)) {
        if (!ippGetName(attribute)) {
            flush();
            continue;
        }
        const std::string attributeName = ippGetName(attribute);
        const char* value = ippGetString(attribute, 0, nullptr);
        if (attributeName == "printer-name" && value)
            name = value;
        else if (attributeName == "talvor-printer-id-default" && value)
            id = value;
    }
    flush();
    ippDelete(response);
    httpClose(http);
    return true;
}

void PipeService::addPipe(const std::string& id, const std::string& queue)
{
    Pipe& pipe = pipes[id];
    const bool fresh = pipe.id.empty();
    pipe.id = id;
    pipe.queue = queue;
    if (fresh && !setMode(pipe, Mode::Serving))
        logLine("cannot serve " + path(pipe));
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

bool PipeService::control(const std::string& line, std::string& answer)
{
    std::istringstream words(line);
    std::string verb;
    words >> verb;
    if (verb.empty()) {
        answer = "error empty command";
        return false;
    }
    const std::map<std::string, Mode> modes { { "absent", Mode::Absent }, { "stale", Mode::Stale },
        { "busy", Mode::Busy }, { "serve", Mode::Serving } };
    if (const auto mode = modes.find(verb); mode != modes.end()) {
        std::string id;
        words >> id;
        bool done = false;
        for (auto& entry : pipes) {
            if (id == "*" || entry.first == id) {
                if (!setMode(entry.second, mode->second)) {
                    answer = "error cannot switch " + entry.first;
                    return false;
                }
                done = true;
            }
        }
        answer = done ? "ok" : "error no pipe " + id;
        return done;
    }
    if (verb == "result0") {
        int code = 0;
        int count = -1;
        if (!(words >> code)) {
            answer = "error result0 CODE [N]";
            return false;
        }
        words >> count;
        resultZero[code] = count;
        answer = "ok";
        return true;
    }
    if (verb == "hangup") {
        int code = 0;
        int nth = 1;
        if (!(words >> code)) {
            answer = "error hangup CODE [NTH]";
            return false;
        }
        words >> nth;
        hangup = { code, nth };
        answer = "ok";
        return true;
    }
    if (verb == "silent") {
        if (!(words >> silentCode)) {
            answer = "error silent CODE";
            return false;
        }
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
            static const char* const fields[] = { "count", "total", "length", "result", "fill" };
            const std::string field = pair.substr(0, equals);
            if (equals == std::string::npos
                || std::find(std::begin(fields), std::end(fields), field) == std::end(fields)) {
                answer = "error bad field " + pair;
                return false;
            }
            readOverrides[index][field]
                = static_cast<std::int32_t>(std::stoll(pair.substr(equals + 1), nullptr, 0));
        }
        answer = "ok";
        return true;
    }
    if (verb == "assign") {
        if (!(words >> assigned[0] >> assigned[1] >> assigned[2] >> assigned[3])) {
            answer = "error assign CHANNEL A B C";
            return false;
        }
        assignNext = true;
        answer = "ok";
        return true;
    }
    if (verb == "clear") {
        assignNext = false;
        resultZero.clear();
        hangup = {};
        silentCode = 0;
        readOverrides.clear();
        for (auto& entry : pipes)
            setMode(entry.second, Mode::Serving);
        answer = "ok";
        return true;
    }
    if (verb == "rescan") {
        std::string error;
        if (!scan(error)) {
            answer = "error " + error;
            return false;
        }
        printPipes();
        answer = "ok";
        return true;
    }
    answer = "error unknown command " + verb;
    return false;
}

void PipeService::sendChunk(Message& reply, const ReadState& read, std::int32_t index) const
{
    std::fill_n(reply.bytes.begin() + Message::chunkData, Message::chunkCapacity, std::uint8_t(0));
    const std::size_t from = std::size_t(index - 1) * Message::chunkCapacity;
    const std::size_t length = index >= 1 && from < read.data.size()
        ? std::min(Message::chunkCapacity, read.data.size() - from)
        : 0;
    if (length > 0)
        std::memcpy(reply.bytes.data() + Message::chunkData, read.data.data() + from, length);
    reply.set(Message::chunkCount, read.count);
    reply.set(Message::totalLength, static_cast<std::int32_t>(read.data.size()));
    reply.set(Message::chunkLength, static_cast<std::int32_t>(length));
    reply.set(Message::result, 1);
}

Message PipeService::handle(const Pipe& pipe, const Message& request, ReadState& read, WriteState& write)
{
    Message reply = request;
    reply.set(Message::result, 0);
    const std::int32_t code = request.get(Message::command);
    const std::int32_t timeout = request.get(Message::timeout);

    if (code == 1) {
        const QuarleHandle device = durvo.open(pipe.queue.c_str());
        logLine("printer open " + pipe.queue + (device ? " ok" : " failed"));
        if (!device)
            return reply;
        std::int32_t channel = nextChannel++;
        // The service's own values for the options; clients must carry them from here on.
        std::int32_t values[3] = { 100 + channel, 200 + channel, 300 + channel };
        if (assignNext && channels.find(assigned[0]) == channels.end()) {
            channel = assigned[0];
            std::copy(assigned + 1, assigned + 4, values);
        }
        assignNext = false;
        if (auto previous = channels.find(channel); previous != channels.end())
            durvo.close(previous->second);
        channels[channel] = device;
        reply.set(Message::channel, channel);
        reply.set(Message::optionA, values[0]);
        reply.set(Message::optionB, values[1]);
        reply.set(Message::optionC, values[2]);
        reply.set(Message::result, 1);
        return reply;
    }

    const auto found = channels.find(request.get(Message::channel));
    if (found == channels.end()) {
        logLine("printer unknown channel " + std::to_string(request.get(Message::channel)));
        return reply;
    }
    const QuarleHandle device = found->second;

    switch (code) {
    case 2: {
        const bool ok = durvo.close(device) != 0;
        channels.erase(found);
        logLine(std::string("printer close ") + (ok ? "ok" : "failed"));
        reply.set(Message::result, ok ? 1 : 0);
        return reply;
    }
    case 4: {
        const std::int32_t piece = request.get(Message::chunkLength);
        if (!write.active) {
            const std::int32_t total = request.get(Message::totalLength);
            if (total <= 0 || total > maxTransfer || request.get(Message::chunkCount) != chunksFor(total)) {
                logLine("printer write refused: bad total");
                return reply;
            }
            write = { true, {}, total };
        }
        if (piece < 0 || piece > std::int32_t(Message::chunkCapacity)
            || std::size_t(piece) > std::size_t(write.total) - write.data.size()) {
            logLine("printer write refused: bad chunk");
            write = {};
            return reply;
        }
        const auto* start = reinterpret_cast<const char*>(request.bytes.data() + Message::chunkData);
        write.data.insert(write.data.end(), start, start + piece);
        if (write.data.size() < std::size_t(write.total)) {
            reply.set(Message::result, 1);
            return reply;
        }
        // The printer takes a command, a download frame above all, only whole.
        const bool ok = durvo.write(device, write.data.data(), write.total, timeout, 0, 0) != 0;
        logLine("printer write " + std::to_string(write.total) + (ok ? " ok" : " failed"));
        write = {};
        reply.set(Message::result, ok ? 1 : 0);
        return reply;
    }
    case 3: {
        if (!read.active) {
            // The printer's whole reply is taken, also when it is longer than the
            // client's capacity: the client learns its real length and keeps what fits.
            const std::int32_t capacity = std::clamp<std::int32_t>(
                std::max(request.get(Message::totalLength), readAtLeast), 0, maxTransfer);
            std::vector<char> buffer(std::size_t(capacity) + 1, 0);
            std::int32_t received = 0;
            const bool ok
                = durvo.read(device, buffer.data(), std::uint32_t(capacity), &received, timeout, 0, 0) != 0;
            logLine("printer read " + std::to_string(received) + (ok ? " ok" : " failed"));
            if (!ok) {
                reply.set(Message::chunkCount, 0);
                reply.set(Message::totalLength, 0);
                reply.set(Message::chunkLength, 0);
                return reply;
            }
            received = std::clamp<std::int32_t>(received, 0, capacity);
            read = { true, std::vector<char>(buffer.begin(), buffer.begin() + received), chunksFor(received),
                0 };
        }
        // Chunk k+1 answers the acknowledgement of chunk k; after the last, a final reply.
        ++read.sent;
        sendChunk(reply, read, read.sent);
        if (read.sent > read.count)
            read.active = false;
        return reply;
    }
    case 5: {
        char raw[1024] = {};
        std::int32_t received = 0;
        const bool ok
            = durvo.readStatus(device, raw, sizeof raw, &received, timeout > 0 ? timeout : 1000, 0, 0) != 0;
        logLine(std::string("printer status ") + (ok ? "ok" : "failed"));
        if (!ok)
            return reply;
        // The status record skips raw byte 10.
        std::memcpy(reply.bytes.data() + Message::status, raw, 10);
        std::memcpy(reply.bytes.data() + Message::status + 10, raw + 11, 6);
        reply.set(Message::result, 1);
        return reply;
    }
    default:
        logLine("printer unknown command " + std::to_string(code));
        return reply;
    }
}

void PipeService::converse(Pipe& pipe, int fd)
{
    logLine("connect ExtCom" + pipe.id);
    std::uint8_t hello[8] = {};
    const ssize_t got = receive(fd, hello, sizeof hello);
    if (got != 4) {
        logLine("announce missing " + std::to_string(got));
        ::close(fd);
        logLine("end");
        return;
    }
    const std::int32_t announced = static_cast<std::int32_t>(std::uint32_t(hello[0])
        | std::uint32_t(hello[1]) << 8 | std::uint32_t(hello[2]) << 16 | std::uint32_t(hello[3]) << 24);
    logLine("announce " + std::to_string(announced));

    ReadState read;
    WriteState write;
    std::map<int, int> seen;
    int readReplies = 0;
    for (;;) {
        Message request;
        const ssize_t n = receive(fd, request.bytes.data(), Message::size);
        if (n != ssize_t(Message::size)) {
            if (n != 0)
                logLine("bad message " + std::to_string(n));
            break;
        }
        logLine("recv " + hex(request.bytes.data(), Message::size));
        const int code = request.get(Message::command);
        if (hangup.code == code && ++seen[code] == hangup.nth) {
            hangup = {};
            logLine("hangup");
            break;
        }
        if (silentCode != 0 && silentCode == code) {
            silentCode = 0;
            logLine("silent");
            // Hold the connection, answering nothing, until the client leaves.
            std::uint8_t ignored[Message::size];
            while (receive(fd, ignored, sizeof ignored) > 0) { }
            break;
        }
        const bool readReply = code == 3;
        const int replyIndex = readReply ? readReplies++ : -1;
        Message reply = handle(pipe, request, read, write);
        if (auto zero = resultZero.find(code); zero != resultZero.end() && zero->second != 0) {
            reply.set(Message::result, 0);
            if (zero->second > 0 && --zero->second == 0)
                resultZero.erase(zero);
        }
        if (auto forced = readOverrides.find(replyIndex); readReply && forced != readOverrides.end()) {
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
                    std::fill_n(reply.bytes.begin() + Message::chunkData, Message::chunkCapacity,
                        std::uint8_t(value));
            }
            readOverrides.erase(forced);
        }
        if (::send(fd, reply.bytes.data(), Message::size, MSG_NOSIGNAL) != ssize_t(Message::size)) {
            logLine("reply failed");
            break;
        }
        logLine("reply " + hex(reply.bytes.data(), Message::size));
    }
    // An exchange cut short leaves nothing behind for the next one.
    ::close(fd);
    logLine("end");
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
                control(line, answer);
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
