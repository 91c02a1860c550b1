// SPDX-License-Identifier: MIT
// The yardstick of bench_startup: a bare 640 x 480 dialog holding one web view
// that loads the local page named on the command line, and nothing else. It
// starts the way the wizard's main does (the sandbox rule for root, shared GL
// contexts before the application object), and its view has the size and the
// place of the wizard's HTML pane, so that what the wizard adds is all that
// differs.
// Usage: bench_startup_bare PAGE
#include "system/Privileges.h"

#include <QApplication>
#include <QDialog>
#include <QUrl>
#include <QWebEngineView>

int main(int argc, char* argv[])
{
    if (argc != 2)
        return 2;
    if (wizard::sys::runsAsSuperUser() && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);

    QDialog dialog;
    dialog.setFixedSize(640, 480);
    auto* view = new QWebEngineView(&dialog);
    view->setGeometry(5, 5, 420, 380);
    view->load(QUrl::fromLocalFile(QString::fromLocal8Bit(argv[1])));
    dialog.show();
    return QApplication::exec();
}
