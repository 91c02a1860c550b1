// SPDX-License-Identifier: MIT
#include "CommService.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcessEnvironment>

namespace wizard::test {

namespace {
constexpr int startLimitMs = 15000;
constexpr int answerLimitMs = 10000;

QString logPath(const QTemporaryDir& folder)
{
    return folder.filePath(QStringLiteral("service.log"));
}

// Reads one line of the service's standard output, waiting at most until deadline.
bool readLine(QProcess& process, const QDeadlineTimer& deadline, QString* line)
{
    while (!process.canReadLine()) {
        if (deadline.hasExpired() || process.state() != QProcess::Running)
            return false;
        process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
    }
    *line = QString::fromLocal8Bit(process.readLine()).trimmed();
    return true;
}
} // namespace

QString CommService::programPath()
{
    const QByteArray bin = qgetenv("KAVNI_BIN_DIR");
    return (bin.isEmpty() ? QStringLiteral(KAVNI_BIN_DIR) : QString::fromLocal8Bit(bin))
        + QStringLiteral("/comm-service");
}

CommService::CommService(const QString& cupsServer, const QStringList& extraArguments)
    : folder_(QStringLiteral("/tmp/kavni-pipes-XXXXXX")) // short: socket paths are limited to 107 bytes
{
    if (!folder_.isValid()) {
        lastError_ = QStringLiteral("no temporary folder");
        return;
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("CUPS_SERVER"), cupsServer);
    environment.insert(QStringLiteral("TALVOR_PIPE_DIR"), folder_.path());
    process_.setProcessEnvironment(environment);
    process_.setProcessChannelMode(QProcess::SeparateChannels);
    process_.start(programPath(),
        QStringList {
            QStringLiteral("--pipe-dir"), folder_.path(), QStringLiteral("--log"), logPath(folder_) }
            + extraArguments);
    if (!process_.waitForStarted(startLimitMs)) {
        lastError_ = QStringLiteral("cannot start %1: %2").arg(programPath(), process_.errorString());
        return;
    }
    const QDeadlineTimer deadline(startLimitMs);
    QString line;
    while (readLine(process_, deadline, &line)) {
        if (line == QLatin1String("ready"))
            return;
        if (line.startsWith(QLatin1String("pipe ")))
            pipes_ << line.section(QLatin1Char(' '), 1, 1);
    }
    lastError_ = QStringLiteral("the service did not get ready: %1")
                     .arg(QString::fromLocal8Bit(process_.readAllStandardError()));
    stop();
}

CommService::~CommService()
{
    stop();
}

void CommService::stop()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    // The service ends when its standard input closes; SIGTERM and SIGKILL only if it hangs.
    process_.closeWriteChannel();
    if (!process_.waitForFinished(5000)) {
        process_.terminate();
        if (!process_.waitForFinished(3000)) {
            process_.kill();
            process_.waitForFinished(3000);
        }
    }
}

void CommService::useForThisProcess() const
{
    qputenv("TALVOR_PIPE_DIR", folder_.path().toLocal8Bit());
}

bool CommService::command(const QString& line)
{
    if (!isRunning()) {
        lastError_ = QStringLiteral("the service is not running (exit code %1): %2")
                         .arg(process_.exitCode())
                         .arg(QString::fromLocal8Bit(process_.readAllStandardError()));
        return false;
    }
    process_.write(line.toLocal8Bit() + '\n');
    process_.waitForBytesWritten(answerLimitMs);
    const QDeadlineTimer deadline(answerLimitMs);
    QString answer;
    while (readLine(process_, deadline, &answer)) {
        if (answer.startsWith(QLatin1String("pipe ")))
            continue; // a rescan lists the pipes first
        if (answer == QLatin1String("ok"))
            return true;
        lastError_ = answer;
        return false;
    }
    lastError_ = QStringLiteral("no answer to %1").arg(line);
    return false;
}

QStringList CommService::logLines() const
{
    QFile file(logPath(folder_));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    file.seek(logStart_);
    return QString::fromLocal8Bit(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QList<QByteArray> CommService::received() const
{
    QList<QByteArray> messages;
    for (const QString& line : logLines()) {
        if (line.startsWith(QLatin1String("recv ")))
            messages << QByteArray::fromHex(line.mid(5).toLatin1());
    }
    return messages;
}

int CommService::connections() const
{
    int count = 0;
    for (const QString& line : logLines())
        count += line.startsWith(QLatin1String("connect ")) ? 1 : 0;
    return count;
}

void CommService::clearLog()
{
    logStart_ = QFile(logPath(folder_)).size();
}

} // namespace wizard::test
