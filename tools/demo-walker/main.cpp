// SPDX-License-Identifier: MIT
// Walks the wizard's window through the demo by itself, as a user would, and
// saves a picture of every page and dialog it meets:
//   1. the printer below the target firmware: selection, the wait box, the
//      firmware page, the abort question (answered No), the download, the page
//      after it, the adjustment, the final page, Finish;
//   2. the printer whose cover is open: the adjustment raises the cover
//      warning, the walker closes the cover through the printer's control
//      channel and answers Continue, then the final page, Finish;
//   3. the current printer, made to refuse the handshake: the error dialog,
//      Close, and the wizard ends.
// Each step waits for what it needs (a page, a dialog) within a time limit;
// a step that times out ends the walk with exit code 1, after the window has
// handed its printer back. Buttons are clicked as a user clicks them: through
// the X server (xdotool), at their place on the screen, so a dialog that the
// toolkit keeps from its user (not the active modal one) stalls the walk.
//
//   kavni-demo-walker --shots DIR --below QUEUE --cover QUEUE --cover-control PORT
//                     --current QUEUE --current-control PORT
#include "foundation/DebugLogger.h"
#include "foundation/ParameterFile.h"
#include "system/Registry.h"
#include "wizard/HtmlPane.h"
#include "wizard/MainWizardFrameUI.h"
#include "wizard/WizardSettings.h"

#include "GuiDriver.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QPushButton>
#include <QStackedWidget>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

using namespace wizard;
using wizard::test::choosePrinter;

namespace {

struct Step {
    QString what;
    std::function<bool()> ready; // polled until true
    std::function<void()> action; // then run once
    int limitMs;
    bool eventExpected = false; // an event dialog is what this step waits for
};

class Walker : public QObject {
public:
    Walker(QString shots, QString applicationDirectory)
        : shots(std::move(shots))
        , applicationDirectory(std::move(applicationDirectory))
    {
        // The wizard's own trace, under the wizard's own switch.
        if (sys::readRegistryDword(L"DRNWZKAVNI") != 0)
            logger.Enable();
        else
            logger.Disable();
    }
    // The window traces as it goes, so it goes before the logger.
    ~Walker() override { window.reset(); }

    void add(const QString& what, std::function<bool()> ready, std::function<void()> action = {},
        int limitMs = 30000)
    {
        steps.push_back({ what, std::move(ready), std::move(action), limitMs });
    }

    // The step added last waits for an event dialog (any other step fails on one).
    void expectEvent() { steps.back().eventExpected = true; }

    int run()
    {
        QTimer poll;
        poll.setInterval(50);
        QObject::connect(&poll, &QTimer::timeout, this, [this] { next(); });
        poll.start();
        stepClock.start();
        return QApplication::exec();
    }

    // --- what the steps look at and do ---
    bool openWindow(const QStringList& arguments)
    {
        window.reset();
        parameters.clear();
        if (!readParameterFile(applicationDirectory + QStringLiteral("wzkavni.dat"), &parameters))
            return false;
        window = std::make_unique<MainWizardFrameUI>(&logger, arguments, applicationDirectory, &parameters);
        if (!window->initWizard())
            return false;
        window->show();
        return true;
    }

    // The visible top-level window of that name.
    static QWidget* shownWindow(const char* name)
    {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (widget->isVisible() && widget->objectName() == QLatin1String(name))
                return widget;
        return nullptr;
    }

    // The dialog of that name when it is the one the user can answer: the
    // active modal window, which input reaches.
    static QWidget* answerableDialog(const char* name)
    {
        QWidget* modal = QApplication::activeModalWidget();
        return modal && modal->isVisible() && modal->objectName() == QLatin1String(name) ? modal : nullptr;
    }

    // Any dialog open over the window.
    QWidget* dialogOver() const
    {
        for (const char* name : { "eventDialog", "abortBox", "waitBox" })
            if (QWidget* widget = shownWindow(name))
                return widget;
        return nullptr;
    }

    bool onPage(int index) const
    {
        if (!window || !window->isVisible())
            return false;
        if (dialogOver())
            return false;
        auto* stack = window->findChild<QStackedWidget*>(QStringLiteral("pageStack"));
        if (!stack || stack->currentIndex() != index)
            return false;
        // A page with a web pane is ready once its page has begun to load (the
        // picture waits a little more for it to be painted).
        auto* pane = stack->currentWidget()->findChild<HtmlPane*>();
        return !pane || pane->url() == pane->requestedPage();
    }

    // What the walk sees, for a message.
    QString describe() const
    {
        if (!window || !window->isVisible())
            return QStringLiteral("no window");
        auto* stack = window->findChild<QStackedWidget*>(QStringLiteral("pageStack"));
        QString text = QStringLiteral("page %1").arg(stack ? stack->currentIndex() : -1);
        if (QWidget* dialog = dialogOver())
            text += QStringLiteral(", dialog ") + dialog->objectName();
        if (auto* pane
            = stack && stack->currentWidget() ? stack->currentWidget()->findChild<HtmlPane*>() : nullptr)
            text += QStringLiteral(", pane at %1 for %2")
                        .arg(pane->url().toString(), pane->requestedPage().toString());
        return text;
    }

    bool windowClosed() const { return !window || !window->isVisible(); }

    bool choose(const QString& queue) { return window && choosePrinter(window.get(), queue); }

    // A left click in the middle of the button, sent through the X server;
    // the toolkit then delivers it, or blocks it, as it does a mouse click.
    static void click(QWidget* parent, const char* name)
    {
        auto* button = parent ? parent->findChild<QPushButton*>(QString::fromLatin1(name)) : nullptr;
        if (!button)
            return;
        // Relative to the window as the X server has it now: a window just
        // mapped may still be moved by the window manager.
        QWidget* window = button->window();
        const QPoint centre = button->mapTo(window, button->rect().center());
        QProcess::startDetached(QStringLiteral("xdotool"),
            { QStringLiteral("mousemove"), QStringLiteral("--window"), QString::number(window->winId()),
                QString::number(centre.x()), QString::number(centre.y()), QStringLiteral("click"),
                QStringLiteral("1") });
    }
    void clickWindow(const char* name) { click(window.get(), name); }

    void shot(QWidget* widget, const QString& name)
    {
        const QString file = shots + QLatin1Char('/') + name + QStringLiteral(".png");
        // A web page is painted a little after it has loaded.
        QTest::qWait(500);
        if (widget->grab().save(file)) {
            std::printf("walk: %s\n", qPrintable(QDir(shots).relativeFilePath(file)));
            std::fflush(stdout);
        } else
            fail(QStringLiteral("cannot write %1").arg(file));
    }

    // One request to a virtual printer's control channel; true when it answers "ok".
    static bool control(quint16 port, const QByteArray& request)
    {
        QTcpSocket socket;
        socket.connectToHost(QStringLiteral("127.0.0.1"), port);
        if (!socket.waitForConnected(3000))
            return false;
        socket.write(request + '\n');
        if (!socket.waitForBytesWritten(3000))
            return false;
        while (!socket.canReadLine())
            if (!socket.waitForReadyRead(3000))
                return false;
        return socket.readLine().startsWith("ok");
    }

    void fail(const QString& why)
    {
        std::fprintf(stderr, "walk: %s\n", qPrintable(why));
        failed = true;
        // What the screen showed then, for whoever looks into it.
        if (QWidget* top = dialogOver() ? dialogOver() : window.get())
            top->grab().save(shots + QStringLiteral("/failed.png"));
        steps.clear();
        // Whatever dialog is open is closed first (a wait box cannot be: its
        // action ends by itself within its limit), then the window, which
        // hands its printer back as it closes.
        auto* closing = new QTimer(this);
        QObject::connect(closing, &QTimer::timeout, this, [this, closing] {
            if (QWidget* top = dialogOver()) {
                if (top->objectName() != QLatin1String("waitBox"))
                    top->close();
                return;
            }
            closing->stop();
            // The window hands its printer back as it closes; it is destroyed
            // once every event loop has ended.
            if (window)
                window->close();
            QApplication::exit(1);
        });
        closing->start(200);
    }

    std::unique_ptr<MainWizardFrameUI> window;

private:
    void next()
    {
        if (failed || inAction)
            return;
        if (current >= steps.size()) {
            window.reset();
            QApplication::exit(0);
            return;
        }
        Step& step = steps[current];
        if (!step.eventExpected && shownWindow("eventDialog")) {
            fail(QStringLiteral("an event the walk did not expect, waiting for: %1").arg(step.what));
            return;
        }
        if (!step.ready()) {
            if (stepClock.elapsed() > step.limitMs)
                fail(QStringLiteral("gave up waiting for: %1 (%2)").arg(step.what, describe()));
            return;
        }
        ++current;
        stepClock.restart();
        std::printf("walk: %s\n", qPrintable(step.what));
        std::fflush(stdout);
        if (step.action) {
            // An action may wait (a screenshot pauses); the polls that come
            // meanwhile must not start the next step.
            inAction = true;
            step.action();
            inAction = false;
        }
    }

    QString shots;
    QString applicationDirectory;
    DebugLogger logger;
    ParameterMap parameters;
    std::vector<Step> steps;
    std::size_t current = 0;
    QElapsedTimer stepClock;
    bool failed = false;
    bool inAction = false;
};

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);
    application.setQuitOnLastWindowClosed(false);

    QCommandLineParser parser;
    parser.addOptions({
        { QStringLiteral("shots"), QStringLiteral("Folder for the pictures."), QStringLiteral("dir") },
        { QStringLiteral("below"), QStringLiteral("Queue of the printer below the target."),
            QStringLiteral("queue") },
        { QStringLiteral("cover"), QStringLiteral("Queue of the printer with its cover open."),
            QStringLiteral("queue") },
        { QStringLiteral("cover-control"), QStringLiteral("Its control port."), QStringLiteral("port") },
        { QStringLiteral("current"), QStringLiteral("Queue of the current printer."),
            QStringLiteral("queue") },
        { QStringLiteral("current-control"), QStringLiteral("Its control port."), QStringLiteral("port") },
        { QStringLiteral("app-dir"), QStringLiteral("The wizard's folder (data file)."),
            QStringLiteral("dir") },
    });
    parser.process(application);
    const QString shots = parser.value(QStringLiteral("shots"));
    const QString below = parser.value(QStringLiteral("below"));
    const QString cover = parser.value(QStringLiteral("cover"));
    const QString current = parser.value(QStringLiteral("current"));
    const auto coverPort = static_cast<quint16>(parser.value(QStringLiteral("cover-control")).toUInt());
    const auto currentPort = static_cast<quint16>(parser.value(QStringLiteral("current-control")).toUInt());
    QString appDir = parser.value(QStringLiteral("app-dir"));
    if (appDir.isEmpty())
        appDir = QStringLiteral(KAVNI_BIN_DIR);
    if (shots.isEmpty() || below.isEmpty() || cover.isEmpty() || current.isEmpty() || !coverPort
        || !currentPort) {
        std::fprintf(stderr, "%s", qPrintable(parser.helpText()));
        return 2;
    }
    QDir().mkpath(shots);
    if (!appDir.endsWith(QLatin1Char('/')))
        appDir += QLatin1Char('/');

    Walker walk(shots, appDir);
    auto& w = walk;
    const QStringList arguments { QStringLiteral("kavni-wizard") };
    const int firmwareLimit = 180000; // the download, the printer's restart and the wizard's 30-second wait

    // 1. The printer below the target: the whole five-page run.
    w.add(QStringLiteral("open the wizard"), [&] { return w.openWindow(arguments); });
    w.add(
        QStringLiteral("choose ") + below, [&] { return w.onPage(0) && w.choose(below); },
        [&] { w.shot(w.window.get(), QStringLiteral("01-printer-selection")); });
    w.add(
        QStringLiteral("Next: take the printer over"), [] { return true; },
        [&] { w.clickWindow("nextButton"); });
    w.add(
        QStringLiteral("the wait box"), [&] { return w.shownWindow("waitBox") != nullptr; },
        [&] { w.shot(w.shownWindow("waitBox"), QStringLiteral("02-wait-box")); }, 10000);
    w.add(
        QStringLiteral("the firmware page"), [&] { return w.onPage(1); },
        [&] {
            w.shot(w.window.get(), QStringLiteral("03-firmware-update"));
            w.clickWindow("abortButton");
        });
    w.add(
        QStringLiteral("the abort question: No"), [&] { return w.answerableDialog("abortBox") != nullptr; },
        [&] {
            w.shot(w.answerableDialog("abortBox"), QStringLiteral("04-abort-question"));
            Walker::click(w.answerableDialog("abortBox"), "abortNoButton");
        });
    w.add(
        QStringLiteral("Next: download the firmware"), [&] { return w.onPage(1); },
        [&] { w.clickWindow("nextButton"); });
    w.add(
        QStringLiteral("the page after the update"), [&] { return w.onPage(2); },
        [&] {
            w.shot(w.window.get(), QStringLiteral("05-firmware-updated"));
            w.clickWindow("nextButton");
        },
        firmwareLimit);
    w.add(
        QStringLiteral("the adjustment page"), [&] { return w.onPage(3); },
        [&] {
            w.shot(w.window.get(), QStringLiteral("06-adjustment"));
            w.clickWindow("nextButton");
        });
    w.add(
        QStringLiteral("the final page"), [&] { return w.onPage(4); },
        [&] {
            w.shot(w.window.get(), QStringLiteral("07-final"));
            w.clickWindow("nextButton");
        },
        120000);
    w.add(QStringLiteral("Finish closes the wizard"), [&] { return w.windowClosed(); });

    // 2. The printer with its cover open: the cover warning, the cover closed, Continue.
    w.add(QStringLiteral("open the wizard again"), [&] { return w.openWindow(arguments); });
    w.add(
        QStringLiteral("choose ") + cover, [&] { return w.onPage(0) && w.choose(cover); },
        [&] { w.clickWindow("nextButton"); });
    w.add(
        QStringLiteral("the adjustment page (firmware current)"), [&] { return w.onPage(3); },
        [&] { w.clickWindow("nextButton"); });
    w.add(
        QStringLiteral("the cover warning"), [&] { return w.answerableDialog("eventDialog") != nullptr; },
        [&] {
            QWidget* dialog = w.answerableDialog("eventDialog");
            w.shot(dialog, QStringLiteral("08-warning-cover-open"));
            if (!Walker::control(coverPort, "set cover 0"))
                return w.fail(QStringLiteral("the printer's control channel did not close the cover"));
            std::printf("walk: cover closed\n");
            Walker::click(dialog, "continueButton");
        });
    w.expectEvent();
    // The click travels through the X server; the dialog closes a moment later.
    w.add(QStringLiteral("the warning closes"), [&] { return !w.shownWindow("eventDialog"); });
    w.expectEvent();
    w.add(
        QStringLiteral("the final page"), [&] { return w.onPage(4); },
        [&] {
            w.shot(w.window.get(), QStringLiteral("09-final-after-cover"));
            w.clickWindow("nextButton");
        },
        120000);
    w.add(QStringLiteral("Finish closes the wizard"), [&] { return w.windowClosed(); });

    // 3. The current printer refusing the handshake: the error dialog.
    w.add(QStringLiteral("open the wizard a third time"),
        [&] { return Walker::control(currentPort, "set refuse 1") && w.openWindow(arguments); });
    w.add(
        QStringLiteral("choose ") + current, [&] { return w.onPage(0) && w.choose(current); },
        [&] { w.clickWindow("nextButton"); });
    w.add(
        QStringLiteral("the error"), [&] { return w.answerableDialog("eventDialog") != nullptr; },
        [&] {
            QWidget* dialog = w.answerableDialog("eventDialog");
            w.shot(dialog, QStringLiteral("10-error-printer-refused"));
            Walker::click(dialog, "closeButton");
        });
    w.expectEvent();
    // An error ends the wizard once the user has read it.
    w.add(
        QStringLiteral("the wizard closed"), [&] { return w.windowClosed(); },
        [&] { Walker::control(currentPort, "set refuse 0"); });
    w.expectEvent();

    return walk.run();
}
