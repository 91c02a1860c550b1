// SPDX-License-Identifier: MIT
// Where the wizard's start-up time goes; run by bench_startup --steps, which sees
// its window on screen the same way as the wizard's.
//
//   bench_startup_steps APPDIR [prnname=NAME] [--hidden=MODE]
//       the wizard's start-up sequence as its main runs it (data file, application,
//       logger, window, initWizard, show, event loop) over the data set in APPDIR,
//       with the time of each step. The window builds its pages through a page
//       factory that times each page's constructor. MODE says what the pages that
//       are not shown first get:
//         full  the wizard's own pages (default: what the wizard does)
//         idle  a web view of the pane's size that loads nothing
//         none  no web view at all (as if each were made when its page is first shown)
//         later a web view made and loaded once the first page is on screen: after page
//               1's HTML has loaded (four pages), after the first paint (five pages)
//       The first page shown is always the wizard's own.
//   bench_startup_steps APPDIR --parts [prnname=NAME]
//       the pieces alone, in a fresh process after the application object: the
//       resource provider, the queue's driver type and the printer listing from
//       CUPS, the first to fourth web view and one page load; then it ends.
//
// Each line is "at NAME MS" (milliseconds since KAVNI_BENCH_T0_NS, the monotonic
// clock when the benchmark spawned this process) or "took NAME MS" (a duration).
#include "foundation/DebugLogger.h"
#include "foundation/ParameterFile.h"
#include "foundation/WizardRessourceProvider.h"
#include "system/Privileges.h"
#include "system/Registry.h"
#include "system/SystemQt.h"
#include "wizard/HtmlPane.h"
#include "wizard/MainWizardFrameUI.h"
#include "wizard/PageViewUI.h"
#include "wizard/WAPIteratorBuilder.h"
#include "wizard/WizardActionPage.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <vector>

using namespace wizard;

namespace {

long long nowNs()
{
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1'000'000'000LL + now.tv_nsec;
}

long long startNs = 0;

void at(const QString& name)
{
    std::printf("at %s %.2f\n", qPrintable(name), static_cast<double>(nowNs() - startNs) / 1e6);
    std::fflush(stdout);
}

void took(const QString& name, long long sinceNs)
{
    std::printf("took %s %.2f\n", qPrintable(name), static_cast<double>(nowNs() - sinceNs) / 1e6);
    std::fflush(stdout);
}

// A view for a page that is not shown first: a web view that loads nothing, no web
// view, or a web view made and loaded only once the first page is on screen.
enum class Hidden { full, idle, none, later };

class StandInView : public QWidget, public IWizardActionPageUI {
public:
    StandInView(QWidget* parent, WizardRessourceProvider* resourceProvider, int number, Hidden hidden)
        : QWidget(parent)
        , resourceProvider(resourceProvider)
        , number(number)
    {
        if (hidden == Hidden::idle)
            makePane();
        if (hidden == Hidden::later)
            all().push_back(this);
    }
    QWidget* pageWidget() override { return this; }

    HtmlPane* makePane()
    {
        auto* pane = new HtmlPane(this, PageViewUI::paneWidth, PageViewUI::paneHeight);
        pane->setObjectName(QStringLiteral("standIn%1Pane").arg(number));
        pane->setGeometry(
            PageViewUI::paneX, PageViewUI::paneY, PageViewUI::paneWidth, PageViewUI::paneHeight);
        return pane;
    }

    // Makes and loads the panes of the "later" views.
    static void loadAll()
    {
        for (StandInView* view : all()) {
            HtmlPane* pane = view->makePane();
            QObject::connect(pane, &HtmlPane::loadFinished, pane,
                [pane](bool) { at(QStringLiteral("loadFinished-") + pane->objectName()); });
            pane->showPage(toForwardSlashes(view->resourceProvider->GetResource(
                IRessourceProvider::HelpPage, QString::number(view->number), 0, QString())));
            pane->show();
        }
        all().clear();
    }

private:
    static std::vector<StandInView*>& all()
    {
        static std::vector<StandInView*> views;
        return views;
    }

    WizardRessourceProvider* resourceProvider;
    int number;
};

class StandInPage : public WizardActionPage {
public:
    StandInPage(PageClass pageClass, MainWizardFrameUI* mainWindow, WizardRessourceProvider* resourceProvider,
        ILogger* logger, WizardSettings* settings, Hidden hidden)
        : WizardActionPage(pageClass, L"StandInPage", mainWindow, resourceProvider, logger, settings)
    {
        setView(new StandInView(mainWindow, resourceProvider, static_cast<int>(pageClass), hidden));
        initActionPage();
    }
    void startAction() override { completeAction(); }
};

// Notes the first paint of the window.
class PaintWatch : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !seen) {
            seen = true;
            at(QStringLiteral("window-first-paint-event"));
            if (afterPaint)
                QTimer::singleShot(0, this, afterPaint);
        }
        return false;
    }
    bool seen = false;
    // Runs once the first paint has been handed to the screen.
    std::function<void()> afterPaint;
};

void beforeApplication()
{
    if (sys::runsAsSuperUser() && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

int parts(int argc, char* argv[], const QString& folder, ParameterMap* parameters, const QString& printer)
{
    beforeApplication();
    QApplication application(argc, argv);
    at(QStringLiteral("application"));

    long long since = nowNs();
    WizardRessourceProvider provider(nullptr, QStringLiteral("en"), QStringLiteral("en"),
        folder + parameters->value(QStringLiteral("MessagePath")),
        folder + parameters->value(QStringLiteral("HTMLPath")),
        folder + parameters->value(QStringLiteral("HTMLFilePath")));
    provider.Initialize();
    took(QStringLiteral("resource-provider"), since);

    QMap<QString, qint32> drivers;
    for (int n = 1; n <= parameterNumber(parameters->value(QStringLiteral("NbDriver"))); ++n)
        drivers.insert(parameters->value(QStringLiteral("Driver_Name_%1").arg(n)),
            parameterNumber(parameters->value(QStringLiteral("Driver_Type_%1").arg(n))));
    since = nowNs();
    sys::printerTypeOf(printer.toStdWString().c_str(), drivers);
    took(QStringLiteral("cups-driver-type-first"), since);
    for (const char* name : { "cups-listing-second", "cups-listing-third" }) {
        since = nowNs();
        QMap<QString, qint32> printers;
        sys::listWizardPrinters(printers, true, true, drivers);
        took(QLatin1String(name), since);
    }

    QWidget holder;
    HtmlPane* first = nullptr;
    for (int n = 1; n <= 4; ++n) {
        since = nowNs();
        auto* pane = new HtmlPane(&holder, PageViewUI::paneWidth, PageViewUI::paneHeight);
        took(QStringLiteral("web-view-%1").arg(n), since);
        if (!first)
            first = pane;
    }
    since = nowNs();
    QEventLoop loop;
    QObject::connect(first, &HtmlPane::loadFinished, &loop, &QEventLoop::quit);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    first->showPage(folder + QStringLiteral("help/Common/en/page1.html"));
    loop.exec();
    took(QStringLiteral("page-load-hidden-view"), since);
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    const QByteArray spawned = qgetenv("KAVNI_BENCH_T0_NS");
    startNs = spawned.isEmpty() ? nowNs() : spawned.toLongLong();
    at(QStringLiteral("main"));
    if (argc < 2)
        return 2;
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QString printerArgument;
    Hidden hidden = Hidden::full;
    bool onlyParts = false;
    for (int i = 2; i < argc; ++i) {
        const QString argument = QString::fromLocal8Bit(argv[i]);
        if (argument.startsWith(QLatin1String("--hidden="))) {
            const QString mode = argument.mid(9);
            hidden = mode == QLatin1String("idle") ? Hidden::idle
                : mode == QLatin1String("none")    ? Hidden::none
                : mode == QLatin1String("later")   ? Hidden::later
                                                   : Hidden::full;
        } else if (argument == QLatin1String("--parts"))
            onlyParts = true;
        else
            printerArgument = argument;
    }

    auto* parameters = new ParameterMap();
    if (!readParameterFile(folder + QStringLiteral("wzkavni.dat"), parameters))
        return 3;
    at(QStringLiteral("parameters"));
    if (onlyParts) {
        const int result = parts(argc, argv, folder, parameters, printerArgument.mid(8));
        delete parameters;
        return result;
    }

    beforeApplication();
    int applicationArgc = 1;
    QApplication application(applicationArgc, argv);
    at(QStringLiteral("application"));

    DebugLogger logger;
    if (sys::readRegistryDword(L"DRNWZKAVNI") != 0)
        logger.Enable();
    else
        logger.Disable();
    QApplication::setLayoutDirection(Qt::LeftToRight);

    QStringList arguments { QStringLiteral("kavni-wizard") };
    if (!printerArgument.isEmpty())
        arguments << printerArgument;
    MainWizardFrameUI window(&logger, arguments, folder, parameters);
    int built = 0;
    window.setPageFactory([&built, &hidden](PageClass pageClass, MainWizardFrameUI* mainWindow,
                              WizardRessourceProvider* resourceProvider, ILogger* pageLogger,
                              WizardSettings* settings) -> WizardActionPage* {
        const long long since = nowNs();
        WizardActionPage* page = built == 0 || hidden == Hidden::full
            ? createWizardPage(pageClass, mainWindow, resourceProvider, pageLogger, settings)
            : new StandInPage(pageClass, mainWindow, resourceProvider, pageLogger, settings, hidden);
        took(QStringLiteral("page-index-%1-Page%2-constructor").arg(built).arg(static_cast<int>(pageClass)),
            since);
        ++built;
        return page;
    });
    at(QStringLiteral("window-constructed"));
    if (!window.initWizard())
        return 4;
    at(QStringLiteral("initWizard-returned"));

    PaintWatch watch;
    for (HtmlPane* pane : window.findChildren<HtmlPane*>()) {
        QObject::connect(pane, &HtmlPane::loadFinished, pane,
            [pane](bool) { at(QStringLiteral("loadFinished-") + pane->objectName()); });
        // Four pages: the others follow once page 1 has loaded (at the next turn of the event loop).
        if (hidden == Hidden::later && pane->objectName() == QLatin1String("page1Pane"))
            QObject::connect(pane, &HtmlPane::loadFinished, pane,
                [] { QTimer::singleShot(0, qApp, &StandInView::loadAll); });
    }
    // Five pages: the web views follow the first paint of the widgets.
    if (hidden == Hidden::later && window.findChildren<HtmlPane*>().isEmpty())
        watch.afterPaint = &StandInView::loadAll;
    window.installEventFilter(&watch);
    window.show();
    at(QStringLiteral("show-returned"));
    const int result = QApplication::exec();
    delete parameters;
    return result;
}
