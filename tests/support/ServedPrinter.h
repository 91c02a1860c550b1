// SPDX-License-Identifier: MIT
#pragma once

#include "CommService.h"
#include "PrinterSim.h"
#include "PrivateCups.h"

#include <QString>

#include <memory>
#include <string>

namespace wizard::test {

// One virtual printer as both comm layers reach it: behind a queue of the
// private CUPS server, whose printer identifier names the pipe of a
// printer-communication service serving that queue. The device-library layer
// opens the queue itself, the pipe layer asks the service. Everything is
// stopped, and the queue deleted, when the object goes.
//
//     ServedPrinter served;
//     QVERIFY2(served.start(QStringLiteral("my-test-"), QStringLiteral("MYT")),
//     qPrintable(served.lastError())); QVERIFY(layer->Open(served.queueName().c_str()));
class ServedPrinter {
public:
    // The queue is named queueBase and this process's id; the identifier, 40
    // characters, is idPrefix (three letters) and the process's id, so that
    // tests sharing the server never meet. Points this process at the server
    // and the service.
    bool start(const QString& queueBase, const QString& idPrefix);
    QString lastError() const { return lastError_; }

    PrivateCups& cups() { return cups_; }
    PrinterSim& printer() { return printer_; }
    CommService& service() { return *service_; }
    const std::wstring& queueName() const { return queueName_; }

private:
    PrivateCups cups_;
    PrinterSim printer_;
    std::unique_ptr<CommService> service_;
    std::wstring queueName_;
    QString lastError_;
};

} // namespace wizard::test
