// SPDX-License-Identifier: MIT
// The virtual card printer. README.md in this folder describes its options,
// its control channel and its log.
#include "CommandLog.h"
#include "ControlChannel.h"
#include "FirmwareImage.h"
#include "PrinterServer.h"
#include "PrinterState.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

wizard::sim::PrinterServer* runningServer = nullptr;

void onSignal(int)
{
    if (runningServer)
        runningServer->stop();
}

int usage()
{
    std::fprintf(stderr,
        "usage: printer-sim [--port N] [--control-port N] [--port-file FILE] [--log FILE]\n"
        "                   [--version TEXT] [--restart-ms N] [--adjust-ms N] [--set 'KEY VALUE']...\n"
        "       printer-sim make-image VERSION BODY-BYTES OUTPUT\n");
    return 2;
}

bool parsePort(const char* text, std::uint16_t& port)
{
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (*end != '\0' || value < 0 || value > 65535)
        return false;
    port = static_cast<std::uint16_t>(value);
    return true;
}

int makeImage(int argc, char** argv)
{
    if (argc != 5)
        return usage();
    char* end = nullptr;
    const unsigned long long size = std::strtoull(argv[3], &end, 10);
    if (*end != '\0' || size > (1ull << 30))
        return usage();
    const std::string image = wizard::sim::FirmwareImage::build(argv[2], static_cast<std::size_t>(size));
    std::ofstream out(argv[4], std::ios::binary);
    out.write(image.data(), static_cast<std::streamsize>(image.size()));
    return out ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "make-image") == 0)
        return makeImage(argc, argv);

    std::uint16_t port = 0;
    std::uint16_t controlPort = 0;
    std::string portFile;
    std::string logPath;
    std::vector<std::string> settings;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (i + 1 >= argc)
            return usage();
        const char* value = argv[++i];
        if (option == "--port") {
            if (!parsePort(value, port))
                return usage();
        } else if (option == "--control-port") {
            if (!parsePort(value, controlPort))
                return usage();
        } else if (option == "--port-file") {
            portFile = value;
        } else if (option == "--log") {
            logPath = value;
        } else if (option == "--version") {
            settings.push_back(std::string("version ") + value);
        } else if (option == "--restart-ms") {
            settings.push_back(std::string("restart-ms ") + value);
        } else if (option == "--adjust-ms") {
            settings.push_back(std::string("adjust-ms ") + value);
        } else if (option == "--set") {
            settings.push_back(value);
        } else {
            return usage();
        }
    }

    wizard::sim::PrinterState state;
    for (const std::string& setting : settings) {
        const std::size_t space = setting.find(' ');
        std::string error;
        if (space == std::string::npos
            || !state.set(setting.substr(0, space), setting.substr(space + 1), error)) {
            std::fprintf(stderr, "printer-sim: bad setting '%s' %s\n", setting.c_str(), error.c_str());
            return 2;
        }
    }
    wizard::sim::CommandLog log;
    if (!logPath.empty() && !log.open(logPath)) {
        std::fprintf(stderr, "printer-sim: cannot write the log %s\n", logPath.c_str());
        return 1;
    }

    wizard::sim::PrinterServer server(state, log);
    std::string error;
    if (!server.listen(port, controlPort, error)) {
        std::fprintf(stderr, "printer-sim: cannot listen: %s\n", error.c_str());
        return 1;
    }
    wizard::sim::ControlChannel control(state, log, server);
    server.setControlHandler([&control](const std::string& line) { return control.handle(line); });

    runningServer = &server;
    struct sigaction action { };
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    if (!portFile.empty()) {
        // Written whole under a temporary name so a reader never sees half of it.
        const std::string temporary = portFile + ".tmp";
        std::FILE* f = std::fopen(temporary.c_str(), "w");
        if (!f || std::fprintf(f, "%u %u\n", server.port(), server.controlPort()) < 0 || std::fclose(f) != 0
            || std::rename(temporary.c_str(), portFile.c_str()) != 0) {
            std::fprintf(stderr, "printer-sim: cannot write %s\n", portFile.c_str());
            return 1;
        }
    }
    std::printf("printer-sim ready port=%u control=%u pid=%d\n", server.port(), server.controlPort(),
        int(::getpid()));
    std::fflush(stdout);
    const int code = server.run();
    runningServer = nullptr;
    return code;
}
