// SPDX-License-Identifier: MIT
#include "WizardProcess.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QThread>

#include <csignal>

namespace wizard::test {

namespace {

QString xdotool(const QString& display, const QStringList& arguments)
{
    QProcess tool;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display);
    tool.setProcessEnvironment(environment);
    tool.start(QStringLiteral("xdotool"), arguments);
    if (!tool.waitForFinished(10000)) {
        tool.kill();
        tool.waitForFinished(1000);
        return {};
    }
    return QString::fromLocal8Bit(tool.readAllStandardOutput());
}

} // namespace

bool WizardProcess::click(int x, int y)
{
    // The main window: the visible window of the process that is 640 x 480.
    QDeadlineTimer deadline(20000);
    QString window;
    while (window.isEmpty() && !deadline.hasExpired()) {
        const QStringList ids = xdotool(xDisplay,
            { QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--pid"),
                QString::number(pid()), QStringLiteral(".") })
                                    .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        for (const QString& id : ids)
            if (xdotool(xDisplay, { QStringLiteral("getwindowgeometry"), id })
                    .contains(QLatin1String("640x480")))
                window = id;
        if (window.isEmpty())
            QThread::msleep(100);
    }
    if (window.isEmpty())
        return false;
    xdotool(xDisplay,
        { QStringLiteral("mousemove"), QStringLiteral("--window"), window, QString::number(x),
            QString::number(y), QStringLiteral("click"), QStringLiteral("1") });
    return true;
}

WizardProcess::WizardProcess(WizardDataSet& data, const QString& cupsServer)
    : data(data)
    , cupsServer(cupsServer)
{
}

WizardProcess::~WizardProcess()
{
    if (running()) {
        process.kill();
        process.waitForFinished(5000);
    }
}

bool WizardProcess::start(
    Program program, const QStringList& arguments, const QStringList& steps, int sleepDivisor)
{
    const QString built = QStringLiteral(KAVNI_BIN_DIR "/")
        + (program == Program::real ? QStringLiteral("kavni-wizard")
                                    : QStringLiteral("kavni-wizard-shortwaits"));
    const QString executable = data.installExecutable(built);
    if (executable.isEmpty())
        return false;
    QFile switchFile(config.filePath(QStringLiteral("Talvor Card Printer.ini")));
    if (!switchFile.open(QIODevice::WriteOnly))
        return false;
    switchFile.write("[General]\nDRNWZKAVNI=1\n");
    switchFile.close();

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_DIRS"), config.path());
    environment.insert(QStringLiteral("KAVNI_TRACE_FILE"), config.filePath(QStringLiteral("trace.log")));
    environment.insert(QStringLiteral("CUPS_SERVER"), cupsServer);
    environment.insert(QStringLiteral("KAVNI_TEST_STEPS"), steps.join(QLatin1Char(',')));
    environment.insert(QStringLiteral("KAVNI_TEST_SLEEP_DIVISOR"), QString::number(sleepDivisor));
    if (!xDisplay.isEmpty()) {
        environment.insert(QStringLiteral("DISPLAY"), xDisplay);
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        // Software drawing: no GL to load on the virtual screen.
        environment.insert(QStringLiteral("QT_XCB_GL_INTEGRATION"), QStringLiteral("none"));
        environment.insert(QStringLiteral("QT_QUICK_BACKEND"), QStringLiteral("software"));
    }
    if (desktop)
        desktop->addTo(environment);
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.setStandardErrorFile(config.filePath(QStringLiteral("stderr.log")));
    process.start(executable, arguments);
    return process.waitForStarted(10000);
}

bool WizardProcess::signal(int number)
{
    return running() && ::kill(static_cast<pid_t>(process.processId()), number) == 0;
}

int WizardProcess::waitForExit(int timeoutMs)
{
    if (running() && !process.waitForFinished(timeoutMs))
        return -1;
    output();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

QStringList WizardProcess::output()
{
    pending += process.readAllStandardOutput();
    int end;
    while ((end = pending.indexOf('\n')) >= 0) {
        lines << QString::fromUtf8(pending.left(end));
        pending.remove(0, end + 1);
    }
    return lines;
}

bool WizardProcess::waitForOutput(const QString& line, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!output().contains(line)) {
        if (deadline.hasExpired() || process.state() == QProcess::NotRunning)
            return output().contains(line);
        process.waitForReadyRead(50);
    }
    return true;
}

QStringList WizardProcess::trace() const
{
    QStringList result;
    QFile file(config.filePath(QStringLiteral("trace.log")));
    if (!file.open(QIODevice::ReadOnly))
        return result;
    static const QRegularExpression header(
        QStringLiteral("^\\[TALVOR\\]\\[WZ\\] \\(ID:[0-9a-f]{3}\\) [0-9/: ]+ : "));
    for (const QByteArray& line : file.readAll().split('\n')) {
        QString text = QString::fromUtf8(line).trimmed();
        if (!text.isEmpty())
            result << text.remove(header);
    }
    return result;
}

bool WizardProcess::traceContains(const QString& fragment) const
{
    for (const QString& line : trace())
        if (line.contains(fragment))
            return true;
    return false;
}

} // namespace wizard::test
