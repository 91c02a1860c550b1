// SPDX-License-Identifier: MIT
#pragma once

// A wizard run as a process of its own, as a user starts it: the real
// executable, or the test program that runs the same start-up sequence with its
// fixed waits shortened (ShortWaitWizard.cpp), each placed beside a generated
// data set. Its trace goes to a file; the test program's progress lines are
// read from its standard output.

#include "Desktop.h"
#include "WizardDataSet.h"

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace wizard::test {

class WizardProcess {
public:
    enum class Program { real, shortWaits };

    // data must have been written; cupsServer is the CUPS_SERVER value.
    WizardProcess(WizardDataSet& data, const QString& cupsServer);
    ~WizardProcess();

    bool start(
        Program program, const QStringList& arguments, const QStringList& steps = {}, int sleepDivisor = 100);
    qint64 pid() const { return process.processId(); }
    bool signal(int number);
    // Runs on this X server instead of offscreen.
    void setDisplay(const QString& display) { xDisplay = display; }
    // Runs on this desktop as a user starts it there: the toolkit's own
    // drawing (no environment of the test's choosing), a screen reader's bus.
    void setDesktop(const Desktop* userDesktop) { desktop = userDesktop; }
    // Clicks the point (window coordinates) of the wizard's main window.
    bool click(int x, int y);
    // Waits (bounded) until the process has ended; its exit code then, -1 when it
    // crashed or is still running.
    int waitForExit(int timeoutMs);
    bool running() const { return process.state() != QProcess::NotRunning; }

    // The progress lines so far, and a wait for one of them.
    QStringList output();
    bool waitForOutput(const QString& line, int timeoutMs);
    // The trace lines so far without their headers.
    QStringList trace() const;
    bool traceContains(const QString& fragment) const;

private:
    WizardDataSet& data;
    QString cupsServer;
    QTemporaryDir config;
    QProcess process;
    QStringList lines;
    QByteArray pending;
    QString xDisplay;
    const Desktop* desktop = nullptr;
};

} // namespace wizard::test
