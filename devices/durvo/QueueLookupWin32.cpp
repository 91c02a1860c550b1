// SPDX-License-Identifier: MIT
// The queue's port, asked of the spooler (OpenPrinterW, GetPrinterW level 2).
// A network port is named "IP_" and the printer's address, followed by ":" and
// the TCP port when it is not 9100: "IP_192.168.4.20", "IP_127.0.0.1:9101".
#include "QueueLookup.h"

#include <windows.h>

#include <winspool.h>

#include <cstring>
#include <cwchar>
#include <vector>

namespace wizard::durvo {

namespace {
// The name as the caller's ANSI code page spells it; false for bytes that are
// no text in that code page.
bool wideName(const char* name, std::wstring& wide)
{
    const int length = static_cast<int>(std::strlen(name));
    if (length == 0)
        return false;
    const int size = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, name, length, nullptr, 0);
    if (size <= 0)
        return false;
    wide.assign(static_cast<std::size_t>(size), L'\0');
    return MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, name, length, wide.data(), size) == size;
}

bool portOfQueue(const std::wstring& queue, std::wstring& port)
{
    // An empty name would open the print server itself, and "name,XcvPort ..."
    // a port monitor: neither is a queue (no queue name has a comma).
    if (queue.empty() || queue.find(L',') != std::wstring::npos)
        return false;
    wchar_t datatype[] = L"RAW";
    PRINTER_DEFAULTSW defaults { datatype, nullptr, PRINTER_ACCESS_USE };
    HANDLE printer = nullptr;
    if (!OpenPrinterW(const_cast<wchar_t*>(queue.c_str()), &printer, &defaults) || !printer)
        return false;
    DWORD needed = 0;
    GetPrinterW(printer, 2, nullptr, 0, &needed);
    std::vector<BYTE> record(needed);
    const bool read = needed > 0 && GetPrinterW(printer, 2, record.data(), needed, &needed);
    ClosePrinter(printer);
    if (!read)
        return false;
    const wchar_t* name = reinterpret_cast<const PRINTER_INFO_2W*>(record.data())->pPortName;
    if (!name)
        return false;
    port = name;
    return true;
}

bool hostCharacter(wchar_t c)
{
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') || c == L'.'
        || c == L'-';
}

// Host and port of a network port's name; false for any other port, and for
// a queue on several ports ("IP_10.0.0.5,USB001"), which names no one printer.
bool networkPortAddress(const std::wstring& portName, std::string& host, std::uint16_t& port)
{
    if (portName.size() < 4 || _wcsnicmp(portName.c_str(), L"IP_", 3) != 0)
        return false;
    const std::wstring address = portName.substr(3);
    const std::size_t colon = address.find(L':');
    const std::wstring hostPart = address.substr(0, colon);
    if (hostPart.empty() || hostPart.size() > 253)
        return false;
    for (wchar_t c : hostPart)
        if (!hostCharacter(c))
            return false;
    unsigned long number = 9100;
    if (colon != std::wstring::npos) {
        const std::wstring digits = address.substr(colon + 1);
        if (digits.empty() || digits.size() > 5)
            return false;
        number = 0;
        for (wchar_t c : digits) {
            if (c < L'0' || c > L'9')
                return false;
            number = number * 10 + static_cast<unsigned long>(c - L'0');
        }
        if (number == 0 || number > 65535)
            return false;
    }
    host.assign(hostPart.begin(), hostPart.end());
    port = static_cast<std::uint16_t>(number);
    return true;
}
} // namespace

bool queuePrinterAddress(const char* queueName, std::string& host, std::uint16_t& port)
{
    std::wstring queue;
    std::wstring portName;
    return queueName && wideName(queueName, queue) && portOfQueue(queue, portName)
        && networkPortAddress(portName, host, port);
}

} // namespace wizard::durvo
