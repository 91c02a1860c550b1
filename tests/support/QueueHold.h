// SPDX-License-Identifier: MIT
#pragma once

#include "system/Spooler.h"

#include <QString>

namespace wizard::test {

// The wizard's hold of a queue, as the printer selection page takes it: bit
// 0x800 cleared and written back.
inline bool holdQueue(const QString& queue)
{
    using namespace wizard::sys;
    const std::wstring name = queue.toStdWString();
    PrinterHandle printer = Spooler::openPrinter(name.c_str(), PrinterAccess::Full);
    if (!printer)
        return false;
    PrinterInfo2 info;
    bool ok = Spooler::getPrinter2(printer, info);
    if (ok) {
        info.attributes &= ~printerAttributeEnableBidi;
        ok = Spooler::setPrinter2(printer, info);
    }
    Spooler::closePrinter(printer);
    return ok;
}

// The queue's attribute word: -1 when it cannot be read.
inline qint64 queueAttributes(const QString& queue)
{
    using namespace wizard::sys;
    const std::wstring name = queue.toStdWString();
    PrinterHandle printer = Spooler::openPrinter(name.c_str(), PrinterAccess::Use);
    if (!printer)
        return -1;
    PrinterInfo2 info;
    const bool ok = Spooler::getPrinter2(printer, info);
    Spooler::closePrinter(printer);
    return ok ? qint64(info.attributes) : -1;
}

// Whether the wizard holds the queue (it can be read and its bit 0x800 is clear).
inline bool isHeld(const QString& queue)
{
    const qint64 attributes = queueAttributes(queue);
    return attributes >= 0 && (attributes & wizard::sys::printerAttributeEnableBidi) == 0;
}

} // namespace wizard::test
