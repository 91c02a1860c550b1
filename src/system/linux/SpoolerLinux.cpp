// SPDX-License-Identifier: MIT
// The spooler over CUPS. A queue's device URI, scheme in capitals, is its port; the
// queue's PPD NickName (printer-make-and-model) is its driver; bit 0x800 of the
// attribute word reads as "not held by the wizard", and writing it holds or releases
// the queue; the printer data "DsUser"/"PrinterID" is the talvor-printer-id-default
// attribute as a UTF-16 block.
#include "system/Spooler.h"

#include "system/Holder.h"
#include "system/SpoolerControl.h"
#include "system/TextEncoding.h"

#include <cups/cups.h>
#include <cups/ipp.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <strings.h>
#include <thread>
#include <unistd.h>
#include <unordered_set>
#include <vector>

namespace wizard::sys {

struct SpoolerPrinter {
    std::string name;
    std::string uri;
    PrinterAccess access = PrinterAccess::Use;
};

namespace {

// The queue's state message while the wizard holds it, followed by the holder's
// record in parentheses: "The setup wizard holds the printer (host=... pid=...)".
// An administrator's own pause carries another message and is left alone.
constexpr char holdMessage[] = "The setup wizard holds the printer";
constexpr char printerIdAttribute[] = "talvor-printer-id-default";

// A printing queue is held only after its job has ended: a job stopped mid-way is sent
// again whole, which would print a card twice. Beyond this bound the hold fails.
constexpr auto jobEndBound = std::chrono::seconds(20);
constexpr auto jobEndPoll = std::chrono::milliseconds(50);

// A server that stops answering must not hang the wizard.
constexpr int connectTimeoutMs = 5000;
constexpr double replyTimeoutSeconds = 10.0;

constexpr std::uint32_t printerAttributeLocal = 0x40;

const char* neverPrompt(const char*, http_t*, const char*, const char*, void*)
{
    return nullptr;
}

int giveUp(http_t*, void*)
{
    return 0;
}

// One connection per operation; closed by the deleter.
struct HttpCloser {
    void operator()(http_t* http) const { httpClose(http); }
};
using Connection = std::unique_ptr<http_t, HttpCloser>;

struct IppDeleter {
    void operator()(ipp_t* ipp) const { ippDelete(ipp); }
};
using Ipp = std::unique_ptr<ipp_t, IppDeleter>;

Connection connectServer()
{
    // The callback and server are libcups settings of the calling thread.
    cupsSetPasswordCB2(neverPrompt, nullptr);
    http_t* http = httpConnect2(
        cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, connectTimeoutMs, nullptr);
    if (http)
        httpSetTimeout(http, replyTimeoutSeconds, giveUp, nullptr);
    return Connection(http);
}

std::string printerUri(const std::string& name)
{
    char uri[HTTP_MAX_URI];
    if (httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", 0, "/printers/%s",
            name.c_str())
        != HTTP_URI_STATUS_OK)
        return {};
    return uri;
}

bool succeeded()
{
    return cupsLastError() <= IPP_STATUS_OK_EVENTS_COMPLETE;
}

Ipp send(http_t* http, ipp_t* request)
{
    Ipp response(cupsDoRequest(http, request, "/"));
    if (!response || !succeeded())
        return nullptr;
    return response;
}

const char* const recordAttributes[] = {
    "printer-name",
    "device-uri",
    "printer-make-and-model",
    "printer-state",
    "printer-state-message",
};

// "socket://127.0.0.1:9100" -> "SOCKET://127.0.0.1:9100".
std::wstring portOf(const char* deviceUri)
{
    std::string port = deviceUri;
    const auto colon = port.find(':');
    for (std::string::size_type i = 0; i < colon && i < port.size(); ++i)
        if (port[i] >= 'a' && port[i] <= 'z')
            port[i] = static_cast<char>(port[i] - 'a' + 'A');
    return fromUtf8(port);
}

std::string schemeOf(const char* deviceUri)
{
    std::string scheme = deviceUri;
    const auto colon = scheme.find(':');
    return colon == std::string::npos ? std::string() : scheme.substr(0, colon);
}

bool isNetworkScheme(const std::string& scheme)
{
    for (const char* network : { "socket", "ipp", "ipps", "lpd", "http", "https" })
        if (strcasecmp(scheme.c_str(), network) == 0)
            return true;
    return false;
}

std::string holdMessageOf(const std::string& record)
{
    return std::string(holdMessage) + " (" + record + ")";
}

struct QueueState {
    ipp_pstate_t state = IPP_PSTATE_IDLE;
    std::string message;
    bool heldByWizard() const
    {
        if (state != IPP_PSTATE_STOPPED || message.compare(0, sizeof holdMessage - 1, holdMessage) != 0)
            return false;
        const std::string rest = message.substr(sizeof holdMessage - 1);
        return rest.empty() || (rest.size() > 3 && rest.compare(0, 2, " (") == 0 && rest.back() == ')');
    }
    // The holder's record; empty when the message names none.
    std::string holdRecord() const
    {
        if (!heldByWizard() || message.size() == sizeof holdMessage - 1)
            return {};
        return message.substr(sizeof holdMessage + 1, message.size() - sizeof holdMessage - 2);
    }
};

// One printer as the records are built: the level-2 fields and what the attribute
// word and the port monitor are derived from.
struct Queue {
    PrinterInfo2 info;
    QueueState state;
    std::string deviceUri;
};

void take(Queue& queue, ipp_attribute_t* attribute)
{
    const char* name = ippGetName(attribute);
    if (!name)
        return;
    if (!strcmp(name, "printer-state")) {
        queue.state.state = static_cast<ipp_pstate_t>(ippGetInteger(attribute, 0));
        return;
    }
    const char* value = ippGetString(attribute, 0, nullptr);
    if (!value)
        return;
    if (!strcmp(name, "printer-name")) {
        queue.info.printerName = fromUtf8(value);
    } else if (!strcmp(name, "device-uri")) {
        queue.deviceUri = value;
        queue.info.portName = portOf(value);
    } else if (!strcmp(name, "printer-make-and-model")) {
        queue.info.driverName = fromUtf8(value);
    } else if (!strcmp(name, "printer-state-message")) {
        queue.state.message = value;
    }
}

void finish(Queue& queue)
{
    queue.info.attributes
        = printerAttributeLocal | (queue.state.heldByWizard() ? 0u : printerAttributeEnableBidi);
    queue.info.holdRecord = queue.state.holdRecord();
}

// The printers of a response, one per printer group.
std::vector<Queue> queuesOf(ipp_t* response)
{
    std::vector<Queue> queues;
    bool inGroup = false;
    for (ipp_attribute_t* attribute = ippFirstAttribute(response); attribute;
         attribute = ippNextAttribute(response)) {
        if (ippGetGroupTag(attribute) != IPP_TAG_PRINTER || !ippGetName(attribute)) {
            inGroup = false;
            continue;
        }
        if (!inGroup) {
            queues.emplace_back();
            inGroup = true;
        }
        take(queues.back(), attribute);
    }
    for (Queue& queue : queues)
        finish(queue);
    return queues;
}

// The listing's response, read here rather than by cupsDoRequest. With the silence
// limit set, libcups waits on the socket before each of its reads, and it reads an IPP
// response a few bytes at a time: for hundreds of queues the waits cost as much as the
// whole request. Read in pieces of the connection's buffer size instead, each wait
// still ends the request after the limit.
struct ResponseReader {
    http_t* http;
    std::vector<ipp_uchar_t> piece = std::vector<ipp_uchar_t>(32768);
    std::size_t at = 0;
    std::size_t held = 0;
};

// ippReadIO takes each item whole: wanted bytes, fewer only at the end or on a fault.
ssize_t readResponse(void* context, ipp_uchar_t* out, std::size_t wanted)
{
    auto& reader = *static_cast<ResponseReader*>(context);
    std::size_t given = 0;
    while (given < wanted) {
        if (reader.at == reader.held) {
            const ssize_t got
                = httpRead2(reader.http, reinterpret_cast<char*>(reader.piece.data()), reader.piece.size());
            if (got < 0)
                return got;
            if (got == 0)
                break;
            reader.at = 0;
            reader.held = static_cast<std::size_t>(got);
        }
        const std::size_t part = std::min(wanted - given, reader.held - reader.at);
        std::memcpy(out + given, reader.piece.data() + reader.at, part);
        reader.at += part;
        given += part;
    }
    return static_cast<ssize_t>(given);
}

// Sends request (deleted here) and reads its whole response; null when either fails.
Ipp exchangeWhole(http_t* http, ipp_t* request)
{
    const http_status_t sent = cupsSendRequest(http, request, "/", ippLength(request));
    ippDelete(request);
    if (sent != HTTP_STATUS_CONTINUE && sent != HTTP_STATUS_OK)
        return nullptr;
    http_status_t status;
    do {
        status = httpUpdate(http);
    } while (status == HTTP_STATUS_CONTINUE);
    if (status != HTTP_STATUS_OK) {
        httpFlush(http);
        return nullptr;
    }
    Ipp response(ippNew());
    ResponseReader reader { http };
    for (;;) {
        const ipp_state_t state = ippReadIO(&reader, readResponse, 1, nullptr, response.get());
        if (state == IPP_STATE_DATA)
            return response;
        if (state == IPP_STATE_ERROR)
            return nullptr;
    }
}

// CUPS-Get-Printers for the local queues (no classes, no remote printers).
bool listQueues(std::vector<Queue>& queues)
{
    queues.clear();
    Connection http = connectServer();
    if (!http)
        return false;
    ipp_t* request = ippNewRequest(IPP_OP_CUPS_GET_PRINTERS);
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
        static_cast<int>(sizeof recordAttributes / sizeof *recordAttributes), nullptr, recordAttributes);
    ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_ENUM, "printer-type", 0);
    ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_ENUM, "printer-type-mask",
        CUPS_PRINTER_CLASS | CUPS_PRINTER_REMOTE);
    Ipp response = exchangeWhole(http.get(), request);
    if (!response)
        return false;
    const ipp_status_t status = ippGetStatusCode(response.get());
    // A server without queues answers "not found".
    if (status == IPP_STATUS_ERROR_NOT_FOUND)
        return true;
    if (status > IPP_STATUS_OK_EVENTS_COMPLETE)
        return false;
    queues = queuesOf(response.get());
    return true;
}

Ipp queueAttributes(http_t* http, const std::string& uri, const char* const* names, int count)
{
    ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.c_str());
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", count, nullptr, names);
    return send(http, request);
}

bool readState(http_t* http, const std::string& uri, QueueState& state)
{
    static const char* const names[] = { "printer-state", "printer-state-message" };
    Ipp response = queueAttributes(http, uri, names, 2);
    if (!response)
        return false;
    state = QueueState();
    if (ipp_attribute_t* a = ippFindAttribute(response.get(), "printer-state", IPP_TAG_ENUM))
        state.state = static_cast<ipp_pstate_t>(ippGetInteger(a, 0));
    if (ipp_attribute_t* a = ippFindAttribute(response.get(), "printer-state-message", IPP_TAG_TEXT))
        if (const char* value = ippGetString(a, 0, nullptr))
            state.message = value;
    return true;
}

bool changeState(http_t* http, const std::string& uri, ipp_op_t operation, const char* message)
{
    ipp_t* request = ippNewRequest(operation);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.c_str());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    if (message)
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_TEXT, "printer-state-message", nullptr, message);
    return send(http, request) != nullptr;
}

// Whether the caller may administer the server: reading its configuration needs the
// same rights, and changes nothing.
bool mayAdminister(http_t* http)
{
    const int devNull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (devNull < 0)
        return false;
    const http_status_t status = cupsGetFd(http, "/admin/conf/cupsd.conf", devNull);
    ::close(devNull);
    return status == HTTP_STATUS_OK;
}

// The ports of the queues: queues sharing a device share its port, listed once.
std::vector<PortInfo2> portsOf(const std::vector<Queue>& queues)
{
    std::vector<PortInfo2> ports;
    std::unordered_set<std::wstring> known;
    for (const Queue& queue : queues) {
        const PrinterInfo2& info = queue.info;
        if (!info.portName || !known.insert(*info.portName).second)
            continue;
        const std::string scheme = schemeOf(queue.deviceUri.c_str());
        PortInfo2 port;
        port.portName = *info.portName;
        if (isNetworkScheme(scheme))
            port.monitorName = tcpPortMonitor;
        else if (!strcasecmp(scheme.c_str(), "usb") || !strcasecmp(scheme.c_str(), "talusb"))
            port.monitorName = L"USB Monitor";
        else
            port.monitorName = L"Local Port";
        ports.push_back(std::move(port));
    }
    return ports;
}

std::vector<PrinterInfo2> printersOf(std::vector<Queue> queues)
{
    std::vector<PrinterInfo2> printers;
    printers.reserve(queues.size());
    for (Queue& queue : queues)
        printers.push_back(std::move(queue.info));
    return printers;
}

} // namespace

bool Spooler::enumPorts(std::vector<PortInfo2>& ports)
{
    ports.clear();
    std::vector<Queue> queues;
    if (!listQueues(queues))
        return false;
    ports = portsOf(queues);
    return true;
}

bool Spooler::enumLocalPrinters(std::vector<PrinterInfo2>& printers)
{
    printers.clear();
    std::vector<Queue> queues;
    if (!listQueues(queues))
        return false;
    printers = printersOf(std::move(queues));
    return true;
}

bool Spooler::enumLocalPrintersAndPorts(
    std::vector<PrinterInfo2>& printers, std::vector<PortInfo2>& ports, bool& portsListed)
{
    printers.clear();
    ports.clear();
    portsListed = false;
    std::vector<Queue> queues;
    if (!listQueues(queues))
        return false;
    ports = portsOf(queues);
    portsListed = true;
    printers = printersOf(std::move(queues));
    return true;
}

PrinterHandle Spooler::openPrinter(const wchar_t* printerName, PrinterAccess access)
{
    if (!printerName || !*printerName)
        return nullptr;
    auto printer = std::make_unique<SpoolerPrinter>();
    printer->name = toUtf8(printerName);
    printer->uri = printerUri(printer->name);
    printer->access = access;
    if (printer->uri.empty())
        return nullptr;
    Connection http = connectServer();
    if (!http)
        return nullptr;
    static const char* const names[] = { "printer-name" };
    if (!queueAttributes(http.get(), printer->uri, names, 1))
        return nullptr;
    if (access == PrinterAccess::Full && !mayAdminister(http.get()))
        return nullptr;
    return printer.release();
}

bool Spooler::getPrinter2(PrinterHandle printer, PrinterInfo2& info)
{
    if (!printer)
        return false;
    Connection http = connectServer();
    if (!http)
        return false;
    Ipp response = queueAttributes(http.get(), printer->uri, recordAttributes,
        static_cast<int>(sizeof recordAttributes / sizeof *recordAttributes));
    if (!response)
        return false;
    std::vector<Queue> queues = queuesOf(response.get());
    if (queues.empty())
        return false;
    info = std::move(queues.front().info);
    return true;
}

bool Spooler::setPrinter2(PrinterHandle printer, const PrinterInfo2& info)
{
    if (!printer || printer->access != PrinterAccess::Full)
        return false;
    Connection http = connectServer();
    if (!http)
        return false;
    QueueState state;
    if (!readState(http.get(), printer->uri, state))
        return false;
    const bool hold = !(info.attributes & printerAttributeEnableBidi);
    if (!hold) {
        // Only the wizard's hold is released, and only the one the caller read: an
        // administrator's pause stays, and so does a hold someone else took since.
        if (!state.heldByWizard())
            return true;
        if (state.holdRecord() != info.holdRecord)
            return false;
        return changeState(http.get(), printer->uri, IPP_OP_RESUME_PRINTER, nullptr);
    }
    const std::string own = holderRecord(thisHolder());
    if (state.heldByWizard())
        return state.holdRecord() == own;
    // Stopped by an administrator: nothing reaches the printer already.
    if (state.state == IPP_PSTATE_STOPPED)
        return true;
    const auto deadline = std::chrono::steady_clock::now() + jobEndBound;
    while (state.state == IPP_PSTATE_PROCESSING) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(jobEndPoll);
        if (!readState(http.get(), printer->uri, state))
            return false;
    }
    if (state.state == IPP_PSTATE_STOPPED)
        return true;
    if (!changeState(http.get(), printer->uri, IPP_OP_PAUSE_PRINTER, holdMessageOf(own).c_str()))
        return false;
    // Two wizards pausing at once: the message left is the one whose hold counts.
    return readState(http.get(), printer->uri, state) && state.holdRecord() == own;
}

bool Spooler::getPrinterDataEx(PrinterHandle printer, const wchar_t* keyName, const wchar_t* valueName,
    void* buffer, std::uint32_t size, std::uint32_t& needed)
{
    needed = 0;
    if (!printer || !keyName || !valueName)
        return false;
    // The only printer data a queue carries here is its identifier.
    if (std::wstring(keyName) != L"DsUser" || std::wstring(valueName) != L"PrinterID")
        return false;
    Connection http = connectServer();
    if (!http)
        return false;
    static const char* const names[] = { printerIdAttribute };
    Ipp response = queueAttributes(http.get(), printer->uri, names, 1);
    if (!response)
        return false;
    ipp_attribute_t* attribute = ippFindAttribute(response.get(), printerIdAttribute, IPP_TAG_ZERO);
    const char* text = attribute ? ippGetString(attribute, 0, nullptr) : nullptr;
    if (!text)
        return false;
    const std::vector<std::uint8_t> value = encodePrinterId(fromUtf8(text));
    if (value.size() > UINT32_MAX)
        return false;
    needed = static_cast<std::uint32_t>(value.size());
    if (!buffer || value.size() > size)
        return false;
    std::memcpy(buffer, value.data(), value.size());
    return true;
}

void Spooler::closePrinter(PrinterHandle printer)
{
    delete printer;
}

} // namespace wizard::sys
