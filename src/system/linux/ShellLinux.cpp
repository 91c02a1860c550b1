// SPDX-License-Identifier: MIT
// The command interpreter on Linux: /bin/sh -c, spawned with the arguments as they
// are so that nothing but the command itself is interpreted; pkexec for elevation; xdg-open for
// "start TARGET".
#include "system/Shell.h"

#include "system/TextEncoding.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace wizard::sys {

namespace {

// Spawning, not forking: a fork of the wizard, with the web engine loaded, copies
// the page tables of a large process (tens of milliseconds each time); a spawn
// shares them until the exec.
struct SpawnSetup {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    bool made = false;
    bool ready = false;

    SpawnSetup(const std::string& folder, bool detached)
    {
        if (posix_spawn_file_actions_init(&actions) != 0)
            return;
        if (posix_spawnattr_init(&attributes) != 0) {
            posix_spawn_file_actions_destroy(&actions);
            return;
        }
        made = true;
        // Hidden (no terminal input or output), in the folder. The command gets none
        // of our descriptors, as a program the shell starts on Windows inherits no
        // handles: the tool runs on long after we have closed our connections.
        ready = posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDWR, 0) == 0
            && posix_spawn_file_actions_adddup2(&actions, STDIN_FILENO, STDOUT_FILENO) == 0
            && posix_spawn_file_actions_adddup2(&actions, STDIN_FILENO, STDERR_FILENO) == 0
            && (folder.empty() || posix_spawn_file_actions_addchdir_np(&actions, folder.c_str()) == 0)
            && posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1) == 0
            // Detached: a session of its own, so that it outlives us and no terminal's
            // hang-up reaches it.
            && (!detached || posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID) == 0);
    }
    ~SpawnSetup()
    {
        if (!made)
            return;
        posix_spawnattr_destroy(&attributes);
        posix_spawn_file_actions_destroy(&actions);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;
};

} // namespace

bool runCmd(const std::wstring& command, const std::wstring& workingFolder, bool wait, bool elevate)
{
    const std::string folder = toUtf8(workingFolder);
    const std::string text = toUtf8(command);

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

    SpawnSetup setup(folder, !wait);
    if (!setup.ready)
        return false;
    // A folder that cannot be entered or a program that cannot be started is the
    // spawn's error.
    pid_t child = 0;
    if (posix_spawnp(&child, argv[0], &setup.actions, &setup.attributes, argv.data(), envp.data()) != 0)
        return false;

    if (wait) {
        // Until the command has ended, with no time limit.
        int status = 0;
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) { }
        return true;
    }
    // Detached: it runs on by itself; its end is collected here (no zombie while we
    // run), and once we have ended the system adopts it.
    std::thread([child] {
        int status = 0;
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) { }
    }).detach();
    return true;
}

} // namespace wizard::sys
