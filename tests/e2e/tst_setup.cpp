// SPDX-License-Identifier: MIT
// kavni-setup, the real executable, over virtual printers behind an own private
// cupsd, with the management tool stand-in running: several printers at once,
// the report, the tool stopped and started once, every queue handed back; the
// run asked to end during the restart wait; usage errors and the check.
#include "PrinterSim.h"
#include "PrivateCups.h"
#include "QueueHold.h"

#include "../system/ProcessProbe.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

#include <csignal>
#include <deque>
#include <memory>

using namespace wizard::test;

namespace {

const QString program = QStringLiteral(KAVNI_BIN_DIR "/kavni-setup");

struct Printer {
    QString queue;
    std::unique_ptr<PrinterSim> sim;
};

QList<qint64> tools()
{
    return probe::ownProcesses(QStringLiteral("Ruvelk.exe"));
}

// The JSON objects of the run's standard output, by queue; every line must be one.
QMap<QString, QJsonObject> reports(const QByteArray& output, int& bad)
{
    QMap<QString, QJsonObject> byQueue;
    bad = 0;
    for (const QByteArray& line : output.split('\n')) {
        if (line.isEmpty())
            continue;
        const QJsonDocument document = QJsonDocument::fromJson(line);
        if (!document.isObject()) {
            ++bad;
            continue;
        }
        byQueue.insert(document.object().value(QStringLiteral("queue")).toString(), document.object());
    }
    return byQueue;
}

QStringList stepNames(const QJsonObject& report)
{
    QStringList names;
    for (const QJsonValue& step : report.value(QStringLiteral("steps")).toArray())
        names << step.toObject().value(QStringLiteral("step")).toString();
    return names;
}

} // namespace

class tst_Setup : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();
    void printersAtOnce();
    void endedDuringRestart();
    void usageAndCheck();

private:
    Printer& addPrinter(const QString& name, const QByteArray& version, const QString& driver,
        const QStringList& settings = {});
    // Starts one more copy of the tool stand-in.
    bool startTool();

    std::unique_ptr<PrivateCups> cups;
    std::deque<Printer> printers;
};

void tst_Setup::initTestCase()
{
    probe::setMarker();
    cups = std::make_unique<PrivateCups>(PrivateCups::Mode::Own);
    QVERIFY2(cups->isRunning(), qPrintable(cups->lastError()));
    cups->useForThisProcess();
}

void tst_Setup::cleanup()
{
    for (Printer& printer : printers)
        cups->deleteQueue(printer.queue);
    printers.clear();
    for (qint64 pid : tools())
        ::kill(static_cast<pid_t>(pid), SIGTERM);
}

Printer& tst_Setup::addPrinter(
    const QString& name, const QByteArray& version, const QString& driver, const QStringList& settings)
{
    PrinterSim::Options options;
    options.version = version;
    options.restartMs = 500;
    options.settings = settings;
    printers.push_back({ name, std::make_unique<PrinterSim>(options) });
    Printer& printer = printers.back();
    if (!printer.sim->start() || !printer.sim->registerQueue(*cups, name, driver))
        qWarning("%s: %s", qPrintable(name), qPrintable(printer.sim->lastError() + cups->lastError()));
    return printer;
}

bool tst_Setup::startTool()
{
    const qsizetype running = tools().size();
    return QProcess::startDetached(QStringLiteral(KAVNI_BIN_DIR "/x64/Ruvelk.exe"), {})
        && probe::waitFor([running] { return tools().size() == running + 1; });
}

void tst_Setup::printersAtOnce()
{
    // Below the target, current, the cover open for good, nothing listening,
    // and one a running wizard holds (this test, as far as the record tells).
    Printer& old = addPrinter(QStringLiteral("setup-old"), "F2201", QStringLiteral("Talvor K1 Card Printer"));
    addPrinter(QStringLiteral("setup-current"), "F2300", QStringLiteral("Talvor K3 Card Printer"));
    Printer& cover = addPrinter(
        QStringLiteral("setup-cover"), "F2300", QStringLiteral("Talvor K5 Dual Card Printer"), { "cover 1" });
    Printer& silent
        = addPrinter(QStringLiteral("setup-silent"), "F2300", QStringLiteral("Talvor K1 Card Printer"));
    silent.sim->stop();
    addPrinter(QStringLiteral("setup-held"), "F2201", QStringLiteral("Talvor K1 Card Printer"));
    QVERIFY(holdQueue(QStringLiteral("setup-held")));
    // One that keeps its old version after the download, one that drops the
    // connection half-way through the frame.
    addPrinter(QStringLiteral("setup-stale"), "F2201", QStringLiteral("Talvor K1 Card Printer"),
        { "reply.rfv F2201\\r" });
    addPrinter(QStringLiteral("setup-dropped"), "F2201", QStringLiteral("Talvor K3 Card Printer"),
        { "drop-in 2000" });
    // Two copies of the tool, as with two users logged on: both are stopped.
    QVERIFY(startTool());
    QVERIFY(startTool());
    const QList<qint64> toolBefore = tools();

    QProcess setup;
    setup.start(program, { QStringLiteral("--all"), QStringLiteral("--json") });
    QElapsedTimer clock;
    clock.start();
    QVERIFY(setup.waitForFinished(120000));
    const qint64 seconds = clock.elapsed() / 1000;
    QCOMPARE(setup.exitCode(), 1);

    int bad = 0;
    const QMap<QString, QJsonObject> report = reports(setup.readAllStandardOutput(), bad);
    QCOMPARE(bad, 0);
    QCOMPARE(report.size(), 7);
    const QJsonObject updated = report.value(QStringLiteral("setup-old"));
    QCOMPARE(updated.value(QStringLiteral("outcome")).toString(), QStringLiteral("done"));
    QCOMPARE(updated.value(QStringLiteral("firmware_before")).toString(), QStringLiteral("F2201"));
    QCOMPARE(updated.value(QStringLiteral("firmware_after")).toString(), QStringLiteral("F2300"));
    QCOMPARE(stepNames(updated),
        QStringList({ "read-version", "take-over", "send-firmware", "restart-wait", "read-version",
            "check-cover", "adjust", "hand-back" }));
    QVERIFY(old.sim->waitForLog(QStringLiteral("Df")));
    const QJsonObject current = report.value(QStringLiteral("setup-current"));
    QCOMPARE(current.value(QStringLiteral("outcome")).toString(), QStringLiteral("done"));
    QVERIFY(!stepNames(current).contains(QStringLiteral("send-firmware")));
    const QJsonObject covered = report.value(QStringLiteral("setup-cover"));
    QCOMPARE(covered.value(QStringLiteral("event_id")).toInt(), 9);
    QCOMPARE(covered.value(QStringLiteral("message_id")).toString(), QStringLiteral("26"));
    QVERIFY(covered.value(QStringLiteral("handed_back")).toBool());
    QVERIFY(!cover.sim->commands().contains(QByteArray("\x1BSa;c\r")));
    const QJsonObject unanswered = report.value(QStringLiteral("setup-silent"));
    QCOMPARE(unanswered.value(QStringLiteral("event_id")).toInt(), 5);
    QCOMPARE(stepNames(unanswered), QStringList({ "read-version" }));
    const QJsonObject skipped = report.value(QStringLiteral("setup-held"));
    QCOMPARE(skipped.value(QStringLiteral("outcome")).toString(), QStringLiteral("skipped"));
    // Failed on their own, handed back, while the others went on.
    for (const char* queue : { "setup-stale", "setup-dropped" }) {
        const QJsonObject failed = report.value(QString::fromLatin1(queue));
        QCOMPARE(failed.value(QStringLiteral("event_id")).toInt(), 6);
        QVERIFY(failed.value(QStringLiteral("handed_back")).toBool());
        QVERIFY(!isHeld(QString::fromLatin1(queue)));
    }
    QCOMPARE(report.value(QStringLiteral("setup-stale")).value(QStringLiteral("message_id")).toString(),
        QStringLiteral("22"));

    // Side by side, the whole run takes about the one download's restart wait.
    QVERIFY2(seconds < 50, qPrintable(QString::number(seconds)));
    for (const char* queue : { "setup-old", "setup-current", "setup-cover", "setup-silent" })
        QVERIFY2(!isHeld(QString::fromLatin1(queue)), queue);
    QVERIFY(isHeld(QStringLiteral("setup-held")));
    // Every copy of the tool was stopped, and one started again.
    const QList<qint64> toolAfter = tools();
    QCOMPARE(toolAfter.size(), 1);
    QVERIFY(!toolBefore.contains(toolAfter.value(0)));
}

void tst_Setup::endedDuringRestart()
{
    Printer& old
        = addPrinter(QStringLiteral("setup-ended"), "F2201", QStringLiteral("Talvor K1 Card Printer"));
    QVERIFY(startTool());
    QProcess setup;
    setup.start(program, { QStringLiteral("--json"), QStringLiteral("setup-ended") });
    QVERIFY(old.sim->waitForLog(QStringLiteral("Df"), 20000));
    QTest::qWait(500);
    QElapsedTimer clock;
    clock.start();
    ::kill(static_cast<pid_t>(setup.processId()), SIGTERM);
    QVERIFY(setup.waitForFinished(10000));
    QVERIFY2(clock.elapsed() < 5000, "the restart wait was sat out");
    QCOMPARE(setup.exitCode(), 1);
    int bad = 0;
    const QJsonObject ended
        = reports(setup.readAllStandardOutput(), bad).value(QStringLiteral("setup-ended"));
    QCOMPARE(ended.value(QStringLiteral("outcome")).toString(), QStringLiteral("stopped"));
    QVERIFY(ended.value(QStringLiteral("handed_back")).toBool());
    QVERIFY(!isHeld(QStringLiteral("setup-ended")));
    QVERIFY(probe::waitFor([] { return tools().size() == 1; }));
}

void tst_Setup::usageAndCheck()
{
    Printer& old
        = addPrinter(QStringLiteral("setup-check"), "F2201", QStringLiteral("Talvor K1 Card Printer"));
    for (const QStringList& arguments : { QStringList { "--all", "--frobnicate" },
             QStringList { "no-such-queue" }, QStringList {}, QStringList { "--jobs", "0", "--all" } }) {
        QProcess setup;
        setup.start(program, arguments);
        QVERIFY(setup.waitForFinished(20000));
        QCOMPARE(setup.exitCode(), 2);
        QVERIFY(setup.readAllStandardOutput().isEmpty());
        QVERIFY(setup.readAllStandardError().startsWith("kavni-setup: "));
    }
    QProcess check;
    check.start(
        program, { QStringLiteral("--check"), QStringLiteral("--json"), QStringLiteral("setup-check") });
    QVERIFY(check.waitForFinished(20000));
    QCOMPARE(check.exitCode(), 0);
    int bad = 0;
    const QJsonObject plan = reports(check.readAllStandardOutput(), bad).value(QStringLiteral("setup-check"));
    QCOMPARE(plan.value(QStringLiteral("outcome")).toString(), QStringLiteral("checked"));
    QCOMPARE(plan.value(QStringLiteral("plan")).toArray(), QJsonArray({ "update", "adjust" }));
    // The check opens, asks the version and closes; nothing else reaches the printer.
    for (const QByteArray& command : old.sim->commands())
        QVERIFY2(command.startsWith("\x1BPem;") || command == "\x1BRfv\r", command.constData());
    QVERIFY(!isHeld(QStringLiteral("setup-check")));
}

QTEST_GUILESS_MAIN(tst_Setup)
#include "tst_setup.moc"
