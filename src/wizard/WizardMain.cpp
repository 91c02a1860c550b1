// SPDX-License-Identifier: MIT
// The wizard's start-up sequence: the data file, the application, the logger,
// the window, the event loop, and the teardown in the reverse order.
#include "wizard/WizardMain.h"
#include "foundation/DebugLogger.h"
#include "foundation/ParameterFile.h"
#include "foundation/Trace.h"
#include "system/ApplicationDirectory.h"
#include "system/EndRequest.h"
#include "system/Privileges.h"
#include "system/Registry.h"

#include "wizard/MainWizardFrameUI.h"

#include <QApplication>
#include <QPointer>
#include <QSessionManager>
#include <QStringList>

namespace wizard {

int runWizard(int argc, char* argv[], const std::function<void(MainWizardFrameUI*)>& beforeShow)
{
    auto* parameterMap = new ParameterMap();
    auto* applicationDirectory = new QString(QString::fromStdWString(sys::applicationDirectory()));

    if (!readParameterFile(*applicationDirectory + QStringLiteral("wzkavni.dat"), parameterMap)) {
        delete applicationDirectory;
        delete parameterMap;
        return 0;
    }

    // The web engine refuses to start as root with its sandbox on.
    if (sys::runsAsSuperUser() && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);

    auto* application = new QApplication(argc, argv);
    auto* arguments = new QStringList(QApplication::arguments());

    if (argc > 2) {
        delete arguments;
        delete application;
        delete applicationDirectory;
        delete parameterMap;
        return 0;
    }

    ILogger* logger = new DebugLogger();
    if (sys::readRegistryDword(L"DRNWZKAVNI") != 0)
        logger->Enable();
    else
        logger->Disable();

    tracePlain(logger, L"");
    trace(logger, TraceLevel::info, L"[%s] Enter entry point of the Kavni Wizard {%s}", L"main");

    QApplication::setLayoutDirection(Qt::LeftToRight);

    auto* window
        = new MainWizardFrameUI(logger, *arguments, *applicationDirectory, parameterMap, nullptr, {});
    // Ended from outside, the wizard hands the printer back before it goes.
    QPointer<MainWizardFrameUI> endTarget(window);
    sys::watchEndRequests([endTarget] {
        if (endTarget)
            endTarget->endFromOutside();
    });
#ifndef QT_NO_SESSIONMANAGER
    QObject::connect(
        application, &QGuiApplication::commitDataRequest, window,
        [window](QSessionManager&) { window->endFromOutside(); }, Qt::DirectConnection);
#endif
    int result = 1;
    if (window->initWizard()) {
        if (beforeShow)
            beforeShow(window);
        window->show();
        result = QApplication::exec();
    }

    delete window;
    trace(logger, TraceLevel::info, L"[%s] Exit entry point of the Kavni Wizard {%s}", L"main");
    delete logger;

    delete arguments;
    delete application;
    delete applicationDirectory;
    delete parameterMap;
    return result;
}

} // namespace wizard
