// SPDX-License-Identifier: MIT
#include "system/PrinterEnumeration.h"

#include "system/Spooler.h"

#include <algorithm>

namespace wizard::sys {

namespace {

// The first UTF-16 unit of a character: itself, or its high surrogate.
std::uint32_t firstUnit(wchar_t c)
{
    const auto code = static_cast<std::uint32_t>(c);
    return code < 0x10000 ? code : 0xD800 + ((code - 0x10000) >> 10);
}

bool startsWith(const std::wstring& text, const wchar_t* prefix)
{
    return text.compare(0, std::char_traits<wchar_t>::length(prefix), prefix) == 0;
}

} // namespace

bool Utf16Less::operator()(const std::wstring& left, const std::wstring& right) const
{
    if constexpr (sizeof(wchar_t) == 2) {
        return left < right;
    } else {
        // At the first differing character, the first units decide; equal first units
        // (one high surrogate) leave the order of the code points.
        const auto differ = std::mismatch(left.begin(), left.end(), right.begin(), right.end());
        if (differ.second == right.end())
            return false;
        if (differ.first == left.end())
            return true;
        const std::uint32_t l = firstUnit(*differ.first);
        const std::uint32_t r = firstUnit(*differ.second);
        return l != r ? l < r : *differ.first < *differ.second;
    }
}

void selectTcpPorts(const std::vector<PortInfo2>& ports, std::vector<std::wstring>& tcpPorts)
{
    for (const PortInfo2& port : ports)
        if (port.monitorName && *port.monitorName == tcpPortMonitor)
            tcpPorts.push_back(port.portName);
}

void selectWizardPrinters(const std::vector<PrinterInfo2>& printers,
    const std::vector<std::wstring>& tcpPorts, bool usbAllowed, bool tcpAllowed,
    const DriverTable& driverTable, PrinterList& list)
{
    for (const PrinterInfo2& printer : printers) {
        if (!printer.driverName)
            continue;
        const auto driver = driverTable.find(*printer.driverName);
        if (driver == driverTable.end() || !printer.portName)
            continue;
        // A printer on several ports carries them in one string and qualifies only
        // through that whole string.
        const std::wstring& port = *printer.portName;
        const bool tcp = tcpAllowed && std::find(tcpPorts.begin(), tcpPorts.end(), port) != tcpPorts.end();
        const bool usb = !tcp && usbAllowed && (startsWith(port, L"USB") || startsWith(port, L"TALUSB"));
        if (tcp || usb)
            list[printer.printerName] = driver->second;
    }
}

std::int32_t driverTypeOf(const PrinterInfo2& printer, const DriverTable& driverTable)
{
    if (!printer.driverName)
        return 0;
    const auto driver = driverTable.find(*printer.driverName);
    return driver == driverTable.end() ? 0 : driver->second;
}

bool listTcpPorts(std::vector<std::wstring>& ports)
{
    std::vector<PortInfo2> records;
    if (!Spooler::enumPorts(records))
        return false;
    selectTcpPorts(records, ports);
    return true;
}

bool listWizardPrinters(PrinterList& printers, bool usbAllowed, bool tcpAllowed, DriverTable driverTable)
{
    std::vector<PrinterInfo2> records;
    std::vector<PortInfo2> ports;
    bool portsListed = false;
    if (!Spooler::enumLocalPrintersAndPorts(records, ports, portsListed))
        return false;
    // Without the ports no printer can be told to qualify: the list stays as it was.
    if (!portsListed)
        return true;
    std::vector<std::wstring> tcpPorts;
    selectTcpPorts(ports, tcpPorts);
    selectWizardPrinters(records, tcpPorts, usbAllowed, tcpAllowed, driverTable, printers);
    return true;
}

std::int32_t printerTypeOf(const wchar_t* printerName, DriverTable driverTable)
{
    std::int32_t type = 0;
    PrinterHandle printer = Spooler::openPrinter(printerName, PrinterAccess::Use);
    if (!printer)
        return type;
    PrinterInfo2 info;
    if (Spooler::getPrinter2(printer, info))
        type = driverTypeOf(info, driverTable);
    Spooler::closePrinter(printer);
    return type;
}

} // namespace wizard::sys
