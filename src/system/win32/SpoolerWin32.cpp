// SPDX-License-Identifier: MIT
// The Windows print spooler. Every listing and level-2 read negotiates its size in two
// calls and reads into a zero-filled block from the process heap.
#include "system/Spooler.h"

#include "system/Holder.h"

#include <windows.h>
// Needs the types of windows.h first.
#include <winspool.h>

namespace wizard::sys {

struct SpoolerPrinter {
    HANDLE handle = nullptr;
};

namespace {

void freeBlock(void* block)
{
    if (block)
        HeapFree(GetProcessHeap(), 0, block);
}

using Block = std::unique_ptr<BYTE, void (*)(void*)>;

Block allocateBlock(DWORD size)
{
    return Block(static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size)), freeBlock);
}

// The first call of a pair: asked with no buffer, it either succeeds or fails for want
// of a buffer and says how big one must be. Anything else fails the operation.
bool usableSize(BOOL firstCall, DWORD needed)
{
    if (firstCall)
        return true;
    return GetLastError() == ERROR_INSUFFICIENT_BUFFER && needed != 0;
}

// Both calls of a pair: call(buffer, size, &needed) first without a buffer, to learn the
// size, then into a zero-filled block of that size. True with an empty block when there
// is nothing to read; false when either call fails or the block cannot be had.
template <typename Call> bool readNegotiated(Call call, Block& block)
{
    DWORD needed = 0;
    SetLastError(ERROR_SUCCESS);
    const BOOL first = call(nullptr, 0, &needed);
    if (!usableSize(first, needed))
        return false;
    if (needed == 0)
        return true;
    block = allocateBlock(needed);
    return block && call(block.get(), needed, &needed);
}

std::optional<std::wstring> text(const wchar_t* value)
{
    if (!value)
        return std::nullopt;
    return std::wstring(value);
}

// A listing: enumerate(buffer, size, &needed, &returned) negotiated as above, each of its
// records converted (replaces items' content). True with none when there is nothing.
template <typename Record, typename Item, typename Enumerate, typename Convert>
bool listRecords(std::vector<Item>& items, Enumerate enumerate, Convert convert)
{
    items.clear();
    DWORD returned = 0;
    Block block(nullptr, freeBlock);
    const bool read = readNegotiated(
        [&](BYTE* buffer, DWORD size, DWORD* needed) { return enumerate(buffer, size, needed, &returned); },
        block);
    if (!read)
        return false;
    if (!block)
        return true;
    const auto* records = reinterpret_cast<const Record*>(block.get());
    items.reserve(returned);
    for (DWORD i = 0; i < returned; ++i)
        items.push_back(convert(records[i]));
    return true;
}

// Who holds which printer: one text value per printer name under the wizard's own key.
constexpr wchar_t holdsKey[] = L"Software\\Talvor Card Printer\\Holds";

std::wstring widen(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

std::string readHoldRecord(const std::wstring& printerName)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, holdsKey, 0, KEY_READ | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS)
        return {};
    wchar_t value[256] = {};
    DWORD size = sizeof value - sizeof(wchar_t);
    DWORD type = 0;
    const LONG status
        = RegQueryValueExW(key, printerName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_SZ)
        return {};
    std::string record;
    for (const wchar_t* c = value; *c; ++c)
        record += *c < 0x80 ? static_cast<char>(*c) : '?';
    return record;
}

bool writeHoldRecord(const std::wstring& printerName, const std::string& record)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, holdsKey, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr,
            &key, nullptr)
        != ERROR_SUCCESS)
        return false;
    const std::wstring value = widen(record);
    const LONG status
        = RegSetValueExW(key, printerName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

void removeHoldRecord(const std::wstring& printerName)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, holdsKey, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, &key)
        != ERROR_SUCCESS)
        return;
    RegDeleteValueW(key, printerName.c_str());
    RegCloseKey(key);
}

} // namespace

bool Spooler::enumPorts(std::vector<PortInfo2>& ports)
{
    return listRecords<PORT_INFO_2W>(
        ports,
        [](BYTE* buffer, DWORD size, DWORD* needed, DWORD* returned) {
            return EnumPortsW(nullptr, 2, buffer, size, needed, returned);
        },
        [](const PORT_INFO_2W& record) {
            PortInfo2 port;
            if (record.pPortName)
                port.portName = record.pPortName;
            port.monitorName = text(record.pMonitorName);
            return port;
        });
}

bool Spooler::enumLocalPrinters(std::vector<PrinterInfo2>& printers)
{
    return listRecords<PRINTER_INFO_2W>(
        printers,
        [](BYTE* buffer, DWORD size, DWORD* needed, DWORD* returned) {
            return EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, buffer, size, needed, returned);
        },
        [](const PRINTER_INFO_2W& record) {
            PrinterInfo2 printer;
            if (record.pPrinterName)
                printer.printerName = record.pPrinterName;
            printer.portName = text(record.pPortName);
            printer.driverName = text(record.pDriverName);
            printer.attributes = record.Attributes;
            return printer;
        });
}

bool Spooler::enumLocalPrintersAndPorts(
    std::vector<PrinterInfo2>& printers, std::vector<PortInfo2>& ports, bool& portsListed)
{
    ports.clear();
    portsListed = false;
    if (!enumLocalPrinters(printers))
        return false;
    portsListed = enumPorts(ports);
    return true;
}

PrinterHandle Spooler::openPrinter(const wchar_t* printerName, PrinterAccess access)
{
    if (!printerName)
        return nullptr;
    wchar_t dataType[] = L"RAW";
    PRINTER_DEFAULTSW defaults {};
    defaults.pDatatype = dataType;
    defaults.pDevMode = nullptr;
    defaults.DesiredAccess = access == PrinterAccess::Full ? PRINTER_ALL_ACCESS : PRINTER_ACCESS_USE;
    HANDLE handle = nullptr;
    if (!OpenPrinterW(const_cast<LPWSTR>(printerName), &handle, &defaults) || !handle)
        return nullptr;
    auto* printer = new SpoolerPrinter;
    printer->handle = handle;
    return printer;
}

bool Spooler::getPrinter2(PrinterHandle printer, PrinterInfo2& info)
{
    if (!printer)
        return false;
    Block block(nullptr, freeBlock);
    const bool read
        = readNegotiated([&](BYTE* buffer, DWORD size,
                             DWORD* needed) { return GetPrinterW(printer->handle, 2, buffer, size, needed); },
            block);
    // A printer always has a level-2 record: nothing to read is a failure here.
    if (!read || !block)
        return false;
    const auto* record = reinterpret_cast<const PRINTER_INFO_2W*>(block.get());
    info = PrinterInfo2();
    if (record->pPrinterName)
        info.printerName = record->pPrinterName;
    info.portName = text(record->pPortName);
    info.driverName = text(record->pDriverName);
    info.attributes = record->Attributes;
    if (!(info.attributes & printerAttributeEnableBidi))
        info.holdRecord = readHoldRecord(info.printerName);
    // The block's strings point into the block itself; it is written back whole.
    info.native = std::shared_ptr<void>(block.release(), freeBlock);
    return true;
}

bool Spooler::setPrinter2(PrinterHandle printer, const PrinterInfo2& info)
{
    if (!printer || !info.native)
        return false;
    auto* record = static_cast<PRINTER_INFO_2W*>(info.native.get());
    const std::wstring name = record->pPrinterName ? record->pPrinterName : L"";
    const std::string current = readHoldRecord(name);
    const bool hold = !(info.attributes & printerAttributeEnableBidi);
    const std::string own = holderRecord(thisHolder());
    // Another holder's printer is neither taken nor given back.
    if (hold ? !current.empty() && current != own : current != info.holdRecord)
        return false;
    record->Attributes = info.attributes;
    if (SetPrinterW(printer->handle, 2, reinterpret_cast<LPBYTE>(record), 0) == FALSE)
        return false;
    if (hold)
        return writeHoldRecord(name, own);
    removeHoldRecord(name);
    return true;
}

bool Spooler::getPrinterDataEx(PrinterHandle printer, const wchar_t* keyName, const wchar_t* valueName,
    void* buffer, std::uint32_t size, std::uint32_t& needed)
{
    needed = 0;
    if (!printer)
        return false;
    DWORD type = 0;
    DWORD got = 0;
    const DWORD status = GetPrinterDataExW(printer->handle, keyName, valueName, &type,
        static_cast<LPBYTE>(buffer), static_cast<DWORD>(size), &got);
    needed = got;
    return status == ERROR_SUCCESS;
}

void Spooler::closePrinter(PrinterHandle printer)
{
    if (!printer)
        return;
    ClosePrinter(printer->handle);
    delete printer;
}

} // namespace wizard::sys
