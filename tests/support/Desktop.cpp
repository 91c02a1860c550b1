// SPDX-License-Identifier: MIT
#include "Desktop.h"

#include <QDeadlineTimer>
#include <QRegularExpression>
#include <QThread>

namespace wizard::test {

namespace {

// The program's output, or "" when it did not end in time.
QString run(const QString& program, const QStringList& arguments, const QProcessEnvironment& environment,
    int timeoutMs = 15000)
{
    QProcess tool;
    tool.setProcessEnvironment(environment);
    tool.start(program, arguments);
    if (!tool.waitForFinished(timeoutMs)) {
        tool.kill();
        tool.waitForFinished(1000);
        return {};
    }
    return QString::fromUtf8(tool.readAllStandardOutput());
}

void stop(QProcess& process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(2000);
    }
}

} // namespace

XServer::XServer()
{
    server.start(QStringLiteral("Xvfb"),
        { QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"), QStringLiteral("0"),
            QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"), QStringLiteral("tcp") });
    if (!server.waitForStarted(10000))
        return;
    QDeadlineTimer deadline(10000);
    QByteArray number;
    while (!number.endsWith('\n') && !deadline.hasExpired() && server.state() == QProcess::Running) {
        server.waitForReadyRead(100);
        number += server.readAllStandardOutput();
    }
    if (number.trimmed().isEmpty())
        return;
    display = QStringLiteral(":") + QString::fromLatin1(number.trimmed());
}

XServer::~XServer()
{
    if (server.state() != QProcess::NotRunning) {
        server.terminate();
        if (!server.waitForFinished(5000)) {
            server.kill();
            server.waitForFinished(2000);
        }
    }
}

Desktop::Desktop()
{
    if (!x.isRunning()) {
        lastError_ = QStringLiteral("Xvfb did not start");
        return;
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), x.display);

    sessionBus.setProcessEnvironment(environment);
    sessionBus.start(QStringLiteral("dbus-daemon"),
        { QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1") });
    QDeadlineTimer deadline(10000);
    QByteArray address;
    while (!address.endsWith('\n') && !deadline.hasExpired() && sessionBus.state() != QProcess::NotRunning) {
        sessionBus.waitForReadyRead(100);
        address += sessionBus.readAllStandardOutput();
    }
    busAddress = QString::fromUtf8(address.trimmed());
    if (busAddress.isEmpty()) {
        lastError_ = QStringLiteral("the session bus did not start");
        return;
    }

    windowManager.setProcessEnvironment(environment);
    windowManager.setStandardOutputFile(QProcess::nullDevice());
    windowManager.setStandardErrorFile(QProcess::nullDevice());
    windowManager.start(QStringLiteral("openbox"), { QStringLiteral("--sm-disable") });
    // The window manager is ready once it has claimed the screen.
    while (!run(QStringLiteral("xprop"),
        { QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK") }, environment)
                .contains(QLatin1String("window id"))) {
        if (deadline.hasExpired() || windowManager.state() == QProcess::NotRunning) {
            lastError_ = QStringLiteral("openbox did not start");
            return;
        }
        QThread::msleep(50);
    }
}

Desktop::~Desktop()
{
    stop(windowManager);
    stop(sessionBus);
}

void Desktop::addTo(QProcessEnvironment& environment) const
{
    environment.insert(QStringLiteral("DISPLAY"), x.display);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), busAddress);
    // A screen reader that runs switches the toolkit's bridge on; here nobody
    // starts one, so the bridge is asked for directly.
    environment.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
}

QString Desktop::Accessible::toString() const
{
    QString line
        = QString(depth * 2, QLatin1Char(' ')) + role + QStringLiteral(" \"") + name + QLatin1Char('"');
    if (!description.isEmpty())
        line += QStringLiteral(" description \"") + description + QLatin1Char('"');
    if (!labelledBy.isEmpty())
        line += QStringLiteral(" labelled by \"") + labelledBy + QLatin1Char('"');
    if (!value.isEmpty())
        line += QStringLiteral(" value ") + value;
    return line
        + QStringLiteral(" at %1,%2 %3x%4 [%5]")
              .arg(extents.x())
              .arg(extents.y())
              .arg(extents.width())
              .arg(extents.height())
              .arg(states.join(QLatin1Char(',')));
}

QList<Desktop::Accessible> Desktop::accessibleTree(qint64 pid) const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    addTo(environment);
    const QString output = run(QStringLiteral(KAVNI_SOURCE_DIR "/tests/support/accessible-tree"),
        { QString::number(pid), QStringLiteral("--wait"), QStringLiteral("5") }, environment);
    QList<Accessible> tree;
    for (const QString& line : output.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QStringList fields = line.split(QLatin1Char('\t'));
        if (fields.size() < 6)
            continue;
        Accessible accessible;
        accessible.depth = fields[0].toInt();
        accessible.role = fields[1];
        accessible.name = fields[2];
        accessible.description = fields[3];
        const QStringList box = fields[4].split(QLatin1Char(','));
        if (box.size() == 4)
            accessible.extents = QRect(box[0].toInt(), box[1].toInt(), box[2].toInt(), box[3].toInt());
        accessible.states = fields[5].split(QLatin1Char(','), Qt::SkipEmptyParts);
        accessible.value = fields.value(6);
        accessible.labelledBy = fields.value(7);
        tree << accessible;
    }
    return tree;
}

std::optional<Desktop::Accessible> Desktop::waitFor(
    qint64 pid, const QString& role, const QString& name, int timeoutMs) const
{
    QDeadlineTimer deadline(timeoutMs);
    do {
        for (const Accessible& accessible : accessibleTree(pid))
            if (accessible.role == role && (name.isNull() || accessible.name == name) && accessible.showing()
                && !accessible.extents.isEmpty())
                return accessible;
        QThread::msleep(100);
    } while (!deadline.hasExpired());
    return std::nullopt;
}

bool Desktop::waitUntilGone(qint64 pid, const QString& role, const QString& name, int timeoutMs) const
{
    QDeadlineTimer deadline(timeoutMs);
    do {
        bool shown = false;
        for (const Accessible& accessible : accessibleTree(pid))
            shown = shown || (accessible.role == role && accessible.name == name && accessible.showing());
        if (!shown)
            return true;
        QThread::msleep(100);
    } while (!deadline.hasExpired());
    return false;
}

QString Desktop::xdotool(const QStringList& arguments) const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), x.display);
    return run(QStringLiteral("xdotool"), arguments, environment);
}

bool Desktop::screenshot(const QString& file) const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), x.display);
    QProcess tool;
    tool.setProcessEnvironment(environment);
    tool.start(QStringLiteral("import"), { QStringLiteral("-window"), QStringLiteral("root"), file });
    return tool.waitForFinished(15000) && tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
}

bool Desktop::click(const Accessible& control) const
{
    if (control.extents.isEmpty())
        return false;
    const QPoint centre = control.extents.center();
    xdotool({ QStringLiteral("mousemove"), QString::number(centre.x()), QString::number(centre.y()),
        QStringLiteral("click"), QStringLiteral("1") });
    return true;
}

bool Desktop::key(const QString& keys) const
{
    xdotool({ QStringLiteral("key"), keys });
    return true;
}

QList<Desktop::Window> Desktop::windows(qint64 pid) const
{
    QList<Window> found;
    const QStringList ids = xdotool({ QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                        QStringLiteral("--pid"), QString::number(pid), QStringLiteral(".") })
                                .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    static const QRegularExpression place(
        QStringLiteral("Position: (-?\\d+),(-?\\d+).*Geometry: (\\d+)x(\\d+)"),
        QRegularExpression::DotMatchesEverythingOption);
    for (const QString& id : ids) {
        const QRegularExpressionMatch match
            = place.match(xdotool({ QStringLiteral("getwindowgeometry"), id }));
        if (match.hasMatch())
            found << Window { id,
                QRect(match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3).toInt(),
                    match.captured(4).toInt()) };
    }
    return found;
}

} // namespace wizard::test
