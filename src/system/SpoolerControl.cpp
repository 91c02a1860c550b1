// SPDX-License-Identifier: MIT
#include "system/SpoolerControl.h"

#include "system/ApplicationDirectory.h"
#include "system/Holder.h"
#include "system/ProcessControl.h"
#include "system/Shell.h"
#include "system/Spooler.h"
#include "system/TextEncoding.h"

#include <algorithm>
#include <cstdint>

namespace wizard::sys {

std::wstring ruvelkFolder()
{
    std::wstring folder = applicationDirectory();
    std::replace(folder.begin(), folder.end(), L'\\', L'/');
    while (folder.size() > 1 && folder.back() == L'/')
        folder.pop_back();
    return folder + (isNotWow64Process() ? L"/x32" : L"/x64");
}

namespace {

QueueHold holdOf(const PrinterInfo2& info)
{
    if (info.attributes & printerAttributeEnableBidi || info.holdRecord.empty())
        return QueueHold::none;
    const std::optional<Holder> holder = parseHolderRecord(info.holdRecord);
    // A record that cannot be read names no holder that could be checked.
    if (!holder)
        return QueueHold::otherWizard;
    switch (holderLife(*holder)) {
    case HolderLife::own:
        return QueueHold::own;
    case HolderLife::gone:
        return QueueHold::stale;
    case HolderLife::alive:
        break;
    }
    return QueueHold::otherWizard;
}

} // namespace

QueueHold queueHoldOf(const std::wstring& printerName, std::string* record)
{
    PrinterHandle printer = Spooler::openPrinter(printerName.c_str(), PrinterAccess::Use);
    if (!printer)
        return QueueHold::none;
    PrinterInfo2 info;
    const bool read = Spooler::getPrinter2(printer, info);
    Spooler::closePrinter(printer);
    if (!read)
        return QueueHold::none;
    if (record)
        *record = info.holdRecord;
    return holdOf(info);
}

bool releaseStaleHold(const std::wstring& printerName, std::string* record)
{
    // Most queues are not held: a look with use access only comes first.
    if (queueHoldOf(printerName) != QueueHold::stale)
        return false;
    PrinterHandle printer = Spooler::openPrinter(printerName.c_str(), PrinterAccess::Full);
    if (!printer)
        return false;
    PrinterInfo2 info;
    bool released = Spooler::getPrinter2(printer, info) && holdOf(info) == QueueHold::stale;
    if (released) {
        if (record)
            *record = info.holdRecord;
        info.attributes |= printerAttributeEnableBidi;
        released = Spooler::setPrinter2(printer, info);
    }
    Spooler::closePrinter(printer);
    if (released)
        runCmd(L"Ruvelk.exe", ruvelkFolder(), false, false);
    return released;
}

bool restoreBidiAndStartRuvelk(const std::wstring& printerName)
{
    return restoreBidi(printerName) && startRuvelk();
}

bool restoreBidi(const std::wstring& printerName)
{
    PrinterHandle printer = Spooler::openPrinter(printerName.c_str(), PrinterAccess::Full);
    if (!printer)
        return false;
    PrinterInfo2 info;
    if (!Spooler::getPrinter2(printer, info)) {
        Spooler::closePrinter(printer);
        return false;
    }
    const QueueHold hold = holdOf(info);
    if (hold != QueueHold::none && hold != QueueHold::own) {
        Spooler::closePrinter(printer);
        return false;
    }
    info.attributes |= printerAttributeEnableBidi;
    Spooler::setPrinter2(printer, info);
    info = PrinterInfo2();
    Spooler::closePrinter(printer);
    return true;
}

bool startRuvelk()
{
    return runCmd(L"Ruvelk.exe", ruvelkFolder(), false, false);
}

bool readPrinterId(const std::wstring& printerName, void* block)
{
    PrinterHandle printer = Spooler::openPrinter(printerName.c_str(), PrinterAccess::Use);
    if (!printer)
        return false;
    std::uint32_t needed = 0;
    const bool read = Spooler::getPrinterDataEx(
        printer, L"DsUser", L"PrinterID", block, static_cast<std::uint32_t>(printerIdSize), needed);
    Spooler::closePrinter(printer);
    return read && needed == printerIdSize;
}

std::vector<std::uint8_t> encodePrinterId(const std::wstring& id)
{
    const std::u16string units = toUtf16(id);
    std::vector<std::uint8_t> block;
    block.reserve((units.size() + 1) * 2);
    for (const char16_t unit : units) {
        block.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        block.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    block.push_back(0);
    block.push_back(0);
    return block;
}

std::wstring decodePrinterId(const std::uint8_t* block)
{
    std::u16string units;
    for (std::size_t i = 0; i + 1 < printerIdSize; i += 2) {
        const auto unit = static_cast<char16_t>(block[i] | block[i + 1] << 8);
        if (unit == 0)
            break;
        units += unit;
    }
    return units.size() == 40 ? fromUtf16(units) : std::wstring();
}

std::wstring replaceDrvType(std::wstring text, const std::wstring& driverType)
{
    static const std::wstring placeholder = L"%ID_DRVTYPE%";
    for (std::wstring::size_type at = text.find(placeholder); at != std::wstring::npos;
         at = text.find(placeholder, at + driverType.size()))
        text.replace(at, placeholder.size(), driverType);
    return text;
}

} // namespace wizard::sys
