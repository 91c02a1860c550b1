// SPDX-License-Identifier: MIT
// The device side on its own: the virtual printer's download frames, refusals
// and restart, and the device-access library's time limits and packet handling,
// through the library against the virtual printer behind a private CUPS queue.
#include "PrinterSim.h"
#include "PrivateCups.h"
#include "durvo.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTest>
#include <QThread>

#include <arpa/inet.h>
#include <atomic>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using wizard::test::PrinterSim;
using wizard::test::PrivateCups;

namespace {

// Opens a queue for the length of a scope, so a failing check never leaks a connection.
class Handle {
public:
    explicit Handle(const QString& queue)
        : handle(OpenQuarle(queue.toLatin1().constData()))
    {
    }
    ~Handle()
    {
        if (handle)
            CloseQuarle(handle);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    operator QuarleHandle() const { return handle; }

private:
    QuarleHandle handle;
};

bool send(QuarleHandle h, const QByteArray& bytes, int timeoutMs = 1000)
{
    return WriteQuarleExEx(h, bytes.constData(), int32_t(bytes.size()), timeoutMs, 0, 0) != 0;
}

// The reply, or "<failed>" when the read failed.
QByteArray reply(QuarleHandle h, int timeoutMs = 1000)
{
    QByteArray buffer(512, '\0');
    int32_t received = -1;
    if (!ReadQuarleExEx(h, buffer.data(), uint32_t(buffer.size()), &received, timeoutMs, 0, 0))
        return QByteArrayLiteral("<failed>");
    return buffer.left(received);
}

QByteArray exchange(QuarleHandle h, const QByteArray& command, int timeoutMs = 1000)
{
    return send(h, command, timeoutMs) ? reply(h, timeoutMs) : QByteArrayLiteral("<write failed>");
}

QByteArray frameFor(const QByteArray& image)
{
    char checksum = 0;
    for (const char c : image)
        checksum = char(checksum ^ c);
    return "\x1B"
           "Df;"
        + QByteArray::number(image.size()) + ';' + image + ';' + checksum + "\r.";
}

QByteArray sampleImage(const QString& name)
{
    QFile file(QStringLiteral(KAVNI_SOURCE_DIR "/data/firmware/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

const QByteArray rfv = QByteArrayLiteral("\x1BRfv\r");
const QByteArray pem0 = QByteArrayLiteral("\x1BPem;0\r");

// A printer that never stops talking: once connected it sends packets of one
// type back to back (or, for a length over 64, one packet of that length whose
// payload never ends) until the host lets go. The virtual printer answers each
// command once and cannot be made to do this, hence this stand-in.
class FloodingPrinter {
public:
    FloodingPrinter(std::uint8_t type, std::uint32_t length)
    {
        listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (listenFd < 0 || ::bind(listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
            || ::listen(listenFd, 1) != 0
            || ::getsockname(listenFd, reinterpret_cast<sockaddr*>(&address), &size) != 0)
            return;
        port = ntohs(address.sin_port);
        thread = std::thread([this, type, length] { serve(type, length); });
    }
    ~FloodingPrinter()
    {
        stopping = true;
        if (listenFd >= 0)
            ::shutdown(listenFd, SHUT_RDWR);
        const int fd = connection.load();
        if (fd >= 0)
            ::shutdown(fd, SHUT_RDWR);
        if (thread.joinable())
            thread.join();
        if (connection >= 0)
            ::close(connection);
        if (listenFd >= 0)
            ::close(listenFd);
    }
    FloodingPrinter(const FloodingPrinter&) = delete;
    FloodingPrinter& operator=(const FloodingPrinter&) = delete;

    bool listening() const { return port != 0; }
    QString deviceUri() const { return QStringLiteral("socket://127.0.0.1:%1").arg(port); }

private:
    void serve(std::uint8_t type, std::uint32_t length)
    {
        const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            return;
        connection = fd;
        QByteArray chunk;
        const auto header = [type](std::uint32_t n) {
            const char bytes[5] = { char(type), char(n >> 24), char(n >> 16), char(n >> 8), char(n) };
            return QByteArray(bytes, 5);
        };
        if (length > 64) {
            const QByteArray first = header(length);
            if (::send(fd, first.constData(), size_t(first.size()), MSG_NOSIGNAL) != first.size())
                return;
            chunk = QByteArray(65536, 'Z');
        } else {
            while (chunk.size() < 65536)
                chunk += header(length) + QByteArray(int(length), 'Z');
        }
        while (!stopping && ::send(fd, chunk.constData(), size_t(chunk.size()), MSG_NOSIGNAL) > 0) { }
    }

    int listenFd = -1;
    std::atomic<int> connection { -1 };
    std::atomic<bool> stopping { false };
    quint16 port = 0;
    std::thread thread;
};

} // namespace

class tst_Devices : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void replies_data();
    void replies();
    void controlRejectsBadRequests_data();
    void controlRejectsBadRequests();
    void downloadFrame_data();
    void downloadFrame();
    void acceptedFrameRestartsPrinter();
    void largeFrameTakenWhole();

    void lateOrMissingAnswerFailsAtLimit_data();
    void lateOrMissingAnswerFailsAtLimit();
    void droppedConnection_data();
    void droppedConnection();
    void replyLongerThanCapacity();
    void stalledPrinterFailsWriteAtLimit();
    void floodingPrinterCannotHoldACall_data();
    void floodingPrinterCannotHoldACall();

    void openRefuses_data();
    void openRefuses();
    void handlesOnSeparateThreads();

private:
    std::unique_ptr<PrivateCups> cups;
    std::unique_ptr<PrinterSim> printer;
    std::unique_ptr<PrinterSim> second;
    QString queue;
    QString secondQueue;
};

void tst_Devices::initTestCase()
{
    cups = std::make_unique<PrivateCups>();
    QVERIFY2(cups->isRunning(), qPrintable(cups->lastError()));
    cups->useForThisProcess();
    PrinterSim::Options options;
    options.restartMs = 1500;
    printer = std::make_unique<PrinterSim>(options);
    QVERIFY2(printer->start(), qPrintable(printer->lastError()));
    queue = PrivateCups::uniqueName(QStringLiteral("devices"));
    QVERIFY2(printer->registerQueue(*cups, queue), qPrintable(printer->lastError()));
}

void tst_Devices::init()
{
    QVERIFY(printer->waitUntilUp());
    QVERIFY(printer->resetFaults());
    QVERIFY(printer->set(QStringLiteral("version"), QStringLiteral("F2200")));
    QVERIFY(printer->set(QStringLiteral("adjust-ms"), QStringLiteral("0")));
    QVERIFY(printer->clearLog());
}

void tst_Devices::cleanupTestCase()
{
    second.reset();
    printer.reset();
    cups.reset();
}

void tst_Devices::replies_data()
{
    QTest::addColumn<QStringList>("settings");
    QTest::addColumn<QByteArray>("command"); // empty: a status read
    QTest::addColumn<QList<QByteArray>>("expected"); // one reply per time the command is sent

    const QByteArray sa("\x1BSa;c\r");
    const QByteArray rpst("\x1BRpst\r");
    const QByteArray pem2("\x1BPem;2\r");
    const QByteArray rawStatus
        = QByteArray::fromHex("00112233445566778899AABBCCDDEEFF102132435465768798A9BACBDCEDFE0F");
    QByteArray coverOpen = rawStatus;
    coverOpen[9] = char(0x9B);

    QTest::newRow("handshake") << QStringList() << pem2 << QList<QByteArray> { "OK" };
    QTest::newRow("handshake refused")
        << QStringList { "refuse 1" } << pem2 << QList<QByteArray> { "ERROR BUSY" };
    QTest::newRow("any reply text") << QStringList { "reply.pem2 OK\\r" } << pem2
                                    << QList<QByteArray> { "OK\r" };
    QTest::newRow("empty reply") << QStringList { "reply.rfv " } << rfv << QList<QByteArray> { "" };
    QTest::newRow("version") << QStringList { "version F2201" } << rfv << QList<QByteArray> { "F2201" };
    QTest::newRow("two commands in one write")
        << QStringList() << rfv + pem0 << QList<QByteArray> { "F2200", "OK" };
    QTest::newRow("command without its CR")
        << QStringList() << rfv.chopped(1) << QList<QByteArray> { "ERROR COMMAND" };
    QTest::newRow("unknown command") << QStringList() << QByteArray("\x1BXyz\r")
                                     << QList<QByteArray> { "ERROR COMMAND" };
    QTest::newRow("adjustment") << QStringList { "adjust-ms 200" } << sa << QList<QByteArray> { "OK", "OK" };
    QTest::newRow("ribbon fault once")
        << QStringList { "ribbon once" } << sa << QList<QByteArray> { "ERROR RIBBON", "OK", "OK" };
    QTest::newRow("ribbon fault always")
        << QStringList { "ribbon always" } << sa << QList<QByteArray> { "ERROR RIBBON", "ERROR RIBBON" };
    QTest::newRow("adjustment, cover open")
        << QStringList { "cover 1" } << sa << QList<QByteArray> { "ERROR COVER" };
    QTest::newRow("extended status") << QStringList() << rpst
                                     << QList<QByteArray> { rawStatus.toHex().toUpper() };
    QTest::newRow("extended status, cover open")
        << QStringList { "cover 1" } << rpst << QList<QByteArray> { coverOpen.toHex().toUpper() };
    QTest::newRow("extended status, time out")
        << QStringList { "status-timeout 1" } << rpst << QList<QByteArray> { "54696D65206F7574" };
    QTest::newRow("status") << QStringList() << QByteArray() << QList<QByteArray> { rawStatus };
    QTest::newRow("status, cover open")
        << QStringList { "cover 1" } << QByteArray() << QList<QByteArray> { coverOpen };
    QTest::newRow("status, time out")
        << QStringList { "status-timeout 1" } << QByteArray() << QList<QByteArray> { "Time out" };
    QTest::newRow("status set whole")
        << QStringList { "status 0102030405060708090A0B0C0D0E0F1011" } << QByteArray()
        << QList<QByteArray> { QByteArray::fromHex("0102030405060708090A0B0C0D0E0F1011") };
}

// What the printer answers, with the faults tests switch on.
void tst_Devices::replies()
{
    QFETCH(QStringList, settings);
    QFETCH(QByteArray, command);
    QFETCH(QList<QByteArray>, expected);
    for (const QString& setting : settings)
        QCOMPARE(printer->request(QStringLiteral("set ") + setting), QStringLiteral("ok"));
    Handle h(queue);
    QVERIFY(h);
    if (command.isEmpty()) {
        QByteArray buffer(1024, '\0');
        int32_t received = 0;
        QVERIFY(ReadStatusExEx(h, buffer.data(), 1024, &received, 1000, 0, 0));
        QCOMPARE(buffer.left(received), expected.value(0));
        return;
    }
    // Every reply of a write travels on its own: a write holding two commands
    // gets two replies.
    const int writes = command == rfv + pem0 ? 1 : int(expected.size());
    for (int i = 0; i < writes; ++i)
        QVERIFY(send(h, command));
    QList<QByteArray> replies;
    for (int i = 0; i < expected.size(); ++i)
        replies << reply(h, 5000); // generous: the machine may be busy
    QCOMPARE(replies, expected);
    QCOMPARE(reply(h, 100), QByteArray("<failed>"));
}

void tst_Devices::controlRejectsBadRequests_data()
{
    QTest::addColumn<QString>("line");
    QTest::newRow("unknown request") << QStringLiteral("frobnicate");
    QTest::newRow("unknown key") << QStringLiteral("set colour red");
    QTest::newRow("no value") << QStringLiteral("set cover");
    QTest::newRow("flag not a flag") << QStringLiteral("set cover maybe");
    QTest::newRow("number not a number") << QStringLiteral("set delay.rfv soon");
    QTest::newRow("negative delay") << QStringLiteral("set delay.rfv -5");
    QTest::newRow("unknown command class") << QStringLiteral("set delay.print 10");
    QTest::newRow("status not hexadecimal") << QStringLiteral("set status 0G");
    QTest::newRow("status odd length") << QStringLiteral("set status 012");
    QTest::newRow("ribbon value") << QStringLiteral("set ribbon sometimes");
    QTest::newRow("unknown get") << QStringLiteral("get colour");
}

// A bad request is refused with a reason and changes nothing.
void tst_Devices::controlRejectsBadRequests()
{
    QFETCH(QString, line);
    QVERIFY(printer->request(line).startsWith(QLatin1String("error ")));
    QCOMPARE(printer->get(QStringLiteral("cover")), QStringLiteral("0"));
    Handle h(queue);
    QCOMPARE(exchange(h, rfv), QByteArray("F2200"));
    QByteArray buffer(64, '\0');
    int32_t received = 0;
    QVERIFY(ReadStatusExEx(h, buffer.data(), 64, &received, 1000, 0, 0));
    QCOMPARE(received, 32);
}

void tst_Devices::downloadFrame_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray image = sampleImage(QStringLiteral("F2201.tfw"));
    QVERIFY(!image.isEmpty());
    QByteArray badChecksum = frameFor(image);
    badChecksum[badChecksum.size() - 3] = char(badChecksum[badChecksum.size() - 3] ^ 0x01);
    QByteArray sizeTooLarge = frameFor(image);
    sizeTooLarge.replace(QByteArray::number(image.size()) + ';', QByteArray::number(image.size() + 1) + ';');

    QTest::newRow("bad checksum") << badChecksum << QByteArray("ERROR CHECKSUM");
    QTest::newRow("cut before the trailer") << frameFor(image).chopped(4) << QByteArray("ERROR FRAME");
    QTest::newRow("cut inside the image") << frameFor(image).left(2000) << QByteArray("ERROR FRAME");
    QTest::newRow("size larger than the image") << sizeTooLarge << QByteArray("ERROR FRAME");
    QTest::newRow("size not a number") << QByteArray("\x1B"
                                                     "Df;12x;abc;\x00\r.",
        14) << QByteArray("ERROR FRAME");
    QTest::newRow("no full stop") << frameFor(image).chopped(1) + '!' << QByteArray("ERROR FRAME");
    QTest::newRow("not an image") << frameFor(sampleImage(QStringLiteral("broken-header.tfw")))
                                  << QByteArray("ERROR IMAGE");
    QTest::newRow("empty image") << frameFor(QByteArray()) << QByteArray("ERROR IMAGE");
}

// A refused frame changes nothing: the same connection goes on and the old
// firmware answers.
void tst_Devices::downloadFrame()
{
    QFETCH(QByteArray, frame);
    QFETCH(QByteArray, expected);
    Handle h(queue);
    QVERIFY(h);
    QCOMPARE(exchange(h, frame, 10000), expected);
    QCOMPARE(exchange(h, rfv), QByteArray("F2200"));
    QVERIFY(!printer->waitForLog(QStringLiteral("c0 restart"), 200));
}

void tst_Devices::acceptedFrameRestartsPrinter()
{
    const QByteArray image = sampleImage(QStringLiteral("F2300.tfw"));
    {
        Handle h(queue);
        QVERIFY(h);
        QCOMPARE(exchange(h, frameFor(image), 10000), QByteArray("OK"));
        // The printer dropped the connection to restart.
        QVERIFY(printer->waitForLog(QStringLiteral("c0 restart")));
        QVERIFY(!send(h, rfv));
    }
    QVERIFY(printer->isRestarting());
    QCOMPARE(OpenQuarle(queue.toLatin1().constData()), QuarleHandle(0));
    QVERIFY(printer->waitUntilUp());
    Handle h(queue);
    QVERIFY(h);
    QCOMPARE(exchange(h, rfv), QByteArray("F2300"));
    // The frame reached the printer as it was written, in one command.
    const QList<QByteArray> commands = printer->commands();
    QVERIFY(commands.value(0).startsWith("\x1B"
                                         "Df;65556;TFW1F2300"));
    QVERIFY(commands.value(0).contains("\\{65506 bytes}"));
}

void tst_Devices::largeFrameTakenWhole()
{
    const QByteArray frame = frameFor(PrinterSim::firmwareImage("F2400", 16 * 1024 * 1024));
    Handle h(queue);
    QVERIFY(h);
    QCOMPARE(exchange(h, frame, 60000), QByteArray("OK"));
    QVERIFY(printer->waitUntilUp());
    Handle again(queue);
    QCOMPARE(exchange(again, rfv), QByteArray("F2400"));
}

void tst_Devices::lateOrMissingAnswerFailsAtLimit_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("statusRead");
    QTest::addColumn<int>("capacity"); // of the status buffer
    QTest::newRow("late reply") << QStringLiteral("delay.rfv 1200") << false << 0;
    QTest::newRow("no reply") << QStringLiteral("noreply.rfv 1") << false << 0;
    QTest::newRow("late status") << QStringLiteral("delay.status 1200") << true << 1024;
    QTest::newRow("no status") << QStringLiteral("noreply.status 1") << true << 1024;
    QTest::newRow("no status, 4-byte buffer") << QStringLiteral("noreply.status 1") << true << 4;
}

// The library, not the printer, ends a read at its limit; a reply that comes
// after that is never taken for the answer to the next command.
void tst_Devices::lateOrMissingAnswerFailsAtLimit()
{
    QFETCH(QString, fault);
    QFETCH(bool, statusRead);
    QFETCH(int, capacity);
    const int limit = 300;
    QVERIFY(printer->request(QStringLiteral("set ") + fault) == QLatin1String("ok"));
    Handle h(queue);
    QVERIFY(h);

    QElapsedTimer timer;
    timer.start();
    if (statusRead) {
        QByteArray buffer(1024, '\x55');
        int32_t received = -1;
        QCOMPARE(ReadStatusExEx(h, buffer.data(), uint32_t(capacity), &received, limit, 0, 0), 0);
        const QByteArray text("Time out", 9);
        const int written = qMin(capacity, int(text.size()));
        QCOMPARE(buffer.left(written), text.left(written));
        QCOMPARE(buffer.mid(written), QByteArray(1024 - written, '\x55'));
        QCOMPARE(received, 0);
    } else {
        QVERIFY(send(h, rfv));
        QCOMPARE(reply(h, limit), QByteArray("<failed>"));
    }
    const qint64 elapsed = timer.elapsed();
    QVERIFY2(elapsed >= limit - 20 && elapsed < limit + 700, qPrintable(QString::number(elapsed)));

    // Let a late answer arrive, then the next command gets its own reply.
    QThread::msleep(1200);
    QVERIFY(printer->resetFaults());
    QCOMPARE(exchange(h, pem0), QByteArray("OK"));
    QByteArray status(1024, '\0');
    int32_t received = 0;
    QVERIFY(ReadStatusExEx(h, status.data(), 1024, &received, 1000, 0, 0));
    QCOMPARE(received, 32);
    QCOMPARE(quint8(status.at(10)), quint8(0xAA));
}

void tst_Devices::droppedConnection_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QByteArray>("command"); // empty: a status read
    QTest::newRow("reply cut after 2 bytes") << QStringLiteral("cut.rfv 2") << rfv;
    QTest::newRow("reply cut before its payload") << QStringLiteral("cut.rfv 0") << rfv;
    QTest::newRow("status cut after 5 bytes") << QStringLiteral("cut.status 5") << QByteArray();
    QTest::newRow("dropped inside a frame")
        << QStringLiteral("drop-in 50000") << frameFor(sampleImage(QStringLiteral("F2300.tfw")));
}

// A printer that goes away mid-exchange fails the call at once, leaves the
// handle failing, and the firmware as it was; the handle still closes.
void tst_Devices::droppedConnection()
{
    QFETCH(QString, fault);
    QFETCH(QByteArray, command);
    QVERIFY(printer->request(QStringLiteral("set ") + fault) == QLatin1String("ok"));
    const QuarleHandle h = OpenQuarle(queue.toLatin1().constData());
    QVERIFY(h);
    QElapsedTimer timer;
    timer.start();
    if (command.isEmpty()) {
        QByteArray buffer(64, '\x55');
        int32_t received = -1;
        QCOMPARE(ReadStatusExEx(h, buffer.data(), 64, &received, 5000, 0, 0), 0);
        QCOMPARE(buffer, QByteArray(64, '\x55'));
    } else {
        // The write may still succeed into the socket's buffers; the reply cannot.
        send(h, command, 5000);
        QCOMPARE(reply(h, 5000), QByteArray("<failed>"));
    }
    QVERIFY2(timer.elapsed() < 4000, "a dropped connection must not wait for the limit");
    QVERIFY(!send(h, rfv));
    QCOMPARE(CloseQuarle(h), 1);
    QCOMPARE(CloseQuarle(h), 0);

    QVERIFY(printer->resetFaults());
    Handle again(queue);
    QCOMPARE(exchange(again, rfv), QByteArray("F2200"));
}

void tst_Devices::replyLongerThanCapacity()
{
    const QByteArray longReply(600, 'V');
    QVERIFY(printer->setReply(QStringLiteral("rfv"), longReply));
    Handle h(queue);
    QVERIFY(send(h, rfv));
    QByteArray buffer(32, '\x55');
    int32_t received = -1;
    QVERIFY(ReadQuarleExEx(h, buffer.data(), 16, &received, 1000, 0, 0));
    QCOMPARE(received, 16);
    QCOMPARE(buffer, QByteArray(16, 'V') + QByteArray(16, '\x55'));
    // The rest of that reply was read and dropped: the next one is in step.
    QCOMPARE(exchange(h, pem0), QByteArray("OK"));
}

// A printer busy with its adjustment reads nothing; a frame larger than the
// connection's buffers then cannot go out, and the write ends at its limit.
void tst_Devices::stalledPrinterFailsWriteAtLimit()
{
    QVERIFY(printer->set(QStringLiteral("adjust-ms"), QStringLiteral("3000")));
    const QByteArray frame = frameFor(PrinterSim::firmwareImage("F2600", 32 * 1024 * 1024));
    Handle h(queue);
    QVERIFY(send(h, QByteArrayLiteral("\x1BSa;c\r")));
    QVERIFY(printer->waitForLog(QStringLiteral("cmd \\eSa;c\\r")));
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!send(h, frame, 300));
    const qint64 elapsed = timer.elapsed();
    QVERIFY2(elapsed >= 280 && elapsed < 1500, qPrintable(QString::number(elapsed)));
    // Half a packet went out: the connection is out of step and stays failed.
    QVERIFY(!send(h, rfv));
    QCOMPARE(reply(h), QByteArray("<failed>"));
}

void tst_Devices::floodingPrinterCannotHoldACall_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<uint>("length");
    QTest::addColumn<QString>("call");
    QTest::addColumn<bool>("mustFail");
    QTest::newRow("status packets while a reply is awaited") << 0x82 << 32u << "read" << true;
    QTest::newRow("a reply that never ends") << 0x81 << 0xFFFFFFFFu << "read" << true;
    QTest::newRow("replies while a status is awaited") << 0x81 << 2u << "status" << true;
    // Between two of the printer's packets the write may find nothing left to
    // drop and go out; either way it must end.
    QTest::newRow("replies to drop before a write") << 0x81 << 2u << "write" << false;
}

// A printer that sends without end must not keep a call beyond its limit (or
// the second the library gives to dropping replies that came too late).
void tst_Devices::floodingPrinterCannotHoldACall()
{
    QFETCH(int, type);
    QFETCH(uint, length);
    QFETCH(QString, call);
    QFETCH(bool, mustFail);
    FloodingPrinter flood(std::uint8_t(type), length);
    QVERIFY(flood.listening());
    const QString name = PrivateCups::uniqueName(QStringLiteral("flood"));
    QVERIFY2(cups->addQueue(name, flood.deviceUri(), QStringLiteral("Talvor Card Printer")),
        qPrintable(cups->lastError()));
    {
        Handle h(name);
        QVERIFY(h);
        QByteArray buffer(1024, '\0');
        int32_t received = -1;
        QElapsedTimer timer;
        timer.start();
        int32_t result = 0;
        if (call == QLatin1String("read"))
            result = ReadQuarleExEx(h, buffer.data(), 512, &received, 300, 0, 0);
        else if (call == QLatin1String("status"))
            result = ReadStatusExEx(h, buffer.data(), 1024, &received, 300, 0, 0);
        else
            result = WriteQuarleExEx(h, rfv.constData(), int32_t(rfv.size()), 300, 0, 0);
        const qint64 elapsed = timer.elapsed();
        QVERIFY2(elapsed < 3000, qPrintable(QString::number(elapsed)));
        if (mustFail)
            QCOMPARE(result, 0);
    }
    QVERIFY(cups->deleteQueue(name));
}

void tst_Devices::openRefuses_data()
{
    QTest::addColumn<QString>("deviceUri"); // empty: no queue is added
    QTest::addColumn<QByteArray>("name");

    PrinterSim stopped;
    QVERIFY(stopped.start());
    const QString closedPort = stopped.deviceUri();
    stopped.stop();

    QTest::newRow("ipp queue") << QStringLiteral("ipp://127.0.0.1:1/printers/x") << QByteArray("ipp");
    QTest::newRow("lpd queue") << QStringLiteral("lpd://127.0.0.1/x") << QByteArray("lpd");
    QTest::newRow("nobody listening") << closedPort << QByteArray("closed");
    QTest::newRow("unknown queue") << QString() << QByteArray("no_such_queue");
    QTest::newRow("empty name") << QString() << QByteArray("");
    QTest::newRow("name too long") << QString() << QByteArray(300, 'q');
    QTest::newRow("name with a slash") << QString() << QByteArray("a/b");
}

void tst_Devices::openRefuses()
{
    QFETCH(QString, deviceUri);
    QFETCH(QByteArray, name);
    if (!deviceUri.isEmpty()) {
        name = PrivateCups::uniqueName(QString::fromLatin1(name)).toLatin1();
        QVERIFY2(cups->addQueue(QString::fromLatin1(name), deviceUri, QStringLiteral("Talvor Card Printer")),
            qPrintable(cups->lastError()));
    }
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(OpenQuarle(name.constData()), QuarleHandle(0));
    QVERIFY(timer.elapsed() < 3000);
    QCOMPARE(OpenQuarle(nullptr), QuarleHandle(0));
    if (!deviceUri.isEmpty())
        QVERIFY(cups->deleteQueue(QString::fromLatin1(name)));
}

// Two printers, one handle per thread: every reply reaches the thread that
// asked for it.
void tst_Devices::handlesOnSeparateThreads()
{
    if (!second) {
        PrinterSim::Options options;
        options.version = "F9999";
        second = std::make_unique<PrinterSim>(options);
        QVERIFY2(second->start(), qPrintable(second->lastError()));
        secondQueue = PrivateCups::uniqueName(QStringLiteral("devices_second"));
        QVERIFY2(second->registerQueue(*cups, secondQueue), qPrintable(second->lastError()));
    }
    std::atomic<int> wrong { 0 };
    auto work = [&wrong](QString name, QByteArray version) {
        Handle h(name);
        if (!h) {
            ++wrong;
            return;
        }
        for (int i = 0; i < 100; ++i) {
            if (exchange(h, rfv) != version)
                ++wrong;
        }
    };
    std::unique_ptr<QThread> a(QThread::create(work, queue, QByteArray("F2200")));
    std::unique_ptr<QThread> b(QThread::create(work, secondQueue, QByteArray("F9999")));
    a->start();
    b->start();
    QVERIFY(a->wait(30000));
    QVERIFY(b->wait(30000));
    QCOMPARE(wrong.load(), 0);
}

QTEST_GUILESS_MAIN(tst_Devices)
#include "tst_devices.moc"
