// SPDX-License-Identifier: MIT
// durvo.dll against the virtual printer that scripts/test-windows runs on the
// host (its ports in KAVNI_PRINTER_PORT and KAVNI_PRINTER_CONTROL_PORT): print
// queues made in the spooler on network ports, the library loaded and its five
// calls resolved as the wizard does it, the printer's replies and status through
// them, their time limits, a close that wakes a waiting read, a dropped
// connection, the queues that lead to no printer, and the wizard's own comm
// layer over the library.

// Winsock's header before any that brings windows.h.
#include <winsock2.h>

#include "WinCheck.h"
#include "WinProcess.h"
#include "WinSpooler.h"

#include "comm/DurvoCommLayer.h"
#include "comm/DurvoFunctions.h"
#include "system/SharedLibrary.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

using Handle = wizard::DurvoFunctions::Handle;

const char rfv[] = "\x1BRfv\r";
const char rpst[] = "\x1BRpst\r";

// The printer's control channel: one request line, one reply line.
class Control {
public:
    explicit Control(unsigned short port)
    {
        socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (socket != INVALID_SOCKET
            && ::connect(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            closesocket(socket);
            socket = INVALID_SOCKET;
        }
    }
    ~Control()
    {
        if (socket != INVALID_SOCKET)
            closesocket(socket);
    }
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    // The reply without its line end; "" when the channel failed.
    std::string request(const std::string& line)
    {
        const std::string out = line + "\n";
        if (socket == INVALID_SOCKET || ::send(socket, out.data(), static_cast<int>(out.size()), 0) <= 0)
            return {};
        std::string reply;
        char c = 0;
        while (::recv(socket, &c, 1, 0) == 1 && c != '\n')
            reply += c;
        return reply;
    }
    bool set(const std::string& keyAndValue) { return request("set " + keyAndValue) == "ok"; }

private:
    SOCKET socket = INVALID_SOCKET;
};

unsigned short portFromEnvironment(const char* name)
{
    const char* value = std::getenv(name);
    const long port = value ? std::strtol(value, nullptr, 10) : 0;
    return port > 0 && port < 65536 ? static_cast<unsigned short>(port) : 0;
}

// A loopback port nobody listens on: one the system just handed out and took back.
unsigned short deadPort()
{
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    unsigned short port = 0;
    if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0
        && getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    closesocket(s);
    return port;
}

std::wstring networkPort(unsigned long port)
{
    return L"IP_127.0.0.1:" + std::to_wstring(port);
}

// A queue name outside ASCII, as the wizard passes it: in the ANSI code page.
// Plain ASCII when that code page has no "é".
std::wstring accentedName()
{
    BOOL lossy = FALSE;
    char narrow[8];
    const int n = WideCharToMultiByte(CP_ACP, 0, L"\u00e9", 1, narrow, sizeof narrow, nullptr, &lossy);
    return n > 0 && !lossy ? L"Kavni durvo caf\u00e9" : L"Kavni durvo cafe";
}

std::string ansi(const std::wstring& name)
{
    char narrow[256] = {};
    WideCharToMultiByte(CP_ACP, 0, name.c_str(), -1, narrow, sizeof narrow - 1, nullptr, nullptr);
    return narrow;
}

struct Queue {
    std::wstring name;
    std::wstring port;
};

bool setUp(const Queue* queues, std::size_t count)
{
    std::vector<std::pair<std::wstring, std::wstring>> ports;
    for (std::size_t i = 0; i < count; ++i)
        if (queues[i].port.rfind(L"IP_", 0) == 0 && queues[i].port.find(L',') == std::wstring::npos)
            ports.emplace_back(queues[i].port, L"TCPMON.DLL");
    bool ok = wintest::registerNetworkPorts(ports) && wintest::addLocalPort(L"USB001")
        && wintest::addDriver(L"Talvor T1");
    for (std::size_t i = 0; i < count; ++i) {
        if (!wintest::addPrinter(queues[i].name.c_str(), queues[i].port.c_str(), L"Talvor T1")) {
            std::printf("could not add printer %s on %s (error %lu)\n",
                wintest::narrow(queues[i].name).c_str(), wintest::narrow(queues[i].port).c_str(),
                GetLastError());
            ok = false;
        }
    }
    return ok;
}

struct Reply {
    int32_t result;
    int32_t received;
    std::string text;
};

Reply read(const wizard::DurvoFunctions& f, Handle h, uint32_t capacity, int32_t timeoutMs)
{
    std::string buffer(64, '\x7F');
    int32_t received = -1;
    const int32_t result = f.ReadQuarleExEx(h, buffer.data(), capacity, &received, timeoutMs, 0, 0);
    return { result, received, buffer.substr(0, capacity + 1) };
}

bool send(const wizard::DurvoFunctions& f, Handle h, const char* command)
{
    return f.WriteQuarleExEx(h, command, static_cast<int32_t>(std::strlen(command)), 1000, 0, 0) != 0;
}

// Byte k of the printer's own status block is k * 0x11.
bool isBuiltInStatus(const std::string& bytes, std::size_t count)
{
    for (std::size_t k = 0; k < count; ++k)
        if (static_cast<unsigned char>(bytes[k]) != static_cast<unsigned char>(k * 0x11))
            return false;
    return true;
}

void exchange(const wizard::DurvoFunctions& f, const std::string& queue, const std::string& version)
{
    wintest::section("a queue on a network port: firmware version, status, a long reply cut, close");
    const Handle h = f.OpenQuarle(queue.c_str());
    if (!CHECK(h != 0))
        return;
    CHECK(send(f, h, rfv));
    Reply r = read(f, h, 32, 1000);
    CHECK_EQ(r.result, 1);
    CHECK_EQ(r.received, static_cast<int32_t>(version.size()));
    CHECK_EQ(r.text.substr(0, version.size()), version);
    CHECK_EQ(r.text[version.size()], '\x7F'); // no NUL added

    std::string status(64, '\0');
    int32_t received = -1;
    CHECK_EQ(f.ReadStatusExEx(h, status.data(), 64, &received, 1000, 0, 0), 1);
    CHECK_EQ(received, 32);
    CHECK(isBuiltInStatus(status, 32));

    // 64 hexadecimal digits into 6 bytes: the rest is read and dropped, so the
    // next command still gets its own reply.
    CHECK(send(f, h, rpst));
    r = read(f, h, 6, 1000);
    CHECK_EQ(r.result, 1);
    CHECK_EQ(r.received, 6);
    CHECK_EQ(r.text, std::string("001122\x7F"));
    CHECK(send(f, h, rfv));
    CHECK_EQ(read(f, h, 32, 1000).text.substr(0, version.size()), version);

    CHECK_EQ(f.CloseQuarle(h), 1);
    CHECK_EQ(f.CloseQuarle(h), 0);
    CHECK(!send(f, h, rfv));
}

void timeLimits(
    const wizard::DurvoFunctions& f, const std::string& queue, const std::string& version, Control& control)
{
    wintest::section("a late reply fails the read at its limit and is dropped before the next command");
    const Handle h = f.OpenQuarle(queue.c_str());
    if (!CHECK(h != 0))
        return;
    CHECK(control.set("delay.rfv 800"));
    CHECK(send(f, h, rfv));
    DWORD start = GetTickCount();
    Reply r = read(f, h, 32, 300);
    DWORD took = GetTickCount() - start;
    CHECK_EQ(r.result, 0);
    CHECK_EQ(r.received, 0);
    CHECK(took >= 250 && took < 2500);
    CHECK(control.set("delay.rfv 0"));
    Sleep(1000); // the late reply is in by now
    CHECK(control.set("version F7777"));
    CHECK(send(f, h, rfv));
    CHECK_EQ(read(f, h, 32, 1000).text.substr(0, 5), std::string("F7777"));
    CHECK(control.set("version " + version));

    wintest::section("no status within the limit: 0 and \"Time out\" in the buffer");
    CHECK(control.set("noreply.status 1"));
    std::string status(16, '\x7F');
    int32_t received = -1;
    start = GetTickCount();
    CHECK_EQ(f.ReadStatusExEx(h, status.data(), 16, &received, 300, 0, 0), 0);
    took = GetTickCount() - start;
    CHECK(took >= 250 && took < 2500);
    CHECK_EQ(received, 0);
    CHECK_EQ(status, std::string("Time out\0\x7F\x7F\x7F\x7F\x7F\x7F\x7F", 16));
    CHECK(control.set("noreply.status 0"));

    wintest::section("closing the handle wakes a read waiting on it on another thread");
    CHECK(control.set("noreply.rfv 1"));
    CHECK(send(f, h, rfv));
    int32_t waited = -1;
    DWORD waitedFor = 0;
    std::thread reader([&] {
        const DWORD begin = GetTickCount();
        waited = read(f, h, 32, 10000).result;
        waitedFor = GetTickCount() - begin;
    });
    Sleep(300);
    CHECK_EQ(f.CloseQuarle(h), 1);
    reader.join();
    CHECK_EQ(waited, 0);
    CHECK(waitedFor < 3000);
    CHECK(control.set("noreply.rfv 0"));
}

void droppedConnection(const wizard::DurvoFunctions& f, const std::string& queue, Control& control)
{
    wintest::section("a reply cut by the printer dropping the connection: the handle fails from then on");
    const Handle h = f.OpenQuarle(queue.c_str());
    if (!CHECK(h != 0))
        return;
    CHECK(control.set("cut.rfv 2"));
    CHECK(send(f, h, rfv));
    Reply r = read(f, h, 32, 2000);
    CHECK_EQ(r.result, 0);
    CHECK_EQ(r.text.substr(0, 2), std::string("\x7F\x7F")); // the buffer as it was
    CHECK(control.set("cut.rfv -1"));
    const DWORD start = GetTickCount();
    CHECK(!send(f, h, rfv));
    std::string status(32, '\0');
    int32_t received = -1;
    CHECK_EQ(f.ReadStatusExEx(h, status.data(), 32, &received, 2000, 0, 0), 0);
    CHECK(GetTickCount() - start < 1000);
    CHECK_EQ(f.CloseQuarle(h), 1);
}

void noPrinter(const wizard::DurvoFunctions& f)
{
    struct Row {
        const char* why;
        const char* name;
    };
    const Row rows[] = {
        { "a network port nobody listens on", "Kavni durvo nowhere" },
        { "a local port", "Kavni durvo usb" },
        { "a port number past 65535", "Kavni durvo port too large" },
        { "no port number after the colon", "Kavni durvo port empty" },
        { "several ports", "Kavni durvo two ports" },
        { "no such queue", "Kavni durvo no such queue" },
        { "an empty name (the print server itself)", "" },
    };
    for (const Row& row : rows) {
        wintest::section((std::string("Open gives 0 at once: ") + row.why).c_str());
        const DWORD start = GetTickCount();
        const Handle h = f.OpenQuarle(row.name);
        CHECK_EQ(h, Handle(0));
        CHECK(GetTickCount() - start < 3000);
        if (h)
            f.CloseQuarle(h);
    }
    CHECK_EQ(f.OpenQuarle(nullptr), Handle(0));
}

void wizardLayer(const std::wstring& queue, const std::string& version)
{
    const bool plain = queue.back() == L'e';
    wintest::section(plain
            ? "the wizard's comm layer over durvo.dll, queue name in ASCII (the ANSI code page "
              "has no e acute): greeting, version, both status reads, goodbye"
            : "the wizard's comm layer over durvo.dll, queue name with an e acute in the ANSI "
              "code page: greeting, version, both status reads, goodbye");
    wizard::DurvoCommLayer layer(nullptr, 0, 0);
    if (!CHECK(layer.Open(queue.c_str())))
        return;
    CHECK(layer.Write(rfv, 5));
    char reply[32] = {};
    int32_t received = 0;
    CHECK(layer.Read(reply, sizeof reply, &received));
    CHECK_EQ(std::string(reply), version);
    wizard::CommStatus status {};
    wizard::CommStatus extended {};
    CHECK(layer.ReadStatus(&status));
    CHECK(layer.ReadStatusRpst(&extended));
    CHECK(std::memcmp(&status, &extended, sizeof status) == 0);
    CHECK_EQ(status.bytes[9], 0x99); // the raw block's byte 9: cover closed
    CHECK(layer.Close());
}

} // namespace

int main()
{
    const unsigned short printerPort = portFromEnvironment("KAVNI_PRINTER_PORT");
    const unsigned short controlPort = portFromEnvironment("KAVNI_PRINTER_CONTROL_PORT");
    wintest::section("a virtual printer is running on the host");
    if (!CHECK(printerPort != 0 && controlPort != 0))
        return wintest::finish();
    WSADATA winsock;
    WSAStartup(MAKEWORD(2, 2), &winsock);
    Control control(controlPort);
    const std::string got = control.request("get version");
    const std::string version = got.rfind("ok ", 0) == 0 ? got.substr(3) : std::string();
    CHECK(!version.empty());

    const std::wstring tcp = L"Kavni durvo tcp";
    const std::wstring accented = accentedName();
    const Queue queues[] = {
        { tcp, networkPort(printerPort) },
        { accented, networkPort(printerPort) },
        { L"Kavni durvo nowhere", networkPort(deadPort()) },
        { L"Kavni durvo usb", L"USB001" },
        { L"Kavni durvo port too large", networkPort(65536) },
        { L"Kavni durvo port empty", L"IP_127.0.0.1:" },
        { L"Kavni durvo two ports", networkPort(printerPort) + L",USB001" },
    };
    if (CHECK(setUp(queues, std::size(queues)))) {
        wintest::section("durvo.dll beside the program loads and its five calls resolve by name");
        wizard::sys::SharedLibrary library;
        const wizard::DurvoFunctions f = wizard::DurvoFunctions::load(library, L"durvo.dll");
        CHECK(f.complete());
        wchar_t path[MAX_PATH] = {};
        const HMODULE module = GetModuleHandleW(L"durvo.dll");
        CHECK(module && GetModuleFileNameW(module, path, MAX_PATH) > 0);
        std::wstring loaded(path);
        std::wstring expected = wintest::selfDirectory() + L"durvo.dll";
        CharLowerW(loaded.data());
        CharLowerW(expected.data());
        CHECK_EQ(loaded, expected);
        if (f.complete()) {
            exchange(f, ansi(tcp), version);
            timeLimits(f, ansi(tcp), version, control);
            droppedConnection(f, ansi(tcp), control);
            noPrinter(f);
        }
        wizardLayer(accented, version);
    }
    for (const Queue& q : queues)
        wintest::deletePrinter(q.name.c_str());
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, wintest::monitorKey());
    control.request("reset");
    WSACleanup();
    return wintest::finish();
}
