// SPDX-License-Identifier: MIT
#pragma once

// One run of the wizard through its real window against real parts: a
// private CUPS server with a queue whose device is a virtual printer, the
// device library, the management tool stand-in. The fixed waits go through
// the sleep seam, recorded and not slept.

#include "GuiDriver.h"
#include "PrinterSim.h"
#include "PrivateCups.h"
#include "QueueHold.h"
#include "WizardFixture.h"

#include "../system/ProcessProbe.h"

#include <QList>
#include <QMutex>
#include <QString>
#include <QStringList>

#include <functional>

#include <memory>

namespace wizard::test {

// The sleeps the wizard asked for, in order; each sleeps a hundredth of what
// was asked (30 s after a download become 300 ms, time enough for a virtual
// printer that restarts in 200 ms).
class SleepRecorder {
public:
    SleepRecorder();
    ~SleepRecorder();
    static QList<int> asked();
    static void clear();

private:
    static void record(int milliseconds);
};

// Answers every event dialog the wizard shows, as a user would, and notes
// which event it was (the number of its HTML page). Warnings get the answers
// queued with answerWarnings, then Return; errors and information are closed.
class EventWatcher : public QObject {
    Q_OBJECT
public:
    EventWatcher();
    ~EventWatcher() override;
    // The events shown so far, as "ERROR 5", "WARNING 9", "INFO 7".
    QStringList shown() const { return events; }
    // The answers to the next warnings, in order: true Continue, false Return.
    void answerWarnings(const QList<bool>& answers) { pending = answers; }
    // Runs before a warning is answered (e.g. to close the printer's cover).
    std::function<void(int warning)> beforeAnswer;

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    QStringList events;
    QList<bool> pending;
    QWidget* last = nullptr;
    int timer;
};

class WizardRun {
public:
    // The target version of the data set, and the image that carries it.
    static constexpr int targetVersion = 2300;
    static QString targetImage();

    explicit WizardRun(PrivateCups& cups, const PrinterSim::Options& options = {});
    ~WizardRun();

    bool isValid() const { return valid; }
    QString error() const { return lastError; }

    PrivateCups& cups;
    PrinterSim printer;
    WizardFixture fixture;
    EventWatcher events;
    QString queue;

    // Opens the window: five pages, or four with the queue preset.
    bool open(bool presetPrinter = false);
    // Picks the queue on the selection page as the user does.
    bool choosePrinter();
    // Picks another listed queue.
    bool choosePrinter(const QString& name);
    // The window's record of the held printer (null before open).
    PrinterHold* hold() const { return fixture.window ? fixture.window->printerHold() : nullptr; }
    bool click(const char* button);
    int currentIndex() const { return fixture.currentIndex(); }
    bool windowOpen() const { return fixture.window && fixture.window->isVisible(); }

    bool queueHeld() const { return isHeld(queue); }
    static bool toolRunning();
    // Starts the management tool stand-in as the desktop would have it.
    static bool startTool();

private:
    bool valid = false;
    QString lastError;
};

} // namespace wizard::test
