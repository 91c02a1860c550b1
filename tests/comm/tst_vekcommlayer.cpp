// SPDX-License-Identifier: MIT
// The pipe comm layer against the real parts: a private CUPS server with the
// printer's queue and identifier, the virtual printer, the device-access
// library and the printer-communication service, whose faults are switched on
// through its control channel. The fixed pauses go through a counting sleep.
// What both comm layers promise alike is tested in tst_commlayers.
#include "CommService.h"
#include "PrinterSim.h"
#include "PrivateCups.h"
#include "TraceCapture.h"
#include "WatchedPipe.h"

#include "comm/FactoryCommLayer.h"
#include "comm/VekCommLayer.h"
#include "foundation/DebugLogger.h"
#include "system/Sleep.h"

#include <QtTest>

#include <climits>
#include <memory>
#include <vector>

using wizard::CommStatus;
using wizard::VekCommLayer;
using wizard::VekMessage;
using wizard::test::CommService;
using wizard::test::PrinterSim;
using wizard::test::PrivateCups;
using wizard::test::TraceCapture;
using wizard::test::WatchedVekCommLayer;

namespace {

std::vector<int> sleeps;
void countingSleep(int milliseconds)
{
    sleeps.push_back(milliseconds);
}

std::int32_t field(const QByteArray& message, int offset)
{
    return qFromLittleEndian<qint32>(message.constData() + offset);
}

// Printable bytes without ESC or CR, so that the printer sees one unknown command.
QByteArray pattern(int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char('a' + i % 26);
    return bytes;
}

QString idOfLength(int length)
{
    // Unique per test process: other tests may share the CUPS server.
    const QString seed = QStringLiteral("TLV%1X").arg(QCoreApplication::applicationPid());
    QString id = seed;
    while (id.size() < length)
        id += QChar(QLatin1Char('A' + id.size() % 26));
    return id.left(length);
}

} // namespace

class TestVekCommLayer : public QObject {
    Q_OBJECT

    TraceCapture trace;
    PrivateCups cups;
    PrinterSim printer;
    std::unique_ptr<CommService> service;
    QString queue;
    QString id;
    std::wstring queueName;

    std::unique_ptr<VekCommLayer> openLayer(const wchar_t* printerName = L"Talvor C1")
    {
        auto layer = std::make_unique<WatchedVekCommLayer>(printerName);
        if (!layer->Open(queueName.c_str()))
            return nullptr;
        return layer;
    }

    QList<QByteArray> messagesOf(int code) const
    {
        QList<QByteArray> found;
        for (const QByteArray& message : service->received())
            if (field(message, VekMessage::command) == code)
                found << message;
        return found;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(cups.isRunning(), qPrintable(cups.lastError()));
        cups.useForThisProcess();
        QVERIFY2(printer.start(), qPrintable(printer.lastError()));

        queue = PrivateCups::uniqueName(QStringLiteral("vek"));
        queueName = queue.toStdWString();
        id = idOfLength(40);
        QVERIFY2(cups.addQueue(queue, printer.deviceUri(), QStringLiteral("Talvor C1"), id),
            qPrintable(cups.lastError()));
        QVERIFY(
            cups.addQueue(queue + QStringLiteral("_noid"), printer.deviceUri(), QStringLiteral("Talvor C1")));
        QVERIFY(cups.addQueue(queue + QStringLiteral("_id39"), printer.deviceUri(),
            QStringLiteral("Talvor C1"), idOfLength(39)));
        QVERIFY(cups.addQueue(queue + QStringLiteral("_id41"), printer.deviceUri(),
            QStringLiteral("Talvor C1"), idOfLength(41)));

        service = std::make_unique<CommService>(cups.server());
        QVERIFY2(service->isRunning(), qPrintable(service->lastError()));
        QVERIFY2(
            service->pipes().contains(QStringLiteral("ExtCom") + id), qPrintable(service->pipes().join(' ')));
        service->useForThisProcess();

        wizard::sys::setSleepFunction(&countingSleep);
    }

    void cleanupTestCase()
    {
        wizard::sys::setSleepFunction(nullptr);
        service.reset();
    }

    void init()
    {
        QVERIFY(service->command(QStringLiteral("clear")));
        QVERIFY(printer.resetFaults());
        service->clearLog();
        QVERIFY(printer.clearLog());
        sleeps.clear();
        TraceCapture::clear();
    }

    void openWriteReadStatusCloseEndToEnd()
    {
        wizard::DebugLogger logger;
        logger.Enable();
        std::unique_ptr<wizard::IMCommLayer> layer(
            wizard::FactoryCommLayer::Build(&logger, 1, L"Talvor C1", 1, 2, 3, 4, 5));
        QVERIFY(dynamic_cast<VekCommLayer*>(layer.get()));
        QVERIFY(layer->Open(queueName.c_str()));
        QVERIFY(layer->Write("\x1bRfv\r", 5));
        char reply[512] = {};
        std::int32_t received = 0;
        QVERIFY(layer->Read(reply, sizeof reply, &received));
        QCOMPARE(QByteArray(reply, received), QByteArray("F2200"));
        QCOMPARE(QByteArray(reply + received, int(sizeof reply) - received),
            QByteArray(int(sizeof reply) - received, '\0'));
        CommStatus status {};
        QVERIFY(layer->ReadStatus(&status));
        QVERIFY(layer->Close());
        layer.reset();

        QVERIFY(printer.commands().contains(QByteArray("\x1bRfv\r")));
        // The record is the printer's raw status without its byte 10.
        const QByteArray raw = QByteArray::fromHex(printer.get(QStringLiteral("status")).toLatin1());
        QVERIFY(raw.size() >= 17);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(status.bytes), 16).toHex(),
            (raw.left(10) + raw.mid(11, 6)).toHex());

        // Open carries the factory's options and no channel; everything after it
        // carries what the service returned.
        const QList<QByteArray> sent = service->received();
        QCOMPARE(sent.size(), 1 + 1 + 2 + 1 + 1); // open, write, read and its acknowledgement, status, close
        QCOMPARE(field(sent[0], VekMessage::command), 1);
        QCOMPARE(field(sent[0], VekMessage::channel), -1);
        QCOMPARE(field(sent[0], VekMessage::optionA), 1);
        QCOMPARE(field(sent[0], VekMessage::optionB), 2);
        QCOMPARE(field(sent[0], VekMessage::optionC), 3);
        QCOMPARE(field(sent[0], VekMessage::timeout), 1000);
        const std::int32_t channel = field(sent[1], VekMessage::channel);
        QVERIFY(channel > 0);
        for (const QByteArray& message : sent.mid(1)) {
            QCOMPARE(field(message, VekMessage::channel), channel);
            QCOMPARE(field(message, VekMessage::optionA), 100 + channel);
            QCOMPARE(field(message, VekMessage::optionB), 200 + channel);
            QCOMPARE(field(message, VekMessage::optionC), 300 + channel);
        }
        // The factory's fourth and fifth options travel only in the status
        // request; the layer's printer name, UTF-16LE, in every message.
        QByteArray name;
        for (const QChar c : QStringLiteral("Talvor C1"))
            name.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
        name += QByteArray(64 - name.size(), '\0');
        for (const QByteArray& message : sent) {
            const bool status = field(message, VekMessage::command) == VekMessage::readStatus;
            QCOMPARE(field(message, VekMessage::optionD), status ? 4 : 0);
            QCOMPARE(field(message, VekMessage::optionE), status ? 5 : 0);
            QCOMPARE(message.mid(VekMessage::printerName, 64).toHex(), name.toHex());
        }
        const QStringList logged = service->logLines();
        QCOMPARE(logged.filter(QRegularExpression(QStringLiteral("^connect "))).size(), 5);
        QCOMPARE(logged.filter(QRegularExpression(QStringLiteral("^announce 2$"))).size(), 5);

        const QStringList expected {
            QStringLiteral("[INFO   ] [VekCommLayer] [Creating] {wizard::VekCommLayer::VekCommLayer}"),
            QStringLiteral("[DEBUG  ] [FactoryCommLayer] [VekCommLayer] {wizard::FactoryCommLayer::Build}"),
            QStringLiteral("[INFO   ] [VekCommLayer] [Open] {wizard::VekCommLayer::Open}"),
            QStringLiteral("[INFO   ] ExecuteCmd {wizard::VekCommLayer::ExecuteCmd}"),
            QStringLiteral("[INFO   ] [VekCommLayer] [Write] {wizard::VekCommLayer::Write}"),
            QStringLiteral("[INFO   ] ExecuteWriteCmd {wizard::VekCommLayer::ExecuteWriteCmd}"),
            QStringLiteral("[INFO   ] [VekCommLayer] [Read] {wizard::VekCommLayer::Read}"),
            QStringLiteral("[INFO   ] ExecuteReadCmd {wizard::VekCommLayer::ExecuteReadCmd}"),
            QStringLiteral("[INFO   ] [VekCommLayer] [ReadStatus] {wizard::VekCommLayer::ReadStatus}"),
            QStringLiteral("[INFO   ] ExecuteCmd {wizard::VekCommLayer::ExecuteCmd}"),
            QStringLiteral("[INFO   ] [VekCommLayer] [Close] {wizard::VekCommLayer::Close}"),
            QStringLiteral("[INFO   ] ExecuteCmd {wizard::VekCommLayer::ExecuteCmd}"),
            QStringLiteral("[INFO   ] [VekCommLayer] [Destructing] {wizard::VekCommLayer::~VekCommLayer}"),
        };
        QCOMPARE(TraceCapture::messages(), expected);
    }

    void writeGoesOutInChunks_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<QList<int>>("chunks");
        QTest::newRow("2500 bytes") << 2500 << QList<int> { 1024, 1024, 452 };
        QTest::newRow("exactly 1024") << 1024 << QList<int> { 1024 };
        QTest::newRow("1025") << 1025 << QList<int> { 1024, 1 };
        QTest::newRow("one byte") << 1 << QList<int> { 1 };
    }
    void writeGoesOutInChunks()
    {
        QFETCH(int, size);
        QFETCH(QList<int>, chunks);
        auto layer = openLayer();
        QVERIFY(layer);
        const QByteArray command = "\x1b" + pattern(size - 2) + "\r";
        const QByteArray bytes = command.right(size); // the one-byte row sends just a CR
        QVERIFY(layer->Write(bytes.constData(), size));

        const QList<QByteArray> writes = messagesOf(VekMessage::write);
        QCOMPARE(writes.size(), chunks.size());
        QByteArray joined;
        for (int i = 0; i < chunks.size(); ++i) {
            const QByteArray& message = writes[i];
            QCOMPARE(field(message, VekMessage::chunkCount), int(chunks.size()));
            QCOMPARE(field(message, VekMessage::totalLength), size);
            QCOMPARE(field(message, VekMessage::chunkLength), chunks[i]);
            const QByteArray data = message.mid(VekMessage::chunkData, 1024);
            QCOMPARE(data.mid(chunks[i]), QByteArray(1024 - chunks[i], '\0'));
            joined += data.left(chunks[i]);
        }
        QCOMPARE(joined, bytes);
        // The printer got the bytes in one piece.
        QVERIFY(printer.waitForLog(QString::fromLatin1(PrinterSim::escape(bytes.right(8)))));
        QVERIFY(layer->Close());
    }

    void writesThatSendNothing_data()
    {
        QTest::addColumn<int>("length");
        QTest::newRow("zero bytes") << 0;
        QTest::newRow("negative length") << -5;
    }
    void writesThatSendNothing()
    {
        QFETCH(int, length);
        auto layer = openLayer();
        QVERIFY(layer);
        service->clearLog();
        QVERIFY(!layer->Write("abc", length));
        // One connection that carries the announcement and no message. The
        // client is gone before the service takes the connection, so wait for its end.
        const auto conversation = [this] {
            const QStringList lines = service->logLines();
            const int start = lines.indexOf(QStringLiteral("connect ExtCom") + id);
            return start < 0 ? QStringList() : lines.mid(start);
        };
        QTRY_COMPARE(conversation(),
            (QStringList { QStringLiteral("connect ExtCom") + id, QStringLiteral("announce 2"),
                QStringLiteral("end") }));
        QCOMPARE(service->connections(), 1);
        QVERIFY(layer->Close());
    }

    void readsAcrossChunks_data()
    {
        QTest::addColumn<int>("replyLength");
        QTest::addColumn<int>("capacity");
        QTest::newRow("600 into 512") << 600 << 512;
        QTest::newRow("one whole chunk") << 1024 << 1024;
        QTest::newRow("three chunks") << 2500 << 4096;
        QTest::newRow("three chunks into 512") << 2500 << 512;
    }
    void readsAcrossChunks()
    {
        QFETCH(int, replyLength);
        QFETCH(int, capacity);
        const QByteArray text = pattern(replyLength);
        QVERIFY(printer.setReply(QStringLiteral("rfv"), text));
        auto layer = openLayer();
        QVERIFY(layer);
        QVERIFY(layer->Write("\x1bRfv\r", 5));
        service->clearLog();

        QByteArray buffer(capacity + 16, char(0x77)); // the tail shows any write past the capacity
        std::int32_t received = 0;
        QVERIFY(layer->Read(buffer.data(), std::uint32_t(capacity), &received));
        QCOMPARE(received, replyLength);
        const int copied = qMin(capacity, replyLength);
        QCOMPARE(buffer.left(copied), text.left(copied));
        QCOMPARE(buffer.mid(copied, capacity - copied), QByteArray(capacity - copied, '\0'));
        QCOMPARE(buffer.mid(capacity), QByteArray(16, char(0x77)));

        // One request, then one acknowledgement per chunk, each with result 1.
        const QList<QByteArray> reads = messagesOf(VekMessage::read);
        const int chunkCount = (replyLength + 1023) / 1024;
        QCOMPARE(reads.size(), 1 + chunkCount);
        QCOMPARE(field(reads[0], VekMessage::totalLength), capacity);
        QCOMPARE(field(reads[0], VekMessage::result), 0);
        for (const QByteArray& acknowledgement : reads.mid(1))
            QCOMPARE(field(acknowledgement, VekMessage::result), 1);
        QVERIFY(layer->Close());
    }

    void firstReplyWithoutChunksGivesZeros()
    {
        auto layer = openLayer();
        QVERIFY(layer);
        QVERIFY(layer->Write("\x1bRfv\r", 5));
        QVERIFY(service->command(QStringLiteral("readreply 0 count=0 total=600 length=0 result=1")));
        QByteArray buffer(512, char(0xAA));
        std::int32_t received = 0;
        QVERIFY(layer->Read(buffer.data(), 512, &received));
        QCOMPARE(received, 600);
        QCOMPARE(buffer, QByteArray(512, '\0'));
        QCOMPARE(messagesOf(VekMessage::read).size(), 1); // nothing to acknowledge
    }

    void hostileReadRepliesFailCleanly_data()
    {
        QTest::addColumn<int>("replyLength");
        QTest::addColumn<QString>("fault");
        QTest::newRow("chunk longer than 1024") << 600 << "readreply 0 length=1025";
        QTest::newRow("chunk past the total") << 600 << "readreply 0 total=100";
        QTest::newRow("negative chunk length") << 600 << "readreply 0 length=-1";
        QTest::newRow("negative total") << 600 << "readreply 0 total=-600";
        QTest::newRow("absurd total") << 600 << "readreply 0 total=0x7fffffff count=0";
        QTest::newRow("more chunks than the total holds") << 600 << "readreply 0 count=5";
        QTest::newRow("endless empty chunks") << 0 << "readreply 0 count=0x7fffffff";
        QTest::newRow("total changes midway") << 2500 << "readreply 1 total=3000";
        QTest::newRow("final reply changes the total") << 600 << "readreply 1 total=5000";
        QTest::newRow("service gives up midway") << 2500 << "readreply 1 result=0";
        QTest::newRow("final reply refuses") << 600 << "readreply 1 result=0";
        QTest::newRow("service hangs up on the acknowledgement") << 2500 << "hangup 3 2";
    }
    void hostileReadRepliesFailCleanly()
    {
        QFETCH(int, replyLength);
        QFETCH(QString, fault);
        QVERIFY(printer.setReply(QStringLiteral("rfv"), pattern(replyLength)));
        auto layer = openLayer();
        QVERIFY(layer);
        QVERIFY(layer->Write("\x1bRfv\r", 5));
        QVERIFY2(service->command(fault), qPrintable(service->lastError()));

        QByteArray buffer(512, char(0xAA));
        std::int32_t received = -5;
        QVERIFY(!layer->Read(buffer.data(), 512, &received));
        QCOMPARE(received, -5);
        QCOMPARE(buffer, QByteArray(512, char(0xAA)));
        // The layer stays open and usable.
        CommStatus status {};
        QVERIFY(layer->ReadStatus(&status));
        QVERIFY(layer->Close());
    }

    void statusRequestsAreIdenticalAndByteExact()
    {
        // The service hands out the channel and options of the fixture.
        QVERIFY(service->command(QStringLiteral("assign 42 16909060 287454020 -2")));
        auto layer
            = std::make_unique<VekCommLayer>(nullptr, L"T\u00e4lvor \u03a9-7 \U0001F5A8", 9, 8, 7, 0x55, -1);
        QVERIFY(layer->Open(queueName.c_str()));
        layer->SetTimeout(5000);
        CommStatus plain {};
        CommStatus extended {};
        QVERIFY(layer->ReadStatus(&plain));
        QVERIFY(layer->ReadStatusRpst(&extended));
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(extended.bytes), 16),
            QByteArray(reinterpret_cast<const char*>(plain.bytes), 16));

        const QList<QByteArray> status = messagesOf(VekMessage::readStatus);
        QCOMPARE(status.size(), 2);
        QCOMPARE(status[1].toHex(), status[0].toHex());
        QFile fixture(QFINDTESTDATA("data/status-request.bin"));
        QVERIFY(fixture.open(QIODevice::ReadOnly));
        QCOMPARE(status[0].toHex(), fixture.readAll().toHex());
        QVERIFY(layer->Close());
    }

    void retryLimits_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("waits");
        QTest::addColumn<int>("opens");
        QTest::addColumn<QList<int>>("pauses");
        // Not found: 18 waits, each followed by a pause, and one last try to open.
        const QList<int> eighteen(18, 500);
        QTest::newRow("no pipe") << "absent" << 18 << 19 << eighteen;
        QTest::newRow("nobody listening") << "stale" << 18 << 19 << eighteen;
        // Busy: four waits that run out, no pauses.
        QTest::newRow("busy") << "busy" << 4 << 4 << QList<int> {};
    }
    void retryLimits()
    {
        QFETCH(QString, fault);
        QFETCH(int, waits);
        QFETCH(int, opens);
        QFETCH(QList<int>, pauses);
        QVERIFY(service->command(fault + QStringLiteral(" ") + id));
        WatchedVekCommLayer layer;
        QVERIFY(!layer.Open(queueName.c_str()));
        QCOMPARE(QList<int>(sleeps.begin(), sleeps.end()), pauses);
        QCOMPARE(layer.pipe->waitLimits, QList<int>(waits, 3000));
        QCOMPARE(layer.pipe->opens, opens);
        QCOMPARE(service->connections(), 0);
        // The layer is still closed: the next Open, with the service back, works.
        QVERIFY(service->command(QStringLiteral("serve ") + id));
        sleeps.clear();
        QVERIFY(layer.Open(queueName.c_str()));
        QVERIFY(sleeps.empty());
        QVERIFY(layer.Close());
    }

    void failedClosingExchangeStillCloses_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::newRow("service refuses") << "result0 2 1";
        QTest::newRow("service hangs up") << "hangup 2";
        QTest::newRow("service gone") << (QStringLiteral("absent *"));
    }
    void failedClosingExchangeStillCloses()
    {
        QFETCH(QString, fault);
        auto layer = openLayer();
        QVERIFY(layer);
        layer->SetTimeout(1234);
        QVERIFY(service->command(fault));
        QVERIFY(!layer->Close());
        QCOMPARE(layer->GetTimeout(), 1234);
        service->clearLog();
        QVERIFY(!layer->Close()); // already closed: no exchange
        QCOMPARE(service->connections(), 0);
        QVERIFY(service->command(QStringLiteral("clear")));
        QVERIFY(layer->Open(queueName.c_str()));
        QVERIFY(layer->Close());
    }

    void openRefusedWithoutTouchingThePipe_data()
    {
        QTest::addColumn<QString>("queueSuffix");
        QTest::addColumn<QString>("layerName");
        QTest::newRow("no identifier") << "_noid"
                                       << "Talvor C1";
        QTest::newRow("identifier of 39 characters") << "_id39"
                                                     << "Talvor C1";
        QTest::newRow("identifier of 41 characters") << "_id41"
                                                     << "Talvor C1";
        QTest::newRow("printer name of 32 characters") << "" << QString(32, QLatin1Char('P'));
    }
    void openRefusedWithoutTouchingThePipe()
    {
        QFETCH(QString, queueSuffix);
        QFETCH(QString, layerName);
        const std::wstring name = layerName.toStdWString();
        WatchedVekCommLayer layer(name.c_str());
        QVERIFY(!layer.Open((queue + queueSuffix).toStdWString().c_str()));
        QCOMPARE(layer.pipe->opens, 0);
        QVERIFY(sleeps.empty());
        QCOMPARE(service->connections(), 0);
    }

    void serviceFailuresFailTheOperation_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("fault");
        QTest::newRow("open refused") << "open"
                                      << "result0 1 1";
        QTest::newRow("open hung up") << "open"
                                      << "hangup 1";
        QTest::newRow("write hung up on the second chunk") << "write"
                                                           << "hangup 4 2";
        QTest::newRow("write refused by the printer") << "write"
                                                      << "result0 4";
        QTest::newRow("read refused") << "read"
                                      << "result0 3";
        QTest::newRow("read hung up") << "read"
                                      << "hangup 3";
        QTest::newRow("status refused") << "status"
                                        << "result0 5";
        QTest::newRow("status hung up") << "status"
                                        << "hangup 5";
        // The service takes the message and never answers: the layer gives up
        // once the time limit it sent, and a grace period, have passed.
        QTest::newRow("status never answered") << "status"
                                               << "silent 5";
    }
    void serviceFailuresFailTheOperation()
    {
        QFETCH(QString, operation);
        QFETCH(QString, fault);
        WatchedVekCommLayer layer;
        if (operation != QLatin1String("open"))
            QVERIFY(layer.Open(queueName.c_str()));
        QVERIFY(service->command(fault));
        layer.SetTimeout(100);
        const QByteArray bytes = "\x1b" + pattern(2000) + "\r";
        char buffer[512] = {};
        std::int32_t received = 0;
        CommStatus status {};
        QElapsedTimer elapsed;
        elapsed.start();
        if (operation == QLatin1String("open")) {
            QVERIFY(!layer.Open(queueName.c_str()));
            QVERIFY(service->command(QStringLiteral("clear")));
            QVERIFY(layer.Open(queueName.c_str())); // still closed: a new Open is allowed
        } else if (operation == QLatin1String("write")) {
            QVERIFY(!layer.Write(bytes.constData(), int(bytes.size())));
        } else if (operation == QLatin1String("read")) {
            QVERIFY(!layer.Read(buffer, sizeof buffer, &received));
        } else {
            QVERIFY(!layer.ReadStatus(&status));
            // A one-time fault is spent; one that lasts fails the second request too.
            QCOMPARE(layer.ReadStatusRpst(&status), !fault.startsWith(QLatin1String("result0")));
        }
        // The layer's own limit (100 ms + 5 s of grace), not the service's 15 s
        // idle limit, ends a silent exchange.
        if (fault.startsWith(QLatin1String("silent")))
            QVERIFY2(elapsed.elapsed() < 12000, qPrintable(QString::number(elapsed.elapsed())));
        QVERIFY(service->command(QStringLiteral("clear")));
        layer.SetTimeout(1000);
        QVERIFY(layer.ReadStatus(&status)); // the layer stays open after a failed exchange
        QVERIFY(layer.Close());
    }

    void transfersAreBoundedByTheTimeLimit_data()
    {
        QTest::addColumn<int>("timeout");
        QTest::addColumn<int>("limit");
        QTest::newRow("default") << 1000 << 6000;
        QTest::newRow("zero") << 0 << 5000;
        QTest::newRow("negative") << -1 << 5000;
        // The grace period must not wrap the largest limit into "no limit".
        QTest::newRow("largest") << int(INT32_MAX) << int(INT_MAX);
    }
    void transfersAreBoundedByTheTimeLimit()
    {
        QFETCH(int, timeout);
        QFETCH(int, limit);
        WatchedVekCommLayer layer;
        QVERIFY(layer.Open(queueName.c_str()));
        layer.SetTimeout(timeout);
        layer.pipe->transferLimits.clear();
        CommStatus status {};
        QVERIFY(layer.ReadStatus(&status));
        // The announcement, the request and the reply.
        QCOMPARE(layer.pipe->transferLimits, QList<int>(3, limit));
        layer.SetTimeout(1000);
        QVERIFY(layer.Close());
    }

    void layerWithoutANameSendsAnEmptyNameField()
    {
        VekCommLayer layer(nullptr, nullptr, 0, 0, 0, 0, 0);
        QVERIFY(layer.Open(queueName.c_str()));
        CommStatus status {};
        QVERIFY(layer.ReadStatus(&status));
        QVERIFY(layer.Close());
        const QList<QByteArray> sent = service->received();
        QCOMPARE(sent.size(), 3);
        for (const QByteArray& message : sent)
            QCOMPARE(message.mid(VekMessage::printerName, 64), QByteArray(64, '\0'));
    }
};

QTEST_GUILESS_MAIN(TestVekCommLayer)
#include "tst_vekcommlayer.moc"
