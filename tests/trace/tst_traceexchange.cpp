// SPDX-License-Identifier: MIT
// One whole conversation through each comm layer the factory builds, against
// the real parts, and the trace it leaves, line by line against a recorded
// fixture: any change to a trace line, its level word, its order or its count
// shows here.
#include "ServedPrinter.h"
#include "TraceCapture.h"

#include "comm/FactoryCommLayer.h"
#include "comm/IMCommLayer.h"
#include "foundation/DebugLogger.h"

#include <QtTest>

#include <memory>

using wizard::CommStatus;
using wizard::test::ServedPrinter;
using wizard::test::TraceCapture;

namespace {

// One message per line, UTF-8; the file ends in a line feed.
QStringList fixtureLines(const QString& name)
{
    QFile file(QFINDTESTDATA(QStringLiteral("data/") + name));
    if (!file.open(QIODevice::ReadOnly))
        return { QStringLiteral("cannot read fixture ") + name };
    QString text = QString::fromUtf8(file.readAll());
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    return text.split(QLatin1Char('\n'));
}

} // namespace

class TestTraceExchange : public QObject {
    Q_OBJECT

    TraceCapture trace;
    ServedPrinter served;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(served.start(QStringLiteral("trace-exchange-"), QStringLiteral("TRX")),
            qPrintable(served.lastError()));
    }

    void conversationTrace_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("fixture");
        QTest::newRow("device library") << 0 << "durvo-exchange.trace";
        QTest::newRow("pipe service") << 1 << "pipe-exchange.trace";
    }
    void conversationTrace()
    {
        QFETCH(int, kind);
        QFETCH(QString, fixture);
        QVERIFY(served.printer().resetFaults());
        TraceCapture::clear();
        {
            wizard::DebugLogger logger;
            logger.Enable();
            std::unique_ptr<wizard::IMCommLayer> layer(
                wizard::FactoryCommLayer::Build(&logger, kind, L"Talvor C1", 1, 2, 3, 4, 5));
            QVERIFY(layer);
            QVERIFY(layer->Open(served.queueName().c_str()));
            layer->SetTimeout(5000);
            QVERIFY(layer->Write("\x1bRfv\r", 5));
            char reply[512] = {};
            std::int32_t received = 0;
            QVERIFY(layer->Read(reply, sizeof reply, &received));
            QCOMPARE(QByteArray(reply, received), QByteArray("F2200"));
            CommStatus status {};
            QVERIFY(layer->ReadStatus(&status));
            QVERIFY(layer->ReadStatusRpst(&status));
            QCOMPARE(layer->GetTimeout(), 5000);
            QVERIFY(layer->Close());
        }
        QCOMPARE(TraceCapture::messages(), fixtureLines(fixture));
    }
};

QTEST_GUILESS_MAIN(TestTraceExchange)
#include "tst_traceexchange.moc"
