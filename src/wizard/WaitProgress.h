// SPDX-License-Identifier: MIT
#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

class QLabel;
class QMessageBox;
class QProgressBar;

namespace wizard {

class WizardRessourceProvider;

// The progress line under the wait box's text: the name of the step under way
// above a bar that never stands still. A wait of known length fills the bar
// over its time and counts its seconds down ("%1" in the step's text); any
// other step shows a busy bar. The action reports its steps by queued signals
// only; what arrives after the box has gone is dropped with it.
class WaitProgress : public QWidget {
    Q_OBJECT
public:
    WaitProgress(WizardRessourceProvider* resourceProvider, QWidget* parent);

    // The wait box of a page's background action, without a parent: title
    // "7", text "20", no button at all (so it ignores Escape and its close
    // box: only the end of the action closes it), and this line under its text.
    static QMessageBox* makeWaitBox(WizardRessourceProvider* resourceProvider);
    // A step's text with the seconds left of its wait where it holds "%1".
    static QString stepLine(QString stepText, qint64 msLeft);

public Q_SLOTS:
    // stepNameId is the message id of the step's name; waitMs > 0 for a wait
    // of that length.
    void showStep(const QString& stepNameId, int waitMs);

private:
    void tick();

    WizardRessourceProvider* resourceProvider;
    QLabel* stepLabel;
    QProgressBar* bar;
    QTimer clock;
    QElapsedTimer elapsed;
    QString stepText;
    int waitMs = 0;
};

} // namespace wizard
