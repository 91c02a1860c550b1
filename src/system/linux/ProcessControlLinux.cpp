// SPDX-License-Identifier: MIT
// Processes on Linux: the snapshot is a walk of /proc in ascending pid order; a
// process's executable file name is the last part of its /proc/PID/exe link, or,
// where that link may not be read, its own name and command line.
#include "system/ProcessControl.h"

#include <QString>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/syscall.h>
#include <sys/utsname.h>
#include <unistd.h>
#include <vector>

namespace wizard::sys {

namespace {

// How long a stopped process is given to be gone before the call returns.
constexpr int exitWaitMs = 1000;
// The kernel keeps this many bytes of a process's name (TASK_COMM_LEN less its NUL).
constexpr std::size_t shortNameLength = 15;

std::vector<pid_t> processIds(bool& listed)
{
    std::vector<pid_t> pids;
    DIR* proc = opendir("/proc");
    listed = proc != nullptr;
    if (!proc)
        return pids;
    while (const dirent* entry = readdir(proc)) {
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (*entry->d_name && *end == '\0' && pid > 0)
            pids.push_back(static_cast<pid_t>(pid));
    }
    closedir(proc);
    std::sort(pids.begin(), pids.end());
    return pids;
}

std::string readSmallFile(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || text.size() > 65536)
            break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return text;
}

std::string baseName(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A zombie has ended already (only its exit status is left); "X" is a process
// being reaped. Neither is a match: there is nothing left to stop.
bool hasEnded(pid_t pid)
{
    const std::string stat = readSmallFile("/proc/" + std::to_string(pid) + "/stat");
    const auto close = stat.rfind(')');
    if (close == std::string::npos || close + 2 >= stat.size())
        return true;
    const char state = stat[close + 2];
    return state == 'Z' || state == 'X';
}

// The name the process was started under, or empty when none can be told (a kernel
// thread, a process gone). The executable link gives it whole, but only for a process
// we may inspect (ours, or anyone's with the right to trace); otherwise the kernel's
// own process name, which it cuts at 15 bytes, and for a name that long the file
// name of the command line's first word, which is what the process was started as.
std::string processName(pid_t pid)
{
    const std::string folder = "/proc/" + std::to_string(pid);
    char target[4096];
    const ssize_t length = readlink((folder + "/exe").c_str(), target, sizeof target - 1);
    if (length > 0) {
        std::string path(target, static_cast<std::size_t>(length));
        // The link of a replaced or removed file ends so; the name is what was started.
        static const std::string deleted = " (deleted)";
        if (path.size() > deleted.size()
            && path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0)
            path.resize(path.size() - deleted.size());
        return baseName(path);
    }
    std::string comm = readSmallFile(folder + "/comm");
    if (!comm.empty() && comm.back() == '\n')
        comm.pop_back();
    if (comm.size() < shortNameLength)
        return comm;
    // Cut short (or exactly 15 bytes long): the first word of the command line, when
    // it starts as the short name does, gives the whole name.
    const std::string cmdline = readSmallFile(folder + "/cmdline");
    const std::string first = baseName(cmdline.substr(0, cmdline.find('\0')));
    if (first.size() >= comm.size() && first.compare(0, comm.size(), comm) == 0)
        return first;
    return comm;
}

int pidfdOpen(pid_t pid)
{
#ifdef SYS_pidfd_open
    return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#else
    (void)pid;
    errno = ENOSYS;
    return -1;
#endif
}

int pidfdSendSignal(int pidfd, int signal)
{
#ifdef SYS_pidfd_send_signal
    return static_cast<int>(syscall(SYS_pidfd_send_signal, pidfd, signal, nullptr, 0));
#else
    (void)pidfd;
    (void)signal;
    errno = ENOSYS;
    return -1;
#endif
}

} // namespace

bool processRunning(const wchar_t* name)
{
    if (!name || !*name)
        return false;
    const std::string wanted = QString::fromWCharArray(name).toStdString();
    bool listed = false;
    for (pid_t pid : processIds(listed))
        if (processName(pid) == wanted && !hasEnded(pid))
            return true;
    return false;
}

bool systemKillProcessByName(const wchar_t* name)
{
    if (!name)
        return false;
    const std::string wanted = QString::fromWCharArray(name).toStdString();
    bool listed = false;
    const std::vector<pid_t> pids = processIds(listed);
    if (!listed || pids.empty())
        return false;
    // An empty name matches nothing.
    if (wanted.empty())
        return true;
    pid_t match = 0;
    for (pid_t pid : pids) {
        if (processName(pid) == wanted && !hasEnded(pid)) {
            match = pid;
            break;
        }
    }
    if (match == 0)
        return true;

    // Through a pidfd the signal reaches the process that was found, even if its pid
    // were reused meanwhile; the name is checked again once the pidfd pins it.
    const int pidfd = pidfdOpen(match);
    if (pidfd < 0) {
        // ESRCH: the match ended since the walk, so nothing is left to stop.
        if (errno == ESRCH)
            return true;
        if (errno != ENOSYS)
            return false;
        return ::kill(match, SIGKILL) == 0 || errno == ESRCH;
    }
    if (processName(match) != wanted || hasEnded(match)) {
        // The match ended between the walk and now: nothing is left to stop.
        ::close(pidfd);
        return true;
    }
    // Refused (another user's process without the right to stop it): false, the
    // process goes on running.
    bool stopped = pidfdSendSignal(pidfd, SIGKILL) == 0;
    if (!stopped && errno == ESRCH)
        stopped = true;
    if (stopped) {
        pollfd exited { pidfd, POLLIN, 0 };
        int ready;
        while ((ready = poll(&exited, 1, exitWaitMs)) < 0 && errno == EINTR) { }
        // Killed yet still there after the wait (stuck in the kernel): not stopped.
        stopped = ready > 0 || hasEnded(match);
    }
    ::close(pidfd);
    return stopped;
}

bool isNotWow64Process()
{
    if constexpr (sizeof(void*) == 8) {
        return false;
    } else {
        utsname system {};
        if (uname(&system) != 0)
            return true;
        const std::string machine = system.machine;
        return machine.find("64") == std::string::npos;
    }
}

} // namespace wizard::sys
