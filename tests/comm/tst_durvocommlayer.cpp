// SPDX-License-Identifier: MIT
// The comm layer over the real device-access library (loaded at run time as
// the wizard loads it), reaching a virtual printer through a queue of the
// private CUPS server. What both comm layers promise alike is tested in
// tst_commlayers.
#include "comm/DurvoCommLayer.h"
#include "comm/FactoryCommLayer.h"
#include "comm/PrinterCommands.h"
#include "foundation/DebugLogger.h"

#include "PrinterSim.h"
#include "PrivateCups.h"
#include "TraceCapture.h"

#include <QtTest>

#include <memory>
#include <string>

using wizard::CommStatus;
using wizard::DurvoCommLayer;
using wizard::PrinterCommands;
using wizard::test::PrinterSim;
using wizard::test::PrivateCups;
using wizard::test::TraceCapture;

namespace {

const QByteArray pemOn("\x1bPem;2\r");
const QByteArray pemOff("\x1bPem;0\r");
const QByteArray rfv("\x1bRfv\r");

QByteArray recordBytes(const CommStatus& status)
{
    return QByteArray(reinterpret_cast<const char*>(status.bytes), sizeof status.bytes);
}

} // namespace

class TestDurvoCommLayer : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(cups.isRunning(), qPrintable(cups.lastError()));
        cups.useForThisProcess();
        QVERIFY2(printer.start(), qPrintable(printer.lastError()));
        queue = PrivateCups::uniqueName(QStringLiteral("durvo-layer-"));
        QVERIFY2(printer.registerQueue(cups, queue), qPrintable(printer.lastError()));
        logger.Enable();
    }
    void init()
    {
        QVERIFY(printer.resetFaults());
        // The previous test's connection may still be ending on the printer's
        // side; its "disconnect" must not land in this test's log.
        QVERIFY(printer.waitUntilIdle());
        QVERIFY(printer.clearLog());
        TraceCapture::clear();
    }

    void openAndCloseGreetThePrinter()
    {
        {
            std::unique_ptr<wizard::IMCommLayer> layer(
                wizard::FactoryCommLayer::Build(&logger, 0, nullptr, 1, 0, 0, 0, 0));
            QVERIFY(layer);
            QVERIFY(layer->Open(name()));
            QCOMPARE(printer.commands(), QList<QByteArray> { pemOn });
            QVERIFY(layer->Close());
            QCOMPARE(printer.commands(), (QList<QByteArray> { pemOn, pemOff }));
            QVERIFY(printer.waitForLog(QStringLiteral(" disconnect")));
        }
        QCOMPARE(TraceCapture::messages(),
            (QStringList { "[INFO   ] [DurvoCommLayer] [Creating] {wizard::DurvoCommLayer::DurvoCommLayer}",
                "[DEBUG  ] [FactoryCommLayer] [DurvoCommLayer] {wizard::FactoryCommLayer::Build}",
                "[INFO   ] [DurvoCommLayer] [Open] {wizard::DurvoCommLayer::Open}",
                "[INFO   ] [DurvoCommLayer] [Close] {wizard::DurvoCommLayer::Close}",
                "[INFO   ] [DurvoCommLayer] [Destructing] {wizard::DurvoCommLayer::~DurvoCommLayer}" }));
        // Closed already: destruction sent nothing more.
        QCOMPARE(printer.commands().size(), 2);
    }

    void commandsGoOutWithoutTheirNul()
    {
        DurvoCommLayer layer(&logger, 0, 0);
        QVERIFY(layer.Open(name()));
        layer.SetTimeout(PrinterCommands::firmwareVersionTimeoutMs);
        QVERIFY(layer.Write(
            PrinterCommands::firmwareVersion, PrinterCommands::length(PrinterCommands::firmwareVersion)));
        char reply[512] = {};
        std::int32_t received = 0;
        QVERIFY(layer.Read(reply, sizeof reply, &received));
        QCOMPARE(received, 5);
        QCOMPARE(PrinterCommands::firmwareVersionValue(reply, sizeof reply), 2200);
        QVERIFY(layer.Close());
        // A NUL sent along would show in the log as a command of its own or
        // as the start of the next one.
        const QList<QByteArray> commands = printer.commands();
        QCOMPARE(commands, (QList<QByteArray> { pemOn, rfv, pemOff }));
        QCOMPARE(commands[0].size(), 7);
        QCOMPARE(commands[1].size(), 5);
    }

    void handshakeOtherThanOkFailsOpen_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QByteArray>("value");
        QTest::newRow("OK and a space") << "reply.pem2" << QByteArray("OK ");
        QTest::newRow("OK and CR") << "reply.pem2" << QByteArray("OK\\r");
        QTest::newRow("lower case") << "reply.pem2" << QByteArray("ok");
        QTest::newRow("printer busy") << "refuse" << QByteArray("1");
        QTest::newRow("no answer") << "noreply.pem2" << QByteArray("1");
        QTest::newRow("connection cut in the reply") << "cut.pem2" << QByteArray("1");
    }
    void handshakeOtherThanOkFailsOpen()
    {
        QFETCH(QString, key);
        QFETCH(QByteArray, value);
        QVERIFY(printer.set(key, QString::fromLatin1(value)));
        {
            DurvoCommLayer layer(&logger, 0, 0);
            layer.SetTimeout(400);
            QVERIFY(!layer.Open(name()));
            // The device that would not greet us was released: the printer
            // sees its connection end, and nothing else.
            QVERIFY(printer.waitForLog(QStringLiteral(" disconnect")));
            QCOMPARE(printer.commands(), QList<QByteArray> { pemOn });
            QVERIFY(!layer.Close());

            // The layer stays closed and may try again.
            QVERIFY(printer.resetFaults());
            QVERIFY(printer.clearLog());
            QVERIFY(layer.Open(name()));
            QVERIFY(layer.Close());
            QCOMPARE(printer.commands(), (QList<QByteArray> { pemOn, pemOff }));
        }
    }

    void destroyingAfterAFailedOpenSendsNothing()
    {
        QVERIFY(printer.setReply(QStringLiteral("pem2"), "ERROR"));
        {
            DurvoCommLayer layer(&logger, 0, 0);
            QVERIFY(!layer.Open(name()));
            QVERIFY(printer.waitForLog(QStringLiteral(" disconnect")));
            QVERIFY(printer.clearLog());
        }
        // Destroyed: not a byte, not a connection.
        QTest::qWait(100);
        QCOMPARE(printer.logLines(), QStringList());
    }

    void failedStatusReadClosesTheLayer_data()
    {
        QTest::addColumn<bool>("extended");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::newRow("status: printer says Time out") << false << "status-timeout"
                                                       << "1";
        QTest::newRow("status: no answer") << false << "noreply.status"
                                           << "1";
        QTest::newRow("extended: printer says Time out") << true << "status-timeout"
                                                         << "1";
        QTest::newRow("extended: no answer") << true << "noreply.rpst"
                                             << "1";
        QTest::newRow("extended: connection dropped") << true << "cut.rpst"
                                                      << "4";
    }
    void failedStatusReadClosesTheLayer()
    {
        QFETCH(bool, extended);
        QFETCH(QString, key);
        QFETCH(QString, value);
        DurvoCommLayer layer(&logger, 0, 0);
        QVERIFY(layer.Open(name()));
        QVERIFY(printer.set(key, value));
        QVERIFY(printer.clearLog());
        TraceCapture::clear();

        CommStatus status {};
        QVERIFY(!(extended ? layer.ReadStatusRpst(&status) : layer.ReadStatus(&status)));
        const QString operation
            = extended ? "wizard::DurvoCommLayer::ReadStatusRpst" : "wizard::DurvoCommLayer::ReadStatus";
        QCOMPARE(TraceCapture::messages(),
            (QStringList { "[INFO   ] [DurvoCommLayer] [ReadStatus] {" + operation + "}",
                "[DEBUG  ] [DurvoCommLayer] [fail to read status] {" + operation + "}",
                "[INFO   ] [DurvoCommLayer] [Close] {wizard::DurvoCommLayer::Close}" }));

        // Closed by the failed read: the layer said goodbye (where the
        // connection still stood) and a later Close sends nothing.
        QVERIFY(printer.waitForLog(QStringLiteral(" disconnect")));
        const QList<QByteArray> sent = printer.commands();
        QVERIFY(!sent.contains(pemOff) || sent.last() == pemOff);
        QVERIFY(printer.clearLog());
        QVERIFY(!layer.Close());
        QVERIFY(!layer.Write(rfv.constData(), rfv.size()));
        QTest::qWait(100);
        QCOMPARE(printer.logLines(), QStringList());
    }

    void statusReadsKeepTheLayersTimeLimit()
    {
        DurvoCommLayer layer(&logger, 0, 0);
        QVERIFY(layer.Open(name()));
        layer.SetTimeout(90000);
        CommStatus status {};
        QVERIFY(layer.ReadStatus(&status));
        QCOMPARE(layer.GetTimeout(), 90000);
        QVERIFY(layer.ReadStatusRpst(&status));
        QCOMPARE(layer.GetTimeout(), 90000);

        // Status reads allow 1000 ms whatever the layer's limit: a printer
        // that answers after 2500 ms fails the read (with 90000 ms it would
        // succeed). The layer then closes, waiting for the printer's goodbye,
        // which comes only after the late status reply.
        QVERIFY(printer.set(QStringLiteral("delay.status"), QStringLiteral("2500")));
        QElapsedTimer timer;
        timer.start();
        QVERIFY(!layer.ReadStatus(&status));
        const qint64 elapsed = timer.elapsed();
        QVERIFY2(elapsed < 6000, qPrintable(QString::number(elapsed)));
        QVERIFY(TraceCapture::messages().contains(
            "[DEBUG  ] [DurvoCommLayer] [fail to read status] {wizard::DurvoCommLayer::ReadStatus}"));
        QCOMPARE(layer.GetTimeout(), 90000);
    }

    void extendedStatusOddReplies_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QByteArray>("record");
        QTest::newRow("pairs") << QByteArray("0A1B2C")
                               << QByteArray::fromHex("0a1b2c00000000000000000000000000");
        QTest::newRow("non-hex characters")
            << QByteArray("zz0a1BG5") << QByteArray::fromHex("00001b05000000000000000000000000");
        QTest::newRow("odd length") << QByteArray("ABC")
                                    << QByteArray::fromHex("abc00000000000000000000000000000");
        QTest::newRow("empty") << QByteArray() << QByteArray(16, '\0');
        QTest::newRow("longer than the buffer") << QByteArray(600, 'F') << QByteArray(16, '\xff');
    }
    void extendedStatusOddReplies()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QByteArray, record);
        QVERIFY(printer.setReply(QStringLiteral("rpst"), reply));
        DurvoCommLayer layer(&logger, 0, 0);
        QVERIFY(layer.Open(name()));
        CommStatus status {};
        std::memset(status.bytes, 0xEE, sizeof status.bytes);
        // An empty reply is still a reply: it decodes to zeros.
        QVERIFY(layer.ReadStatusRpst(&status));
        QCOMPARE(recordBytes(status), record);
        QVERIFY(layer.Close());
    }

    void traceOfAConversation()
    {
        {
            DurvoCommLayer layer(&logger, 0, 0);
            QVERIFY(layer.Open(name()));
            layer.SetTimeout(5000);
            QVERIFY(layer.Write(rfv.constData(), rfv.size()));
            char reply[512] = {};
            std::int32_t received = 0;
            QVERIFY(layer.Read(reply, sizeof reply, &received));
            CommStatus status {};
            QVERIFY(layer.ReadStatus(&status));
            QVERIFY(layer.ReadStatusRpst(&status));
            QCOMPARE(layer.GetTimeout(), 5000);
        }
        QCOMPARE(TraceCapture::messages(),
            (QStringList { "[INFO   ] [DurvoCommLayer] [Creating] {wizard::DurvoCommLayer::DurvoCommLayer}",
                "[INFO   ] [DurvoCommLayer] [Open] {wizard::DurvoCommLayer::Open}",
                "[INFO   ] [DurvoCommLayer] [SetTimeout] {wizard::DurvoCommLayer::SetTimeout}",
                "[INFO   ] [DurvoCommLayer] [Write] {wizard::DurvoCommLayer::Write}",
                "[INFO   ] [DurvoCommLayer] [Read] {wizard::DurvoCommLayer::Read}",
                "[INFO   ] [DurvoCommLayer] [ReadStatus] {wizard::DurvoCommLayer::ReadStatus}",
                "[INFO   ] [DurvoCommLayer] [ReadStatus] {wizard::DurvoCommLayer::ReadStatusRpst}",
                "[INFO   ] [DurvoCommLayer] [GetTimeout] {wizard::DurvoCommLayer::GetTimeout}",
                "[INFO   ] [DurvoCommLayer] [Destructing] {wizard::DurvoCommLayer::~DurvoCommLayer}",
                "[INFO   ] [DurvoCommLayer] [Close] {wizard::DurvoCommLayer::Close}" }));
    }

private:
    const wchar_t* name()
    {
        wideQueue = queue.toStdWString();
        return wideQueue.c_str();
    }

    TraceCapture trace;
    PrivateCups cups;
    PrinterSim printer;
    QString queue;
    std::wstring wideQueue;
    wizard::DebugLogger logger;
};

QTEST_GUILESS_MAIN(TestDurvoCommLayer)
#include "tst_durvocommlayer.moc"
