// SPDX-License-Identifier: MIT
// A wizard that ends in any way leaves no printer held, and two wizards never
// share one: wizards run as processes of their own (the real executable, or the
// test program with the same start-up sequence and shortened waits), killed or
// signalled on each page, against the virtual printer, a private cupsd and the
// management tool stand-in.
#include "PrinterSim.h"
#include "PrivateCups.h"
#include "QueueHold.h"
#include "WizardDataSet.h"
#include "WizardProcess.h"

#include "../system/ProcessProbe.h"

#include "system/Holder.h"
#include "system/Spooler.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>

using namespace wizard;
using namespace wizard::test;

namespace {

constexpr int targetVersion = 2300;
const char holdMessage[] = "The setup wizard holds the printer";

using Program = WizardProcess::Program;

QString recordOf(const QString& queue)
{
    const std::wstring name = queue.toStdWString();
    sys::PrinterHandle printer = sys::Spooler::openPrinter(name.c_str(), sys::PrinterAccess::Use);
    if (!printer)
        return {};
    sys::PrinterInfo2 info;
    const bool read = sys::Spooler::getPrinter2(printer, info);
    sys::Spooler::closePrinter(printer);
    return read ? QString::fromStdString(info.holdRecord) : QString();
}

int toolCount()
{
    return static_cast<int>(probe::ownProcesses(QStringLiteral("Ruvelk.exe")).size());
}

// The tools of this test that run now and did not run at `before`: the tools the
// wizard started. (Stopping the tool hits the first of any test on the machine,
// so the tools that are gone do not tell whose was stopped.)
QList<qint64> toolsSince(const QList<qint64>& before)
{
    QList<qint64> started;
    for (qint64 pid : probe::ownProcesses(QStringLiteral("Ruvelk.exe")))
        if (!before.contains(pid))
            started << pid;
    return started;
}

QList<qint64> tools()
{
    return probe::ownProcesses(QStringLiteral("Ruvelk.exe"));
}

bool startTool()
{
    return QProcess::startDetached(QStringLiteral(KAVNI_BIN_DIR "/x64/Ruvelk.exe"), {})
        && probe::waitFor([] { return toolCount() == 1; });
}

// The Df command of the printer's log: "" when none came.
QString downloadLine(const QStringList& log)
{
    for (const QString& line : log)
        if (line.contains(QLatin1String(" cmd \\eDf;")))
            return line;
    return {};
}

} // namespace

class tst_Hold : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void killedThenStartedAgain_data();
    void killedThenStartedAgain();
    void endedBySignal_data();
    void endedBySignal();
    void twoWizardsOnOnePrinter_data();
    void twoWizardsOnOnePrinter();
    void holdLeftByAnother_data();
    void holdLeftByAnother();
    void realExecutableClicked_data();
    void realExecutableClicked();

private:
    // A printer with its queue, and a data set aimed at it.
    bool setUpPrinter(const PrinterSim::Options& options, const QByteArray& image = {});
    QStringList heldQueues();

    std::unique_ptr<PrivateCups> cups;
    std::unique_ptr<PrinterSim> printer;
    std::unique_ptr<WizardDataSet> data;
    QTemporaryDir scratch;
    QString queue;
};

void tst_Hold::initTestCase()
{
    probe::setMarker();
    cups = std::make_unique<PrivateCups>(PrivateCups::Mode::Own);
    QVERIFY2(cups->isRunning(), qPrintable(cups->lastError()));
    cups->useForThisProcess();
}

void tst_Hold::init()
{
    probe::killAll(QStringLiteral("Ruvelk.exe"));
    QVERIFY(probe::waitFor([] { return toolCount() == 0; }));
}

QStringList tst_Hold::heldQueues()
{
    QStringList held;
    std::vector<sys::PrinterInfo2> printers;
    if (!sys::Spooler::enumLocalPrinters(printers))
        return { QStringLiteral("(the queues cannot be listed)") };
    for (const sys::PrinterInfo2& info : printers)
        if (!(info.attributes & sys::printerAttributeEnableBidi))
            held << QString::fromStdWString(info.printerName);
    return held;
}

void tst_Hold::cleanup()
{
    // Nothing is left held, whatever the test did.
    const QStringList held = heldQueues();
    for (const QString& name : held)
        cups->resumeAsAdministrator(name);
    if (!queue.isEmpty())
        cups->deleteQueue(queue);
    queue.clear();
    printer.reset();
    data.reset();
    probe::killAll(QStringLiteral("Ruvelk.exe"));
    QVERIFY2(held.isEmpty(), qPrintable(QStringLiteral("still held: ") + held.join(QLatin1Char(' '))));
}

bool tst_Hold::setUpPrinter(const PrinterSim::Options& options, const QByteArray& image)
{
    static int count = 0;
    queue = QStringLiteral("Hold%1").arg(++count);
    printer = std::make_unique<PrinterSim>(options);
    if (!printer->start() || !printer->registerQueue(*cups, queue, QStringLiteral("Talvor K1")))
        return false;
    data = std::make_unique<WizardDataSet>();
    QString firmware = QStringLiteral(KAVNI_SOURCE_DIR "/data/firmware/F2300.tfw");
    if (!image.isEmpty()) {
        firmware = scratch.filePath(QStringLiteral("large.tfw"));
        QFile file(firmware);
        if (!file.open(QIODevice::WriteOnly) || file.write(image) != image.size())
            return false;
    }
    data->setParameter(QStringLiteral("Firmware_Name"), firmware);
    data->setParameter(QStringLiteral("Firmware_Value"), QString::number(targetVersion));
    return data->write();
}

void tst_Hold::killedThenStartedAgain_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("page"); // the line once the wizard is there
    QTest::addColumn<int>("divisor");
    QTest::addColumn<bool>("preset"); // the second start: preset printer, or the selection page

    QTest::newRow("page 0, in the pause after the take-over")
        << QStringList { "pick=", "next@0" } << QString() << 1 << false;
    QTest::newRow("page 1") << QStringList { "pick=", "next@0" } << "page 1" << 100 << true;
    QTest::newRow("page 2") << QStringList { "pick=", "next@0", "next@1" } << "page 2" << 100 << false;
    QTest::newRow("page 3") << QStringList { "pick=", "next@0", "next@1", "next@2" } << "page 3" << 100
                            << true;
}

void tst_Hold::killedThenStartedAgain()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, page);
    QFETCH(int, divisor);
    QFETCH(bool, preset);
    QVERIFY(setUpPrinter({ "F2200", 200, 0, {} }));
    steps.replaceInStrings(QStringLiteral("pick="), QStringLiteral("pick=") + queue);
    QVERIFY(startTool());

    WizardProcess first(*data, cups->server());
    QVERIFY(first.start(Program::shortWaits, {}, steps, divisor));
    if (page.isEmpty())
        QTRY_VERIFY_WITH_TIMEOUT(isHeld(queue), 20000);
    else
        QVERIFY2(first.waitForOutput(page, 30000), qPrintable(first.output().join(" | ")));
    QVERIFY(isHeld(queue));
    const QString record = recordOf(queue);
    QCOMPARE(record,
        QStringLiteral("host=%1 boot=%2 pid=%3 start=%4")
            .arg(QString::fromStdString(sys::thisHolder().host),
                QString::fromStdString(sys::thisHolder().boot))
            .arg(first.pid())
            .arg(*sys::processStartTime(static_cast<std::uint64_t>(first.pid()))));
    QVERIFY(first.signal(SIGKILL));
    first.waitForExit(5000);
    QVERIFY(isHeld(queue));
    const QList<qint64> before = tools();

    // The real wizard started again finds the hold of a wizard that is gone.
    WizardProcess second(*data, cups->server());
    QVERIFY(second.start(
        Program::real, preset ? QStringList { QStringLiteral("prnname=") + queue } : QStringList {}));
    QTRY_VERIFY_WITH_TIMEOUT(!isHeld(queue), 20000);
    QVERIFY(probe::waitFor([&before] { return toolsSince(before).size() == 1; }));
    const QString line
        = QStringLiteral("[INFO   ] [PrinterHold] [releaseStale] [%1] released, its holder is gone (%2) "
                         "{wizard::PrinterHold::releaseStale}")
              .arg(queue, record);
    QTRY_VERIFY_WITH_TIMEOUT(second.trace().contains(line), 5000);
    // A printing queue: a job sent now is printed.
    QString state;
    QCOMPARE(cups->runTool(QStringLiteral("lpstat"), { QStringLiteral("-p"), queue }, &state), 0);
    QVERIFY2(state.contains(QLatin1String("enabled")), qPrintable(state));

    QTRY_VERIFY_WITH_TIMEOUT(second.traceContains(QStringLiteral("NEW Page4")), 20000);
    QVERIFY(second.signal(SIGTERM));
    QCOMPARE(second.waitForExit(15000), 0);
    QCOMPARE(toolsSince(before).size(), 1);
}

void tst_Hold::endedBySignal_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::addColumn<int>("program");
    QTest::addColumn<QByteArray>("version");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("page"); // progress line to wait for, or a condition below
    QTest::addColumn<QString>("moment"); // "", "held", "frame", "restart", "adjustment"
    QTest::addColumn<int>("divisor");
    QTest::addColumn<bool>("preset");

    const int real = int(Program::real);
    const int quick = int(Program::shortWaits);
    const QStringList toPage1 { "pick=", "next@0" };
    QTest::newRow("SIGTERM, real executable, selection page")
        << SIGTERM << real << QByteArray("F2200") << QStringList() << QString() << QString() << 1 << false;
    QTest::newRow("SIGINT, real executable, four pages, firmware page")
        << SIGINT << real << QByteArray("F2200") << QStringList() << QString() << QString() << 1 << true;
    QTest::newRow("SIGTERM, page 0 before Next")
        << SIGTERM << quick << QByteArray("F2200") << QStringList() << "shown" << QString() << 100 << false;
    QTest::newRow("SIGINT, page 0 in the 3-second pause after the take-over")
        << SIGINT << quick << QByteArray("F2200") << toPage1 << QString() << "held" << 1 << false;
    QTest::newRow("SIGTERM, page 1") << SIGTERM << quick << QByteArray("F2200") << toPage1 << "page 1"
                                     << QString() << 100 << false;
    QTest::newRow("SIGINT, page 1 in the middle of a large frame")
        << SIGINT << quick << QByteArray("F2200") << (toPage1 + QStringList { "next@1" }) << "clicked next@1"
        << "frame" << 100 << false;
    QTest::newRow("SIGTERM, page 1 in the middle of the 30-second wait")
        << SIGTERM << quick << QByteArray("F2200") << (toPage1 + QStringList { "next@1" }) << "clicked next@1"
        << "restart" << 1 << false;
    QTest::newRow("SIGINT, four pages, page 1 in the middle of the 30-second wait")
        << SIGINT << quick << QByteArray("F2200") << QStringList { "next@0" } << "clicked next@0"
        << "restart" << 1 << true;
    QTest::newRow("SIGHUP, page 2") << SIGHUP << quick << QByteArray("F2200")
                                    << (toPage1 + QStringList { "next@1" }) << "page 2" << QString() << 100
                                    << false;
    QTest::newRow("SIGINT, page 2") << SIGINT << quick << QByteArray("F2200")
                                    << (toPage1 + QStringList { "next@1" }) << "page 2" << QString() << 100
                                    << false;
    QTest::newRow("SIGTERM, page 3") << SIGTERM << quick << QByteArray("F2300") << toPage1 << "page 3"
                                     << QString() << 100 << false;
    QTest::newRow("SIGINT, page 3 during the adjustment")
        << SIGINT << quick << QByteArray("F2300") << (toPage1 + QStringList { "next@3" }) << "clicked next@3"
        << "adjustment" << 100 << false;
    QTest::newRow("SIGTERM, page 4") << SIGTERM << quick << QByteArray("F2300")
                                     << (toPage1 + QStringList { "next@3" }) << "page 4" << QString() << 100
                                     << false;
    QTest::newRow("SIGINT, page 4") << SIGINT << quick << QByteArray("F2300")
                                    << (toPage1 + QStringList { "next@3" }) << "page 4" << QString() << 100
                                    << false;
}

void tst_Hold::endedBySignal()
{
    QFETCH(int, signalNumber);
    QFETCH(int, program);
    QFETCH(QByteArray, version);
    QFETCH(QStringList, steps);
    QFETCH(QString, page);
    QFETCH(QString, moment);
    QFETCH(int, divisor);
    QFETCH(bool, preset);

    PrinterSim::Options options { version, 200, moment == QLatin1String("adjustment") ? 1500 : 0, {} };
    QByteArray image;
    if (moment == QLatin1String("frame")) {
        // More than the socket buffers hold, taken in at 4 MB a second: the
        // wizard's write of the frame lasts about three seconds.
        image = PrinterSim::firmwareImage("F2300", 12 * 1024 * 1024);
        options.settings << QStringLiteral("intake %1").arg(4 * 1024 * 1024);
    }
    QVERIFY(setUpPrinter(options, image));
    steps.replaceInStrings(QStringLiteral("pick="), QStringLiteral("pick=") + queue);
    QVERIFY(startTool());

    WizardProcess wizard(*data, cups->server());
    QVERIFY(wizard.start(Program(program),
        preset ? QStringList { QStringLiteral("prnname=") + queue } : QStringList {}, steps, divisor));
    if (program == int(Program::real))
        QTRY_VERIFY_WITH_TIMEOUT(wizard.traceContains(QStringLiteral("NEW Page4")), 20000);
    if (!page.isEmpty())
        QVERIFY2(wizard.waitForOutput(page, 30000), qPrintable(wizard.output().join(" | ")));
    if (moment == QLatin1String("held")) {
        QTRY_VERIFY_WITH_TIMEOUT(isHeld(queue), 20000);
    } else if (moment == QLatin1String("frame")) {
        QVERIFY(printer->waitForLog(QStringLiteral("connect"), 10000));
        QTest::qWait(800);
        QVERIFY2(downloadLine(printer->logLines()).isEmpty(), "the frame went through before the signal");
    } else if (moment == QLatin1String("restart")) {
        QVERIFY(printer->waitForLog(QStringLiteral("restart"), 30000));
        QTest::qWait(500);
    } else if (moment == QLatin1String("adjustment")) {
        QVERIFY(printer->waitForLog(QStringLiteral("cmd \\eSa;c\\r"), 10000));
    }
    const bool heldBefore = isHeld(queue);
    // A wizard that does not hold the printer has left the test's tool running,
    // or (page 4) started it again; that start is not the end's.
    if (!heldBefore)
        QVERIFY(probe::waitFor([] { return toolCount() >= 1; }));
    const QList<qint64> before = tools();
    QElapsedTimer ending;
    ending.start();
    QVERIFY(wizard.signal(signalNumber));
    QCOMPARE(wizard.waitForExit(30000), 0);
    // Not one of the fixed waits is sat out.
    QVERIFY2(ending.elapsed() < 10000, qPrintable(QString::number(ending.elapsed())));
    QVERIFY(wizard.traceContains(QStringLiteral("[MainWizardFrameUI] [endFromOutside]")));

    QVERIFY(!isHeld(queue));
    // Handed back once when the wizard held the printer (or its page did it
    // itself, the adjustment's success), not at all otherwise.
    const int handBacks = heldBefore ? 1 : 0;
    QVERIFY(probe::waitFor([&] { return toolsSince(before).size() >= handBacks; }));
    QTest::qWait(300);
    QCOMPARE(toolsSince(before).size(), handBacks);

    const QStringList log = printer->logLines();
    if (moment == QLatin1String("frame") || moment == QLatin1String("restart")) {
        // The frame went out whole and was accepted; the version was not asked after it.
        const QString frame = downloadLine(log);
        QVERIFY2(!frame.isEmpty(), qPrintable(log.join(QLatin1Char('\n'))));
        const int after = log.indexOf(frame);
        QVERIFY2(log.value(after + 1).endsWith(QLatin1String(" reply OK")),
            qPrintable(log.join(QLatin1Char('\n'))));
        QVERIFY(!log.mid(after).join(QLatin1Char('\n')).contains(QLatin1String("cmd \\eRfv")));
    }
    if (moment == QLatin1String("adjustment")) {
        // The adjustment ran to its reply, and the page handed the printer back itself.
        const int at = log.indexOf(QRegularExpression(QStringLiteral(".* cmd \\\\eSa;c\\\\r$")));
        QVERIFY(at >= 0);
        QVERIFY2(
            log.value(at + 1).endsWith(QLatin1String(" reply OK")), qPrintable(log.join(QLatin1Char('\n'))));
    }
}

void tst_Hold::twoWizardsOnOnePrinter_data()
{
    QTest::addColumn<bool>("preset");
    QTest::newRow("second on the selection page") << false;
    QTest::newRow("second with the printer preset, four pages") << true;
}

void tst_Hold::twoWizardsOnOnePrinter()
{
    QFETCH(bool, preset);
    QVERIFY(setUpPrinter({ "F2200", 200, 0, {} }));
    QVERIFY(startTool());
    const QString go = scratch.filePath(QStringLiteral("go-%1").arg(queue));

    WizardProcess first(*data, cups->server());
    QVERIFY(first.start(Program::shortWaits, {},
        { QStringLiteral("pick=") + queue, QStringLiteral("next@0"), QStringLiteral("wait=") + go,
            QStringLiteral("next@1"), QStringLiteral("next@2"), QStringLiteral("next@3") }));
    QVERIFY2(first.waitForOutput(QStringLiteral("page 1"), 30000), qPrintable(first.output().join(" | ")));
    const QString record = recordOf(queue);
    QVERIFY(!record.isEmpty());
    QVERIFY(printer->waitUntilIdle());
    QVERIFY(printer->clearLog());
    const QList<qint64> before = tools();

    WizardProcess second(*data, cups->server());
    const QStringList steps = preset
        ? QStringList { QStringLiteral("next@0") }
        : QStringList { QStringLiteral("pick=") + queue, QStringLiteral("next@0") };
    QVERIFY(second.start(Program::shortWaits,
        preset ? QStringList { QStringLiteral("prnname=") + queue } : QStringList {}, steps));
    QVERIFY2(second.waitForOutput(QStringLiteral("event ERROR 6"), 30000),
        qPrintable(second.output().join(" | ") + "\n" + second.trace().filter("Page").join("\n")));
    // Every error ends the wizard.
    QCOMPARE(second.waitForExit(15000), 0);
    // The other wizard's printer is left as it was: held by it, not asked, the tool still stopped.
    QCOMPARE(recordOf(queue), record);
    QCOMPARE(printer->logLines(), QStringList());
    QCOMPARE(tools(), before);

    QFile(go).open(QIODevice::WriteOnly);
    QVERIFY2(first.waitForOutput(QStringLiteral("page 4"), 30000), qPrintable(first.output().join(" | ")));
    QVERIFY(!isHeld(queue));
    QVERIFY(probe::waitFor([&before] { return toolsSince(before).size() == 1; }));
    QVERIFY(first.signal(SIGTERM));
    QCOMPARE(first.waitForExit(15000), 0);
    QTest::qWait(300);
    // Released once, at the end of the first wizard's run.
    QCOMPARE(toolsSince(before).size(), 1);
}

void tst_Hold::holdLeftByAnother_data()
{
    QTest::addColumn<QString>("holder"); // which record the hold message carries
    QTest::addColumn<bool>("released");
    QTest::newRow("its pid now another program's") << "reused pid" << true;
    QTest::newRow("its process ended") << "ended" << true;
    QTest::newRow("a boot before this one") << "other boot" << true;
    QTest::newRow("a wizard that runs") << "live" << false;
    QTest::newRow("a wizard on another machine") << "other host" << false;
    QTest::newRow("a record that cannot be read") << "unreadable" << false;
}

void tst_Hold::holdLeftByAnother()
{
    QFETCH(QString, holder);
    QFETCH(bool, released);
    QVERIFY(setUpPrinter({ "F2200", 200, 0, {} }));

    // A program of another kind, which runs under the pid the record names.
    QProcess other;
    other.start(QStringLiteral("sleep"), { QStringLiteral("60") });
    QVERIFY(other.waitForStarted());
    const auto pid = static_cast<std::uint64_t>(other.processId());
    sys::Holder named = sys::thisHolder();
    named.pid = pid;
    named.start = *sys::processStartTime(pid);
    if (holder == QLatin1String("reused pid"))
        named.start += 1;
    if (holder == QLatin1String("other boot"))
        named.boot = "00000000-0000-0000-0000-000000000000";
    if (holder == QLatin1String("other host"))
        named.host = "elsewhere.example";
    if (holder == QLatin1String("ended")) {
        QProcess ended;
        ended.start(QStringLiteral("true"), QStringList());
        QVERIFY(ended.waitForStarted());
        named.pid = static_cast<std::uint64_t>(ended.processId());
        QVERIFY(ended.waitForFinished());
    }
    QString record = QString::fromStdString(sys::holderRecord(named));
    if (holder == QLatin1String("unreadable"))
        record = QStringLiteral("pid=12");
    QVERIFY(
        cups->pauseAsAdministrator(queue, QStringLiteral("%1 (%2)").arg(QLatin1String(holdMessage), record)));
    QCOMPARE(recordOf(queue), record);

    const QList<qint64> before = tools();
    WizardProcess wizard(*data, cups->server());
    QVERIFY(wizard.start(Program::real, { QStringLiteral("prnname=") + queue }));
    QTRY_VERIFY_WITH_TIMEOUT(wizard.traceContains(QStringLiteral("NEW Page4")), 20000);
    if (released) {
        QVERIFY(!isHeld(queue));
        QVERIFY(probe::waitFor([&before] { return toolsSince(before).size() == 1; }));
        QVERIFY(wizard.traceContains(
            QStringLiteral("[releaseStale] [%1] released, its holder is gone (%2)").arg(queue, record)));
    } else {
        QCOMPARE(recordOf(queue), record);
        QCOMPARE(tools(), before);
        QVERIFY(!wizard.traceContains(QStringLiteral("[releaseStale]")));
    }
    QVERIFY(wizard.signal(SIGTERM));
    QCOMPARE(wizard.waitForExit(15000), 0);
    // Ending does not hand back a printer this wizard never held.
    QCOMPARE(isHeld(queue), !released);
    if (!released)
        QCOMPARE(recordOf(queue), record);
    other.kill();
    other.waitForFinished();
    if (!released)
        QVERIFY(cups->resumeAsAdministrator(queue));
}

void tst_Hold::realExecutableClicked_data()
{
    QTest::addColumn<bool>("secondWizard");
    QTest::newRow("SIGTERM in the middle of the 30-second wait, four pages") << false;
    QTest::newRow("the second of two wizards on one printer gets event 6, four pages") << true;
}

void tst_Hold::realExecutableClicked()
{
    QFETCH(bool, secondWizard);
    XServer x;
    if (!x.isRunning())
        QSKIP("no Xvfb");
    QVERIFY(setUpPrinter({ "F2200", 200, 0, {} }));
    QVERIFY(startTool());
    const QStringList preset { QStringLiteral("prnname=") + queue };
    const QString go = scratch.filePath(QStringLiteral("go-%1").arg(queue));

    WizardProcess first(*data, cups->server());
    QString record;
    if (secondWizard) {
        QVERIFY(first.start(Program::shortWaits, {},
            { QStringLiteral("pick=") + queue, QStringLiteral("next@0"), QStringLiteral("wait=") + go,
                QStringLiteral("next@1"), QStringLiteral("next@2"), QStringLiteral("next@3") }));
        QVERIFY2(
            first.waitForOutput(QStringLiteral("page 1"), 30000), qPrintable(first.output().join(" | ")));
        record = recordOf(queue);
        QVERIFY(!record.isEmpty());
    }

    // Where Next is in this layout, as the test program (same sequence, same fonts) shows it.
    WizardProcess probe(*data, cups->server());
    probe.setDisplay(x.display);
    QVERIFY(probe.start(Program::shortWaits, preset));
    QVERIFY(probe.waitForOutput(QStringLiteral("page 0"), 30000));
    QTRY_VERIFY_WITH_TIMEOUT(!probe.output().filter(QStringLiteral("next at ")).isEmpty(), 5000);
    const QStringList at = probe.output().filter(QStringLiteral("next at ")).first().split(QLatin1Char(' '));
    QVERIFY(probe.signal(SIGTERM));
    QCOMPARE(probe.waitForExit(15000), 0);
    QVERIFY(printer->waitUntilIdle());
    QVERIFY(printer->clearLog());
    const QList<qint64> before = tools();

    WizardProcess wizard(*data, cups->server());
    wizard.setDisplay(x.display);
    QVERIFY(wizard.start(Program::real, preset));
    QTRY_VERIFY_WITH_TIMEOUT(wizard.traceContains(QStringLiteral("NEW Page4")), 20000);
    QTest::qWait(500);
    QVERIFY(wizard.click(at.value(2).toInt(), at.value(3).toInt()));
    QTRY_VERIFY_WITH_TIMEOUT(wizard.traceContains(QStringLiteral("[Page1K] [applyAction]")), 10000);

    if (secondWizard) {
        QTRY_VERIFY_WITH_TIMEOUT(
            wizard.traceContains(QStringLiteral("[Page1K] [applyAction] [Held by another wizard]")), 10000);
        // The event dialog is up; the end closes it unanswered.
        QTest::qWait(500);
        QVERIFY(wizard.signal(SIGTERM));
        QCOMPARE(wizard.waitForExit(15000), 0);
        QCOMPARE(recordOf(queue), record);
        QCOMPARE(printer->logLines(), QStringList());
        QCOMPARE(tools(), before);
        QFile(go).open(QIODevice::WriteOnly);
        QVERIFY2(
            first.waitForOutput(QStringLiteral("page 4"), 30000), qPrintable(first.output().join(" | ")));
        QVERIFY(!isHeld(queue));
        QVERIFY(probe::waitFor([&before] { return toolsSince(before).size() == 1; }));
        QVERIFY(first.signal(SIGTERM));
        QCOMPARE(first.waitForExit(15000), 0);
        QTest::qWait(300);
        QCOMPARE(toolsSince(before).size(), 1);
        return;
    }

    // The real 30-second wait after the download, cut short by the signal.
    QVERIFY(printer->waitForLog(QStringLiteral("restart"), 30000));
    QTest::qWait(1000);
    QElapsedTimer ending;
    ending.start();
    QVERIFY(wizard.signal(SIGTERM));
    QCOMPARE(wizard.waitForExit(20000), 0);
    QVERIFY2(ending.elapsed() < 10000, qPrintable(QString::number(ending.elapsed())));
    QVERIFY(wizard.traceContains(QStringLiteral("[MainWizardFrameUI] [endFromOutside]")));
    const QStringList log = printer->logLines();
    const QString frame = downloadLine(log);
    QVERIFY2(!frame.isEmpty(), qPrintable(log.join(QLatin1Char('\n'))));
    QVERIFY(log.value(log.indexOf(frame) + 1).endsWith(QLatin1String(" reply OK")));
    QVERIFY(!log.mid(log.indexOf(frame)).join(QLatin1Char('\n')).contains(QLatin1String("cmd \\eRfv")));
    QVERIFY(!isHeld(queue));
    QCOMPARE(tools(), before);
}

QTEST_GUILESS_MAIN(tst_Hold)
#include "tst_hold.moc"
