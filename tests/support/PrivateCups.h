// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringList>

namespace wizard::test {

// A private CUPS server for a test, never the machine's own: either the one the CTest
// fixture "private_cups" started for this ctest run (shared with the run's other tests,
// so queue names must be unique: use uniqueName), or one of the test's own (needed to
// stop it, to change who may administer it, or to see it empty). Outside ctest, or when
// the fixture is missing, a shared request starts an own server too. KAVNI_CUPS_SERVER
// in the environment names a server to attach to instead.
//
// Queues are added with a PPD whose NickName is the driver name (what the spooler
// reports as the driver) and the printer identifier as talvor-printer-id-default.
// Queues this object added are deleted when it is destroyed; an own server is stopped
// and its folder removed. The fixture's cleanup fails when a queue of the shared server
// is still held by a wizard, or was deleted while held.
class PrivateCups {
public:
    enum class Mode { Shared, Own };

    explicit PrivateCups(Mode mode = Mode::Shared);
    ~PrivateCups();
    PrivateCups(const PrivateCups&) = delete;
    PrivateCups& operator=(const PrivateCups&) = delete;

    bool isRunning() const { return !server_.isEmpty(); }
    bool isOwn() const { return own_; }
    // The CUPS_SERVER value (the server's socket path).
    QString server() const { return server_; }
    // The server's loopback port (for ipp:// URIs of its queues), 0 if unknown.
    quint16 port() const;
    // The message of the last failed call, with the tool's output.
    QString lastError() const { return lastError_; }

    // Points this process at the server: CUPS_SERVER for threads and children started
    // later, and libcups' setting of the calling thread.
    void useForThisProcess() const;

    // base followed by this process's id, so tests sharing the server do not collide.
    static QString uniqueName(const QString& base);

    bool addQueue(const QString& name, const QString& deviceUri, const QString& driver,
        const QString& printerId = QString());
    bool deleteQueue(const QString& name);
    // Pauses or resumes a queue the way an administrator does (cupsdisable/cupsenable).
    bool pauseAsAdministrator(
        const QString& name, const QString& reason = QStringLiteral("paused by the administrator"));
    bool resumeAsAdministrator(const QString& name);

    // Own server only: restarts it (queues kept) so that only members of group may administer it.
    bool setAdminGroup(const QString& group);
    // Own server only: stops it now (the folder stays until destruction), e.g. to show a dead server.
    bool stop();
    // Own server only: starts a stopped server again on the same socket and folder, queues kept.
    bool relaunch();
    // Own server only: suspends it (SIGSTOP) or lets it go on, to show a server that
    // accepts connections but never answers. The destructor lets a suspended server go on.
    bool suspend(bool suspended);

    // Runs a CUPS client tool (lpstat, lp, ...) against this server; returns its exit code
    // (-1 if it could not run or took longer than 30 s) and its standard output.
    int runTool(const QString& program, const QStringList& arguments, QString* output = nullptr) const;

    // The private-cups script in the source tree.
    static QString scriptPath();

private:
    bool runScript(const QStringList& arguments, QString* output = nullptr);
    // A shared server's queue deleted while a wizard holds it is noted for the run's
    // cleanup, which then fails.
    void noteIfHeld(const QString& name) const;
    qint64 serverPid() const;

    QString server_;
    bool own_ = false;
    bool stopped_ = false;
    bool suspended_ = false;
    QStringList added_;
    QString lastError_;
};

} // namespace wizard::test
