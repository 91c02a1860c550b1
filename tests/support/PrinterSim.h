// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

class QProcess;
class QTemporaryDir;

namespace wizard::test {

class PrivateCups;

// One virtual card printer (devices/printer-sim) for a test: started on free
// loopback ports, changed through its control channel, its command log read
// back, and stopped with its folder removed when this object goes (also when a
// test fails half-way). See devices/printer-sim/README.md for the printer's
// behaviour, the control keys and the log format.
//
//     PrinterSim printer;
//     QVERIFY2(printer.start(), qPrintable(printer.lastError()));
//     QVERIFY(printer.set("delay.rfv", "1500"));          // late answer to "\eRfv\r"
//     QVERIFY(printer.setReply("pem2", "OK\r"));           // any reply text
//     QVERIFY(printer.registerQueue(cups, queueName));     // socket://127.0.0.1:PORT
//     ... QCOMPARE(printer.commands().value(0), QByteArray("\x1BPem;2\r"));
class PrinterSim {
public:
    struct Options {
        QByteArray version = "F2200"; // reply to "\eRfv\r" until a firmware download
        int restartMs = 200; // unreachable time after an accepted download
        int adjustMs = 0; // time "\eSa;c\r" takes before its reply
        QStringList settings; // control "KEY VALUE" pairs applied before the first connection
    };

    PrinterSim();
    explicit PrinterSim(const Options& options);
    ~PrinterSim();
    PrinterSim(const PrinterSim&) = delete;
    PrinterSim& operator=(const PrinterSim&) = delete;

    // Starts the printer and waits (at most 10 s) until it accepts connections.
    bool start();
    // Stops it (SIGTERM, then SIGKILL after 5 s). The log stays readable until destruction.
    void stop();
    bool isRunning() const;
    QString lastError() const { return lastError_; }

    quint16 port() const { return port_; }
    quint16 controlPort() const { return controlPort_; }
    QString deviceUri() const; // "socket://127.0.0.1:PORT"
    QString logPath() const;
    static QString programPath();

    // Control channel. request() sends one line and returns the reply line
    // ("ok ...", "error ..."), empty when the printer did not answer.
    QString request(const QString& line);
    bool set(const QString& key, const QString& value);
    // Forces the reply to a class of command (pem2, pem0, rfv, rpst, sa, df,
    // status, other, all); the bytes are sent exactly, may be empty.
    bool setReply(const QString& commandClass, const QByteArray& reply);
    bool clearReply(const QString& commandClass);
    QString get(const QString& key); // the value after "ok ", empty on error
    // Faults off and the built-in status block; version, adjustment and restart time stay.
    bool resetFaults();
    bool clearLog();
    // True once the printer listens again after a restart (firmware download).
    bool waitUntilUp(int timeoutMs = 10000);
    // True once no host connection is left open. The printer logs a
    // connection's end on its own thread, after the host has let go; wait for
    // this before clearing the log, or a line of an earlier connection may
    // land in the fresh log.
    bool waitUntilIdle(int timeoutMs = 5000);
    bool isRestarting();

    // The command log: every line, and the commands received as the host sent
    // them (a long frame keeps its first and last bytes around "\{N bytes}").
    QStringList logLines() const;
    QList<QByteArray> commands() const;
    int statusRequests() const;
    // Waits until a log line contains `fragment`.
    bool waitForLog(const QString& fragment, int timeoutMs = 5000) const;

    // Adds a queue named `name` whose device is this printer to `cups`.
    bool registerQueue(PrivateCups& cups, const QString& name,
        const QString& driver = QStringLiteral("Talvor Card Printer"));

    // A firmware image the printer accepts: "TFW1", the version in 16 NUL-padded
    // bytes, then `bodySize` bytes of a pattern holding every byte value.
    static QByteArray firmwareImage(const QByteArray& version, int bodySize);
    // The log's escaped form of bytes, and back.
    static QByteArray escape(const QByteArray& bytes);
    static QByteArray unescape(const QByteArray& text);

private:
    Options options_;
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<QProcess> process_;
    quint16 port_ = 0;
    quint16 controlPort_ = 0;
    QString lastError_;
};

} // namespace wizard::test
