// SPDX-License-Identifier: MIT
// One start of a window, as bench_startup measures it. Modes:
//   wizard DIR [ARG]   the wizard's own start-up sequence over the data set in DIR
//                      (as the executable's main runs it: the data file, the
//                      application, the logger, the window, initWizard, show);
//                      with ARG (prnname=...) the four-page layout.
//   bare PAGE          a 640 x 480 QDialog holding one QWebEngineView that loads PAGE.
// When the first page's content is on screen it prints one line
//   "painted MONOTONIC_NS pss KIB"
// (the memory of this process and its web engine helpers at that moment) and ends.
#include "foundation/DebugLogger.h"
#include "foundation/ParameterFile.h"
#include "system/Privileges.h"
#include "wizard/HtmlPane.h"
#include "wizard/MainWizardFrameUI.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QMap>
#include <QTimer>
#include <QWebEngineView>

#include <cstdio>
#include <ctime>

using namespace wizard;

namespace {

long long monotonicNs()
{
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

// PSS of this process and every process below it, in KiB.
long long treePssKib()
{
    QMap<long long, long long> parentOf;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        const long long pid = entry.toLongLong(&number);
        if (!number)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1)
            parentOf[pid] = fields.at(1).toLongLong();
    }
    const long long self = QCoreApplication::applicationPid();
    long long total = 0;
    for (auto it = parentOf.cbegin(); it != parentOf.cend(); ++it) {
        long long p = it.key();
        while (p > 1 && p != self)
            p = parentOf.value(p, 0);
        if (p != self)
            continue;
        QFile rollup(QStringLiteral("/proc/%1/smaps_rollup").arg(it.key()));
        if (!rollup.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& row : rollup.readAll().split('\n'))
            if (row.startsWith("Pss:"))
                total += row.mid(4).trimmed().split(' ').value(0).toLongLong();
    }
    return total;
}

void report()
{
    const long long painted = monotonicNs();
    std::printf("painted %lld pss %lld\n", painted, treePssKib());
    std::fflush(stdout);
    QCoreApplication::exit(0);
}

// True once the widget shows more than one colour: text has been drawn.
bool showsContent(QWidget* widget)
{
    const QImage image = widget->grab().toImage();
    if (image.isNull())
        return false;
    const QRgb first = image.pixel(0, 0);
    for (int y = 0; y < image.height(); y += 2)
        for (int x = 0; x < image.width(); x += 2)
            if (image.pixel(x, y) != first)
                return true;
    return false;
}

// Reports once view has loaded and its page is painted.
void reportWhenPainted(QWebEngineView* view)
{
    QObject::connect(view, &QWebEngineView::loadFinished, view, [view](bool) {
        auto* poll = new QTimer(view);
        QObject::connect(poll, &QTimer::timeout, view, [view, poll] {
            if (showsContent(view)) {
                poll->stop();
                report();
            }
        });
        poll->start(5);
    });
}

// Reports after the first paint of widget has been handed to the screen.
class PaintWatch : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !seen) {
            seen = true;
            QTimer::singleShot(0, watched, &report);
        }
        return false;
    }
    bool seen = false;
};

} // namespace

int main(int argc, char* argv[])
{
    if (argc < 3)
        return 2;
    const QString mode = QString::fromLocal8Bit(argv[1]);
    if (mode == QLatin1String("wizard")) {
        auto* parameters = new ParameterMap();
        const QString folder = QString::fromLocal8Bit(argv[2]) + QLatin1Char('/');
        if (!readParameterFile(folder + QStringLiteral("wzkavni.dat"), parameters))
            return 3;
        if (sys::runsAsSuperUser() && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
            qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
        QApplication application(argc, argv);
        QStringList arguments { QStringLiteral("kavni-wizard") };
        if (argc > 3)
            arguments << QString::fromLocal8Bit(argv[3]);
        DebugLogger logger;
        logger.Disable();
        MainWizardFrameUI window(&logger, arguments, folder, parameters);
        if (!window.initWizard())
            return 4;
        PaintWatch watch;
        if (argc > 3) {
            reportWhenPainted(window.findChild<HtmlPane*>(QStringLiteral("page1Pane")));
        } else {
            window.findChild<QLabel*>(QStringLiteral("titleLabel"))->installEventFilter(&watch);
        }
        window.show();
        return QApplication::exec();
    }
    if (sys::runsAsSuperUser() && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);
    QDialog dialog;
    dialog.setFixedSize(640, 480);
    auto* view = new QWebEngineView(&dialog);
    view->setGeometry(5, 5, 420, 380);
    reportWhenPainted(view);
    view->load(QUrl::fromLocalFile(QString::fromLocal8Bit(argv[2])));
    dialog.show();
    return QApplication::exec();
}
