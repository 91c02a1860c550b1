// SPDX-License-Identifier: MIT
// The wizard's own start-up sequence with its fixed waits shortened through the
// sleep seam, driven by a script, for the tests that stop a wizard from outside.
//
//   KAVNI_TEST_SLEEP_DIVISOR=N   each fixed wait lasts 1/N of its time (default 100);
//                                it still ends early when the wizard is asked to end
//   KAVNI_TEST_STEPS=a,b,...     done in order, each once it can be:
//       pick=QUEUE   chooses QUEUE on the selection page, as the user does
//       next@N       clicks Next once page N is current and no box is up
//       wait=FILE    waits until FILE exists
//
// It prints "shown", "page N" and "next at X Y" (the Next button's centre in the
// window) on every change of page, "clicked next@N" and
// "event KIND ID" for every event dialog (which it closes; warnings get Return)
// on standard output, one line each, flushed.
#include "wizard/MainWizardFrameUI.h"
#include "wizard/WizardMain.h"

#include "WzCommon/Src/EventDialog.h"
#include "system/EndRequest.h"
#include "system/Sleep.h"
#include "wizard/HtmlPane.h"

#include <QApplication>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QStackedWidget>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

using namespace wizard;

namespace {

int divisor = 100;

void shortSleep(int milliseconds)
{
    sys::waitUnlessEnding(milliseconds / divisor);
}

void say(const QString& line)
{
    std::fprintf(stdout, "%s\n", qPrintable(line));
    std::fflush(stdout);
}

class ScriptDriver : public QObject {
public:
    ScriptDriver(MainWizardFrameUI* window, QStringList steps)
        : QObject(window)
        , window(window)
        , steps(std::move(steps))
    {
        auto* timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [this] { poll(); });
        timer->start(20);
    }

private:
    int currentIndex() const
    {
        auto* stack = window->findChild<QStackedWidget*>(QStringLiteral("pageStack"));
        return stack ? stack->currentIndex() : -1;
    }

    void answerEvent(QWidget* modal)
    {
        auto* dialog = qobject_cast<EventDialog*>(modal);
        if (!dialog || !dialog->isVisible() || dialog == lastDialog)
            return;
        lastDialog = dialog;
        static const QRegularExpression number(QStringLiteral("(\\d+)"));
        const QString id = number.match(dialog->pane()->requestedPage().fileName()).captured(1);
        auto* returnButton = dialog->findChild<QPushButton*>(QStringLiteral("returnButton"));
        auto* title = dialog->findChild<QLabel*>(QStringLiteral("titleLabel"));
        const QString kind = returnButton                      ? QStringLiteral("WARNING")
            : title && title->text() == QLatin1String("Error") ? QStringLiteral("ERROR")
                                                               : QStringLiteral("INFO");
        say(QStringLiteral("event %1 %2").arg(kind, id));
        if (returnButton)
            QTimer::singleShot(0, returnButton, &QPushButton::click);
        else if (auto* close = dialog->findChild<QPushButton*>(QStringLiteral("closeButton")))
            QTimer::singleShot(0, close, &QPushButton::click);
    }

    void poll()
    {
        if (!shown && window->isVisible()) {
            shown = true;
            say(QStringLiteral("shown"));
        }
        const int index = currentIndex();
        if (index != lastIndex) {
            lastIndex = index;
            say(QStringLiteral("page %1").arg(index));
            // Where a user clicks Next, for a test that drives the real executable.
            auto* next = window->findChild<QPushButton*>(QStringLiteral("nextButton"));
            if (next && next->isVisible()) {
                const QPoint centre = next->mapTo(window, next->rect().center());
                say(QStringLiteral("next at %1 %2").arg(centre.x()).arg(centre.y()));
            }
        }
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && modal != window) {
            answerEvent(modal);
            return;
        }
        if (steps.isEmpty() || sys::endRequested())
            return;
        const QString step = steps.first();
        if (step.startsWith(QLatin1String("pick="))) {
            auto* combo = window->findChild<QComboBox*>(QStringLiteral("printerCombo"));
            const int item = combo ? combo->findText(step.mid(5)) : -1;
            if (item < 1)
                return;
            combo->setCurrentIndex(item);
            Q_EMIT combo->activated(item);
        } else if (step.startsWith(QLatin1String("next@"))) {
            auto* next = window->findChild<QPushButton*>(QStringLiteral("nextButton"));
            if (index != step.mid(5).toInt() || !next || !next->isVisible() || !next->isEnabled())
                return;
            steps.removeFirst();
            say(QStringLiteral("clicked ") + step);
            // The click runs the page's wait box, whose loop must see this timer again.
            QTimer::singleShot(0, next, &QPushButton::click);
            return;
        } else if (step.startsWith(QLatin1String("wait="))) {
            if (!QFileInfo::exists(step.mid(5)))
                return;
        }
        steps.removeFirst();
    }

    MainWizardFrameUI* window;
    QStringList steps;
    QWidget* lastDialog = nullptr;
    int lastIndex = -1;
    bool shown = false;
};

} // namespace

int main(int argc, char* argv[])
{
    if (const char* given = std::getenv("KAVNI_TEST_SLEEP_DIVISOR"))
        divisor = std::max(1, std::atoi(given));
    sys::setSleepFunction(&shortSleep);
    const QStringList steps
        = QString::fromLocal8Bit(qgetenv("KAVNI_TEST_STEPS")).split(QLatin1Char(','), Qt::SkipEmptyParts);
    return runWizard(argc, argv, [steps](MainWizardFrameUI* window) { new ScriptDriver(window, steps); });
}
