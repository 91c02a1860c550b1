// SPDX-License-Identifier: MIT
#include "system/PrinterEnumeration.h"

#include "system/Spooler.h"

#include <algorithm>

namespace wizard::sys {

namespace {

// The UTF-16 code units of one character, in order.
int utf16Units(wchar_t c, char16_t units[2])
{
    const auto code = static_cast<std::uint32_t>(c);
    if (code < 0x10000) {
        units[0] = static_cast<char16_t>(code);
        return 1;
    }
    units[0] = static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
    units[1] = static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
    return 2;
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
        std::size_t i = 0;
        int li = 0, ri = 0, ln = 0, rn = 0;
        std::size_t j = 0;
        char16_t lu[2], ru[2];
        for (;;) {
            if (li == ln) {
                if (i == left.size())
                    return !(ri < rn || j < right.size());
                ln = utf16Units(left[i++], lu);
                li = 0;
            }
            if (ri == rn) {
                if (j == right.size())
                    return false;
                rn = utf16Units(right[j++], ru);
                ri = 0;
            }
            if (lu[li] != ru[ri])
                return lu[li] < ru[ri];
            ++li;
            ++ri;
        }
    }
}

void selectTcpPorts(const std::vector<PortInfo2>& ports, std::vector<std::wstring>& tcpPorts)
{
    for (const PortInfo2& port : ports)
        if (port.monitorName && *port.monitorName == tcpPortMonitor)
            tcpPorts.push_back(port.portName);
}

void selectWizardPrinters(const std::vector<PrinterInfo2>& printers, const std::vector<std::wstring>& tcpPorts,
    bool usbAllowed, bool tcpAllowed, const DriverTable& driverTable, PrinterList& list)
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
    if (!Spooler::enumLocalPrinters(records))
        return false;
    std::vector<std::wstring> tcpPorts;
    if (!listTcpPorts(tcpPorts))
        return true;
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
