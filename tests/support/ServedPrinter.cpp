// SPDX-License-Identifier: MIT
#include "ServedPrinter.h"

#include <QCoreApplication>

namespace wizard::test {

bool ServedPrinter::start(const QString& queueBase, const QString& idPrefix)
{
    if (!cups_.isRunning()) {
        lastError_ = cups_.lastError();
        return false;
    }
    cups_.useForThisProcess();
    if (!printer_.start()) {
        lastError_ = printer_.lastError();
        return false;
    }
    const QString queue = PrivateCups::uniqueName(queueBase);
    queueName_ = queue.toStdWString();
    const QString id = idPrefix
        + QStringLiteral("%1").arg(
            QCoreApplication::applicationPid(), 40 - int(idPrefix.size()), 10, QLatin1Char('0'));
    if (!cups_.addQueue(queue, printer_.deviceUri(), QStringLiteral("Talvor C1"), id)) {
        lastError_ = cups_.lastError();
        return false;
    }
    service_ = std::make_unique<CommService>(cups_.server());
    if (!service_->isRunning()) {
        lastError_ = service_->lastError();
        return false;
    }
    service_->useForThisProcess();
    return true;
}

} // namespace wizard::test
