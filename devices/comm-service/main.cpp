// SPDX-License-Identifier: MIT
// comm-service [--pipe-dir DIR] [--log FILE] [--durvo LIBRARY] [--serve ID=QUEUE]... [--no-scan]
// Serves the pipes of the print queues that carry a printer identifier (and
// those given with --serve), prints "pipe NAME QUEUE" for each, then "ready",
// and takes fault commands on standard input (see PipeService.h). Ends when
// standard input closes or on SIGTERM.
#include "DurvoLibrary.h"
#include "PipeService.h"
#include "system/linux/PipeFolder.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <climits>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string besideExecutable(const std::string& file)
{
    char self[PATH_MAX] = {};
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    std::string path = n > 0 ? std::string(self, std::size_t(n)) : std::string();
    const auto slash = path.rfind('/');
    return (slash == std::string::npos ? std::string(".") : path.substr(0, slash)) + "/" + file;
}

int usage()
{
    std::fprintf(stderr,
        "usage: comm-service [--pipe-dir DIR] [--log FILE] [--durvo LIBRARY] [--serve ID=QUEUE]... "
        "[--no-scan]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    std::string folder = wizard::sys::talvorPipeFolder();
    std::string logFile;
    std::string library = besideExecutable(DURVO_LIBRARY_NAME_LINUX);
    std::vector<std::pair<std::string, std::string>> served;
    bool scanQueues = true;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const bool hasValue = i + 1 < argc;
        if (argument == "--pipe-dir" && hasValue) {
            folder = argv[++i];
        } else if (argument == "--log" && hasValue) {
            logFile = argv[++i];
        } else if (argument == "--durvo" && hasValue) {
            library = argv[++i];
        } else if (argument == "--serve" && hasValue) {
            const std::string pair = argv[++i];
            const auto equals = pair.find('=');
            if (equals == std::string::npos || equals == 0)
                return usage();
            served.emplace_back(pair.substr(0, equals), pair.substr(equals + 1));
        } else if (argument == "--no-scan") {
            scanQueues = false;
        } else {
            return usage();
        }
    }

    service::DurvoLibrary durvo;
    std::string error;
    if (!durvo.load(library, error)) {
        std::fprintf(stderr, "comm-service: %s\n", error.c_str());
        return 1;
    }
    ::mkdir(folder.c_str(), 0700);
    std::FILE* log = logFile.empty() ? nullptr : std::fopen(logFile.c_str(), "a");
    if (!logFile.empty() && !log) {
        std::fprintf(stderr, "comm-service: cannot open %s\n", logFile.c_str());
        return 1;
    }
    int status = 0;
    {
        service::PipeService pipeService(durvo, folder, log);
        if (scanQueues && !pipeService.scan(error)) {
            std::fprintf(stderr, "comm-service: %s\n", error.c_str());
            status = 1;
        } else {
            for (const auto& [id, queue] : served)
                pipeService.addPipe(id, queue);
            pipeService.printPipes();
            std::printf("ready\n");
            std::fflush(stdout);
            status = pipeService.run();
        }
    }
    if (log)
        std::fclose(log);
    return status;
}
