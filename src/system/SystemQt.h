// SPDX-License-Identifier: MIT
#pragma once

// The system services for callers that hold the toolkit's strings and maps. They convert
// and call the plain versions (PrinterEnumeration.h, SpoolerControl.h, Shell.h), which
// stay free of the toolkit so that the Windows side can be built and tested without it.

#include <QMap>
#include <QString>

namespace wizard::sys {

// Printer name -> printer type, driver name -> printer type.
using QtPrinterList = QMap<QString, qint32>;
using QtDriverTable = QMap<QString, qint32>;

bool listWizardPrinters(QtPrinterList& printers, bool usbAllowed, bool tcpAllowed, QtDriverTable driverTable);
qint32 printerTypeOf(const wchar_t* printerName, QtDriverTable driverTable);
bool restoreBidiAndStartRuvelk(const QString& printerName);
bool readPrinterId(const QString& printerName, void* block);
bool runCmd(const QString& command, const QString& workingFolder, bool wait, bool elevate);
QString replaceDrvType(const QString& text, const QString& driverType);

} // namespace wizard::sys
