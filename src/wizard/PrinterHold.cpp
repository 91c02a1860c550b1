// SPDX-License-Identifier: MIT
#include "wizard/PrinterHold.h"

#include "foundation/ILogger.h"
#include "foundation/Trace.h"
#include "system/SpoolerControl.h"
#include "system/SystemQt.h"

namespace wizard {

void PrinterHold::taken(const QString& queue)
{
    QMutexLocker lock(&mutex);
    held = queue;
}

bool PrinterHold::handBack(const QString& queue)
{
    {
        QMutexLocker lock(&mutex);
        ++tried;
    }
    const bool handedBack = sys::restoreBidiAndStartRuvelk(queue);
    QMutexLocker lock(&mutex);
    if (handedBack && queue == held)
        held.clear();
    return handedBack;
}

bool PrinterHold::release()
{
    const QString queue = heldQueue();
    return queue.isEmpty() || handBack(queue);
}

QString PrinterHold::heldQueue() const
{
    QMutexLocker lock(&mutex);
    return held;
}

bool PrinterHold::releaseStale(const QString& queue, ILogger* logger)
{
    std::string record;
    if (queue.isEmpty() || !sys::releaseStaleHold(queue.toStdWString(), &record))
        return false;
    if (logger) {
        const std::wstring name = queue.toStdWString();
        const std::wstring holder = QString::fromStdString(record).toStdWString();
        logger->Log(L"[%s] [PrinterHold] [releaseStale] [%s] released, its holder is gone (%s) {%s}",
            TraceLevel::info, name.c_str(), holder.c_str(), L"wizard::PrinterHold::releaseStale");
    }
    return true;
}

bool PrinterHold::heldByAnotherWizard(const QString& queue)
{
    return sys::queueHoldOf(queue.toStdWString()) == sys::QueueHold::otherWizard;
}

} // namespace wizard

namespace wizard {

int PrinterHold::handBacksTried() const
{
    QMutexLocker lock(&mutex);
    return tried;
}

} // namespace wizard
