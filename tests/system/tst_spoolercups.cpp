// SPDX-License-Identifier: MIT
// The spooler queries and the hand-back against a private CUPS server: listing, printer
// types, holding and releasing a queue through bit 0x800, the printer identifier, a
// client without administrator rights, and a server or queue that goes away.
#include "PrivateCups.h"
#include "ProcessProbe.h"
#include "QueueHold.h"

#include "system/Holder.h"
#include "system/PrinterEnumeration.h"
#include "system/Spooler.h"
#include "system/SpoolerControl.h"

#include <QElapsedTimer>
#include <QTemporaryFile>
#include <QTest>

#include <arpa/inet.h>
#include <atomic>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace wizard::sys;
using wizard::test::holdQueue;
using wizard::test::PrivateCups;
using wizard::test::queueAttributes;

namespace {

std::wstring w(const QString& text)
{
    return text.toStdWString();
}

QString name(const char* base)
{
    return PrivateCups::uniqueName(QString::fromLatin1(base));
}

// Driver names of this process only, so queues of tests sharing the server never match.
QString driverA()
{
    return QStringLiteral("Talvor Card A %1").arg(QCoreApplication::applicationPid());
}
QString driverB()
{
    return QStringLiteral("Talvor Card B %1").arg(QCoreApplication::applicationPid());
}
DriverTable table()
{
    return { { w(driverA()), 3 }, { w(driverB()), 5 } };
}

QString listed(const PrinterList& list)
{
    QStringList out;
    for (const auto& [printer, type] : list)
        out << QString::fromStdWString(printer) + QLatin1Char('=') + QString::number(type);
    return out.join(QLatin1Char(' '));
}

// A printer on loopback that takes a job slowly: it reads the whole job, then keeps the
// connection open for holdMs, as a card printer does while it prints, before it closes.
class SlowPrinter {
public:
    explicit SlowPrinter(int holdMs)
        : holdMs_(holdMs)
    {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(listener_, 4);
        socklen_t length = sizeof address;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~SlowPrinter()
    {
        stop_ = true;
        ::shutdown(listener_, SHUT_RDWR);
        thread_.join();
        ::close(listener_);
    }
    quint16 port() const { return port_; }
    int connections() const { return connections_; }
    qint64 bytes() const { return bytes_; }
    bool printing() const { return printing_; }

private:
    void serve()
    {
        while (!stop_) {
            const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (connection < 0)
                return;
            ++connections_;
            printing_ = true;
            char buffer[4096];
            ssize_t got;
            while ((got = ::read(connection, buffer, sizeof buffer)) > 0)
                bytes_ += got;
            for (int waited = 0; waited < holdMs_ && !stop_; waited += 10)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            printing_ = false;
            ::close(connection);
        }
    }

    int holdMs_;
    int listener_ = -1;
    quint16 port_ = 0;
    std::thread thread_;
    std::atomic<bool> stop_ { false };
    std::atomic<int> connections_ { 0 };
    std::atomic<qint64> bytes_ { 0 };
    std::atomic<bool> printing_ { false };
};

} // namespace

class tst_SpoolerCups : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void listing_data();
    void listing();
    void emptyServerListsNothing();
    void longListingReadWhole();
    void printerTypeOfQueues();
    void bitClearedHoldsAndSetReleases();
    void handBackReleasesAndStartsTool();
    void administratorsPauseIsKept();
    void printingQueueIsHeldOnlyAfterItsJob();
    void printerId_data();
    void printerId();
    void clientWithoutAdminRights();
    void serverStoppedMidway();
    void silentServerGivesUp();
    void queueDeletedBetweenListingAndOpening();

private:
    std::unique_ptr<PrivateCups> cups_;
};

void tst_SpoolerCups::initTestCase()
{
    probe::setMarker();
    // A tool the hand-back starts must not outlive the test, even if a check fails.
    qputenv("KAVNI_RUVELK_MAX_SECONDS", "60");
    cups_ = std::make_unique<PrivateCups>();
    QVERIFY2(cups_->isRunning(), qPrintable(cups_->lastError()));
    const QString ipp = QStringLiteral("ipp://127.0.0.1:%1/printers/elsewhere").arg(cups_->port());
    const struct {
        const char* base;
        QString uri;
        QString driver;
    } queues[] = {
        { "sock", QStringLiteral("socket://127.0.0.1:9"), driverA() },
        { "usb", QStringLiteral("usb://Talvor/Card?serial=7"), driverB() },
        { "talusb", QStringLiteral("talusb://card/1"), driverA() },
        { "ipp", ipp, driverB() },
        { "lpd", QStringLiteral("lpd://127.0.0.1/card"), driverA() },
        { "unknown", QStringLiteral("socket://127.0.0.1:10"), QStringLiteral("Other Printer") },
    };
    for (const auto& queue : queues)
        QVERIFY2(cups_->addQueue(name(queue.base), queue.uri, queue.driver), qPrintable(cups_->lastError()));
}

void tst_SpoolerCups::init()
{
    cups_->useForThisProcess();
}

void tst_SpoolerCups::cleanupTestCase()
{
    probe::killAll(QStringLiteral("Ruvelk.exe"));
    cups_.reset();
}

void tst_SpoolerCups::listing_data()
{
    QTest::addColumn<bool>("usb");
    QTest::addColumn<bool>("tcp");
    QTest::addColumn<QString>("expected");
    const QString pid = QString::number(QCoreApplication::applicationPid());
    QTest::newRow("USB and TCP/IP")
        << true << true << QStringLiteral("ipp_%1=5 lpd_%1=3 sock_%1=3 talusb_%1=3 usb_%1=5").arg(pid);
    QTest::newRow("USB only") << true << false << QStringLiteral("talusb_%1=3 usb_%1=5").arg(pid);
    QTest::newRow("TCP/IP only") << false << true << QStringLiteral("ipp_%1=5 lpd_%1=3 sock_%1=3").arg(pid);
    QTest::newRow("neither") << false << false << QString();
}

void tst_SpoolerCups::listing()
{
    QFETCH(bool, usb);
    QFETCH(bool, tcp);
    QFETCH(QString, expected);
    PrinterList list;
    QVERIFY(listWizardPrinters(list, usb, tcp, table()));
    QCOMPARE(listed(list), expected);

    std::vector<std::wstring> ports;
    QVERIFY(listTcpPorts(ports));
    const auto has
        = [&](const QString& port) { return std::find(ports.begin(), ports.end(), w(port)) != ports.end(); };
    QVERIFY(has(QStringLiteral("SOCKET://127.0.0.1:9")));
    QVERIFY(has(QStringLiteral("LPD://127.0.0.1/card")));
    QVERIFY(has(QStringLiteral("IPP://127.0.0.1:%1/printers/elsewhere").arg(cups_->port())));
    QVERIFY(!has(QStringLiteral("USB://Talvor/Card?serial=7")));
    QVERIFY(!has(QStringLiteral("TALUSB://card/1")));
}

void tst_SpoolerCups::emptyServerListsNothing()
{
    PrivateCups empty(PrivateCups::Mode::Own);
    QVERIFY2(empty.isRunning(), qPrintable(empty.lastError()));
    empty.useForThisProcess();
    PrinterList list { { L"kept", 1 } };
    QVERIFY(listWizardPrinters(list, true, true, table()));
    QCOMPARE(listed(list), QStringLiteral("kept=1"));
    std::vector<std::wstring> ports;
    QVERIFY(listTcpPorts(ports));
    QVERIFY(ports.empty());
}

// A listing longer than one piece of the response (the server sends it in pieces of
// 32 KiB at most): records cut between two pieces must be read whole.
void tst_SpoolerCups::longListingReadWhole()
{
    PrivateCups many(PrivateCups::Mode::Own);
    QVERIFY2(many.isRunning(), qPrintable(many.lastError()));
    constexpr int count = 48;
    const QString path(900, QLatin1Char('p'));
    for (int i = 0; i < count; ++i)
        QVERIFY2(many.addQueue(QStringLiteral("long%1").arg(i, 2, 10, QLatin1Char('0')),
                     QStringLiteral("socket://127.0.0.1:%1/%2").arg(9100 + i).arg(path),
                     i % 2 ? driverB() : driverA()),
            qPrintable(many.lastError()));
    many.useForThisProcess();
    PrinterList list;
    QVERIFY(listWizardPrinters(list, true, true, table()));
    QCOMPARE(int(list.size()), count);
    for (const auto& [printer, type] : list) {
        const int index = QString::fromStdWString(printer).mid(4).toInt();
        QCOMPARE(type, index % 2 ? 5 : 3);
    }
    std::vector<std::wstring> ports;
    QVERIFY(listTcpPorts(ports));
    QCOMPARE(int(ports.size()), count);
    QVERIFY(ports.front().size() > 900);
}

void tst_SpoolerCups::printerTypeOfQueues()
{
    QCOMPARE(printerTypeOf(w(name("usb")).c_str(), table()), 5);
    QCOMPARE(printerTypeOf(w(name("sock")).c_str(), table()), 3);
    QCOMPARE(printerTypeOf(w(name("unknown")).c_str(), table()), 0);
    QCOMPARE(printerTypeOf(w(name("sock")).c_str(), DriverTable()), 0);
    QCOMPARE(printerTypeOf(w(name("missing")).c_str(), table()), 0);
    QCOMPARE(printerTypeOf(L"", table()), 0);
    QCOMPARE(printerTypeOf(nullptr, table()), 0);

    // Names no queue can have: far too long, or holding what a printer address may not.
    const std::wstring oversized(5000, L'Q');
    QCOMPARE(printerTypeOf(oversized.c_str(), table()), 0);
    unsigned char block[printerIdSize];
    QVERIFY(!readPrinterId(oversized, block));
    QVERIFY(!restoreBidiAndStartRuvelk(oversized));
    const std::wstring hostile = w(name("sock")) + L"/../" + w(name("usb")) + L"?x#y";
    QCOMPARE(printerTypeOf(hostile.c_str(), table()), 0);
    QVERIFY(!readPrinterId(hostile, block));
}

void tst_SpoolerCups::bitClearedHoldsAndSetReleases()
{
    const QString queue = name("bit");
    QVERIFY2(cups_->addQueue(queue, QStringLiteral("socket://127.0.0.1:9"), driverA()),
        qPrintable(cups_->lastError()));
    QVERIFY(queueAttributes(queue) & printerAttributeEnableBidi);

    // A handle for use only may not change the queue.
    PrinterHandle user = Spooler::openPrinter(w(queue).c_str(), PrinterAccess::Use);
    QVERIFY(user);
    PrinterInfo2 info;
    QVERIFY(Spooler::getPrinter2(user, info));
    info.attributes &= ~printerAttributeEnableBidi;
    QVERIFY(!Spooler::setPrinter2(user, info));
    Spooler::closePrinter(user);
    QVERIFY(queueAttributes(queue) & printerAttributeEnableBidi);

    QVERIFY(holdQueue(queue));
    QCOMPARE(queueAttributes(queue) & printerAttributeEnableBidi, 0);
    QString state;
    QCOMPARE(cups_->runTool(QStringLiteral("lpstat"), { QStringLiteral("-p"), queue }, &state), 0);
    // The hold message names this process as the holder.
    const QString message = QStringLiteral("The setup wizard holds the printer (%1)")
                                .arg(QString::fromStdString(holderRecord(thisHolder())));
    QVERIFY2(state.contains(QLatin1String("disabled")) && state.contains(message), qPrintable(state));
    // Holding twice changes nothing.
    QVERIFY(holdQueue(queue));
    QCOMPARE(queueHoldOf(w(queue)), QueueHold::own);

    // Another holder's hold is neither taken over nor released.
    QVERIFY(cups_->pauseAsAdministrator(queue,
        QStringLiteral("The setup wizard holds the printer (host=%1 boot=%2 pid=1 start=1)")
            .arg(QString::fromStdString(thisHolder().host), QString::fromStdString(thisHolder().boot))));
    QCOMPARE(queueHoldOf(w(queue)), QueueHold::stale);
    QVERIFY(!holdQueue(queue));
    QVERIFY(!restoreBidiAndStartRuvelk(w(queue)));
    QCOMPARE(queueAttributes(queue) & printerAttributeEnableBidi, 0);
    std::string record;
    QVERIFY(releaseStaleHold(w(queue), &record));
    QCOMPARE(QString::fromStdString(record),
        QStringLiteral("host=%1 boot=%2 pid=1 start=1")
            .arg(QString::fromStdString(thisHolder().host), QString::fromStdString(thisHolder().boot)));
    QVERIFY(queueAttributes(queue) & printerAttributeEnableBidi);
    QVERIFY(holdQueue(queue));

    PrinterHandle admin = Spooler::openPrinter(w(queue).c_str(), PrinterAccess::Full);
    QVERIFY(admin);
    QVERIFY(Spooler::getPrinter2(admin, info));
    info.attributes |= printerAttributeEnableBidi;
    QVERIFY(Spooler::setPrinter2(admin, info));
    Spooler::closePrinter(admin);
    QVERIFY(queueAttributes(queue) & printerAttributeEnableBidi);
    QCOMPARE(cups_->runTool(QStringLiteral("lpstat"), { QStringLiteral("-p"), queue }, &state), 0);
    QVERIFY2(
        state.contains(QLatin1String("idle")) && state.contains(QLatin1String("enabled")), qPrintable(state));
}

void tst_SpoolerCups::handBackReleasesAndStartsTool()
{
    const QString queue = name("handback");
    QVERIFY2(cups_->addQueue(queue, QStringLiteral("usb://Talvor/Card?serial=9"), driverB()),
        qPrintable(cups_->lastError()));
    QVERIFY(holdQueue(queue));
    probe::killAll(QStringLiteral("Ruvelk.exe"));

    QVERIFY(restoreBidiAndStartRuvelk(w(queue)));

    QVERIFY(queueAttributes(queue) & printerAttributeEnableBidi);
    QList<qint64> tools;
    QVERIFY(probe::waitFor(
        [&] { return !(tools = probe::ownProcesses(QStringLiteral("Ruvelk.exe"))).isEmpty(); }));
    QCOMPARE(tools.size(), 1);
    // Started from the x64 folder beside the executable, and still running.
    QCOMPARE(QFileInfo(probe::executableOf(tools.first())).canonicalFilePath(),
        QFileInfo(QCoreApplication::applicationDirPath() + QStringLiteral("/x64/Ruvelk.exe"))
            .canonicalFilePath());
    QTest::qWait(300);
    QVERIFY(probe::isRunning(tools.first()));
    probe::killAll(QStringLiteral("Ruvelk.exe"));
}

void tst_SpoolerCups::administratorsPauseIsKept()
{
    const QString queue = name("adminpause");
    QVERIFY2(cups_->addQueue(queue, QStringLiteral("socket://127.0.0.1:9"), driverA()),
        qPrintable(cups_->lastError()));
    QVERIFY2(
        cups_->pauseAsAdministrator(queue, QStringLiteral("toner change")), qPrintable(cups_->lastError()));

    // The wizard takes the printer over and hands it back; the administrator's pause,
    // and its message, stay.
    QVERIFY(holdQueue(queue));
    QVERIFY(restoreBidiAndStartRuvelk(w(queue)));
    probe::killAll(QStringLiteral("Ruvelk.exe"));
    QString state;
    QCOMPARE(cups_->runTool(QStringLiteral("lpstat"), { QStringLiteral("-p"), queue }, &state), 0);
    QVERIFY2(state.contains(QLatin1String("disabled")) && state.contains(QLatin1String("toner change")),
        qPrintable(state));
}

void tst_SpoolerCups::printingQueueIsHeldOnlyAfterItsJob()
{
    SlowPrinter printer(1500);
    const QString queue = name("slow");
    QVERIFY2(cups_->addQueue(queue, QStringLiteral("socket://127.0.0.1:%1").arg(printer.port()), driverA()),
        qPrintable(cups_->lastError()));
    QTemporaryFile job;
    QVERIFY(job.open());
    QByteArray card(20000, '\0');
    for (int i = 0; i < card.size(); ++i)
        card[i] = static_cast<char>(i * 7);
    job.write(card);
    job.flush();
    QString out;
    QCOMPARE(cups_->runTool(QStringLiteral("lp"),
                 { QStringLiteral("-d"), queue, QStringLiteral("-o"), QStringLiteral("raw"), job.fileName() },
                 &out),
        0);
    QVERIFY2(probe::waitFor([&] { return printer.connections() > 0; }, 15000),
        "the job never reached the printer");
    QVERIFY(printer.printing());

    QVERIFY(holdQueue(queue));
    // Held only once the printer had the whole job and had let it go.
    QVERIFY(!printer.printing());
    QCOMPARE(printer.connections(), 1);
    QCOMPARE(printer.bytes(), qint64(card.size()));
    QCOMPARE(queueAttributes(queue) & printerAttributeEnableBidi, 0);

    QVERIFY(restoreBidiAndStartRuvelk(w(queue)));
    probe::killAll(QStringLiteral("Ruvelk.exe"));
    // Nothing is sent again after the release.
    QTest::qWait(1000);
    QCOMPARE(printer.connections(), 1);
    QCOMPARE(printer.bytes(), qint64(card.size()));
}

void tst_SpoolerCups::printerId_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("40 characters") << QStringLiteral("TLV-0123456789-ABCDEFGHIJ-0123456789-XYZ") << true;
    QTest::newRow("40 characters, not ASCII") << QString(40, QChar(0x00E9)) << true;
    QTest::newRow("39 characters: 80 bytes")
        << QStringLiteral("TLV-0123456789-ABCDEFGHIJ-0123456789-XY") << false;
    QTest::newRow("41 characters: does not fit")
        << QStringLiteral("TLV-0123456789-ABCDEFGHIJ-0123456789-XYZW") << false;
    QTest::newRow("far too long") << QString(300, QLatin1Char('Z')) << false;
    QTest::newRow("no identifier") << QString() << false;
}

void tst_SpoolerCups::printerId()
{
    QFETCH(QString, id);
    QFETCH(bool, accepted);
    const QString queue = name("id");
    QVERIFY2(cups_->addQueue(queue, QStringLiteral("usb://Talvor/Card?serial=3"), driverA(), id),
        qPrintable(cups_->lastError()));
    unsigned char block[printerIdSize + 8];
    std::fill(std::begin(block), std::end(block), 0xAA);
    QCOMPARE(readPrinterId(w(queue), block), accepted);
    // Never a byte beyond the block.
    for (std::size_t i = printerIdSize; i < sizeof block; ++i)
        QCOMPARE(block[i], 0xAA);
    if (accepted) {
        for (int i = 0; i < 40; ++i)
            QCOMPARE(block[2 * i] | block[2 * i + 1] << 8, int(id.at(i).unicode()));
        QCOMPARE(block[80], 0);
        QCOMPARE(block[81], 0);
    }
    QVERIFY(cups_->deleteQueue(queue));
}

void tst_SpoolerCups::clientWithoutAdminRights()
{
    PrivateCups restricted(PrivateCups::Mode::Own);
    QVERIFY2(restricted.isRunning(), qPrintable(restricted.lastError()));
    const QString queue = QStringLiteral("restricted");
    const QString id = QStringLiteral("TLV-0123456789-ABCDEFGHIJ-0123456789-XYZ");
    QVERIFY2(restricted.addQueue(queue, QStringLiteral("usb://Talvor/Card?serial=5"), driverA(), id),
        qPrintable(restricted.lastError()));
    // Only a group we are not in may administer the server from now on.
    QVERIFY2(restricted.setAdminGroup(QStringLiteral("nogroup")), qPrintable(restricted.lastError()));
    restricted.useForThisProcess();
    probe::killAll(QStringLiteral("Ruvelk.exe"));

    // Reading needs no rights.
    QCOMPARE(printerTypeOf(w(queue).c_str(), table()), 3);
    unsigned char block[printerIdSize];
    QVERIFY(readPrinterId(w(queue), block));
    PrinterList list;
    QVERIFY(listWizardPrinters(list, true, true, table()));
    QCOMPARE(listed(list), QStringLiteral("restricted=3"));

    // Administering is refused at once: no prompt, no hang, nothing started.
    QVERIFY(!Spooler::openPrinter(w(queue).c_str(), PrinterAccess::Full));
    QVERIFY(!holdQueue(queue));
    QVERIFY(!restoreBidiAndStartRuvelk(w(queue)));
    QTest::qWait(200);
    QVERIFY(probe::ownProcesses(QStringLiteral("Ruvelk.exe")).isEmpty());
    QString state;
    QCOMPARE(restricted.runTool(QStringLiteral("lpstat"), { QStringLiteral("-p"), queue }, &state), 0);
    QVERIFY2(state.contains(QLatin1String("enabled")), qPrintable(state));
}

void tst_SpoolerCups::serverStoppedMidway()
{
    PrivateCups dying(PrivateCups::Mode::Own);
    QVERIFY2(dying.isRunning(), qPrintable(dying.lastError()));
    const QString queue = QStringLiteral("dying");
    QVERIFY2(dying.addQueue(queue, QStringLiteral("socket://127.0.0.1:9"), driverB(),
                 QStringLiteral("TLV-0123456789-ABCDEFGHIJ-0123456789-XYZ")),
        qPrintable(dying.lastError()));
    dying.useForThisProcess();
    PrinterList list;
    QVERIFY(listWizardPrinters(list, true, true, table()));
    QCOMPARE(listed(list), QStringLiteral("dying=5"));
    PrinterHandle open = Spooler::openPrinter(w(queue).c_str(), PrinterAccess::Full);
    QVERIFY(open);

    QVERIFY(dying.stop());
    probe::killAll(QStringLiteral("Ruvelk.exe"));

    PrinterInfo2 info;
    QVERIFY(!Spooler::getPrinter2(open, info));
    QVERIFY(!Spooler::setPrinter2(open, info));
    Spooler::closePrinter(open);
    PrinterList after { { L"kept", 1 } };
    QVERIFY(!listWizardPrinters(after, true, true, table()));
    QCOMPARE(listed(after), QStringLiteral("kept=1"));
    std::vector<std::wstring> ports;
    QVERIFY(!listTcpPorts(ports));
    QCOMPARE(printerTypeOf(w(queue).c_str(), table()), 0);
    unsigned char block[printerIdSize];
    QVERIFY(!readPrinterId(w(queue), block));
    QVERIFY(!restoreBidiAndStartRuvelk(w(queue)));
    QVERIFY(probe::ownProcesses(QStringLiteral("Ruvelk.exe")).isEmpty());
}

void tst_SpoolerCups::silentServerGivesUp()
{
    PrivateCups silent(PrivateCups::Mode::Own);
    QVERIFY2(silent.isRunning(), qPrintable(silent.lastError()));
    const QString queue = QStringLiteral("silent");
    QVERIFY2(silent.addQueue(queue, QStringLiteral("usb://Talvor/Card?serial=13"), driverA()),
        qPrintable(silent.lastError()));
    silent.useForThisProcess();
    QVERIFY(holdQueue(queue));
    probe::killAll(QStringLiteral("Ruvelk.exe"));

    // The server still takes connections but never answers: the hand-back, which an
    // abort runs, gives up after its silence limit instead of hanging the wizard.
    QVERIFY2(silent.suspend(true), qPrintable(silent.lastError()));
    QElapsedTimer timer;
    timer.start();
    const bool started = restoreBidiAndStartRuvelk(w(queue));
    const qint64 waited = timer.elapsed();
    QVERIFY2(silent.suspend(false), qPrintable(silent.lastError()));
    QVERIFY(!started);
    QVERIFY2(waited < 30000, qPrintable(QString::number(waited)));
    QVERIFY(probe::ownProcesses(QStringLiteral("Ruvelk.exe")).isEmpty());
    // Once it answers again, the hand-back goes through.
    QCOMPARE(queueAttributes(queue) & printerAttributeEnableBidi, 0);
    QVERIFY(restoreBidiAndStartRuvelk(w(queue)));
    probe::killAll(QStringLiteral("Ruvelk.exe"));
    QVERIFY(queueAttributes(queue) & printerAttributeEnableBidi);
}

void tst_SpoolerCups::queueDeletedBetweenListingAndOpening()
{
    const QString queue = name("vanishing");
    QVERIFY2(cups_->addQueue(queue, QStringLiteral("usb://Talvor/Card?serial=11"), driverB(),
                 QStringLiteral("TLV-0123456789-ABCDEFGHIJ-0123456789-XYZ")),
        qPrintable(cups_->lastError()));
    PrinterList list;
    QVERIFY(listWizardPrinters(list, true, false, table()));
    QVERIFY(list.count(w(queue)) == 1);
    PrinterHandle open = Spooler::openPrinter(w(queue).c_str(), PrinterAccess::Full);
    QVERIFY(open);

    QVERIFY(cups_->deleteQueue(queue));
    probe::killAll(QStringLiteral("Ruvelk.exe"));

    PrinterInfo2 info;
    QVERIFY(!Spooler::getPrinter2(open, info));
    Spooler::closePrinter(open);
    QCOMPARE(printerTypeOf(w(queue).c_str(), table()), 0);
    unsigned char block[printerIdSize];
    QVERIFY(!readPrinterId(w(queue), block));
    QVERIFY(!restoreBidiAndStartRuvelk(w(queue)));
    QVERIFY(probe::ownProcesses(QStringLiteral("Ruvelk.exe")).isEmpty());
}

QTEST_GUILESS_MAIN(tst_SpoolerCups)
#include "tst_spoolercups.moc"
