// SPDX-License-Identifier: MIT
#include "wizard/PrinterHold.h"

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

} // namespace wizard

namespace wizard {

int PrinterHold::handBacksTried() const
{
    QMutexLocker lock(&mutex);
    return tried;
}

} // namespace wizard
