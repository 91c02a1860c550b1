// SPDX-License-Identifier: MIT
// Processes on Linux: the snapshot is a walk of /proc in ascending pid order; a
// process's executable file name is the last part of its /proc/PID/exe link.
#include "system/ProcessControl.h"

#include <QString>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <poll.h>
#include <string>
#include <sys/syscall.h>
#include <sys/utsname.h>
#include <unistd.h>
#include <vector>

namespace wizard::sys
{

namespace
{

// How long a stopped process is given to be gone before the call returns.
constexpr int exitWaitMs = 1000;

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

// The executable's file name, or empty when it cannot be read (a kernel thread, a
// zombie, a process of another user).
std::string executableName(pid_t pid)
{
    const std::string link = "/proc/" + std::to_string(pid) + "/exe";
    char target[4096];
    const ssize_t length = readlink(link.c_str(), target, sizeof target - 1);
    if (length <= 0)
        return {};
    std::string path(target, static_cast<std::size_t>(length));
    // The link of a replaced or removed file ends so; the name is what was started.
    static const std::string deleted = " (deleted)";
    if (path.size() > deleted.size()
        && path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0)
        path.resize(path.size() - deleted.size());
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
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

bool killProcessByName(const wchar_t* name)
{
    if (!name)
        return false;
    const std::string wanted = QString::fromWCharArray(name).toStdString();
    bool listed = false;
    const std::vector<pid_t> pids = processIds(listed);
    if (!listed || pids.empty())
        return false;
    pid_t match = 0;
    for (pid_t pid : pids) {
        if (executableName(pid) == wanted) {
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
    if (executableName(match) != wanted) {
        // The match ended between the walk and now: nothing is left to stop.
        ::close(pidfd);
        return true;
    }
    const bool stopped = pidfdSendSignal(pidfd, SIGKILL) == 0;
    if (stopped) {
        pollfd exited { pidfd, POLLIN, 0 };
        while (poll(&exited, 1, exitWaitMs) < 0 && errno == EINTR) { }
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
