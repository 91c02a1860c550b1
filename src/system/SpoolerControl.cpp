// SPDX-License-Identifier: MIT
#include "system/SpoolerControl.h"

#include "system/ApplicationDirectory.h"
#include "system/ProcessControl.h"
#include "system/Shell.h"
#include "system/Spooler.h"

#include <algorithm>
#include <cstdint>

namespace wizard::sys
{

std::wstring ruvelkFolder()
{
    std::wstring folder = applicationDirectory();
    std::replace(folder.begin(), folder.end(), L'\\', L'/');
    while (folder.size() > 1 && folder.back() == L'/')
        folder.pop_back();
    return folder + (isNotWow64Process() ? L"/x32" : L"/x64");
}

bool restoreBidiAndStartRuvelk(const std::wstring& printerName)
{
    PrinterHandle printer = Spooler::openPrinter(printerName.c_str(), PrinterAccess::Full);
    if (!printer)
        return false;
    PrinterInfo2 info;
    if (!Spooler::getPrinter2(printer, info)) {
        Spooler::closePrinter(printer);
        return false;
    }
    info.attributes |= printerAttributeEnableBidi;
    Spooler::setPrinter2(printer, info);
    const bool started = runCmd(L"Ruvelk.exe", ruvelkFolder(), false, false);
    info = PrinterInfo2();
    Spooler::closePrinter(printer);
    return started;
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

std::wstring replaceDrvType(std::wstring text, const std::wstring& driverType)
{
    static const std::wstring placeholder = L"%ID_DRVTYPE%";
    for (std::wstring::size_type at = text.find(placeholder); at != std::wstring::npos;
         at = text.find(placeholder, at + driverType.size()))
        text.replace(at, placeholder.size(), driverType);
    return text;
}

} // namespace wizard::sys
