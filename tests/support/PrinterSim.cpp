// SPDX-License-Identifier: MIT
#include "PrinterSim.h"

#include "PrivateCups.h"

#include "Escape.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace wizard::test {

namespace {
constexpr int controlTimeoutMs = 5000;

} // namespace

PrinterSim::PrinterSim()
    : PrinterSim(Options())
{
}

PrinterSim::PrinterSim(const Options& options)
    : options_(options)
{
}

PrinterSim::~PrinterSim()
{
    stop();
}

QString PrinterSim::programPath()
{
    const QByteArray fromEnvironment = qgetenv("KAVNI_BIN_DIR");
    const QString dir
        = fromEnvironment.isEmpty() ? QStringLiteral(KAVNI_BIN_DIR) : QString::fromLocal8Bit(fromEnvironment);
    return dir + QStringLiteral("/printer-sim");
}

QString PrinterSim::deviceUri() const
{
    return QStringLiteral("socket://127.0.0.1:%1").arg(port_);
}

QString PrinterSim::logPath() const
{
    return dir_ ? dir_->filePath(QStringLiteral("printer.log")) : QString();
}

bool PrinterSim::isRunning() const
{
    return process_ && process_->state() == QProcess::Running;
}

bool PrinterSim::start()
{
    if (isRunning()) {
        lastError_ = QStringLiteral("already running");
        return false;
    }
    dir_ = std::make_unique<QTemporaryDir>();
    if (!dir_->isValid()) {
        lastError_ = QStringLiteral("no temporary folder: ") + dir_->errorString();
        return false;
    }
    QStringList arguments { QStringLiteral("--log"), logPath(), QStringLiteral("--version"),
        QString::fromLatin1(escape(options_.version)), QStringLiteral("--restart-ms"),
        QString::number(options_.restartMs), QStringLiteral("--adjust-ms"),
        QString::number(options_.adjustMs) };
    for (const QString& setting : options_.settings)
        arguments << QStringLiteral("--set") << setting;

    process_ = std::make_unique<QProcess>();
    process_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_->start(programPath(), arguments);
    if (!process_->waitForStarted(10000)) {
        lastError_ = QStringLiteral("cannot start %1: %2").arg(programPath(), process_->errorString());
        process_.reset();
        return false;
    }
    static const QRegularExpression ready(QStringLiteral("ready port=(\\d+) control=(\\d+)"));
    QByteArray output;
    QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        output += process_->readAllStandardOutput();
        const QRegularExpressionMatch m = ready.match(QString::fromLatin1(output));
        if (m.hasMatch()) {
            port_ = static_cast<quint16>(m.captured(1).toUInt());
            controlPort_ = static_cast<quint16>(m.captured(2).toUInt());
            return true;
        }
        if (process_->state() != QProcess::Running)
            break;
        process_->waitForReadyRead(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())));
    }
    lastError_ = QStringLiteral("printer-sim did not become ready: ") + QString::fromLatin1(output);
    stop();
    return false;
}

void PrinterSim::stop()
{
    if (!process_)
        return;
    if (process_->state() != QProcess::NotRunning) {
        process_->terminate();
        if (!process_->waitForFinished(5000)) {
            process_->kill();
            process_->waitForFinished(5000);
        }
    }
    process_.reset();
}

QString PrinterSim::request(const QString& line)
{
    if (controlPort_ == 0)
        return {};
    // Plain sockets: the test-support library does not link the network module.
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return {};
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(controlPort_);
    QByteArray reply;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        const QByteArray out = line.toUtf8() + '\n';
        if (::send(fd, out.constData(), static_cast<size_t>(out.size()), MSG_NOSIGNAL) == out.size()) {
            QDeadlineTimer deadline(controlTimeoutMs);
            while (!reply.contains('\n') && !deadline.hasExpired()) {
                pollfd p { fd, POLLIN, 0 };
                if (::poll(&p, 1, static_cast<int>(qMax<qint64>(1, deadline.remainingTime()))) <= 0)
                    break;
                char buffer[4096];
                const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
                if (n <= 0)
                    break;
                reply.append(buffer, static_cast<int>(n));
            }
        }
    }
    ::close(fd);
    if (!reply.contains('\n'))
        return {};
    return QString::fromUtf8(reply.left(reply.indexOf('\n')));
}

bool PrinterSim::set(const QString& key, const QString& value)
{
    const QString reply = request(QStringLiteral("set %1 %2").arg(key, value));
    if (reply != QLatin1String("ok"))
        lastError_ = reply;
    return reply == QLatin1String("ok");
}

bool PrinterSim::setReply(const QString& commandClass, const QByteArray& reply)
{
    QByteArray text = escape(reply);
    // "-" alone means "no forced reply" to the printer.
    if (text == "-")
        text = "\\x2D";
    return set(QStringLiteral("reply.") + commandClass, QString::fromLatin1(text));
}

bool PrinterSim::clearReply(const QString& commandClass)
{
    return set(QStringLiteral("reply.") + commandClass, QStringLiteral("-"));
}

QString PrinterSim::get(const QString& key)
{
    const QString reply = request(QStringLiteral("get ") + key);
    return reply.startsWith(QLatin1String("ok ")) ? reply.mid(3) : QString();
}

bool PrinterSim::resetFaults()
{
    return request(QStringLiteral("reset")) == QLatin1String("ok");
}

bool PrinterSim::clearLog()
{
    return request(QStringLiteral("clear-log")) == QLatin1String("ok");
}

bool PrinterSim::isRestarting()
{
    return get(QStringLiteral("state")) == QLatin1String("restarting");
}

bool PrinterSim::waitUntilUp(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        if (get(QStringLiteral("state")) == QLatin1String("up"))
            return true;
        QThread::msleep(20);
    }
    return false;
}

bool PrinterSim::waitUntilIdle(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        if (get(QStringLiteral("connections")) == QLatin1String("0"))
            return true;
        QThread::msleep(10);
    }
    return false;
}

QStringList PrinterSim::logLines() const
{
    QFile file(logPath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromLatin1(file.readAll()).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

QList<QByteArray> PrinterSim::commands() const
{
    static const QRegularExpression command(QStringLiteral("^c\\d+ cmd (.*)$"));
    QList<QByteArray> result;
    for (const QString& line : logLines()) {
        const QRegularExpressionMatch m = command.match(line);
        if (m.hasMatch())
            result << unescape(m.captured(1).toLatin1());
    }
    return result;
}

int PrinterSim::statusRequests() const
{
    static const QRegularExpression status(QStringLiteral("^c\\d+ status$"));
    int count = 0;
    for (const QString& line : logLines())
        count += status.match(line).hasMatch() ? 1 : 0;
    return count;
}

bool PrinterSim::waitForLog(const QString& fragment, int timeoutMs) const
{
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        for (const QString& line : logLines()) {
            if (line.contains(fragment))
                return true;
        }
        if (deadline.hasExpired())
            return false;
        QThread::msleep(10);
    }
}

bool PrinterSim::registerQueue(PrivateCups& cups, const QString& name, const QString& driver)
{
    if (!cups.addQueue(name, deviceUri(), driver)) {
        lastError_ = cups.lastError();
        return false;
    }
    return true;
}

QByteArray PrinterSim::firmwareImage(const QByteArray& version, int bodySize)
{
    QByteArray image("TFW1");
    QByteArray field = version.left(15);
    field.append(16 - field.size(), '\0');
    image += field;
    image.reserve(image.size() + qMax(0, bodySize));
    // The same pattern as "printer-sim make-image".
    quint32 x = 0x12345678u;
    for (int i = 0; i < bodySize; ++i) {
        x = x * 1664525u + 1013904223u;
        image += static_cast<char>(x >> 24);
    }
    return image;
}

QByteArray PrinterSim::escape(const QByteArray& bytes)
{
    return QByteArray::fromStdString(
        sim::escapeBytes(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

QByteArray PrinterSim::unescape(const QByteArray& text)
{
    return QByteArray::fromStdString(sim::unescapeText(text.toStdString()));
}

} // namespace wizard::test
