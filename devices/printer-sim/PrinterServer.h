// SPDX-License-Identifier: MIT
// The virtual printer's sockets: the printer port on loopback, where hosts
// connect, and the control port, where tests change the printer's behaviour.
// A restart closes the printer port and every host connection for the
// configured time; the control port stays reachable throughout.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace wizard::sim {

class CommandLog;
class PrinterConnection;
class PrinterState;

class PrinterServer {
public:
    using ControlHandler = std::function<std::string(const std::string& line)>;

    PrinterServer(PrinterState& state, CommandLog& log);
    ~PrinterServer();
    PrinterServer(const PrinterServer&) = delete;
    PrinterServer& operator=(const PrinterServer&) = delete;

    bool listen(std::uint16_t port, std::uint16_t controlPort, std::string& error);
    std::uint16_t port() const { return printerPort; }
    std::uint16_t controlPort() const { return ctlPort; }
    void setControlHandler(ControlHandler handler) { controlHandler = std::move(handler); }

    // Serves until stop(); returns the process's exit code.
    int run();
    // Safe from a signal handler.
    void stop();
    // From any thread: restart, then report `newVersion`.
    void restart(const std::string& newVersion);
    // From a connection thread, before the reply that accepts a download: from
    // now on the printer reports "restarting" and refuses new connections.
    void announceRestart();
    bool restarting() const { return isRestarting; }
    int connectionCount();

private:
    struct Worker {
        std::unique_ptr<PrinterConnection> connection; // null for a control client
        int controlFd = -1;
        std::atomic<bool> done { false };
        std::thread thread;
    };

    bool openPrinterPort(std::string& error);
    void wake(char reason);
    void serveControl(Worker* worker);
    void reapWorkers(bool all);
    void dropHostConnections();

    PrinterState& state;
    CommandLog& log;
    ControlHandler controlHandler;
    std::atomic<int> listenFd { -1 };
    int controlFd = -1;
    int wakePipe[2] = { -1, -1 };
    std::uint16_t printerPort = 0;
    std::uint16_t ctlPort = 0;
    std::atomic<bool> isRestarting { false };
    std::mutex mutex; // guards workers, pendingVersion
    std::list<Worker> workers;
    std::string pendingVersion;
    int nextConnectionId = 1;
};

} // namespace wizard::sim
