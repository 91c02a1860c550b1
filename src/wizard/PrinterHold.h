// SPDX-License-Identifier: MIT
#pragma once

#include <QMutex>
#include <QString>

namespace wizard {

class ILogger;

// Whether the wizard holds a printer: the queue taken over by the printer
// selection and not yet handed back. Set by a successful take-over, cleared
// only by a successful hand-back. The hand-backs the pages make themselves go
// through here too, so that the ones the wizard adds (the window closing, the
// return to the selection page) know whether anything is left to hand back.
// Used from the user-interface thread and from the page actions' pool thread.
class PrinterHold {
public:
    // The printer selection took queue over.
    void taken(const QString& queue);
    // Hands queue back (bidirectional support on, the management tool
    // started); true when that worked. The hold ends when it was this queue.
    bool handBack(const QString& queue);
    // Hands back the held printer, if any; true when none is held afterwards.
    bool release();
    QString heldQueue() const;
    // How many hand-backs were tried so far, whether they worked or not.
    int handBacksTried() const;
    bool isHeld() const { return !heldQueue().isEmpty(); }

    // Hands queue back when the wizard that held it no longer runs (queue
    // released, the management tool started), and traces it; true then.
    static bool releaseStale(const QString& queue, ILogger* logger);
    // Whether another wizard that runs (or one on another machine) holds queue.
    static bool heldByAnotherWizard(const QString& queue);

private:
    mutable QMutex mutex;
    QString held;
    int tried = 0;
};

} // namespace wizard
