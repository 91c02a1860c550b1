// SPDX-License-Identifier: MIT
// The command interpreter on Linux: /bin/sh -c, started with fork and exec so that
// nothing but the command itself is interpreted; pkexec for elevation; xdg-open for
// "start TARGET".
#include "system/Shell.h"

#include <QString>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace wizard::sys
{

namespace
{

std::string toLocal(const std::wstring& text)
{
    return QString::fromStdWString(text).toLocal8Bit().toStdString();
}

// Writes errno to the parent and ends the child; only async-signal-safe calls.
[[noreturn]] void failChild(int reportFd)
{
    const int error = errno;
    ssize_t ignored = ::write(reportFd, &error, sizeof error);
    (void)ignored;
    _exit(127);
}

// In the child: hidden (no terminal input or output), in the folder, then exec.
[[noreturn]] void execChild(int reportFd, const char* folder, char* const* argv, char* const* envp)
{
    const int devNull = ::open("/dev/null", O_RDWR);
    if (devNull >= 0) {
        ::dup2(devNull, STDIN_FILENO);
        ::dup2(devNull, STDOUT_FILENO);
        ::dup2(devNull, STDERR_FILENO);
        if (devNull > STDERR_FILENO)
            ::close(devNull);
    }
    if (*folder && ::chdir(folder) != 0)
        failChild(reportFd);
    // The command gets none of our descriptors, as a program the shell starts on Windows
    // inherits no handles: the tool runs on long after we have closed our connections.
    // An older kernel without this call leaves them as they are.
    ::close_range(STDERR_FILENO + 1, ~0U, CLOSE_RANGE_CLOEXEC);
    execvpe(argv[0], argv, envp);
    failChild(reportFd);
}

} // namespace

bool runCmd(const std::wstring& command, const std::wstring& workingFolder, bool wait, bool elevate)
{
    const std::string folder = toLocal(workingFolder);
    const std::string text = toLocal(command);

    std::vector<std::string> arguments;
    if (elevate)
        arguments.emplace_back("pkexec");
    static const std::string start = "start ";
    if (text.compare(0, start.size(), start) == 0) {
        // The target is data (a path, an address), never shell syntax.
        arguments.emplace_back("xdg-open");
        arguments.push_back(text.substr(start.size()));
    } else if (elevate) {
        // pkexec gives the program a clean environment and its own current folder, so
        // the folder is set inside the elevated interpreter. The folder and the command
        // travel as arguments, not as text spliced into a script.
        arguments.emplace_back("/bin/sh");
        arguments.emplace_back("-c");
        arguments.emplace_back("if [ -n \"$1\" ]; then cd -- \"$1\" || exit 127; PATH=\"$1:$PATH\"; export "
                               "PATH; fi; exec /bin/sh -c \"$2\"");
        arguments.emplace_back("sh");
        arguments.push_back(folder);
        arguments.push_back(text);
    } else {
        arguments.emplace_back("/bin/sh");
        arguments.emplace_back("-c");
        arguments.push_back(text);
    }

    // Everything the child needs is built before fork: only async-signal-safe calls after.
    std::vector<std::string> environment;
    bool pathSet = false;
    for (char** variable = environ; variable && *variable; ++variable) {
        std::string entry = *variable;
        if (entry.compare(0, 5, "PATH=") == 0 && !folder.empty()) {
            entry = "PATH=" + folder + ":" + entry.substr(5);
            pathSet = true;
        }
        environment.push_back(std::move(entry));
    }
    if (!pathSet && !folder.empty())
        environment.push_back("PATH=" + folder + ":/usr/local/bin:/usr/bin:/bin");
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    // The child reports a failed exec through this pipe; a clean exec closes it.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0)
        return false;

    const pid_t child = ::fork();
    if (child < 0) {
        ::close(report[0]);
        ::close(report[1]);
        return false;
    }
    if (child == 0) {
        ::close(report[0]);
        if (!wait) {
            // Detached: a grandchild in its own session, adopted by the system, so
            // nothing waits for it and it outlives us.
            ::setsid();
            const pid_t grandchild = ::fork();
            if (grandchild < 0)
                failChild(report[1]);
            if (grandchild > 0)
                _exit(0);
        }
        execChild(report[1], folder.c_str(), argv.data(), envp.data());
    }
    ::close(report[1]);
    int error = 0;
    ssize_t got;
    while ((got = ::read(report[0], &error, sizeof error)) < 0 && errno == EINTR) { }
    ::close(report[0]);
    const bool started = got == 0;

    // Waiting means until the command has ended, with no time limit; detached, only
    // the intermediate child is reaped.
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) { }
    return started;
}

} // namespace wizard::sys
