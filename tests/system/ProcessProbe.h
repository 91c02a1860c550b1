// SPDX-License-Identifier: MIT
#pragma once

// Finds processes by executable and by an environment marker, so that a test touches
// only what it started itself even while other tests run programs of the same name.

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <csignal>
#include <sys/types.h>

namespace probe {

// The marker every child of this test inherits.
inline QByteArray marker()
{
    return "KAVNI_TEST_MARKER=" + QByteArray::number(QCoreApplication::applicationPid());
}

inline void setMarker()
{
    qputenv("KAVNI_TEST_MARKER", QByteArray::number(QCoreApplication::applicationPid()));
}

inline bool hasMarker(qint64 pid)
{
    QFile environ(QStringLiteral("/proc/%1/environ").arg(pid));
    if (!environ.open(QIODevice::ReadOnly))
        return false;
    return environ.readAll().split('\0').contains(marker());
}

// Live (not zombie) processes of this test whose executable's file name is name.
inline QList<qint64> ownProcesses(const QString& name)
{
    QList<qint64> found;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        if (!number)
            continue;
        const QString exe = QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget();
        if (exe.isEmpty() || QFileInfo(exe).fileName() != name || !hasMarker(pid))
            continue;
        found << pid;
    }
    std::sort(found.begin(), found.end());
    return found;
}

inline QString executableOf(qint64 pid)
{
    return QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget();
}

inline bool isRunning(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    const int close = line.lastIndexOf(')');
    return close > 0 && close + 2 < line.size() && line.at(close + 2) != 'Z' && line.at(close + 2) != 'X';
}

// Waits (bounded) until condition holds.
template <typename Condition> inline bool waitFor(Condition condition, int timeoutMs = 5000)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QThread::msleep(20);
    }
    return true;
}

inline void killAll(const QString& name)
{
    for (qint64 pid : ownProcesses(name))
        ::kill(static_cast<pid_t>(pid), SIGKILL);
}

} // namespace probe
