// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace wizard::sys {

// Orders names as the toolkit's maps order their keys: by UTF-16 code units (on Linux
// wchar_t holds whole code points, which order differently above U+FFFF).
struct Utf16Less {
    bool operator()(const std::wstring& left, const std::wstring& right) const;
};

// Driver name (compared exactly) -> printer type.
using DriverTable = std::map<std::wstring, std::int32_t>;
// Printer name -> printer type, ordered by printer name.
using PrinterList = std::map<std::wstring, std::int32_t, Utf16Less>;

struct PortInfo2;
struct PrinterInfo2;

// The rules on the spooler's records, the same on every system.
// Appends the TCP/IP ports among ports (monitor exactly "TCPMON.DLL"), in their order.
void selectTcpPorts(const std::vector<PortInfo2>& ports, std::vector<std::wstring>& tcpPorts);
// Adds the printers that qualify (see listWizardPrinters) to the list.
void selectWizardPrinters(const std::vector<PrinterInfo2>& printers,
    const std::vector<std::wstring>& tcpPorts, bool usbAllowed, bool tcpAllowed,
    const DriverTable& driverTable, PrinterList& list);
// The table's type for the printer's driver, or 0.
std::int32_t driverTypeOf(const PrinterInfo2& printer, const DriverTable& driverTable);

// Appends the names of the local TCP/IP ports (monitor exactly "TCPMON.DLL") in the
// spooler's order; false if the spooler cannot list its ports.
bool listTcpPorts(std::vector<std::wstring>& ports);

// Adds the printers the wizard serves: a driver of the table, and a TCP/IP port (when
// tcpAllowed) or a port whose name begins with "USB" or "TALUSB" (when usbAllowed). The
// list is not cleared first. False only when the printers cannot be listed; a failed
// port listing adds nothing and still gives true.
bool listWizardPrinters(PrinterList& printers, bool usbAllowed, bool tcpAllowed, DriverTable driverTable);

// The type of the named printer's driver, or 0 when the printer cannot be opened or
// read or its driver is not in the table.
std::int32_t printerTypeOf(const wchar_t* printerName, DriverTable driverTable);

} // namespace wizard::sys
