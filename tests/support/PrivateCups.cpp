// SPDX-License-Identifier: MIT
#include "PrivateCups.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>

#include <csignal>
#include <cups/cups.h>
#include <unistd.h>

namespace wizard::test {

namespace {

constexpr int toolTimeoutMs = 30000;

// Where the CTest fixture leaves the CUPS_SERVER value of each ctest run, one file per
// run named by ctest's pid (the tests are ctest's own children).
QString fixtureStateFile()
{
    return QStringLiteral(KAVNI_BIN_DIR "/../tests/private-cups/%1").arg(::getppid());
}

QString serverFromFixture()
{
    const QByteArray given = qgetenv("KAVNI_CUPS_SERVER");
    if (!given.isEmpty())
        return QString::fromLocal8Bit(given);
    QFile file(fixtureStateFile());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QString server = QString::fromLocal8Bit(file.readAll()).trimmed();
    return QFileInfo::exists(server) ? server : QString();
}

} // namespace

PrivateCups::PrivateCups(Mode mode)
{
    if (mode == Mode::Shared)
        server_ = serverFromFixture();
    if (server_.isEmpty()) {
        QString output;
        // Tied to this process, so that a test killed at its time limit leaves no server.
        if (runScript({ QStringLiteral("start"), QStringLiteral("--owner"),
                          QString::number(QCoreApplication::applicationPid()) },
                &output)) {
            server_ = output.trimmed();
            own_ = true;
        }
    }
}

PrivateCups::~PrivateCups()
{
    if (server_.isEmpty())
        return;
    if (own_) {
        suspend(false);
        runScript({ QStringLiteral("stop"), server_ });
        return;
    }
    for (const QString& name : std::as_const(added_)) {
        noteIfHeld(name);
        runScript({ QStringLiteral("delete"), server_, name });
    }
}

quint16 PrivateCups::port() const
{
    QFile file(QFileInfo(server_).absolutePath() + QStringLiteral("/port"));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    return static_cast<quint16>(file.readAll().trimmed().toUInt());
}

void PrivateCups::useForThisProcess() const
{
    qputenv("CUPS_SERVER", server_.toLocal8Bit());
    cupsSetServer(server_.toLocal8Bit().constData());
}

QString PrivateCups::uniqueName(const QString& base)
{
    return base + QLatin1Char('_') + QString::number(QCoreApplication::applicationPid());
}

bool PrivateCups::addQueue(
    const QString& name, const QString& deviceUri, const QString& driver, const QString& printerId)
{
    QStringList arguments { QStringLiteral("add"), server_, name, deviceUri, driver };
    if (!printerId.isNull())
        arguments << printerId;
    if (!runScript(arguments))
        return false;
    if (!added_.contains(name))
        added_ << name;
    return true;
}

void PrivateCups::noteIfHeld(const QString& name) const
{
    if (own_)
        return;
    QString state;
    if (runTool(QStringLiteral("lpstat"), { QStringLiteral("-p"), name }, &state) != 0
        || !state.contains(QLatin1String("The setup wizard holds the printer")))
        return;
    // The run's cleanup fails on it: a test deleted a queue a wizard still held.
    QFile held(fixtureStateFile() + QStringLiteral(".held"));
    if (held.open(QIODevice::Append))
        held.write(name.toLocal8Bit() + '\n');
}

bool PrivateCups::deleteQueue(const QString& name)
{
    noteIfHeld(name);
    added_.removeAll(name);
    return runScript({ QStringLiteral("delete"), server_, name });
}

bool PrivateCups::pauseAsAdministrator(const QString& name, const QString& reason)
{
    QString output;
    const int code = runTool(QStringLiteral("cupsdisable"), { QStringLiteral("-r"), reason, name }, &output);
    if (code != 0)
        lastError_ = QStringLiteral("cupsdisable failed (%1): %2").arg(code).arg(output);
    return code == 0;
}

bool PrivateCups::resumeAsAdministrator(const QString& name)
{
    QString output;
    const int code = runTool(QStringLiteral("cupsenable"), { name }, &output);
    if (code != 0)
        lastError_ = QStringLiteral("cupsenable failed (%1): %2").arg(code).arg(output);
    return code == 0;
}

bool PrivateCups::setAdminGroup(const QString& group)
{
    if (!own_) {
        lastError_ = QStringLiteral("only an own server can change its administrators");
        return false;
    }
    return runScript({ QStringLiteral("admin-group"), server_, group });
}

bool PrivateCups::stop()
{
    if (!own_) {
        lastError_ = QStringLiteral("only an own server can be stopped");
        return false;
    }
    if (stopped_)
        return true;
    // The folder stays until destruction: the socket path then names a server that
    // no longer answers, which is the fault the caller wants to show.
    suspend(false);
    if (!runScript({ QStringLiteral("halt"), server_ }))
        return false;
    stopped_ = true;
    return true;
}

bool PrivateCups::relaunch()
{
    if (!own_) {
        lastError_ = QStringLiteral("only an own server can be started again");
        return false;
    }
    if (!runScript({ QStringLiteral("relaunch"), server_ }))
        return false;
    stopped_ = false;
    return true;
}

bool PrivateCups::suspend(bool suspended)
{
    if (!own_) {
        lastError_ = QStringLiteral("only an own server can be suspended");
        return false;
    }
    if (suspended == suspended_)
        return true;
    const qint64 pid = serverPid();
    if (pid <= 0 || ::kill(static_cast<pid_t>(pid), suspended ? SIGSTOP : SIGCONT) != 0) {
        lastError_ = QStringLiteral("could not signal cupsd %1").arg(pid);
        return false;
    }
    suspended_ = suspended;
    return true;
}

qint64 PrivateCups::serverPid() const
{
    QFile pidFile(QFileInfo(server_).absolutePath() + QStringLiteral("/server.pid"));
    if (!pidFile.open(QIODevice::ReadOnly))
        return 0;
    return pidFile.readAll().trimmed().toLongLong();
}

int PrivateCups::runTool(const QString& program, const QStringList& arguments, QString* output) const
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("CUPS_SERVER"), server_);
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    if (!process.waitForFinished(toolTimeoutMs)) {
        process.kill();
        process.waitForFinished(1000);
        return -1;
    }
    if (output)
        *output = QString::fromLocal8Bit(process.readAllStandardOutput() + process.readAllStandardError());
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

QString PrivateCups::scriptPath()
{
    return QStringLiteral(KAVNI_SOURCE_DIR "/scripts/private-cups");
}

bool PrivateCups::runScript(const QStringList& arguments, QString* output)
{
    QProcess process;
    process.start(scriptPath(), arguments);
    const bool finished = process.waitForFinished(toolTimeoutMs);
    if (!finished) {
        process.kill();
        process.waitForFinished(1000);
    }
    const QString out = QString::fromLocal8Bit(process.readAllStandardOutput());
    const QString err = QString::fromLocal8Bit(process.readAllStandardError());
    if (output)
        *output = out;
    const bool ok = finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (!ok)
        lastError_
            = QStringLiteral("private-cups %1 failed: %2%3").arg(arguments.join(QLatin1Char(' ')), out, err);
    return ok;
}

} // namespace wizard::test
