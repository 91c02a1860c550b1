// SPDX-License-Identifier: MIT
#include "QueueLookup.h"

#include <cups/cups.h>

namespace service {

bool QueueLookup::identifiedQueues(std::vector<IdentifiedQueue>& queues, std::string& error)
{
    queues.clear();
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
            queues.push_back({ id, name });
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

} // namespace service
