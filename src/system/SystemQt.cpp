// SPDX-License-Identifier: MIT
#include "system/SystemQt.h"

#include "system/PrinterEnumeration.h"
#include "system/Shell.h"
#include "system/SpoolerControl.h"

namespace wizard::sys {

namespace {
DriverTable plainTable(const QtDriverTable& table)
{
    DriverTable plain;
    for (auto it = table.cbegin(); it != table.cend(); ++it)
        plain.emplace(it.key().toStdWString(), it.value());
    return plain;
}
} // namespace

bool listWizardPrinters(QtPrinterList& printers, bool usbAllowed, bool tcpAllowed, QtDriverTable driverTable)
{
    PrinterList plain;
    if (!listWizardPrinters(plain, usbAllowed, tcpAllowed, plainTable(driverTable)))
        return false;
    for (const auto& [name, type] : plain)
        printers.insert(QString::fromStdWString(name), type);
    return true;
}

qint32 printerTypeOf(const wchar_t* printerName, QtDriverTable driverTable)
{
    return printerTypeOf(printerName, plainTable(driverTable));
}

bool restoreBidiAndStartRuvelk(const QString& printerName)
{
    return restoreBidiAndStartRuvelk(printerName.toStdWString());
}

bool readPrinterId(const QString& printerName, void* block)
{
    return readPrinterId(printerName.toStdWString(), block);
}

bool runCmd(const QString& command, const QString& workingFolder, bool wait, bool elevate)
{
    return runCmd(command.toStdWString(), workingFolder.toStdWString(), wait, elevate);
}

QString replaceDrvType(const QString& text, const QString& driverType)
{
    return QString::fromStdWString(replaceDrvType(text.toStdWString(), driverType.toStdWString()));
}

} // namespace wizard::sys
