// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace wizard::test {

// The printer-communication service (bin/comm-service) for one test: started
// against the given CUPS server with a pipe folder and a log of its own,
// stopped and cleaned away when the object goes. Faults are switched on and
// off with command() (the commands are listed in devices/comm-service/PipeService.h).
class CommService {
public:
    // cupsServer: the CUPS_SERVER value whose queues it serves; extraArguments
    // are passed on (e.g. "--serve", "ID=QUEUE").
    explicit CommService(const QString& cupsServer, const QStringList& extraArguments = {});
    ~CommService();
    CommService(const CommService&) = delete;
    CommService& operator=(const CommService&) = delete;

    bool isRunning() const { return process_.state() == QProcess::Running; }
    QString lastError() const { return lastError_; }
    // The folder its pipes are in, and the pipe names it announced ("ExtCom...").
    QString pipeFolder() const { return folder_.path(); }
    QStringList pipes() const { return pipes_; }
    // Points this process's pipe clients (TALVOR_PIPE_DIR) at the service's folder.
    void useForThisProcess() const;

    // Sends one control command; true if the service answered "ok".
    bool command(const QString& line);
    // Stops it now (the destructor does the same); afterwards the pipe files are gone.
    void stop();

    // The log lines written since the last clearLog().
    QStringList logLines() const;
    // The whole messages it received, in order, since the last clearLog().
    QList<QByteArray> received() const;
    // How many connections clients made since the last clearLog().
    int connections() const;
    void clearLog();

    static QString programPath();

private:
    QTemporaryDir folder_;
    QProcess process_;
    QStringList pipes_;
    QString lastError_;
    qint64 logStart_ = 0;
};

} // namespace wizard::test
