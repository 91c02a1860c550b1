// SPDX-License-Identifier: MIT
// What the user sees when something goes wrong during a run through the real
// window: a fault of the printer, of the spooler, of the firmware file or of
// the management tool, or the user leaving half-way. Every row ends with the
// event the wizard showed and the printer handed back (the queue no longer
// held, the tool running), or, where handing back cannot work, with the
// hand-backs it tried.
#include "WizardRun.h"

#include "../../devices/durvo/DurvoPacket.h"
#include "GuiDriver.h"

#include "system/ProcessControl.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>

#include <unistd.h>

using namespace wizard;
using namespace wizard::test;

namespace {

// The probe that stops a process by name with the wizard's own call, in a process of its own.
const QString processProbe = QStringLiteral(KAVNI_TESTS_BIN_DIR "/process_probe");

// As root the wizard may stop every process, so the refusal of a tool it may not
// stop cannot happen in this process. This stand-in for stopping processes runs
// the wizard's own search and stop (process_probe) in a child that lacks the right
// to stop other users' processes; the tool then runs as the user nobody, and the
// refusal the child gets is a real one.
bool stopWithoutTheRightToKill(const wchar_t* name)
{
    QProcess stopper;
    stopper.start(QStringLiteral("setpriv"),
        { QStringLiteral("--inh-caps=-kill"), QStringLiteral("--bounding-set=-kill"), processProbe,
            QStringLiteral("kill"), QString::fromWCharArray(name) });
    return stopper.waitForFinished(10000) && stopper.exitStatus() == QProcess::NormalExit
        && stopper.exitCode() == 0;
}

bool startToolAsNobody()
{
    return QProcess::startDetached(QStringLiteral("setpriv"),
               { QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                   QStringLiteral("--clear-groups"), QStringLiteral(KAVNI_BIN_DIR "/x64/Ruvelk.exe") })
        && probe::waitFor([] { return WizardRun::toolRunning(); });
}

// No action running and no window over the wizard's, for a short while: the
// event dialog of an action that just ended comes a moment after the action.
bool settled(WizardRun& run, int timeoutMs = 30000)
{
    QElapsedTimer timer;
    timer.start();
    int quiet = 0;
    while (timer.elapsed() < timeoutMs) {
        QTest::qWait(20);
        QWidget* modal = QApplication::activeModalWidget();
        const bool idle = (!modal || modal == run.fixture.window.get())
            && QThreadPool::globalInstance()->activeThreadCount() == 0;
        quiet = idle ? quiet + 1 : 0;
        if (quiet >= 5)
            return true;
    }
    return false;
}

QString ownGroup()
{
    QProcess id;
    id.start(QStringLiteral("id"), { QStringLiteral("-gn") });
    id.waitForFinished(5000);
    return QString::fromLocal8Bit(id.readAllStandardOutput()).trimmed();
}

} // namespace

// Prints a job on the run's queue and waits until the printer has received it. A
// job is what the printer takes as data: one packet, here one text command.
bool sendJob(WizardRun& run, const QByteArray& text)
{
    QByteArray job(durvo::PacketHeaderSize, '\0');
    durvo::encodePacketHeader(reinterpret_cast<std::uint8_t*>(job.data()), durvo::PacketData,
        static_cast<std::uint32_t>(text.size()));
    job += text;
    QTemporaryDir folder;
    QFile file(folder.filePath(QStringLiteral("job.bin")));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(job);
    file.close();
    return run.cups.runTool(QStringLiteral("lp"),
               { QStringLiteral("-d"), run.queue, QStringLiteral("-o"), QStringLiteral("raw"),
                   file.fileName() })
        == 0
        && run.printer.waitForLog(QStringLiteral("cmd \\eJOB"), 15000);
}

class tst_Faults : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();

    void faultMatrix_data();
    void faultMatrix();
    void slowRows_data();
    void slowRows();
    void frameAsReceived_data();
    void frameAsReceived();
    void jobSentBeforeTheTakeOverArrivesOnce();

private:
    void matrixColumns();
    void runRow();
    void step(WizardRun& run, const QString& line);

    std::unique_ptr<PrivateCups> cups;
    std::unique_ptr<SleepRecorder> sleeps;
    QTemporaryDir files;
    QString group;
    // Set by a row that changed the server, restored after it.
    bool cupsStopped = false;
    bool cupsRestricted = false;
    // The queue the user chose last, and the second printer of a row that has one.
    QString current;
    std::unique_ptr<PrinterSim> second;
    QString secondQueue;
};

void tst_Faults::initTestCase()
{
    QApplication::setQuitOnLastWindowClosed(false);
    probe::setMarker();
    qputenv("KAVNI_RUVELK_MAX_SECONDS", "300");
    QVERIFY(files.isValid());
    group = ownGroup();
    QVERIFY(!group.isEmpty());
    // A server of our own: rows stop it and change who may administer it.
    cups = std::make_unique<PrivateCups>(PrivateCups::Mode::Own);
    QVERIFY2(cups->isRunning(), qPrintable(cups->lastError()));
    cups->useForThisProcess();
    sleeps = std::make_unique<SleepRecorder>();

    // Firmware files: empty, a folder, one whose size promises more than a read
    // gives (a kernel attribute file), one carrying another version.
    QFile empty(files.filePath(QStringLiteral("empty.tfw")));
    QVERIFY(empty.open(QIODevice::WriteOnly));
    empty.close();
    QVERIFY(QDir(files.path()).mkdir(QStringLiteral("folder.tfw")));
    QFile other(files.filePath(QStringLiteral("F2299.tfw")));
    QVERIFY(other.open(QIODevice::WriteOnly));
    other.write(PrinterSim::firmwareImage("F2299", 4096));
    other.close();
    QFile tiny(files.filePath(QStringLiteral("tiny.tfw")));
    QVERIFY(tiny.open(QIODevice::WriteOnly));
    tiny.write(QByteArray("\x01\x02\x04", 3));
    tiny.close();
}

void tst_Faults::cleanup()
{
    sys::setKillProcessFunction(nullptr);
    QVERIFY(QThreadPool::globalInstance()->waitForDone(90000));
    QTRY_VERIFY_WITH_TIMEOUT(leftoverTopLevels().isEmpty(), 5000);
    if (cupsStopped)
        QVERIFY2(cups->relaunch(), qPrintable(cups->lastError()));
    if (cupsRestricted)
        QVERIFY2(cups->setAdminGroup(group), qPrintable(cups->lastError()));
    cupsStopped = cupsRestricted = false;
    second.reset();
    if (!secondQueue.isEmpty())
        cups->deleteQueue(secondQueue);
    secondQueue.clear();
    probe::killAll(QStringLiteral("Ruvelk.exe"));
    SleepRecorder::clear();
}

void tst_Faults::matrixColumns()
{
    // The printer's settings at the start ("KEY VALUE" of its control channel).
    QTest::addColumn<QStringList>("printer");
    // The firmware file: empty for the shipped target image, else a file of this test
    // or a path.
    QTest::addColumn<QString>("firmware");
    QTest::addColumn<bool>("toolAtStart");
    // What the user and the test do, ";" between steps (see step()).
    QTest::addColumn<QString>("steps");
    // The events the wizard showed, in order.
    QTest::addColumn<QStringList>("events");
    // The page current at the end; -1: the window has closed.
    QTest::addColumn<int>("endPage");
    // The chosen queue still held at the end (a declined warning; a hand-back that
    // could not work); when the window is still open it is closed then, which must
    // hand the printer back.
    QTest::addColumn<bool>("held");
    QTest::addColumn<bool>("toolAtEnd");
    // How often the wizard tried to hand the printer back; -1: not counted.
    QTest::addColumn<int>("handBacks");
    // A fragment the printer's log must show: the fault was really met.
    QTest::addColumn<QString>("logHas");
    // The row's bound in seconds.
    QTest::addColumn<int>("seconds");
}

void tst_Faults::faultMatrix_data()
{
    matrixColumns();
    const QStringList below { QStringLiteral("version F2200") };
    const QStringList current { QStringLiteral("version F2300") };
    const QString none;
    auto plus = [](QStringList list, const QString& more) {
        list << more;
        return list;
    };
    const QStringList error5 { QStringLiteral("ERROR 5") };
    const QStringList error6 { QStringLiteral("ERROR 6") };
    const QStringList error7 { QStringLiteral("ERROR 7") };
    const QStringList error8 { QStringLiteral("ERROR 8") };
    const QStringList warning { QStringLiteral("WARNING 9") };
    const QStringList noEvent;

    // Printer selection: the version read, then the take-over.
    QTest::newRow("printer absent from the spooler") << below << none << true << "choose; cups delete; next"
                                                     << error5 << -1 << false << true << 0 << none << 20;
    QTest::newRow("device unreachable") << below << none << true << "choose; sim stop; next" << error5 << -1
                                        << false << true << 0 << none << 20;
    QTest::newRow("handshake refused") << plus(below, "refuse 1") << none << true << "choose; next" << error5
                                       << -1 << false << true << 0 << "reply ERROR BUSY" << 20;
    QTest::newRow("version reply empty") << below << none << true << "reply rfv; choose; next" << error6 << -1
                                         << false << true << 0 << "cmd \\eRfv\\r" << 20;
    QTest::newRow("version reply letters only: 0, updated, still 0")
        << plus(below, "reply.rfv FW") << none << true << "choose; next; page 1; held; next" << error6 << -1
        << false << true << 1 << "c0 up F2300" << 25;
    QTest::newRow("version equal to the target: no update")
        << current << none << true << "choose; next; page 3; held; next" << noEvent << 4 << false << true << 1
        << "cmd \\eSa;c\\r" << 20;
    QTest::newRow("version one below the target: updated")
        << QStringList { "version F2299" } << none << true
        << "choose; next; page 1; held; next; page 2; next; next" << noEvent << 4 << false << true << 1
        << "c0 up F2300" << 25;
    QTest::newRow("version reply after the limit")
        << plus(below, "delay.rfv 5600") << none << true << "choose; next" << error5 << -1 << false << true
        << 0 << none << 25;
    QTest::newRow("queue not administrable") << below << none << true << "cups nogroup; choose; next; free"
                                             << error6 << -1 << false << true << 0 << "reply F2200" << 25;
    QTest::newRow("job still printing past the take-over's wait: no hold")
        << plus(below, "delay.other 30000") << none << true << "choose; job; next; free" << error6 << -1
        << false << true << 1 << "cmd \\eJOB" << 40;
    QTest::newRow("tool not running at the start") << current << none << false << "choose; next; page 3; next"
                                                   << noEvent << 4 << false << true << 1 << none << 20;
    QTest::newRow("tool not stoppable (stand-in for stopping processes)")
        << below << none << false << "tool as nobody; stop without the right; choose; next" << error6 << -1
        << false << true << 1 << none << 25;

    // Firmware update.
    QTest::newRow("firmware file missing")
        << below << files.filePath(QStringLiteral("missing.tfw")) << true << "choose; next; page 1; next"
        << error7 << -1 << false << true << 1 << none << 20;
    QTest::newRow("firmware file empty")
        << below << files.filePath(QStringLiteral("empty.tfw")) << true << "choose; next; next" << error6
        << -1 << false << true << 1 << none << 20;
    QTest::newRow("firmware file a folder: cannot be opened")
        << below << files.filePath(QStringLiteral("folder.tfw")) << true << "choose; next; next" << error7
        << -1 << false << true << 1 << none << 20;
    QTest::newRow("firmware file unreadable: fewer bytes than its size")
        << below << QStringLiteral("/sys/kernel/mm/transparent_hugepage/enabled") << true
        << "choose; next; next" << error6 << -1 << false << true << 1 << none << 20;
    QTest::newRow("connection dropped mid-frame")
        << below << none << true << "choose; next; sim drop-in 2000; next" << error6 << -1 << false << true
        << 1 << "drop 2000" << 20;
    QTest::newRow("bad checksum refused")
        << plus(below, "flip-df 100") << none << true << "choose; next; next" << error6 << -1 << false << true
        << 1 << "reply ERROR CHECKSUM" << 20;
    QTest::newRow("no reply to the frame: the printer drops the connection")
        << plus(below, "cut.df 0") << none << true << "choose; next; next" << error6 << -1 << false << true
        << 1 << "cut 0 of 2 bytes" << 20;
    QTest::newRow("printer not back after the restart")
        << plus(below, "restart-ms 60000") << none << true << "choose; next; next" << error5 << -1 << false
        << true << 1 << "c0 restart" << 20;
    QTest::newRow("wrong version after the update")
        << below << files.filePath(QStringLiteral("F2299.tfw")) << true << "choose; next; next" << error6
        << -1 << false << true << 1 << "c0 up F2299" << 20;

    // Adjustment.
    QTest::newRow("status read failing")
        << plus(current, "cut.rpst 0") << none << true << "choose; next; next" << error6 << -1 << false
        << true << 1 << "cut 0 of" << 20;
    QTest::newRow("status read answered Time out")
        << plus(current, "status-timeout 1") << none << true << "choose; next; next" << error6 << -1 << false
        << true << 1 << none << 20;
    QTest::newRow("cover open: Continue, then closed")
        << plus(current, "cover 1") << none << true << "choose; next; answers 1; close cover first; next"
        << warning << 4 << false << true << 1 << "cmd \\eSa;c\\r" << 20;
    QTest::newRow("cover open: Return") << plus(current, "cover 1") << none << true
                                        << "choose; next; answers 0; next; page 3; held; no adjustment"
                                        << warning << 3 << true << true << 0 << none << 20;
    QTest::newRow("ribbon fault once: Continue")
        << plus(current, "ribbon once") << none << true << "choose; next; answers 1; next" << warning << 4
        << false << true << 1 << "reply ERROR RIBBON" << 20;
    QTest::newRow("ribbon fault always: Continue twice, then Return")
        << plus(current, "ribbon always") << none << true << "choose; next; answers 1 1 0; next; page 3"
        << QStringList { "WARNING 9", "WARNING 9", "WARNING 9" } << 3 << true << true << 0
        << "reply ERROR RIBBON" << 20;
    QTest::newRow("reply OK and a space") << current << none << true << "reply sa OK\\x20; choose; next; next"
                                          << error8 << -1 << false << true << 1 << "reply OK " << 20;
    QTest::newRow("reply ok in lower case")
        << plus(current, "reply.sa ok") << none << true << "choose; next; next" << error8 << -1 << false
        << true << 1 << "reply ok" << 20;
    QTest::newRow("no reply to the adjustment: the printer drops the connection")
        << plus(current, "cut.sa 0") << none << true << "choose; next; next" << error8 << -1 << false << true
        << 1 << "cut 0 of 2 bytes" << 20;

    // Leaving: abort on every page, the window closed on every page.
    QTest::newRow("abort on page 0") << below << none << true << "choose; abort" << noEvent << -1 << false
                                     << true << 1 << none << 20;
    QTest::newRow("abort on page 1") << below << none << true << "choose; next; page 1; abort" << noEvent
                                     << -1 << false << true << 1 << none << 20;
    QTest::newRow("abort on page 2") << below << none << true << "choose; next; next; page 2; abort"
                                     << noEvent << -1 << false << true << 1 << none << 25;
    QTest::newRow("abort on page 3") << current << none << true << "choose; next; page 3; abort" << noEvent
                                     << -1 << false << true << 1 << none << 20;
    QTest::newRow("abort on page 4: not offered, Escape ends")
        << current << none << true << "choose; next; next; page 4; no abort; esc" << noEvent << -1 << false
        << true << 1 << none << 20;
    QTest::newRow("window closed on page 0")
        << below << none << true << "choose; esc" << noEvent << -1 << false << true << 0 << none << 20;
    QTest::newRow("window closed on page 1") << below << none << true << "choose; next; page 1; held; close"
                                             << noEvent << -1 << false << true << 1 << none << 20;
    QTest::newRow("window closed on page 2")
        << below << none << true << "choose; next; next; page 2; held; esc" << noEvent << -1 << false << true
        << 1 << none << 25;
    QTest::newRow("window closed on page 3") << current << none << true << "choose; next; page 3; held; close"
                                             << noEvent << -1 << false << true << 1 << none << 20;
    QTest::newRow("window closed on page 4") << current << none << true << "choose; next; next; page 4; esc"
                                             << noEvent << -1 << false << true << 1 << none << 20;
    QTest::newRow("Previous to the selection, another printer chosen")
        << below << none << true
        << "second printer; choose; next; page 1; held; prev; page 0; free; choose second; next; page 3; "
           "held; "
           "first free; next"
        << noEvent << 4 << false << true << 2 << none << 25;

    // The server changes under the run (last: the server is restored after each).
    QTest::newRow("reply OK, hand-back failing")
        << current << none << true << "choose; next; page 3; cups nogroup; next" << error6 << -1 << true
        << false << 2 << "reply OK" << 25;
    QTest::newRow("spooler stopped mid-run")
        << below << none << true << "choose; next; page 1; cups stop; next" << error6 << -1 << true << false
        << 1 << none << 25;
}

void tst_Faults::faultMatrix()
{
    runRow();
}

void tst_Faults::slowRows_data()
{
    matrixColumns();
    // The printer stays silent for the whole of the wizard's limit (60 s for the
    // frame, 90 s for the adjustment): run only with KAVNI_SLOW_ROWS set. The frame
    // arrives with a byte inverted, so the printer neither takes it nor restarts.
    QTest::newRow("slow: no reply to the frame within 60 s")
        << QStringList { "version F2200", "flip-df 100", "noreply.df 1" } << QString() << true
        << "choose; next; next" << QStringList { "ERROR 6" } << -1 << false << true << 1 << "noreply df"
        << 75;
    QTest::newRow("slow: no reply to the adjustment within 90 s")
        << QStringList { "version F2300", "noreply.sa 1" } << QString() << true << "choose; next; next"
        << QStringList { "ERROR 8" } << -1 << false << true << 1 << "noreply sa" << 105;
}

void tst_Faults::slowRows()
{
    if (qEnvironmentVariableIsEmpty("KAVNI_SLOW_ROWS"))
        QSKIP("slow rows run with KAVNI_SLOW_ROWS=1 (ctest -L slow)");
    runRow();
}

void tst_Faults::runRow()
{
    QFETCH(QStringList, printer);
    QFETCH(QString, firmware);
    QFETCH(bool, toolAtStart);
    QFETCH(QString, steps);
    QFETCH(QStringList, events);
    QFETCH(int, endPage);
    QFETCH(bool, held);
    QFETCH(bool, toolAtEnd);
    QFETCH(int, handBacks);
    QFETCH(QString, logHas);
    QFETCH(int, seconds);

    QElapsedTimer timer;
    timer.start();
    PrinterSim::Options options { "F2200", 200, 0, {} };
    for (const QString& setting : std::as_const(printer)) {
        if (setting.startsWith(QLatin1String("version ")))
            options.version = setting.mid(8).toLatin1();
        else
            options.settings << setting;
    }
    WizardRun run(*cups, options);
    QVERIFY2(run.isValid(), qPrintable(run.error()));
    current = run.queue;
    if (!firmware.isEmpty())
        run.fixture.data.setParameter(QStringLiteral("Firmware_Name"), firmware);

    const QStringList list = steps.split(QLatin1Char(';'));
    // Steps before the window opens.
    int first = 0;
    for (; first < list.size(); ++first) {
        const QString line = list.at(first).trimmed();
        if (line != QLatin1String("second printer") && line != QLatin1String("cups nogroup")
            && line != QLatin1String("tool as nobody") && line != QLatin1String("stop without the right")
            && !line.startsWith(QLatin1String("sim ")) && !line.startsWith(QLatin1String("reply")))
            break;
        step(run, line);
        if (QTest::currentTestFailed())
            return;
    }
    if (toolAtStart)
        QVERIFY(WizardRun::startTool());
    const QList<qint64> toolsAtStart = probe::ownProcesses(QStringLiteral("Ruvelk.exe"));
    QVERIFY(run.open());
    for (int i = first; i < list.size(); ++i) {
        step(run, list.at(i).trimmed());
        if (QTest::currentTestFailed())
            return;
    }

    // KAVNI_FAULTS_LOG=1 shows what the printer saw, row by row.
    if (!qEnvironmentVariableIsEmpty("KAVNI_FAULTS_LOG"))
        qInfo().noquote() << run.printer.logLines().join(QLatin1Char('\n'));
    QCOMPARE(run.events.shown(), events);
    if (endPage < 0) {
        QTRY_VERIFY_WITH_TIMEOUT(!run.windowOpen(), 10000);
    } else {
        QVERIFY(run.windowOpen());
        QCOMPARE(run.currentIndex(), endPage);
    }
    if (handBacks >= 0)
        QCOMPARE(run.hold()->handBacksTried(), handBacks);
    if (cupsStopped) {
        // Handing back could not work with the server gone: the queue is still held
        // once the server is back.
        QVERIFY2(cups->relaunch(), qPrintable(cups->lastError()));
        cupsStopped = false;
    }
    QCOMPARE(isHeld(current), held);
    if (held && run.windowOpen()) {
        // Closing the window hands the printer back.
        run.fixture.window->close();
        QVERIFY(settled(run));
        QVERIFY(!run.windowOpen());
        QVERIFY(!isHeld(current));
    }
    if (toolAtEnd) {
        QVERIFY(probe::waitFor([] { return WizardRun::toolRunning(); }));
    } else {
        QTest::qWait(300);
        // The wizard stops the first process of the tool's name on the machine: one of
        // another program's, when such runs, before ours.
        const QList<qint64> tools = probe::ownProcesses(QStringLiteral("Ruvelk.exe"));
        if (!tools.isEmpty() && tools == toolsAtStart)
            QSKIP("another program's Ruvelk.exe was stopped in place of this test's");
        QVERIFY(tools.isEmpty());
    }
    if (!logHas.isEmpty()) {
        const QString log = run.printer.logLines().join(QLatin1Char('\n'));
        QVERIFY2(log.contains(logHas), qPrintable(log.right(3000)));
    }
    QVERIFY2(timer.elapsed() < seconds * 1000, qPrintable(QString::number(timer.elapsed())));
}

// One step of a row:
//   choose, choose second       the user picks the row's printer, or the second one
//   next, prev, abort           the user clicks Next, Previous, Abort (and confirms)
//   esc, close                  Escape on the window; its close box
//   answers 1 0 ...             the answers to the next warnings (1 Continue, 0 Return)
//   close cover first           the printer's cover is closed before a warning is answered
//   page N, held, free          the current page; the chosen queue held or not
//   first free                  the row's own printer's queue not held
//   no abort                    Abort is not offered on this page
//   no adjustment               the printer never received the adjustment command
//   job                         a job printed on the queue, received by the printer
//   sim KEY VALUE, sim stop     the printer's setting; the printer switched off
//   reply CLASS TEXT            the printer's reply to a class of command (TEXT escaped
//                               as in its log, may be empty)
//   cups delete, cups nogroup, cups stop
//                               the queue removed; the server's administrators a group
//                               the user is not in; the server stopped
//   second printer              a second printer, current, with a queue of its own
//   tool as nobody              the management tool runs as another user
//   stop without the right      stopping processes goes through the stand-in above
void tst_Faults::step(WizardRun& run, const QString& line)
{
    const QString word = line.section(QLatin1Char(' '), 0, 0);
    const QString rest = line.section(QLatin1Char(' '), 1);
    if (line == QLatin1String("choose")) {
        QVERIFY(run.choosePrinter());
        current = run.queue;
    } else if (line == QLatin1String("choose second")) {
        QVERIFY(run.choosePrinter(secondQueue));
        current = secondQueue;
    } else if (line == QLatin1String("next") || line == QLatin1String("prev")) {
        QVERIFY2(
            run.click(line == QLatin1String("next") ? "nextButton" : "previousButton"), qPrintable(line));
        QVERIFY(settled(run, 120000));
    } else if (line == QLatin1String("abort")) {
        ModalAnswerer yes(
            QStringLiteral("abortBox"), [](QWidget* box) { clickChild(box, "abortYesButton"); });
        QVERIFY(run.click("abortButton"));
        QVERIFY(settled(run));
        QCOMPARE(yes.answered(), 1);
    } else if (line == QLatin1String("esc")) {
        QTest::keyClick(run.fixture.window.get(), Qt::Key_Escape);
        QVERIFY(settled(run));
        QVERIFY(!run.windowOpen());
    } else if (line == QLatin1String("close")) {
        run.fixture.window->close();
        QVERIFY(settled(run));
        QVERIFY(!run.windowOpen());
    } else if (word == QLatin1String("answers")) {
        QList<bool> answers;
        for (const QString& answer : rest.split(QLatin1Char(' '), Qt::SkipEmptyParts))
            answers << (answer == QLatin1String("1"));
        run.events.answerWarnings(answers);
    } else if (line == QLatin1String("close cover first")) {
        PrinterSim* printer = &run.printer;
        run.events.beforeAnswer
            = [printer](int) { printer->set(QStringLiteral("cover"), QStringLiteral("0")); };
    } else if (word == QLatin1String("page")) {
        QCOMPARE(run.currentIndex(), rest.toInt());
    } else if (line == QLatin1String("held")) {
        QVERIFY(isHeld(current));
    } else if (line == QLatin1String("free")) {
        QVERIFY(!isHeld(current));
    } else if (line == QLatin1String("first free")) {
        QVERIFY(!isHeld(run.queue));
    } else if (line == QLatin1String("no abort")) {
        QPushButton* abort = run.fixture.button("abortButton");
        QVERIFY(abort && (abort->isHidden() || !abort->isEnabled()));
    } else if (line == QLatin1String("no adjustment")) {
        QVERIFY(!run.printer.commands().contains("\x1bSa;c\r"));
    } else if (line == QLatin1String("job")) {
        QVERIFY(sendJob(run, "\x1bJOB " + QByteArray::number(QCoreApplication::applicationPid()) + "\r"));
    } else if (word == QLatin1String("reply")) {
        QVERIFY(run.printer.setReply(rest.section(QLatin1Char(' '), 0, 0),
            PrinterSim::unescape(rest.section(QLatin1Char(' '), 1).toLatin1())));
    } else if (line == QLatin1String("sim stop")) {
        run.printer.stop();
    } else if (word == QLatin1String("sim")) {
        QVERIFY2(run.printer.set(rest.section(QLatin1Char(' '), 0, 0), rest.section(QLatin1Char(' '), 1)),
            qPrintable(line));
    } else if (line == QLatin1String("cups delete")) {
        QVERIFY(cups->deleteQueue(run.queue));
    } else if (line == QLatin1String("cups nogroup")) {
        cupsRestricted = true;
        QVERIFY2(cups->setAdminGroup(QStringLiteral("nogroup")), qPrintable(cups->lastError()));
    } else if (line == QLatin1String("cups stop")) {
        cupsStopped = true;
        QVERIFY2(cups->stop(), qPrintable(cups->lastError()));
    } else if (line == QLatin1String("second printer")) {
        second = std::make_unique<PrinterSim>(PrinterSim::Options { "F2300", 200, 0, {} });
        QVERIFY2(second->start(), qPrintable(second->lastError()));
        secondQueue = PrivateCups::uniqueName(QStringLiteral("Second"));
        QVERIFY2(second->registerQueue(*cups, secondQueue, QStringLiteral("Talvor K1")),
            qPrintable(cups->lastError()));
    } else if (line == QLatin1String("tool as nobody")) {
        QVERIFY(startToolAsNobody());
    } else if (line == QLatin1String("stop without the right")) {
        sys::setKillProcessFunction(&stopWithoutTheRightToKill);
    } else {
        QFAIL(qPrintable(QStringLiteral("unknown step: ") + line));
    }
}

void tst_Faults::frameAsReceived_data()
{
    QTest::addColumn<QString>("firmware");
    QTest::addColumn<QByteArray>("expected");
    // The frame of the 3-byte file, written out: header, the bytes, ";", their XOR, CR, ".".
    QTest::newRow("3-byte file") << files.filePath(QStringLiteral("tiny.tfw"))
                                 << QByteArray("\x1b"
                                               "Df;3;\x01\x02\x04;\x07\r.",
                                        13);
    QFile image(WizardRun::targetImage());
    QVERIFY(image.open(QIODevice::ReadOnly));
    const QByteArray bytes = image.readAll();
    char sum = 0;
    for (char byte : bytes)
        sum = static_cast<char>(sum ^ byte);
    QTest::newRow("shipped image") << WizardRun::targetImage()
                                   << QByteArray("\x1b"
                                                 "Df;")
            + QByteArray::number(bytes.size()) + ';' + bytes + ';' + sum + "\r.";
}

void tst_Faults::frameAsReceived()
{
    QFETCH(QString, firmware);
    QFETCH(QByteArray, expected);
    const QString saved = files.filePath(QStringLiteral("received-frame"));
    QFile::remove(saved);
    WizardRun run(*cups, { "F2200", 200, 0, { QStringLiteral("save-frame ") + saved } });
    QVERIFY2(run.isValid(), qPrintable(run.error()));
    run.fixture.data.setParameter(QStringLiteral("Firmware_Name"), firmware);
    QVERIFY(run.open());
    QVERIFY(run.choosePrinter());
    QVERIFY(run.click("nextButton"));
    QVERIFY(settled(run));
    QCOMPARE(run.currentIndex(), 1);
    QVERIFY(run.click("nextButton"));
    QVERIFY(settled(run));
    QFile frame(saved);
    QVERIFY(frame.open(QIODevice::ReadOnly));
    const QByteArray received = frame.readAll();
    QCOMPARE(received.size(), expected.size());
    QVERIFY(received == expected);
    // One frame, one write.
    int frames = 0;
    for (const QByteArray& command : run.printer.commands())
        frames += command.startsWith("\x1b"
                                     "Df;");
    QCOMPARE(frames, 1);
}

void tst_Faults::jobSentBeforeTheTakeOverArrivesOnce()
{
    // The printer answers a job's data late, so the job is still printing when the
    // user presses Next: the take-over waits for it to end before it holds the queue.
    WizardRun run(*cups, { "F2300", 200, 0, { QStringLiteral("delay.other 1500") } });
    QVERIFY2(run.isValid(), qPrintable(run.error()));
    QVERIFY(WizardRun::startTool());
    QVERIFY(run.open());
    QVERIFY(run.choosePrinter());

    const QByteArray text = "\x1bJOB " + QByteArray::number(QCoreApplication::applicationPid()) + " card 1\r";
    QVERIFY(sendJob(run, text));

    QVERIFY(run.click("nextButton"));
    QVERIFY(settled(run));
    QCOMPARE(run.currentIndex(), 3);
    QVERIFY(run.queueHeld());
    QVERIFY(run.click("nextButton"));
    QVERIFY(settled(run));
    QCOMPARE(run.currentIndex(), 4);
    QVERIFY(!run.queueHeld());
    // Time for a job sent again on the release to arrive.
    QTest::qWait(1500);
    int jobs = 0;
    for (const QByteArray& command : run.printer.commands()) {
        if (command.startsWith("\x1bJOB")) {
            ++jobs;
            QCOMPARE(command, text);
        }
    }
    QCOMPARE(jobs, 1);
    QCOMPARE(run.events.shown(), QStringList());
}

QTEST_MAIN(tst_Faults)
#include "tst_faults.moc"
