// SPDX-License-Identifier: MIT
// The named-pipe client and the pipe comm layer against a message-mode server
// in this program: connect, announce, whole 1168-byte messages, message
// boundaries, time limits, and the connect procedure's waits when the pipe is
// missing or busy. The layer finds its pipe through the printer identifier in
// the spooler, set by this test.

#include "WinCheck.h"
#include "WinSpooler.h"

#include "comm/IMCommLayer.h"
#include "comm/VekCommLayer.h"
#include "system/NamedPipe.h"
#include "system/Sleep.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using wizard::sys::NamedPipe;
using wizard::sys::PipeResult;

const std::wstring pipePrefix = L"\\\\.\\pipe\\";

// A message-mode pipe server. Like a service that never turns a client away,
// it keeps several instances listening, each on a thread of its own that serves
// its connection and then listens again; with one instance a second client
// finds the pipe busy. (A client that finds every instance busy must wait for
// one, and Wine's WaitNamedPipeW gives up at once, error 676, while a freed
// instance is being taken down.) Each connection's messages are kept in arrival
// order; the handler answers them (or not) and ends the connection by
// returning false.
class PipeServer {
public:
    using Handler = std::function<bool(HANDLE pipe, const Bytes& message, std::size_t index)>;

    PipeServer(std::wstring name, Handler handler, DWORD instances = 4)
        : name(std::move(name))
        , handler(std::move(handler))
        , instances(instances)
    {
        for (DWORD i = 0; i < instances; ++i)
            listeners.emplace_back([this] { listen(); });
        // The pipe exists once the first instance is made.
        for (int i = 0; i < 200 && ready.load() < static_cast<int>(instances); ++i)
            Sleep(10);
    }
    ~PipeServer()
    {
        stopping = true;
        // Wakes every listener still waiting for a client.
        for (int i = 0; i < 200 && finished.load() < static_cast<int>(instances); ++i) {
            HANDLE wake = CreateFileW(
                name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            if (wake != INVALID_HANDLE_VALUE)
                CloseHandle(wake);
            else
                Sleep(10);
        }
        for (std::thread& t : listeners)
            t.join();
    }
    PipeServer(const PipeServer&) = delete;
    PipeServer& operator=(const PipeServer&) = delete;

    std::vector<std::vector<Bytes>> connections()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return received;
    }

    static bool send(HANDLE pipe, const Bytes& message)
    {
        DWORD written = 0;
        return WriteFile(pipe, message.data(), static_cast<DWORD>(message.size()), &written, nullptr)
            && written == message.size();
    }

private:
    void listen()
    {
        bool counted = false;
        while (!stopping) {
            HANDLE pipe = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX,
                PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, instances, 65536, 65536, 0, nullptr);
            if (pipe == INVALID_HANDLE_VALUE) {
                Sleep(10);
                continue;
            }
            if (!counted) {
                ++ready;
                counted = true;
            }
            const bool connected = ConnectNamedPipe(pipe, nullptr) || GetLastError() == ERROR_PIPE_CONNECTED;
            if (connected && !stopping)
                serve(pipe);
            else
                CloseHandle(pipe);
        }
        ++finished;
    }

    void serve(HANDLE pipe)
    {
        std::size_t slot = 0;
        {
            std::lock_guard<std::mutex> lock(mutex);
            slot = received.size();
            received.emplace_back();
        }
        Bytes buffer(65536);
        for (std::size_t index = 0;; ++index) {
            DWORD read = 0;
            if (!ReadFile(pipe, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr))
                break;
            Bytes message(buffer.begin(), buffer.begin() + read);
            {
                std::lock_guard<std::mutex> lock(mutex);
                received[slot].push_back(message);
            }
            if (!handler(pipe, message, index))
                break;
        }
        FlushFileBuffers(pipe);
        DisconnectNamedPipe(pipe);
        CloseHandle(pipe);
    }

    std::wstring name;
    Handler handler;
    DWORD instances;
    std::atomic<bool> stopping { false };
    std::atomic<int> ready { 0 };
    std::atomic<int> finished { 0 };
    std::mutex mutex;
    std::vector<std::vector<Bytes>> received;
    std::vector<std::thread> listeners;
};

Bytes pattern(std::size_t size, std::uint8_t seed)
{
    Bytes out(size);
    for (std::size_t i = 0; i < size; ++i)
        out[i] = static_cast<std::uint8_t>(seed + i * 7);
    return out;
}

std::int32_t field(const Bytes& message, std::size_t at)
{
    if (message.size() < at + 4)
        return -12345;
    return static_cast<std::int32_t>(std::uint32_t(message[at]) | std::uint32_t(message[at + 1]) << 8
        | std::uint32_t(message[at + 2]) << 16 | std::uint32_t(message[at + 3]) << 24);
}

void setField(Bytes& message, std::size_t at, std::int32_t value)
{
    for (std::size_t i = 0; i < 4; ++i)
        message[at + i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(value) >> (8 * i));
}

// ---- the client seam -------------------------------------------------------

// Opens as a client does after the server's last connection ended: the server
// needs a moment to offer its next instance.
PipeResult connectTo(NamedPipe& pipe, const std::wstring& name)
{
    PipeResult result = PipeResult::Failed;
    for (int attempt = 0; attempt < 100; ++attempt) {
        result = pipe.open(name);
        if (result == PipeResult::Ok)
            return result;
        if (result == PipeResult::Busy)
            pipe.wait(name, 1000);
        else
            Sleep(20);
    }
    return result;
}

void clientNotFound()
{
    wintest::section("NamedPipe: a pipe nobody serves is not found, by open and by wait");
    NamedPipe pipe;
    const std::wstring name = pipePrefix + L"KavniNobodyHere";
    CHECK(pipe.open(name) == PipeResult::NotFound);
    CHECK(!pipe.isOpen());
    const DWORD start = GetTickCount();
    CHECK(pipe.wait(name, 5000) == PipeResult::NotFound);
    CHECK(GetTickCount() - start < 3000);
}

void clientExchange()
{
    wintest::section("NamedPipe: announce, then a whole 1168-byte message each way");
    const std::wstring name = pipePrefix + L"KavniExchange";
    PipeServer server(name, [](HANDLE pipe, const Bytes& message, std::size_t index) {
        if (index == 0)
            return true; // the announcement is not answered
        Bytes reply = message;
        for (std::uint8_t& b : reply)
            b = static_cast<std::uint8_t>(~b);
        return PipeServer::send(pipe, reply);
    });
    NamedPipe pipe;
    CHECK(pipe.open(name) == PipeResult::Ok);
    CHECK(pipe.setMessageMode());
    const std::uint8_t hello[4] = { 2, 0, 0, 0 };
    std::size_t moved = 0;
    CHECK(pipe.write(hello, 4, &moved, 2000) == PipeResult::Ok && moved == 4);
    const Bytes request = pattern(1168, 3);
    CHECK(pipe.write(request.data(), request.size(), &moved, 2000) == PipeResult::Ok && moved == 1168);
    Bytes reply(1168);
    CHECK(pipe.read(reply.data(), reply.size(), &moved, 2000) == PipeResult::Ok);
    CHECK_EQ(moved, std::size_t(1168));
    bool inverted = true;
    for (std::size_t i = 0; i < 1168; ++i)
        inverted = inverted && reply[i] == static_cast<std::uint8_t>(~request[i]);
    CHECK(inverted);

    wintest::section("NamedPipe: a second open on a connected object is refused");
    CHECK(pipe.open(name) == PipeResult::Failed);
    pipe.close();
    CHECK(!pipe.isOpen());
    Sleep(100);
    const auto connections = server.connections();
    if (CHECK_EQ(connections.size(), std::size_t(1)) && CHECK_EQ(connections[0].size(), std::size_t(2))) {
        CHECK(connections[0][0] == Bytes(hello, hello + 4));
        CHECK(connections[0][1] == request);
    }
}

void clientMessageBoundaries()
{
    const std::wstring name = pipePrefix + L"KavniBoundaries";
    // Answers "two" with two messages, "big" with one larger than the client's
    // buffer, "close" by hanging up, anything else not at all.
    PipeServer server(name, [](HANDLE pipe, const Bytes& message, std::size_t) {
        const std::string word(message.begin(), message.end());
        if (word == "two")
            return PipeServer::send(pipe, pattern(100, 1)) && PipeServer::send(pipe, pattern(200, 2));
        if (word == "big")
            return PipeServer::send(pipe, pattern(2000, 3));
        return word != "close";
    });
    auto say = [](NamedPipe& pipe, const char* word) {
        std::size_t moved = 0;
        return pipe.write(word, std::strlen(word), &moved, 2000) == PipeResult::Ok;
    };

    wintest::section("NamedPipe: two messages arrive as two, never run together");
    {
        NamedPipe pipe;
        CHECK(connectTo(pipe, name) == PipeResult::Ok && pipe.setMessageMode());
        CHECK(say(pipe, "two"));
        Sleep(100); // both are queued before the first read
        Bytes buffer(1168);
        std::size_t moved = 0;
        CHECK(pipe.read(buffer.data(), buffer.size(), &moved, 2000) == PipeResult::Ok && moved == 100);
        CHECK(Bytes(buffer.begin(), buffer.begin() + 100) == pattern(100, 1));
        CHECK(pipe.read(buffer.data(), buffer.size(), &moved, 2000) == PipeResult::Ok && moved == 200);
        CHECK(Bytes(buffer.begin(), buffer.begin() + 200) == pattern(200, 2));
    }

    wintest::section("NamedPipe: a message larger than the buffer fails the read");
    {
        NamedPipe pipe;
        CHECK(connectTo(pipe, name) == PipeResult::Ok && pipe.setMessageMode());
        CHECK(say(pipe, "big"));
        Bytes buffer(1168);
        std::size_t moved = 0;
        CHECK(pipe.read(buffer.data(), buffer.size(), &moved, 2000) != PipeResult::Ok);
    }

    wintest::section("NamedPipe: a silent peer ends the read at its time limit");
    {
        NamedPipe pipe;
        CHECK(connectTo(pipe, name) == PipeResult::Ok && pipe.setMessageMode());
        CHECK(say(pipe, "silence"));
        Bytes buffer(1168);
        std::size_t moved = 0;
        const DWORD start = GetTickCount();
        CHECK(pipe.read(buffer.data(), buffer.size(), &moved, 300) == PipeResult::TimedOut);
        const DWORD took = GetTickCount() - start;
        CHECK(took >= 250 && took < 3000);
        CHECK_EQ(moved, std::size_t(0));
    }

    wintest::section("NamedPipe: a peer that hangs up fails the read at once");
    {
        NamedPipe pipe;
        CHECK(connectTo(pipe, name) == PipeResult::Ok && pipe.setMessageMode());
        CHECK(say(pipe, "close"));
        Bytes buffer(1168);
        std::size_t moved = 0;
        const DWORD start = GetTickCount();
        CHECK(pipe.read(buffer.data(), buffer.size(), &moved, 5000) == PipeResult::Failed);
        CHECK(GetTickCount() - start < 3000);
    }
}

void clientBusy()
{
    wintest::section(
        "NamedPipe: every instance taken: busy; the wait times out at its limit, then succeeds once freed");
    const std::wstring name = pipePrefix + L"KavniBusy";
    PipeServer server(
        name, [](HANDLE, const Bytes&, std::size_t) { return true; }, 1);
    auto holder = std::make_unique<NamedPipe>();
    CHECK(holder->open(name) == PipeResult::Ok);
    NamedPipe pipe;
    CHECK(pipe.open(name) == PipeResult::Busy);
    const DWORD start = GetTickCount();
    CHECK(pipe.wait(name, 500) == PipeResult::TimedOut);
    const DWORD took = GetTickCount() - start;
    CHECK(took >= 400 && took < 3000);
    holder.reset();
    // While the freed instance is being taken down, Wine's WaitNamedPipeW fails
    // at once (with error 676) instead of waiting for the next instance, so the
    // wait is asked again until the server offers one.
    PipeResult waited = PipeResult::Failed;
    const DWORD freed = GetTickCount();
    while (waited != PipeResult::Ok && GetTickCount() - freed < 3000) {
        waited = pipe.wait(name, 3000);
        if (waited != PipeResult::Ok)
            Sleep(20);
    }
    CHECK(waited == PipeResult::Ok);
    CHECK(pipe.open(name) == PipeResult::Ok);
}

// ---- the pipe comm layer ---------------------------------------------------

const wchar_t* const printerName = L"Kavni pipe printer";
const wchar_t* const silentPrinter = L"Kavni pipe absent";
const wchar_t* const busyPrinter = L"Kavni pipe busy";
const wchar_t* const noIdPrinter = L"Kavni pipe no id";
const wchar_t* const shortIdPrinter = L"Kavni pipe short id";
const std::wstring printerId = L"KAVNI-WINE-TEST-0000000000000000000000A1";
const std::wstring absentId = L"KAVNI-WINE-TEST-0000000000000000000000B2";
const std::wstring busyId = L"KAVNI-WINE-TEST-0000000000000000000000C3";

bool setId(const wchar_t* printer, const std::wstring& id, DWORD bytes)
{
    Bytes data((id.size() + 1) * sizeof(wchar_t));
    std::memcpy(data.data(), id.c_str(), data.size());
    data.resize(bytes);
    wintest::TestPrinter p(printer);
    return p.setData(L"DsUser", L"PrinterID", REG_BINARY, data.data(), bytes) == ERROR_SUCCESS;
}

bool setUpPrinters()
{
    bool ok = wintest::addLocalPort(L"USB001") && wintest::addDriver(L"Talvor Pipe");
    for (const wchar_t* name : { printerName, silentPrinter, busyPrinter, noIdPrinter, shortIdPrinter })
        ok = wintest::addPrinter(name, L"USB001", L"Talvor Pipe") && ok;
    ok = setId(printerName, printerId, 82) && ok;
    ok = setId(silentPrinter, absentId, 82) && ok;
    ok = setId(busyPrinter, busyId, 82) && ok;
    ok = setId(shortIdPrinter, printerId, 80) && ok;
    return ok;
}

void tearDownPrinters()
{
    for (const wchar_t* name : { printerName, silentPrinter, busyPrinter, noIdPrinter, shortIdPrinter })
        wintest::deletePrinter(name);
}

// The service's side of the conversation, as the layer expects it.
bool serveLayer(HANDLE pipe, const Bytes& message, std::size_t index, std::vector<Bytes>* readData)
{
    if (index == 0)
        return true;
    Bytes reply = message;
    setField(reply, 1160, 1);
    switch (field(message, 0)) {
    case 1: // open: the service's channel and options
        setField(reply, 8, 7);
        setField(reply, 16, 11);
        setField(reply, 20, 12);
        setField(reply, 28, 10);
        break;
    case 5: // status
        for (std::size_t i = 0; i < 16; ++i)
            reply[1072 + i] = static_cast<std::uint8_t>(0xA0 + i);
        break;
    case 3: { // read: 1500 bytes in two chunks, each sent for the previous acknowledgement
        const Bytes data = pattern(1500, 9);
        const std::size_t chunk = index - 1; // 0 for the request, then one per acknowledgement
        setField(reply, 1060, 1500);
        setField(reply, 32, 2);
        if (chunk < 2) {
            const std::size_t from = chunk * 1024;
            const std::size_t length = std::min<std::size_t>(1024, 1500 - from);
            std::fill(reply.begin() + 36, reply.begin() + 36 + 1024, 0);
            std::memcpy(reply.data() + 36, data.data() + from, length);
            setField(reply, 1064, static_cast<std::int32_t>(length));
        }
        if (readData)
            readData->push_back(message);
        break;
    }
    default:
        break;
    }
    return PipeServer::send(pipe, reply);
}

std::vector<int> sleeps;
void countSleep(int ms)
{
    sleeps.push_back(ms);
}

void layerConversation()
{
    wintest::section("VekCommLayer: Open finds the pipe through the spooler's identifier");
    PipeServer server(
        pipePrefix + L"ExtCom" + printerId, [](HANDLE pipe, const Bytes& message, std::size_t index) {
            return serveLayer(pipe, message, index, nullptr);
        });
    wizard::VekCommLayer layer(nullptr, L"Card 1", 100, 200, 300, 400, 500);
    CHECK(layer.Open(printerName));
    wizard::CommStatus status {};
    CHECK(layer.ReadStatus(&status));
    const auto* statusBytes = reinterpret_cast<const std::uint8_t*>(&status);
    CHECK(statusBytes[0] == 0xA0 && statusBytes[15] == 0xAF);

    const Bytes data = pattern(2500, 5);
    CHECK(layer.Write(reinterpret_cast<const char*>(data.data()), 2500));
    std::vector<char> buffer(2000, 'x');
    std::int32_t received = -1;
    CHECK(layer.Read(buffer.data(), 2000, &received));
    CHECK_EQ(received, 1500);
    const Bytes expected = pattern(1500, 9);
    CHECK(std::memcmp(buffer.data(), expected.data(), 1500) == 0);
    CHECK(std::all_of(buffer.begin() + 1500, buffer.end(), [](char c) { return c == 0; }));
    CHECK(layer.Close());
    Sleep(100);

    const auto connections = server.connections();
    // open, status, write, read, close: one connection each.
    if (!CHECK_EQ(connections.size(), std::size_t(5))) {
        for (const auto& c : connections) {
            std::printf("connection:");
            for (const Bytes& m : c)
                std::printf(" [%zu bytes, code %d]", m.size(), m.size() >= 4 ? field(m, 0) : -1);
            std::printf("\n");
        }
        return;
    }
    wintest::section("VekCommLayer: every connection starts with the 4-byte announcement 2");
    for (const auto& connection : connections)
        CHECK(!connection.empty() && connection[0] == Bytes({ 2, 0, 0, 0 }));

    wintest::section("VekCommLayer: the open request as it went over the pipe");
    const Bytes& open = connections[0].at(1);
    CHECK_EQ(open.size(), std::size_t(1168));
    CHECK_EQ(field(open, 0), 1);
    CHECK_EQ(field(open, 8), -1);
    CHECK_EQ(field(open, 16), 200);
    CHECK_EQ(field(open, 20), 300);
    CHECK_EQ(field(open, 24), 1000);
    CHECK_EQ(field(open, 28), 100);
    const char16_t name[] = u"Card 1";
    CHECK(std::memcmp(open.data() + 1096, name, sizeof name) == 0);

    wintest::section(
        "VekCommLayer: later requests carry the service's channel and options; status adds D and E");
    const Bytes& statusRequest = connections[1].at(1);
    CHECK_EQ(field(statusRequest, 0), 5);
    CHECK_EQ(field(statusRequest, 8), 7);
    CHECK_EQ(field(statusRequest, 16), 11);
    CHECK_EQ(field(statusRequest, 20), 12);
    CHECK_EQ(field(statusRequest, 28), 10);
    CHECK_EQ(field(statusRequest, 1088), 400);
    CHECK_EQ(field(statusRequest, 1092), 500);

    wintest::section("VekCommLayer: 2500 bytes go out as three messages of 1024, 1024 and 452");
    const auto& write = connections[2];
    if (CHECK_EQ(write.size(), std::size_t(4))) {
        const std::int32_t lengths[] = { 1024, 1024, 452 };
        for (std::size_t i = 0; i < 3; ++i) {
            const Bytes& m = write[i + 1];
            CHECK_EQ(field(m, 0), 4);
            CHECK_EQ(field(m, 32), 3);
            CHECK_EQ(field(m, 1060), 2500);
            CHECK_EQ(field(m, 1064), lengths[i]);
            CHECK(std::memcmp(m.data() + 36, data.data() + i * 1024, std::size_t(lengths[i])) == 0);
        }
    }

    wintest::section("VekCommLayer: a read is a request and one acknowledgement per chunk");
    const auto& read = connections[3];
    if (CHECK_EQ(read.size(), std::size_t(4))) {
        CHECK_EQ(field(read[1], 0), 3);
        CHECK_EQ(field(read[1], 1060), 2000);
        CHECK_EQ(field(read[2], 1160), 1);
        CHECK_EQ(field(read[3], 1160), 1);
    }
    CHECK_EQ(field(connections[4].at(1), 0), 2);
}

void layerRefusesBadIdentifiers()
{
    wintest::section("VekCommLayer: no identifier, or one of 80 bytes: Open fails without touching any pipe");
    PipeServer server(
        pipePrefix + L"ExtCom" + printerId, [](HANDLE pipe, const Bytes& message, std::size_t index) {
            return serveLayer(pipe, message, index, nullptr);
        });
    sleeps.clear();
    wizard::sys::SleepFunction previous = wizard::sys::setSleepFunction(&countSleep);
    {
        wizard::VekCommLayer layer(nullptr, nullptr, 0, 0, 0, 0, 0);
        CHECK(!layer.Open(noIdPrinter));
        CHECK(!layer.Open(shortIdPrinter));
        CHECK(!layer.Open(L"No such printer"));
    }
    wizard::sys::setSleepFunction(previous);
    CHECK(sleeps.empty());
    Sleep(100);
    CHECK(server.connections().empty());
}

void layerServiceAbsent()
{
    wintest::section("VekCommLayer: service absent: Open gives up after exactly 18 pauses of 500 ms");
    sleeps.clear();
    wizard::sys::SleepFunction previous = wizard::sys::setSleepFunction(&countSleep);
    const DWORD start = GetTickCount();
    {
        wizard::VekCommLayer layer(nullptr, nullptr, 0, 0, 0, 0, 0);
        CHECK(!layer.Open(silentPrinter));
    }
    const DWORD took = GetTickCount() - start;
    wizard::sys::setSleepFunction(previous);
    CHECK_EQ(sleeps.size(), std::size_t(18));
    CHECK(std::all_of(sleeps.begin(), sleeps.end(), [](int ms) { return ms == 500; }));
    // With the pauses replaced, nothing else waits (the real pauses alone are 9 s):
    // a missing pipe is reported at once.
    CHECK(took < 5000);
}

std::unique_ptr<PipeServer> lateServer;
void startServiceOnThirdPause(int ms)
{
    sleeps.push_back(ms);
    if (sleeps.size() == 3)
        lateServer = std::make_unique<PipeServer>(
            pipePrefix + L"ExtCom" + absentId, [](HANDLE pipe, const Bytes& message, std::size_t index) {
                return serveLayer(pipe, message, index, nullptr);
            });
}

void layerServiceLate()
{
    wintest::section("VekCommLayer: a service that comes up while Open waits for it is used");
    sleeps.clear();
    wizard::sys::SleepFunction previous = wizard::sys::setSleepFunction(&startServiceOnThirdPause);
    {
        wizard::VekCommLayer layer(nullptr, nullptr, 0, 0, 0, 0, 0);
        CHECK(layer.Open(silentPrinter));
        CHECK_EQ(sleeps.size(), std::size_t(3));
        CHECK(layer.Close());
    }
    wizard::sys::setSleepFunction(previous);
    if (CHECK(lateServer != nullptr))
        CHECK_EQ(lateServer->connections().size(), std::size_t(2));
    lateServer.reset();
}

void layerServiceBusy()
{
    wintest::section("VekCommLayer: service busy: Open gives up after four waits of 3000 ms");
    const std::wstring name = pipePrefix + L"ExtCom" + busyId;
    PipeServer server(
        name, [](HANDLE, const Bytes&, std::size_t) { return true; }, 1);
    NamedPipe holder;
    CHECK(holder.open(name) == PipeResult::Ok);
    sleeps.clear();
    wizard::sys::SleepFunction previous = wizard::sys::setSleepFunction(&countSleep);
    const DWORD start = GetTickCount();
    {
        wizard::VekCommLayer layer(nullptr, nullptr, 0, 0, 0, 0, 0);
        CHECK(!layer.Open(busyPrinter));
    }
    const DWORD took = GetTickCount() - start;
    wizard::sys::setSleepFunction(previous);
    std::printf("busy service given up after %lu ms\n", took);
    CHECK(took >= 11000 && took < 30000);
    CHECK(sleeps.empty());
    holder.close();
}

} // namespace

int main()
{
    clientNotFound();
    clientExchange();
    clientMessageBoundaries();
    clientBusy();
    tearDownPrinters();
    if (CHECK(setUpPrinters())) {
        layerConversation();
        layerRefusesBadIdentifiers();
        layerServiceAbsent();
        layerServiceLate();
        layerServiceBusy();
    }
    tearDownPrinters();
    return wintest::finish();
}
