// SPDX-License-Identifier: MIT
// The queue's device-uri, asked of the CUPS server that cupsServer() names
// (CUPS_SERVER honoured). Never prompts for a password: a server that wants one
// simply refuses.
#include "QueueLookup.h"

#include <cstring>
#include <cups/cups.h>
#include <strings.h>

namespace wizard::durvo {

namespace {
const char* noPassword(const char*, http_t*, const char*, const char*, void*)
{
    return nullptr;
}

// CUPS queue names are at most 127 bytes of printable characters without
// "/", "#" or space; anything else cannot name a queue.
bool plausibleQueueName(const char* name)
{
    const std::size_t length = std::strlen(name);
    if (length == 0 || length > 127)
        return false;
    for (std::size_t i = 0; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        if (c <= 0x20 || c == 0x7F || c == '/' || c == '#')
            return false;
    }
    return true;
}

bool deviceUri(const char* queueName, std::string& uri)
{
    if (!queueName || !plausibleQueueName(queueName))
        return false;
    // The callback belongs to the calling thread in libcups, so it is set on every call.
    cupsSetPasswordCB2(noPassword, nullptr);

    char printerUri[HTTP_MAX_URI];
    if (httpAssembleURIf(HTTP_URI_CODING_ALL, printerUri, sizeof printerUri, "ipp", nullptr, "localhost", 0,
            "/printers/%s", queueName)
        != HTTP_URI_STATUS_OK)
        return false;
    ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, printerUri);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr, "device-uri");
    ipp_t* response = cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/");
    bool found = false;
    if (response && ippGetStatusCode(response) <= IPP_STATUS_OK_CONFLICTING) {
        ipp_attribute_t* attribute = ippFindAttribute(response, "device-uri", IPP_TAG_URI);
        const char* value = attribute ? ippGetString(attribute, 0, nullptr) : nullptr;
        if (value) {
            uri = value;
            found = true;
        }
    }
    ippDelete(response);
    return found;
}

// Host and port of a "socket://host[:port]" URI (port 9100 when absent);
// false for any other scheme or a URI without a host.
bool socketAddress(const std::string& uri, std::string& host, std::uint16_t& port)
{
    char scheme[32];
    char userPass[256];
    char hostName[256];
    char resource[1024];
    int portNumber = 0;
    if (httpSeparateURI(HTTP_URI_CODING_ALL, uri.c_str(), scheme, sizeof scheme, userPass, sizeof userPass,
            hostName, sizeof hostName, &portNumber, resource, sizeof resource)
        < HTTP_URI_STATUS_OK)
        return false;
    if (strcasecmp(scheme, "socket") != 0 || hostName[0] == '\0')
        return false;
    if (portNumber <= 0)
        portNumber = 9100;
    if (portNumber > 65535)
        return false;
    host = hostName;
    port = static_cast<std::uint16_t>(portNumber);
    return true;
}
} // namespace

bool queuePrinterAddress(const char* queueName, std::string& host, std::uint16_t& port)
{
    std::string uri;
    return deviceUri(queueName, uri) && socketAddress(uri, host, port);
}

} // namespace wizard::durvo
