// SPDX-License-Identifier: MIT
// The real executable on a user's desktop: an X server with a window manager,
// the toolkit's own drawing, and every answer given through the X server as a
// mouse and a keyboard give it (clicks on the places a screen reader reports,
// keys to the window that has the focus). Nothing is posted to a widget object,
// so a dialog that Qt's modal blocking keeps from its user fails here: the cover
// and ribbon warnings over the wait box, the abort question, the error dialog.
// Each row checks the whole outcome: the dialog gone, the page shown, what the
// printer received, whether the queue is held, the trace.
#include "Desktop.h"
#include "PrinterSim.h"
#include "PrivateCups.h"
#include "QueueHold.h"
#include "WizardDataSet.h"
#include "WizardProcess.h"

#include "../system/ProcessProbe.h"

#include <QFile>
#include <QProcess>
#include <QTest>

#include <memory>

using namespace wizard;
using namespace wizard::test;

namespace {

const QByteArray adjustCommand("\x1BSa;c\r");
const QString button = QStringLiteral("push button");
const QString label = QStringLiteral("label");
constexpr int dialogLimitMs = 20000;

int adjustCommands(const PrinterSim& printer)
{
    return static_cast<int>(printer.commands().count(adjustCommand));
}

int statusReads(const PrinterSim& printer)
{
    return static_cast<int>(printer.commands().count(QByteArray("\x1BRpst\r")));
}

} // namespace

class tst_Desktop : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();

    void coverWarningAnsweredEveryWay();
    void ribbonWarningAndAbortQuestionInFourPages();
    void errorDialogClosed();
    void abortConfirmed();
    void keyboardOnlyWithScreenReader();

private:
    bool startWizard(const QStringList& settings, const QStringList& arguments, int adjustMs = 0,
        const QByteArray& version = "F2300");
    // Clicks the control a screen reader shows with that role and name.
    bool press(const QString& role, const QString& name);
    // The page shown, by its step title under the banner.
    bool showsStep(const QString& title, int timeoutMs = dialogLimitMs);
    // On the selection page: the test's printer chosen from the list, then Next.
    bool chooseAndNext();
    // The control that has the keyboard focus, as a screen reader sees it.
    std::optional<Desktop::Accessible> focused();
    // A picture of the screen into the folder that KAVNI_DESKTOP_SHOTS names, if any.
    void shot(const QString& name);
    // The warning (Continue and Return) over the adjustment page.
    bool warningShown();
    // After a warning answered with anything but Continue: the page stays,
    // the printer stays held and has not been asked to adjust. What differs, or "".
    QString declinedWarningLeftPage();

    std::unique_ptr<Desktop> desktop;
    std::unique_ptr<PrivateCups> cups;
    std::unique_ptr<PrinterSim> printer;
    std::unique_ptr<WizardDataSet> data;
    std::unique_ptr<WizardProcess> wizard;
    QString queue;
};

void tst_Desktop::initTestCase()
{
    probe::setMarker();
    desktop = std::make_unique<Desktop>();
    QVERIFY2(desktop->isRunning(), qPrintable(desktop->lastError()));
    cups = std::make_unique<PrivateCups>(PrivateCups::Mode::Own);
    QVERIFY2(cups->isRunning(), qPrintable(cups->lastError()));
    cups->useForThisProcess();
}

void tst_Desktop::shot(const QString& name)
{
    const QString shots = qEnvironmentVariable("KAVNI_DESKTOP_SHOTS");
    if (shots.isEmpty())
        return;
    desktop->screenshot(shots + QLatin1Char('/') + name + QStringLiteral(".png"));
    // And what a screen reader reads there: the controls on the screen.
    QFile tree(shots + QLatin1Char('/') + name + QStringLiteral(".txt"));
    if (!tree.open(QIODevice::WriteOnly | QIODevice::Text))
        return;
    for (const Desktop::Accessible& accessible : desktop->accessibleTree(wizard->pid()))
        if (accessible.showing())
            tree.write(accessible.toString().toUtf8() + '\n');
}

void tst_Desktop::cleanup()
{
    // What the screen showed when a row failed, for whoever looks into it.
    if (QTest::currentTestFailed() && wizard) {
        shot(QLatin1String(QTest::currentTestFunction()) + QStringLiteral("-failed"));
        for (const Desktop::Accessible& accessible : desktop->accessibleTree(wizard->pid()))
            qInfo("%s", qPrintable(accessible.toString()));
        for (const QString& line : wizard->trace())
            qInfo("trace: %s", qPrintable(line));
        for (const QString& line : printer->logLines())
            qInfo("printer: %s", qPrintable(line));
    }
    if (wizard && wizard->running())
        wizard->signal(SIGKILL);
    wizard.reset();
    const bool held = !queue.isEmpty() && isHeld(queue);
    if (held)
        cups->resumeAsAdministrator(queue);
    if (!queue.isEmpty())
        cups->deleteQueue(queue);
    queue.clear();
    printer.reset();
    data.reset();
    probe::killAll(QStringLiteral("Ruvelk.exe"));
    QVERIFY2(!held, "a queue was left held");
}

bool tst_Desktop::startWizard(
    const QStringList& settings, const QStringList& arguments, int adjustMs, const QByteArray& version)
{
    static int count = 0;
    queue = QStringLiteral("Desk%1").arg(++count);
    PrinterSim::Options options;
    options.version = version;
    options.settings = settings;
    options.adjustMs = adjustMs;
    printer = std::make_unique<PrinterSim>(options);
    if (!printer->start() || !printer->registerQueue(*cups, queue, QStringLiteral("Talvor K1")))
        return false;
    data = std::make_unique<WizardDataSet>();
    data->setParameter(
        QStringLiteral("Firmware_Name"), QStringLiteral(KAVNI_SOURCE_DIR "/data/firmware/F2300.tfw"));
    data->setParameter(QStringLiteral("Firmware_Value"), QStringLiteral("2300"));
    if (!data->write())
        return false;
    QProcess::startDetached(QStringLiteral(KAVNI_BIN_DIR "/x64/Ruvelk.exe"), {});
    wizard = std::make_unique<WizardProcess>(*data, cups->server());
    wizard->setDesktop(desktop.get());
    QStringList withQueue;
    for (const QString& argument : arguments)
        withQueue << QString(argument).replace(QLatin1String("QUEUE"), queue);
    return wizard->start(WizardProcess::Program::real, withQueue);
}

bool tst_Desktop::press(const QString& role, const QString& name)
{
    const auto control = desktop->waitFor(wizard->pid(), role, name, dialogLimitMs);
    if (!control) {
        qWarning("no %s \"%s\" on the screen", qPrintable(role), qPrintable(name));
        return false;
    }
    return desktop->click(*control);
}

bool tst_Desktop::showsStep(const QString& title, int timeoutMs)
{
    return desktop->waitFor(wizard->pid(), label, title, timeoutMs).has_value();
}

bool tst_Desktop::chooseAndNext()
{
    const auto list = desktop->waitFor(wizard->pid(), QStringLiteral("combo box"), QString(), dialogLimitMs);
    if (!list || !desktop->click(*list))
        return false;
    const auto item = desktop->waitFor(wizard->pid(), QStringLiteral("list item"), queue, dialogLimitMs);
    return item && desktop->click(*item) && press(button, data->text(QStringLiteral("1")));
}

bool tst_Desktop::warningShown()
{
    return desktop->waitFor(wizard->pid(), button, data->text(QStringLiteral("35")), dialogLimitMs)
        && desktop->waitFor(wizard->pid(), label, data->text(QStringLiteral("32")), 1000);
}

QString tst_Desktop::declinedWarningLeftPage()
{
    if (!desktop->waitUntilGone(wizard->pid(), button, data->text(QStringLiteral("35")), dialogLimitMs))
        return QStringLiteral("the warning is still open");
    if (!showsStep(data->text(QStringLiteral("73"))))
        return QStringLiteral("the adjustment page is gone");
    const auto next = desktop->waitFor(wizard->pid(), button, data->text(QStringLiteral("1")), dialogLimitMs);
    if (!next || !next->states.contains(QLatin1String("enabled")))
        return QStringLiteral("Next is not there to try again");
    if (!isHeld(queue))
        return QStringLiteral("the printer was handed back");
    if (adjustCommands(*printer) != 0)
        return QStringLiteral("the printer was asked to adjust with its cover open");
    return {};
}

void tst_Desktop::coverWarningAnsweredEveryWay()
{
    QVERIFY(startWizard({ QStringLiteral("cover 1") }, {}));
    const qint64 pid = wizard->pid();

    // The selection page, then the printer chosen from the list.
    QVERIFY(desktop->waitFor(pid, QStringLiteral("combo box"), QString(), dialogLimitMs));
    const QList<Desktop::Window> before = desktop->windows(pid);
    QCOMPARE(before.size(), 1);
    QVERIFY(chooseAndNext());

    // The firmware is current: straight to the adjustment page, the first with
    // a web pane. The window keeps its one native window, at its place.
    QVERIFY(showsStep(data->text(QStringLiteral("73"))));
    QVERIFY(isHeld(queue));
    const QList<Desktop::Window> after = desktop->windows(pid);
    QCOMPARE(after.size(), 1);
    QCOMPARE(after[0].id, before[0].id);
    QCOMPARE(after[0].geometry, before[0].geometry);

    // Return, Escape and the window manager's close: the page stays, the
    // printer stays held, no adjustment was sent.
    QVERIFY(press(button, data->text(QStringLiteral("1"))));
    QVERIFY(warningShown());
    shot(QStringLiteral("cover-warning"));
    QVERIFY(press(button, data->text(QStringLiteral("36"))));
    QCOMPARE(declinedWarningLeftPage(), QString());

    QVERIFY(press(button, data->text(QStringLiteral("1"))));
    QVERIFY(warningShown());
    desktop->key(QStringLiteral("Escape"));
    QCOMPARE(declinedWarningLeftPage(), QString());

    QVERIFY(press(button, data->text(QStringLiteral("1"))));
    QVERIFY(warningShown());
    desktop->key(QStringLiteral("alt+F4"));
    QCOMPARE(declinedWarningLeftPage(), QString());

    // The cover closed while the warning is up, then Continue: a new attempt
    // on a new connection reads the status again and adjusts.
    QVERIFY(press(button, data->text(QStringLiteral("1"))));
    QVERIFY(warningShown());
    const int statusBefore = statusReads(*printer);
    QVERIFY(printer->set(QStringLiteral("cover"), QStringLiteral("0")));
    QVERIFY(press(button, data->text(QStringLiteral("35"))));
    QVERIFY(showsStep(data->text(QStringLiteral("74"))));
    QCOMPARE(adjustCommands(*printer), 1);
    QCOMPARE(statusReads(*printer), statusBefore + 1);
    QVERIFY(!isHeld(queue));
    QCOMPARE(
        wizard->trace().filter(QStringLiteral("[Page3K] [retryAdjustment] [Retry Error Cover Open]")).size(),
        1);

    QVERIFY(press(button, data->text(QStringLiteral("5"))));
    QCOMPARE(wizard->waitForExit(dialogLimitMs), 0);
    QCOMPARE(desktop->windows(pid).size(), 0);
}

void tst_Desktop::ribbonWarningAndAbortQuestionInFourPages()
{
    // Each adjustment takes 2 s: long enough to try the window behind the wait box.
    QVERIFY(startWizard({ QStringLiteral("ribbon once") }, { QStringLiteral("prnname=QUEUE") }, 2000));
    const qint64 pid = wizard->pid();
    // The firmware page of the four-page wizard always downloads, then waits
    // out the printer's restart (30 s).
    QVERIFY(press(button, data->text(QStringLiteral("1"))));
    QVERIFY(showsStep(data->text(QStringLiteral("72")), 60000));
    QVERIFY(press(button, data->text(QStringLiteral("1"))));
    QVERIFY(showsStep(data->text(QStringLiteral("73"))));

    // The abort question: Escape, then No, leave everything as it was.
    QVERIFY(press(button, data->text(QStringLiteral("3"))));
    QVERIFY(desktop->waitFor(pid, button, data->text(QStringLiteral("9")), dialogLimitMs));
    shot(QStringLiteral("abort-question"));
    desktop->key(QStringLiteral("Escape"));
    QVERIFY(desktop->waitUntilGone(pid, button, data->text(QStringLiteral("9")), dialogLimitMs));
    QVERIFY(press(button, data->text(QStringLiteral("3"))));
    QVERIFY(press(button, data->text(QStringLiteral("10"))));
    QVERIFY(desktop->waitUntilGone(pid, button, data->text(QStringLiteral("9")), dialogLimitMs));
    QVERIFY(showsStep(data->text(QStringLiteral("73"))));
    QVERIFY(wizard->running());

    // While the wait box is up the window behind it takes no click: Abort
    // asks nothing. Then the ribbon fault's warning, Continue, a second
    // adjustment that succeeds.
    const auto abort = desktop->waitFor(pid, button, data->text(QStringLiteral("3")), dialogLimitMs);
    QVERIFY(abort);
    QVERIFY(press(button, data->text(QStringLiteral("1"))));
    QVERIFY(desktop->waitFor(pid, label, data->text(QStringLiteral("20")), dialogLimitMs));
    desktop->click(*abort);
    QVERIFY(warningShown());
    shot(QStringLiteral("ribbon-warning"));
    QVERIFY(!desktop->waitFor(pid, button, data->text(QStringLiteral("9")), 100));
    QVERIFY(press(button, data->text(QStringLiteral("35"))));
    QVERIFY(showsStep(data->text(QStringLiteral("74"))));
    QCOMPARE(adjustCommands(*printer), 2);
    const QStringList trace = wizard->trace();
    QCOMPARE(trace.filter(QStringLiteral("[Page3K] [retryAdjustment] [Retry Error Ribbon]")).size(), 1);
    // The two questions answered No; the click behind the wait box asked nothing.
    QCOMPARE(trace.filter(QStringLiteral("[Page3K] [abortAction] {")).size(), 2);
    QVERIFY(trace.filter(QStringLiteral("[abortAction] [abort]")).isEmpty());

    QVERIFY(press(button, data->text(QStringLiteral("5"))));
    QCOMPARE(wizard->waitForExit(dialogLimitMs), 0);
}

void tst_Desktop::errorDialogClosed()
{
    // Nothing listens where the queue sends: error 5 at the take-over.
    QVERIFY(startWizard({}, {}));
    printer->stop();
    QVERIFY(chooseAndNext());
    QVERIFY(desktop->waitFor(wizard->pid(), label, data->text(QStringLiteral("30")), dialogLimitMs));
    shot(QStringLiteral("error-dialog"));
    QVERIFY(press(button, data->text(QStringLiteral("31"))));
    QCOMPARE(wizard->waitForExit(dialogLimitMs), 0);
    QVERIFY(!isHeld(queue));
}

void tst_Desktop::abortConfirmed()
{
    QVERIFY(startWizard({}, {}));
    QVERIFY(chooseAndNext());
    QVERIFY(showsStep(data->text(QStringLiteral("73"))));
    QVERIFY(isHeld(queue));
    QVERIFY(press(button, data->text(QStringLiteral("3"))));
    QVERIFY(press(button, data->text(QStringLiteral("9"))));
    QCOMPARE(wizard->waitForExit(dialogLimitMs), 0);
    QVERIFY(!isHeld(queue));
    QCOMPARE(wizard->trace().filter(QStringLiteral("[abortAction] [abort]")).size(), 1);
    QCOMPARE(adjustCommands(*printer), 0);
}

std::optional<Desktop::Accessible> tst_Desktop::focused()
{
    for (const Desktop::Accessible& accessible : desktop->accessibleTree(wizard->pid()))
        if (accessible.showing() && accessible.states.contains(QLatin1String("focused"))
            && accessible.role != QLatin1String("document web") && accessible.role != QLatin1String("filler"))
            return accessible;
    return std::nullopt;
}

void tst_Desktop::keyboardOnlyWithScreenReader()
{
    // The whole five-page run without a mouse, the cover warning's retry
    // included, checked as a screen reader reads it on the way.
    QVERIFY(startWizard({ QStringLiteral("cover 1") }, {}, 0, "F2200"));
    const qint64 pid = wizard->pid();

    // The first page: the list has the focus and a name; Down picks the printer.
    const auto list = desktop->waitFor(pid, QStringLiteral("combo box"), QString(), dialogLimitMs);
    QVERIFY(list);
    QCOMPARE(list->labelledBy, data->text(QStringLiteral("41")));
    QVERIFY(list->states.contains(QLatin1String("focused")));
    desktop->key(QStringLiteral("Down"));
    shot(QStringLiteral("page0-printer-chosen"));
    const auto steps
        = desktop->waitFor(pid, QStringLiteral("tree"), data->text(QStringLiteral("80")), dialogLimitMs);
    QVERIFY(steps);
    QCOMPARE(steps->description, QStringLiteral("Step 1 of 5: ") + data->text(QStringLiteral("70")));
    QVERIFY(desktop->waitFor(pid, button, data->text(QStringLiteral("44")), dialogLimitMs));
    // Tab follows the page, then the buttons; hidden and disabled ones are passed.
    QStringList order;
    for (int tab = 0; tab < 4; ++tab) {
        desktop->key(QStringLiteral("Tab"));
        QTest::qWait(100);
        const auto now = focused();
        order << (now ? now->role + QLatin1Char(' ') + now->name : QStringLiteral("nothing"));
    }
    QCOMPARE(order,
        QStringList({ QStringLiteral("push button ") + data->text(QStringLiteral("44")),
            QStringLiteral("push button ") + data->text(QStringLiteral("1")),
            QStringLiteral("push button ") + data->text(QStringLiteral("3")),
            QStringLiteral("combo box ") + queue }));

    // Return presses Next: the take-over, then the firmware page.
    desktop->key(QStringLiteral("Return"));
    QVERIFY(showsStep(data->text(QStringLiteral("71"))));
    QVERIFY(isHeld(queue));
    const auto secondStep = desktop->waitFor(pid, QStringLiteral("tree"), QString(), dialogLimitMs);
    QVERIFY(secondStep);
    QCOMPARE(secondStep->description, QStringLiteral("Step 2 of 5: ") + data->text(QStringLiteral("71")));
    QVERIFY(desktop->waitFor(pid, QStringLiteral("filler"), QStringLiteral("Help page 1"), dialogLimitMs));
    shot(QStringLiteral("page1-firmware"));

    // The download, then the printer's restart: a bar that fills over 30 s
    // and says the seconds left.
    desktop->key(QStringLiteral("Return"));
    const auto countingDown = [this, pid] {
        for (const Desktop::Accessible& accessible : desktop->accessibleTree(pid))
            if (accessible.role == label && accessible.showing()
                && accessible.name.startsWith(QLatin1String("The printer restarts: ")))
                return true;
        return false;
    };
    QTRY_VERIFY_WITH_TIMEOUT(countingDown(), 20000);
    const auto filling = desktop->waitFor(pid, QStringLiteral("progress bar"), QString(), dialogLimitMs);
    QTest::qWait(1500);
    const auto later = desktop->waitFor(pid, QStringLiteral("progress bar"), QString(), dialogLimitMs);
    QVERIFY(filling && later);
    QVERIFY2(later->value.toDouble() > filling->value.toDouble(),
        qPrintable(filling->value + QStringLiteral(" then ") + later->value));
    shot(QStringLiteral("wait-box-countdown"));
    QVERIFY(showsStep(data->text(QStringLiteral("72")), 60000));
    desktop->key(QStringLiteral("Return"));
    QVERIFY(showsStep(data->text(QStringLiteral("73"))));

    // The cover warning: announced as an alert; the cover closed, Space on
    // the focused Continue tries again.
    desktop->key(QStringLiteral("Return"));
    const auto warning
        = desktop->waitFor(pid, QStringLiteral("alert"), data->text(QStringLiteral("32")), dialogLimitMs);
    QVERIFY(warning);
    shot(QStringLiteral("keyboard-cover-warning"));
    QCOMPARE(warning->description, QStringLiteral("Help page 9"));
    const auto onContinue = focused();
    QVERIFY(onContinue && onContinue->name == data->text(QStringLiteral("35")));
    QVERIFY(printer->set(QStringLiteral("cover"), QStringLiteral("0")));
    desktop->key(QStringLiteral("space"));
    QVERIFY(showsStep(data->text(QStringLiteral("74"))));
    shot(QStringLiteral("page4-final"));
    QCOMPARE(adjustCommands(*printer), 1);
    QVERIFY(!isHeld(queue));
    desktop->key(QStringLiteral("Return"));
    QCOMPARE(wizard->waitForExit(dialogLimitMs), 0);
}

QTEST_GUILESS_MAIN(tst_Desktop)
#include "tst_desktop.moc"
