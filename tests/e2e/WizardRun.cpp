// SPDX-License-Identifier: MIT
#include "WizardRun.h"

#include "system/Sleep.h"

#include "WzCommon/Src/EventDialog.h"
#include "wizard/HtmlPane.h"

#include <QApplication>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QThread>
#include <QTimerEvent>

namespace wizard::test {

namespace {
QMutex sleepsLock;
QList<int> sleeps;
} // namespace

SleepRecorder::SleepRecorder()
{
    clear();
    sys::setSleepFunction(&record);
}

SleepRecorder::~SleepRecorder()
{
    sys::setSleepFunction(nullptr);
}

void SleepRecorder::record(int milliseconds)
{
    {
        QMutexLocker lock(&sleepsLock);
        sleeps << milliseconds;
    }
    QThread::msleep(static_cast<unsigned long>(milliseconds / 100));
}

QList<int> SleepRecorder::asked()
{
    QMutexLocker lock(&sleepsLock);
    return sleeps;
}

void SleepRecorder::clear()
{
    QMutexLocker lock(&sleepsLock);
    sleeps.clear();
}

EventWatcher::EventWatcher()
{
    timer = startTimer(10);
}

EventWatcher::~EventWatcher()
{
    killTimer(timer);
}

void EventWatcher::timerEvent(QTimerEvent*)
{
    auto* dialog = qobject_cast<EventDialog*>(QApplication::activeModalWidget());
    if (!dialog || !dialog->isVisible() || dialog == last)
        return;
    last = dialog;
    const QString page = dialog->pane()->requestedPage().fileName();
    static const QRegularExpression number(QStringLiteral("(\\d+)"));
    const QString id = number.match(page).captured(1);
    const bool warning = dialog->findChild<QPushButton*>(QStringLiteral("continueButton")) != nullptr;
    const bool error = !warning
        && dialog->findChild<QLabel*>(QStringLiteral("titleLabel"))->text() == QLatin1String("Error");
    events << (warning        ? QStringLiteral("WARNING ")
                      : error ? QStringLiteral("ERROR ")
                              : QStringLiteral("INFO "))
            + id;
    if (!warning) {
        clickChild(dialog, "closeButton");
        return;
    }
    if (beforeAnswer)
        beforeAnswer(id.toInt());
    const bool answer = pending.isEmpty() ? false : pending.takeFirst();
    clickChild(dialog, answer ? "continueButton" : "returnButton");
}

QString WizardRun::targetImage()
{
    return QStringLiteral(KAVNI_SOURCE_DIR "/data/firmware/F2300.tfw");
}

WizardRun::WizardRun(PrivateCups& cups, const PrinterSim::Options& options)
    : cups(cups)
    , printer(options)
{
    static int runs = 0;
    queue = PrivateCups::uniqueName(QStringLiteral("Card%1_").arg(++runs));
    if (!printer.start()) {
        lastError = printer.lastError();
        return;
    }
    if (!printer.registerQueue(cups, queue, QStringLiteral("Talvor K1"))) {
        lastError = cups.lastError();
        return;
    }
    fixture.data.setParameter(QStringLiteral("Firmware_Name"), targetImage());
    fixture.data.setParameter(QStringLiteral("Firmware_Value"), QString::number(targetVersion));
    valid = true;
}

WizardRun::~WizardRun()
{
    fixture.close();
    cups.deleteQueue(queue);
    probe::killAll(QStringLiteral("Ruvelk.exe"));
}

bool WizardRun::open(bool presetPrinter)
{
    QStringList arguments { QStringLiteral("kavni-wizard") };
    if (presetPrinter)
        arguments << QStringLiteral("prnname=") + queue;
    return fixture.open(arguments);
}

bool WizardRun::choosePrinter()
{
    return choosePrinter(queue);
}

bool WizardRun::choosePrinter(const QString& name)
{
    return test::choosePrinter(fixture.window.get(), name);
}

bool WizardRun::click(const char* button)
{
    QPushButton* target = fixture.button(button);
    if (!target || !target->isVisible() || !target->isEnabled())
        return false;
    QTest::mouseClick(target, Qt::LeftButton);
    return true;
}

bool WizardRun::toolRunning()
{
    return !probe::ownProcesses(QStringLiteral("Ruvelk.exe")).isEmpty();
}

bool WizardRun::startTool()
{
    return QProcess::startDetached(QStringLiteral(KAVNI_BIN_DIR "/x64/Ruvelk.exe"), {})
        && probe::waitFor([] { return toolRunning(); });
}

} // namespace wizard::test
