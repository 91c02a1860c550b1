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

// The live processes of this test (its marker in their environment) for which
// matches(pid) holds, in pid order. A zombie has no executable nor command line.
template <typename Match> inline QList<qint64> ownProcessesWhere(Match matches)
{
    QList<qint64> found;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        if (number && matches(pid) && hasMarker(pid))
            found << pid;
    }
    std::sort(found.begin(), found.end());
    return found;
}

// Live (not zombie) processes of this test whose executable's file name is name.
inline QList<qint64> ownProcesses(const QString& name)
{
    return ownProcessesWhere([&name](qint64 pid) {
        QString exe = QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget();
        // A program whose file was removed meanwhile (a test's copy of the tool) still counts.
        if (exe.endsWith(QLatin1String(" (deleted)")))
            exe.chop(10);
        return !exe.isEmpty() && QFileInfo(exe).fileName() == name;
    });
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

// Live processes of this test that are a shell about to start name (the wizard
// starts the tool through "/bin/sh -c NAME", which becomes the tool once it execs).
inline QList<qint64> ownShellsStarting(const QString& name)
{
    const QByteArray command = name.toLocal8Bit();
    return ownProcessesWhere([&command](qint64 pid) {
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (!cmdline.open(QIODevice::ReadOnly))
            return false;
        const QList<QByteArray> words = cmdline.readAll().split('\0');
        return words.size() >= 3 && words.at(1) == "-c" && words.at(2).trimmed().endsWith(command);
    });
}

// Stops every process of this test named name, and the shells about to become one,
// until a look finds none (at most 3 s): a tool being started as the call runs is
// caught too.
inline void killAll(const QString& name)
{
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        const QList<qint64> found = ownProcesses(name) + ownShellsStarting(name);
        if (found.isEmpty() || timer.elapsed() > 3000)
            return;
        for (qint64 pid : found)
            ::kill(static_cast<pid_t>(pid), SIGKILL);
        QThread::msleep(50);
    }
}

} // namespace probe
