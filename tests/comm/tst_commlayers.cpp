// SPDX-License-Identifier: MIT
// What both comm layers promise alike, every row run over one of them: the
// device-library layer through the real device-access library to the virtual
// printer behind a queue of the private CUPS server, the pipe layer through the
// printer-communication service in front of that same queue. The library's
// calls and the pipe's connections are counted on their way, so that a row can
// tell that a layer did not reach for its transport at all. Where the layers
// differ on purpose, the row says what each does. What only one layer does is
// tested in tst_durvocommlayer, tst_durvofaults and tst_vekcommlayer.
#include "ServedPrinter.h"
#include "TraceCapture.h"
#include "WatchedPipe.h"

#include "comm/DurvoCommLayer.h"
#include "comm/FactoryCommLayer.h"
#include "comm/PrinterCommands.h"
#include "comm/VekCommLayer.h"
#include "foundation/DebugLogger.h"
#include "system/SharedLibrary.h"
#include "system/Sleep.h"

#include <QtTest>

#include <cstring>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

using namespace wizard;
using namespace wizard::test;

namespace {

// The factory's kinds.
constexpr int deviceLibrary = 0;
constexpr int pipeService = 1;
const int layerKinds[] = { deviceLibrary, pipeService };

const char* layerName(int kind)
{
    return kind == deviceLibrary ? "device library" : "pipe service";
}

const QByteArray pemOn("\x1bPem;2\r");
const QByteArray pemOff("\x1bPem;0\r");
const QByteArray rfv("\x1bRfv\r");
const QByteArray rpst("\x1bRpst\r");

// The device-library layer greets the printer when it opens and says goodbye
// when it closes; the service only opens and releases the device.
QList<QByteArray> greeting(int kind)
{
    return kind == deviceLibrary ? QList<QByteArray> { pemOn } : QList<QByteArray> {};
}
QList<QByteArray> goodbye(int kind)
{
    return kind == deviceLibrary ? QList<QByteArray> { pemOff } : QList<QByteArray> {};
}

// The line a layer of that kind traces for one of its operations.
QString infoLine(int kind, const QString& operation)
{
    const QString layer
        = kind == deviceLibrary ? QStringLiteral("DurvoCommLayer") : QStringLiteral("VekCommLayer");
    return QStringLiteral("[INFO   ] [%1] [%2] {wizard::%1::%2}").arg(layer, operation);
}

// One row per layer, for the tests whose expectations follow from the kind alone.
void addLayerRows()
{
    QTest::addColumn<int>("kind");
    for (int kind : layerKinds)
        QTest::newRow(layerName(kind)) << kind;
}

// The real library's five calls, counted on their way.
DurvoFunctions realLibrary;
int libraryCalls = 0;

template <typename Function> struct Counted;
template <typename Result, typename... Arguments> struct Counted<Result (*)(Arguments...)> {
    template <Result (*DurvoFunctions::*call)(Arguments...)> static Result through(Arguments... arguments)
    {
        ++libraryCalls;
        return (realLibrary.*call)(arguments...);
    }
};
// The counting stand-in for one of the table's calls.
template <auto call>
constexpr auto counted
    = &Counted<std::remove_reference_t<decltype(realLibrary.*call)>>::template through<call>;

DurvoFunctions countedLibrary()
{
    DurvoFunctions table;
    table.OpenQuarle = counted<&DurvoFunctions::OpenQuarle>;
    table.CloseQuarle = counted<&DurvoFunctions::CloseQuarle>;
    table.WriteQuarleExEx = counted<&DurvoFunctions::WriteQuarleExEx>;
    table.ReadQuarleExEx = counted<&DurvoFunctions::ReadQuarleExEx>;
    table.ReadStatusExEx = counted<&DurvoFunctions::ReadStatusExEx>;
    return table;
}

// The pipe layer's pause between tries at a missing service, counted instead of slept.
std::vector<int> sleeps;
void countingSleep(int milliseconds)
{
    sleeps.push_back(milliseconds);
}

QByteArray recordBytes(const CommStatus& status)
{
    return QByteArray(reinterpret_cast<const char*>(status.bytes), sizeof status.bytes);
}

} // namespace

class TestCommLayers : public QObject {
    Q_OBJECT

    TraceCapture capture;
    ServedPrinter served;
    PrinterSim& printer = served.printer();
    sys::SharedLibrary libraryFile;
    DebugLogger logger;
    WatchedPipe* pipe = nullptr;

    CommService& service() { return served.service(); }
    const wchar_t* queueName() const { return served.queueName().c_str(); }

    // A layer of the given kind as the factory builds it, on a counted transport.
    std::unique_ptr<IMCommLayer> makeLayer(int kind)
    {
        if (kind == deviceLibrary)
            return std::make_unique<DurvoCommLayer>(&logger, 0, 0, countedLibrary());
        auto layer = std::make_unique<WatchedVekCommLayer>(L"Talvor C1", &logger);
        pipe = layer->pipe;
        return layer;
    }
    // The same, opened on the served queue; null if Open failed.
    std::unique_ptr<IMCommLayer> openLayer(int kind)
    {
        std::unique_ptr<IMCommLayer> layer = makeLayer(kind);
        if (!layer->Open(queueName()))
            return nullptr;
        return layer;
    }
    // Library calls, or pipe connections tried, of the layer made last (while it lives).
    int transportCalls(int kind) const { return kind == deviceLibrary ? libraryCalls : pipe->opens; }
    void resetTransportCalls()
    {
        libraryCalls = 0;
        if (pipe)
            pipe->opens = 0;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(served.start(QStringLiteral("comm-layers-"), QStringLiteral("CLS")),
            qPrintable(served.lastError()));
        realLibrary = DurvoFunctions::load(libraryFile, DurvoFunctions::libraryFileName());
        QVERIFY(realLibrary.complete());
        sys::setSleepFunction(&countingSleep);
        logger.Enable();
    }
    void cleanupTestCase() { sys::setSleepFunction(nullptr); }
    void init()
    {
        QVERIFY(service().command(QStringLiteral("clear")));
        QVERIFY(printer.resetFaults());
        // The previous test's connection may still be ending on the printer's
        // side; its "disconnect" must not land in this test's log.
        QVERIFY(printer.waitUntilIdle());
        QVERIFY(printer.clearLog());
        service().clearLog();
        sleeps.clear();
        pipe = nullptr;
        resetTransportCalls();
        TraceCapture::clear();
    }

    void factory_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QStringList>("lines"); // the first trace lines; none when nothing is built
        QTest::newRow("device library") << deviceLibrary
                                        << QStringList {
                                               "[INFO   ] [DurvoCommLayer] [Creating] "
                                               "{wizard::DurvoCommLayer::DurvoCommLayer}",
                                               "[DEBUG  ] [FactoryCommLayer] [DurvoCommLayer] "
                                               "{wizard::FactoryCommLayer::Build}",
                                           };
        QTest::newRow("pipe service")
            << pipeService
            << QStringList {
                   "[INFO   ] [VekCommLayer] [Creating] {wizard::VekCommLayer::VekCommLayer}",
                   "[DEBUG  ] [FactoryCommLayer] [VekCommLayer] "
                   "{wizard::FactoryCommLayer::Build}",
               };
        QTest::newRow("kind 2") << 2 << QStringList();
        QTest::newRow("negative kind") << -1 << QStringList();
        QTest::newRow("large kind") << 0x7fffffff << QStringList();
    }
    void factory()
    {
        QFETCH(int, kind);
        QFETCH(QStringList, lines);
        std::unique_ptr<IMCommLayer> layer(
            FactoryCommLayer::Build(&logger, kind, L"Talvor C1", 1, 0, 0, 0, 0));
        QCOMPARE(layer != nullptr, !lines.isEmpty());
        if (layer) {
            QVERIFY(kind == deviceLibrary ? dynamic_cast<DurvoCommLayer*>(layer.get()) != nullptr
                                          : dynamic_cast<VekCommLayer*>(layer.get()) != nullptr);
            QCOMPARE(layer->GetTimeout(), 1000);
            QCOMPARE(TraceCapture::messages().mid(0, 2), lines);
        } else {
            QVERIFY(TraceCapture::lines().isEmpty());
        }
        // Without a logger nothing is traced, and nothing breaks.
        TraceCapture::clear();
        std::unique_ptr<IMCommLayer> quiet(FactoryCommLayer::Build(nullptr, kind, nullptr, 0, 0, 0, 0, 0));
        QCOMPARE(quiet != nullptr, layer != nullptr);
        quiet.reset();
        QVERIFY(TraceCapture::lines().isEmpty());
    }

    void closedLayerRefusesEverything_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QStringList>("lines");
        // The device-library layer traces the refused operations not at all,
        // the pipe layer before it finds itself closed.
        QTest::newRow("device library")
            << deviceLibrary
            << QStringList { "[INFO   ] [DurvoCommLayer] [Creating] {wizard::DurvoCommLayer::DurvoCommLayer}",
                   "[INFO   ] [DurvoCommLayer] [SetTimeout] {wizard::DurvoCommLayer::SetTimeout}",
                   "[INFO   ] [DurvoCommLayer] [GetTimeout] {wizard::DurvoCommLayer::GetTimeout}",
                   "[INFO   ] [DurvoCommLayer] [Destructing] {wizard::DurvoCommLayer::~DurvoCommLayer}" };
        QTest::newRow("pipe service")
            << pipeService
            << QStringList {
                   "[INFO   ] [VekCommLayer] [Creating] {wizard::VekCommLayer::VekCommLayer}",
                   "[INFO   ] [VekCommLayer] [Write] {wizard::VekCommLayer::Write}",
                   "[INFO   ] [VekCommLayer] [Read] {wizard::VekCommLayer::Read}",
                   "[INFO   ] [VekCommLayer] [ReadStatus] {wizard::VekCommLayer::ReadStatus}",
                   "[INFO   ] [VekCommLayer] [ReadStatus] "
                   "{wizard::VekCommLayer::ReadStatusRpst}",
                   "[INFO   ] [VekCommLayer] [Close] {wizard::VekCommLayer::Close}",
                   "[INFO   ] [VekCommLayer] [SetTimeout] {wizard::VekCommLayer::SetTimeout}",
                   "[INFO   ] [VekCommLayer] [GetTimeout] {wizard::VekCommLayer::GetTimeout}",
                   "[INFO   ] [VekCommLayer] [Destructing] "
                   "{wizard::VekCommLayer::~VekCommLayer}",
               };
    }
    void closedLayerRefusesEverything()
    {
        QFETCH(int, kind);
        QFETCH(QStringList, lines);
        {
            std::unique_ptr<IMCommLayer> layer = makeLayer(kind);
            QByteArray buffer(16, char(0x5A));
            std::int32_t received = -7;
            CommStatus status {};
            std::memset(status.bytes, 0xEE, sizeof status.bytes);
            QVERIFY(!layer->Write("x", 1));
            QVERIFY(!layer->Read(buffer.data(), std::uint32_t(buffer.size()), &received));
            QVERIFY(!layer->ReadStatus(&status));
            QVERIFY(!layer->ReadStatusRpst(&status));
            QVERIFY(!layer->Close());
            QCOMPARE(buffer, QByteArray(16, char(0x5A)));
            QCOMPARE(received, -7);
            QCOMPARE(recordBytes(status), QByteArray(16, char(0xEE)));
            // The time limit is the layer's own, open or not.
            layer->SetTimeout(5000);
            QCOMPARE(layer->GetTimeout(), 5000);
            QCOMPARE(transportCalls(kind), 0);
        }
        QCOMPARE(TraceCapture::messages(), lines);
        QCOMPARE(service().connections(), 0);
        QCOMPARE(printer.logLines(), QStringList());
    }

    void secondOpenLeavesTheFirstConnectionAlone_data() { addLayerRows(); }
    void secondOpenLeavesTheFirstConnectionAlone()
    {
        QFETCH(int, kind);
        std::unique_ptr<IMCommLayer> layer = openLayer(kind);
        QVERIFY(layer);
        QVERIFY(printer.waitForLog(QStringLiteral(" connect")));
        QVERIFY(printer.clearLog());
        service().clearLog();
        resetTransportCalls();
        TraceCapture::clear();

        QVERIFY(!layer->Open(queueName()));
        QCOMPARE(TraceCapture::messages(), QStringList { infoLine(kind, QStringLiteral("Open")) });
        QCOMPARE(transportCalls(kind), 0);
        QCOMPARE(service().connections(), 0);

        // The first connection still works and is the only one the printer saw.
        layer->SetTimeout(5000);
        QVERIFY(layer->Write(rfv.constData(), rfv.size()));
        char reply[512] = {};
        std::int32_t received = 0;
        QVERIFY(layer->Read(reply, sizeof reply, &received));
        QCOMPARE(QByteArray(reply), QByteArray("F2200"));
        CommStatus status {};
        QVERIFY(layer->ReadStatus(&status));
        QVERIFY(layer->Close());
        QVERIFY(printer.waitForLog(QStringLiteral(" disconnect")));
        const QStringList lines = printer.logLines();
        QVERIFY2(!lines.join('\n').contains(QStringLiteral(" connect")), qPrintable(lines.join('\n')));
        QCOMPARE(printer.commands(), QList<QByteArray> { rfv } + goodbye(kind));
    }

    void destructorClosesAnOpenLayer_data() { addLayerRows(); }
    void destructorClosesAnOpenLayer()
    {
        QFETCH(int, kind);
        // Opened, and gone at the end of the statement.
        QVERIFY(openLayer(kind) != nullptr);
        // The printer's connection ends only when the device is released.
        QVERIFY(printer.waitForLog(QStringLiteral(" disconnect")));
        QCOMPARE(printer.commands(), greeting(kind) + goodbye(kind));
        QVERIFY(TraceCapture::messages().contains(infoLine(kind, QStringLiteral("Close"))));
    }

    void openRefused_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("name"); // a null string: no name at all
        QTest::addColumn<int>("calls");
        for (int kind : layerKinds) {
            // The library looks the queue up itself; the pipe layer finds no
            // identifier for it and never tries the pipe.
            QTest::addRow("%s: no such queue", layerName(kind))
                << kind << QStringLiteral("kavni-no-such-queue") << (kind == deviceLibrary ? 1 : 0);
            QTest::addRow("%s: no name", layerName(kind)) << kind << QString() << 0;
        }
    }
    void openRefused()
    {
        QFETCH(int, kind);
        QFETCH(QString, name);
        QFETCH(int, calls);
        {
            std::unique_ptr<IMCommLayer> layer = makeLayer(kind);
            const std::wstring wide = name.toStdWString();
            QVERIFY(!layer->Open(name.isNull() ? nullptr : wide.c_str()));
            // Still closed: Close has nothing to end.
            QVERIFY(!layer->Close());
            QCOMPARE(transportCalls(kind), calls);
        }
        QVERIFY(sleeps.empty());
        // Neither the refusal nor the destruction reached the printer or the service.
        QTest::qWait(100);
        QCOMPARE(service().connections(), 0);
        QCOMPARE(printer.logLines(), QStringList());
    }

    void statusRecord_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QStringList>("setting"); // the printer's key and value; none: its own block
        QTest::addColumn<QByteArray>("record");
        QTest::addColumn<bool>("coverOpen");
        for (int kind : layerKinds) {
            // The printer's own block: byte k = k * 0x11 (mod 256); raw byte 10 (0xAA) is dropped.
            QTest::addRow("%s: default block", layerName(kind))
                << kind << QStringList() << QByteArray::fromHex("00112233445566778899bbccddeeff10") << false;
            QTest::addRow("%s: cover open", layerName(kind))
                << kind << QStringList { "cover", "1" }
                << QByteArray::fromHex("0011223344556677889bbbccddeeff10") << true;
            QTest::addRow("%s: block given", layerName(kind))
                << kind << QStringList { "status", "0A1B2C3D4E5F60718293A4B5C6D7E8F90A" }
                << QByteArray::fromHex("0a1b2c3d4e5f60718293b5c6d7e8f90a") << true;
        }
    }
    void statusRecord()
    {
        // Both status reads build the same record from the same block.
        QFETCH(int, kind);
        QFETCH(QStringList, setting);
        QFETCH(QByteArray, record);
        QFETCH(bool, coverOpen);
        if (!setting.isEmpty())
            QVERIFY(printer.set(setting[0], setting[1]));
        std::unique_ptr<IMCommLayer> layer = openLayer(kind);
        QVERIFY(layer);
        CommStatus plain {};
        CommStatus extended {};
        QVERIFY(layer->ReadStatus(&plain));
        QVERIFY(layer->ReadStatusRpst(&extended));
        QCOMPARE(recordBytes(plain), record);
        QCOMPARE(recordBytes(extended), record);
        QCOMPARE(PrinterCommands::coverOpen(extended), coverOpen);
        QVERIFY(layer->Close());
        QVERIFY(printer.waitForLog(QStringLiteral(" disconnect")));
        // The device-library layer asks for the extended status with a command
        // of its own; the pipe layer sends the status request twice.
        const QList<QByteArray> asked
            = kind == deviceLibrary ? QList<QByteArray> { rpst } : QList<QByteArray> {};
        QCOMPARE(printer.commands(), greeting(kind) + asked + goodbye(kind));
        QCOMPARE(printer.statusRequests(), kind == deviceLibrary ? 1 : 2);
    }

    void lateAnswerFailsInAboutTheLimit_data() { addLayerRows(); }
    void lateAnswerFailsInAboutTheLimit()
    {
        // The limit set on the layer holds for the next exchange: in the
        // library's read, or in the service's, which gets it in the message.
        QFETCH(int, kind);
        std::unique_ptr<IMCommLayer> layer = openLayer(kind);
        QVERIFY(layer);
        QVERIFY(printer.set(QStringLiteral("delay.rfv"), QStringLiteral("3000")));
        layer->SetTimeout(300);
        QVERIFY(layer->Write(rfv.constData(), rfv.size()));
        char reply[512] = {};
        std::int32_t received = 0;
        QElapsedTimer timer;
        timer.start();
        QVERIFY(!layer->Read(reply, sizeof reply, &received));
        const qint64 elapsed = timer.elapsed();
        QVERIFY2(elapsed >= 250 && elapsed < 1500, qPrintable(QString::number(elapsed)));
        QCOMPARE(QByteArray(reply), QByteArray());
        QCOMPARE(received, 0);
    }

    void nullArguments_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("operation");
        QTest::addColumn<bool>("result");
        for (int kind : layerKinds) {
            QTest::addRow("%s: write without bytes", layerName(kind)) << kind << "write" << false;
            QTest::addRow("%s: read without a received length", layerName(kind))
                << kind << "read, no length" << false;
            QTest::addRow("%s: read without a buffer", layerName(kind)) << kind << "read, no buffer" << false;
            // The device-library layer reads the status and keeps it; the pipe
            // layer has nowhere to put it and fails.
            QTest::addRow("%s: status without a record", layerName(kind))
                << kind << "status" << (kind == deviceLibrary);
            QTest::addRow("%s: extended status without a record", layerName(kind))
                << kind << "extended status" << (kind == deviceLibrary);
        }
    }
    void nullArguments()
    {
        QFETCH(int, kind);
        QFETCH(QString, operation);
        QFETCH(bool, result);
        std::unique_ptr<IMCommLayer> layer = openLayer(kind);
        QVERIFY(layer);
        // A reply waits, so that a read fails for its argument, not for want of a reply.
        if (operation.startsWith(QLatin1String("read")))
            QVERIFY(layer->Write(rfv.constData(), rfv.size()));
        char buffer[512] = {};
        std::int32_t received = 0;
        bool done = false;
        if (operation == QLatin1String("write"))
            done = layer->Write(nullptr, 5);
        else if (operation == QLatin1String("read, no length"))
            done = layer->Read(buffer, sizeof buffer, nullptr);
        else if (operation == QLatin1String("read, no buffer"))
            done = layer->Read(nullptr, sizeof buffer, &received);
        else if (operation == QLatin1String("status"))
            done = layer->ReadStatus(nullptr);
        else
            done = layer->ReadStatusRpst(nullptr);
        QCOMPARE(done, result);
        // A null argument closes nothing.
        QVERIFY(layer->Close());
    }
};

QTEST_GUILESS_MAIN(TestCommLayers)
#include "tst_commlayers.moc"
