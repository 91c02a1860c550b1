// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace wizard::sys {

// A port of the local machine, as the spooler lists it at level 2. A port without a
// monitor name is possible on Windows; it is then never a TCP/IP port.
struct PortInfo2 {
    std::wstring portName;
    std::optional<std::wstring> monitorName;
};

// The monitor of the standard TCP/IP ports, compared exactly.
inline constexpr wchar_t tcpPortMonitor[] = L"TCPMON.DLL";

// Bidirectional support enabled. On Linux: the queue is not held by the wizard.
inline constexpr std::uint32_t printerAttributeEnableBidi = 0x800;

// A printer's level-2 record, as far as the wizard reads it. native keeps the system's
// own record (the spooler's heap block on Windows, the queue's state on Linux) so that
// setPrinter2 writes back everything the wizard did not change.
struct PrinterInfo2 {
    std::wstring printerName;
    std::optional<std::wstring> portName;
    std::optional<std::wstring> driverName;
    std::uint32_t attributes = 0;
    // While bit 0x800 is clear: the record of who holds the printer ("host=... boot=...
    // pid=... start=...", Holder.h), read by getPrinter2; empty when none is known (an
    // administrator's own pause, a record that cannot be read). Kept in the queue's
    // state message on Linux, under the wizard's registry key on Windows.
    std::string holdRecord;
    std::shared_ptr<void> native;
};

enum class PrinterAccess {
    Use, // print and read: PRINTER_ACCESS_USE
    Full, // administer too: PRINTER_ALL_ACCESS
};

// An open printer; null means "not opened".
struct SpoolerPrinter;
using PrinterHandle = SpoolerPrinter*;

// The local print spooler (the Windows spooler, or CUPS through libcups, honouring
// CUPS_SERVER). Each operation stands for one spooler call; the Windows side
// negotiates buffer sizes in two calls, with zero-filled blocks from the process heap.
// Nothing is logged, nothing throws, nothing ever asks the user for a password: an
// operation the user may not do fails.
class Spooler {
public:
    // The ports of the local machine, in the spooler's order (replaces ports' content).
    static bool enumPorts(std::vector<PortInfo2>& ports);
    // The local printers, in the spooler's order (replaces printers' content). A spooler
    // without any printer gives an empty list and true.
    static bool enumLocalPrinters(std::vector<PrinterInfo2>& printers);
    // Both lists at once, as the wizard's listing reads them: false when the printers
    // cannot be listed; otherwise portsListed tells whether the ports could be (ports
    // empty when not). On Windows the two calls above, printers first; on Linux one
    // request serves both.
    static bool enumLocalPrintersAndPorts(
        std::vector<PrinterInfo2>& printers, std::vector<PortInfo2>& ports, bool& portsListed);

    // Opens a printer by name with the data type "RAW"; null on failure.
    static PrinterHandle openPrinter(const wchar_t* printerName, PrinterAccess access);
    static bool getPrinter2(PrinterHandle printer, PrinterInfo2& info);
    // Writes info's attribute word back (the record must come from getPrinter2 on the
    // same printer). Needs full access. Clearing bit 0x800 holds the printer in this
    // process's name; it fails when another holder's record is there. Setting it
    // releases only the hold info.holdRecord names: a hold taken over by someone else
    // since the record was read stays, and the call fails.
    static bool setPrinter2(PrinterHandle printer, const PrinterInfo2& info);
    // Reads a value of the printer's data into buffer (size bytes). needed receives the
    // value's size in bytes, also when it does not fit (then the result is false).
    static bool getPrinterDataEx(PrinterHandle printer, const wchar_t* keyName, const wchar_t* valueName,
        void* buffer, std::uint32_t size, std::uint32_t& needed);
    static void closePrinter(PrinterHandle printer);
};

} // namespace wizard::sys
