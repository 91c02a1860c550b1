// SPDX-License-Identifier: MIT
// Stopping a process by its executable's name, and running commands through the
// command interpreter: waiting or not, in the working folder, elevated, and opening a
// help target without ever handing it to a shell.
#include "ProcessProbe.h"

#include "system/ProcessControl.h"
#include "system/Shell.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using namespace wizard::sys;

namespace {

QString pidSuffix(const char* base)
{
    return QString::fromLatin1(base) + QString::number(QCoreApplication::applicationPid());
}

bool writeScript(const QString& path, const QByteArray& body)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write("#!/bin/sh\n" + body);
    file.close();
    return file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
        | QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::ExeOther);
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class tst_Processes : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanup();

    void noProcessOfTheNameStopsNothing();
    void onlyTheFirstOfTwoIsStopped();
    void otherNamesAreNotTouched_data();
    void otherNamesAreNotTouched();
    void noNameIsRefused();
    void emptyNameMatchesNothing();
    void zombieIsNoMatch();
    void processesOfAnotherUser_data();
    void processesOfAnotherUser();

    void waitsWhenAsked();
    void returnsAtOnceWhenNotWaiting();
    void runsInTheWorkingFolderFoundOnPath();
    void emptyCommandStartsTheInterpreter();
    void missingWorkingFolderFailsTheStart();
    void commandInheritsNoDescriptorOfOurs();
    void helpTargetIsOneArgument_data();
    void helpTargetIsOneArgument();
    void elevationGoesThroughPkexec();

private:
    // Starts a copy of the management tool stand-in under name; returns its pid or 0.
    qint64 startNamed(const QString& name);
    // The same, run as the user nobody.
    qint64 startForeign(const QString& name);

    std::unique_ptr<QTemporaryDir> programs_;
    std::unique_ptr<QTemporaryDir> fakeTools_;
    QList<QProcess*> started_;
};

void tst_Processes::initTestCase()
{
    probe::setMarker();
    qputenv("KAVNI_RUVELK_MAX_SECONDS", "60");
    programs_ = std::make_unique<QTemporaryDir>();
    QVERIFY(programs_->isValid());
    QVERIFY(QFileInfo::exists(QStringLiteral(KAVNI_BIN_DIR "/x64/Ruvelk.exe")));

    // The desktop's handler and the elevation tool cannot be watched doing their real
    // work here (no desktop, no authentication agent), so stand-ins first on PATH
    // record the arguments they are given; pkexec's stand-in then runs the command.
    fakeTools_ = std::make_unique<QTemporaryDir>();
    QVERIFY(fakeTools_->isValid());
    QVERIFY(writeScript(fakeTools_->filePath(QStringLiteral("xdg-open")),
        "printf '%s\\n' \"$#\" > \"$KV_OPEN_LOG\"; for a in \"$@\"; do printf '%s\\n' \"$a\" >> "
        "\"$KV_OPEN_LOG\"; done\n"));
    QVERIFY(writeScript(fakeTools_->filePath(QStringLiteral("pkexec")),
        "printf '%s\\n' \"$@\" > \"$KV_PKEXEC_LOG\"; exec \"$@\"\n"));
}

void tst_Processes::cleanup()
{
    for (QProcess* process : std::as_const(started_)) {
        process->kill();
        process->waitForFinished(2000);
        delete process;
    }
    started_.clear();
}

qint64 tst_Processes::startNamed(const QString& name)
{
    const QString path = programs_->filePath(name);
    if (!QFileInfo::exists(path) && !QFile::copy(QStringLiteral(KAVNI_BIN_DIR "/x64/Ruvelk.exe"), path))
        return 0;
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    auto* process = new QProcess;
    started_ << process;
    process->start(path, {});
    if (!process->waitForStarted(5000))
        return 0;
    const qint64 pid = process->processId();
    // Running the program's own file, not still the forked test.
    if (!probe::waitFor([&] { return QFileInfo(probe::executableOf(pid)).fileName() == name; }))
        return 0;
    return pid;
}

qint64 tst_Processes::startForeign(const QString& name)
{
    const QString path = programs_->filePath(name);
    if (!QFileInfo::exists(path) && !QFile::copy(QStringLiteral(KAVNI_BIN_DIR "/x64/Ruvelk.exe"), path))
        return 0;
    const auto everyone = QFileDevice::ReadOwner | QFileDevice::ExeOwner | QFileDevice::WriteOwner
        | QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::ExeOther;
    QFile::setPermissions(path, everyone);
    QFile::setPermissions(programs_->path(), everyone);
    auto* process = new QProcess;
    started_ << process;
    process->start(QStringLiteral("setpriv"),
        { QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"), QStringLiteral("--clear-groups"),
            path });
    if (!process->waitForStarted(5000))
        return 0;
    const qint64 pid = process->processId();
    if (!probe::waitFor([&] { return QFileInfo(probe::executableOf(pid)).fileName() == name; }))
        return 0;
    return pid;
}

void tst_Processes::noProcessOfTheNameStopsNothing()
{
    const qint64 bystander = startNamed(pidSuffix("kvidle_"));
    QVERIFY(bystander);
    QVERIFY(killProcessByName(pidSuffix("kvnone_").toStdWString().c_str()));
    QTest::qWait(100);
    QVERIFY(probe::isRunning(bystander));
}

void tst_Processes::onlyTheFirstOfTwoIsStopped()
{
    const QString name = pidSuffix("kvtwin_");
    const qint64 a = startNamed(name);
    const qint64 b = startNamed(name);
    QVERIFY(a && b);
    const qint64 first = std::min(a, b);
    const qint64 second = std::max(a, b);

    QVERIFY(killProcessByName(name.toStdWString().c_str()));
    QVERIFY(probe::waitFor([&] { return !probe::isRunning(first); }));
    QTest::qWait(100);
    QVERIFY(probe::isRunning(second));

    QVERIFY(killProcessByName(name.toStdWString().c_str()));
    QVERIFY(probe::waitFor([&] { return !probe::isRunning(second); }));
    QVERIFY(killProcessByName(name.toStdWString().c_str()));
}

void tst_Processes::otherNamesAreNotTouched_data()
{
    QTest::addColumn<QString>("running");
    QTest::addColumn<QString>("asked");
    QTest::newRow("case differs") << pidSuffix("KvCase_") << pidSuffix("kvcase_");
    QTest::newRow("running name is longer")
        << pidSuffix("kvlong_") + QStringLiteral(".exe") << pidSuffix("kvlong_");
    QTest::newRow("running name is shorter")
        << pidSuffix("kvshort_") << pidSuffix("kvshort_") + QStringLiteral(".exe");
    // The kernel's short process name keeps 15 characters; the file name is whole.
    QTest::newRow("same first 15 characters")
        << QStringLiteral("kvfifteenchars_") + pidSuffix("tail") << QStringLiteral("kvfifteenchars_");
}

void tst_Processes::otherNamesAreNotTouched()
{
    QFETCH(QString, running);
    QFETCH(QString, asked);
    const qint64 pid = startNamed(running);
    QVERIFY(pid);
    QVERIFY(killProcessByName(asked.toStdWString().c_str()));
    QTest::qWait(100);
    QVERIFY(probe::isRunning(pid));
}

void tst_Processes::noNameIsRefused()
{
    QVERIFY(!killProcessByName(nullptr));
}

void tst_Processes::emptyNameMatchesNothing()
{
    const qint64 bystander = startNamed(pidSuffix("kvempty_"));
    QVERIFY(bystander);
    QVERIFY(killProcessByName(L""));
    QTest::qWait(100);
    QVERIFY(probe::isRunning(bystander));
}

void tst_Processes::zombieIsNoMatch()
{
    // A process that has ended but whose parent (this test) has not collected it yet:
    // only its exit status is left, and the live process of the same name after it is
    // the one to stop.
    const QString name = pidSuffix("kvzombie_");
    QVERIFY(startNamed(name));
    cleanup();
    const QByteArray path = programs_->filePath(name).toLocal8Bit();
    char* arguments[] = { const_cast<char*>(path.constData()), nullptr };
    pid_t zombie = 0;
    QCOMPARE(posix_spawn(&zombie, path.constData(), nullptr, nullptr, arguments, environ), 0);
    QVERIFY(probe::waitFor([&] { return QFileInfo(probe::executableOf(zombie)).fileName() == name; }));
    QCOMPARE(::kill(zombie, SIGKILL), 0);
    QVERIFY(probe::waitFor([&] { return !probe::isRunning(zombie); }));
    const qint64 live = startNamed(name);
    QVERIFY(live);
    if (live < zombie) {
        ::waitpid(zombie, nullptr, 0);
        QSKIP("pids wrapped around");
    }
    const bool answer = killProcessByName(name.toStdWString().c_str());
    const bool liveStopped = probe::waitFor([&] { return !probe::isRunning(live); });
    ::waitpid(zombie, nullptr, 0);
    QVERIFY(answer);
    QVERIFY(liveStopped);
}

void tst_Processes::processesOfAnotherUser_data()
{
    // The call runs in a process of its own (process_probe) as root with some rights
    // taken away: without the right to stop other users' processes (kill) and without
    // the right to inspect them (ptrace, which hides their executable link). The
    // process to find runs as the user nobody.
    QTest::addColumn<QString>("running");
    QTest::addColumn<QString>("asked");
    QTest::addColumn<QString>("without");
    QTest::addColumn<bool>("answer");
    QTest::addColumn<bool>("stillRunning");
    const QString shortName = pidSuffix("kvfor_");
    const QString longName = pidSuffix("kvforeignlongname_");
    QTest::newRow("root stops anyone's") << shortName << shortName << QString() << true << false;
    QTest::newRow("found by its own name, stopped")
        << shortName << shortName << QStringLiteral("sys_ptrace") << true << false;
    QTest::newRow("long name found by its command line, stopped")
        << longName << longName << QStringLiteral("sys_ptrace") << true << false;
    QTest::newRow("15 characters in common are no match")
        << QStringLiteral("kvfifteenchars_") + pidSuffix("x") << QStringLiteral("kvfifteenchars_")
        << QStringLiteral("sys_ptrace") << true << true;
    QTest::newRow("stop refused") << shortName << shortName << QStringLiteral("kill") << false << true;
    QTest::newRow("stop refused, not inspectable")
        << shortName << shortName << QStringLiteral("kill,-sys_ptrace") << false << true;
    QTest::newRow("long name, stop refused, not inspectable")
        << longName << longName << QStringLiteral("kill,-sys_ptrace") << false << true;
}

void tst_Processes::processesOfAnotherUser()
{
    QFETCH(QString, running);
    QFETCH(QString, asked);
    QFETCH(QString, without);
    QFETCH(bool, answer);
    QFETCH(bool, stillRunning);
    if (::geteuid() != 0)
        QSKIP("needs root, to run processes as another user");
    if (QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
        QSKIP("needs setpriv");
    const qint64 pid = startForeign(running);
    QVERIFY(pid);

    QStringList arguments;
    if (!without.isEmpty())
        arguments << QStringLiteral("--inh-caps=-") + without << QStringLiteral("--bounding-set=-") + without;
    arguments << QStringLiteral(KAVNI_TESTS_BIN_DIR "/process_probe") << QStringLiteral("kill") << asked;
    QProcess stopper;
    stopper.start(QStringLiteral("setpriv"), arguments);
    QVERIFY(stopper.waitForFinished(10000));
    QCOMPARE(stopper.exitStatus(), QProcess::NormalExit);
    QVERIFY2(stopper.exitCode() == 0 || stopper.exitCode() == 1, stopper.readAllStandardError().constData());
    QCOMPARE(stopper.exitCode() == 0, answer);
    if (stillRunning) {
        QTest::qWait(100);
        QVERIFY(probe::isRunning(pid));
    } else {
        QVERIFY(probe::waitFor([&] { return !probe::isRunning(pid); }));
    }
}

void tst_Processes::waitsWhenAsked()
{
    QTemporaryDir folder;
    QVERIFY(runCmd(L"sleep 0.4; echo done > out", folder.path().toStdWString(), true, false));
    QCOMPARE(readAll(folder.filePath(QStringLiteral("out"))), QByteArray("done\n"));
}

void tst_Processes::returnsAtOnceWhenNotWaiting()
{
    QTemporaryDir folder;
    QVERIFY(runCmd(L"sleep 1; echo done > out", folder.path().toStdWString(), false, false));
    QVERIFY(!QFileInfo::exists(folder.filePath(QStringLiteral("out"))));
    // It went on running on its own.
    QVERIFY(probe::waitFor([&] { return readAll(folder.filePath(QStringLiteral("out"))) == "done\n"; }));
}

void tst_Processes::runsInTheWorkingFolderFoundOnPath()
{
    QTemporaryDir folder;
    QVERIFY(writeScript(folder.filePath(QStringLiteral("kvtool")), "pwd > where\necho \"$PATH\" > path\n"));
    QVERIFY(runCmd(L"kvtool", folder.path().toStdWString(), true, false));
    QCOMPARE(readAll(folder.filePath(QStringLiteral("where"))).trimmed(),
        QFileInfo(folder.path()).canonicalFilePath().toLocal8Bit());
    QVERIFY(readAll(folder.filePath(QStringLiteral("path"))).startsWith(folder.path().toLocal8Bit() + ':'));
}

void tst_Processes::emptyCommandStartsTheInterpreter()
{
    QVERIFY(runCmd(L"", L"", true, false));
    QVERIFY(runCmd(L"", L"", false, false));
}

void tst_Processes::missingWorkingFolderFailsTheStart()
{
    QTemporaryDir folder;
    const std::wstring missing = folder.filePath(QStringLiteral("no/such/folder")).toStdWString();
    QVERIFY(!runCmd(L"touch made", missing, true, false));
    QVERIFY(!runCmd(L"touch made", missing, false, false));
}

void tst_Processes::commandInheritsNoDescriptorOfOurs()
{
    // The management tool, once started, runs on for long: a descriptor of ours it kept
    // (a printer connection, a pipe) would stay open after we closed it.
    int ours[2];
    QVERIFY(::pipe(ours) == 0);
    QTemporaryDir folder;
    const bool started = runCmd(L"ls /proc/self/fd > fds", folder.path().toStdWString(), true, false);
    ::close(ours[0]);
    ::close(ours[1]);
    QVERIFY(started);
    const QList<QByteArray> fds = readAll(folder.filePath(QStringLiteral("fds"))).split('\n');
    QVERIFY(fds.contains("1"));
    QVERIFY2(!fds.contains(QByteArray::number(ours[0])) && !fds.contains(QByteArray::number(ours[1])),
        fds.join(' ').constData());
}

void tst_Processes::helpTargetIsOneArgument_data()
{
    QTest::addColumn<QString>("target");
    QTest::newRow("plain") << QStringLiteral("/opt/help/en/page.html");
    QTest::newRow("spaces") << QStringLiteral("/opt/help files/en/page 1.html");
    QTest::newRow("semicolon") << QStringLiteral("page.html; touch pwned1");
    QTest::newRow("command substitution") << QStringLiteral("$(touch pwned2).html");
    QTest::newRow("backquotes and pipe") << QStringLiteral("`touch pwned3`|touch pwned4");
    QTest::newRow("address with & and quotes")
        << QStringLiteral("http://127.0.0.1/help?a=1&b='2'\"&touch pwned5");
}

void tst_Processes::helpTargetIsOneArgument()
{
    QFETCH(QString, target);
    QTemporaryDir folder;
    const QString log = folder.filePath(QStringLiteral("open.log"));
    qputenv("KV_OPEN_LOG", log.toLocal8Bit());
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", fakeTools_->path().toLocal8Bit() + ':' + path);
    const bool started = runCmd(
        (QStringLiteral("start ") + target).toStdWString(), folder.path().toStdWString(), true, false);
    qputenv("PATH", path);
    QVERIFY(started);
    QCOMPARE(readAll(log), "1\n" + target.toLocal8Bit() + '\n');
    const QStringList made = QDir(folder.path()).entryList({ QStringLiteral("pwned*") });
    QVERIFY2(made.isEmpty(), qPrintable(made.join(QLatin1Char(' '))));
}

void tst_Processes::elevationGoesThroughPkexec()
{
    QTemporaryDir folder;
    QVERIFY(writeScript(folder.filePath(QStringLiteral("kvtool")), "pwd > where\n"));
    const QString log = folder.filePath(QStringLiteral("pkexec.log"));
    qputenv("KV_PKEXEC_LOG", log.toLocal8Bit());
    qputenv("KV_OPEN_LOG", folder.filePath(QStringLiteral("open.log")).toLocal8Bit());
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", fakeTools_->path().toLocal8Bit() + ':' + path);
    const bool elevated = runCmd(L"kvtool", folder.path().toStdWString(), true, true);
    const bool opened = runCmd(L"start /opt/help/admin page.html", L"", true, true);
    qputenv("PATH", path);

    QVERIFY(elevated);
    QCOMPARE(readAll(folder.filePath(QStringLiteral("where"))).trimmed(),
        QFileInfo(folder.path()).canonicalFilePath().toLocal8Bit());
    QVERIFY(opened);
    QCOMPARE(readAll(log), QByteArray("xdg-open\n/opt/help/admin page.html\n"));
    QCOMPARE(
        readAll(folder.filePath(QStringLiteral("open.log"))), QByteArray("1\n/opt/help/admin page.html\n"));

    // Without the elevation tool nothing can be started.
    if (QStandardPaths::findExecutable(QStringLiteral("pkexec")).isEmpty())
        QVERIFY(!runCmd(L"kvtool", folder.path().toStdWString(), true, true));
}

QTEST_GUILESS_MAIN(tst_Processes)
#include "tst_processes.moc"
