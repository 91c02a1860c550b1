// SPDX-License-Identifier: MIT
// The pipe message's byte layout against a hand-built fixture, and the
// Linux pipe seam against real SOCK_SEQPACKET sockets.
#include "comm/VekCommLayer.h"
#include "system/NamedPipe.h"

#include <QtTest>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using wizard::VekMessage;
using wizard::sys::NamedPipe;
using wizard::sys::PipeResult;

namespace {

QByteArray fixture(const char* name)
{
    QFile file(QFINDTESTDATA(QStringLiteral("data/") + QLatin1String(name)));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray bytesOf(const VekMessage& message)
{
    return QByteArray(reinterpret_cast<const char*>(message.bytes.data()), int(VekMessage::size));
}

// A listening socket in the test's pipe folder, standing for a service.
class Listener {
public:
    Listener(const QString& folder, const QString& name, int backlog)
    {
        const QByteArray path = (folder + QLatin1Char('/') + name).toLocal8Bit();
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, path.constData(), size_t(path.size()) + 1);
        fd = ::socket(AF_UNIX, SOCK_SEQPACKET, 0);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
            || ::listen(fd, backlog) != 0) {
            ::close(fd);
            fd = -1;
        }
    }
    ~Listener()
    {
        if (fd >= 0)
            ::close(fd);
    }
    int accept() const { return ::accept(fd, nullptr, nullptr); }
    int fd = -1;
};

std::wstring pipeName(const char* leaf)
{
    return std::wstring(NamedPipe::prefix()) + QString::fromLatin1(leaf).toStdWString();
}

} // namespace

class TestPipeMessage : public QObject {
    Q_OBJECT

    QTemporaryDir folder { QStringLiteral("/tmp/kavni-seam-XXXXXX") };

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(folder.isValid());
        qputenv("TALVOR_PIPE_DIR", folder.path().toLocal8Bit());
    }

    void statusRequestMatchesTheFixtureByteForByte()
    {
        const QByteArray expected = fixture("status-request.bin");
        QCOMPARE(expected.size(), 1168);

        VekMessage message;
        message.set(VekMessage::command, VekMessage::readStatus);
        message.set(VekMessage::channel, 42);
        message.set(VekMessage::optionB, 0x11223344);
        message.set(VekMessage::optionC, -2);
        message.set(VekMessage::timeout, 5000);
        message.set(VekMessage::optionA, 0x01020304);
        message.set(VekMessage::optionD, 0x55);
        message.set(VekMessage::optionE, -1);
        QVERIFY(message.setPrinterName(L"T\u00e4lvor \u03a9-7 \U0001F5A8"));
        QCOMPARE(bytesOf(message).toHex(), expected.toHex());

        VekMessage parsed;
        std::memcpy(parsed.bytes.data(), expected.constData(), VekMessage::size);
        QCOMPARE(parsed.get(VekMessage::command), 5);
        QCOMPARE(parsed.get(VekMessage::channel), 42);
        QCOMPARE(parsed.get(VekMessage::optionB), 0x11223344);
        QCOMPARE(parsed.get(VekMessage::optionC), -2);
        QCOMPARE(parsed.get(VekMessage::timeout), 5000);
        QCOMPARE(parsed.get(VekMessage::optionA), 0x01020304);
        QCOMPARE(parsed.get(VekMessage::optionE), -1);
    }

    void printerNameField_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("fits");
        QTest::newRow("empty") << QString() << true;
        QTest::newRow("31 units, room for the NUL") << QString(31, QLatin1Char('n')) << true;
        QTest::newRow("32 units") << QString(32, QLatin1Char('n')) << false;
        QTest::newRow("30 units plus a pair")
            << QString(30, QLatin1Char('n')) + QString::fromUtf8("\U0001F5A8") << false;
        QTest::newRow("29 units plus a pair")
            << QString(29, QLatin1Char('n')) + QString::fromUtf8("\U0001F5A8") << true;
    }
    void printerNameField()
    {
        QFETCH(QString, name);
        QFETCH(bool, fits);
        VekMessage message;
        message.bytes.fill(0xEE);
        QCOMPARE(message.setPrinterName(name.toStdWString()), fits);
        const QByteArray field = bytesOf(message).mid(VekMessage::printerName, 64);
        const QByteArray expected = fits
            ? QByteArray(reinterpret_cast<const char*>(name.utf16()), int(name.size()) * 2)
                + QByteArray(64 - int(name.size()) * 2, '\0')
            : QByteArray(64, '\0');
        QCOMPARE(field.toHex(), expected.toHex());
        // Nothing outside the field is touched.
        QCOMPARE(bytesOf(message).at(VekMessage::printerName - 1), char(0xEE));
        QCOMPARE(bytesOf(message).at(VekMessage::result), char(0xEE));
    }

    void pipeNamesStayInsideTheFolder_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("valid");
        QTest::newRow("plain") << QStringLiteral("\\\\.\\pipe\\ExtComABC") << true;
        QTest::newRow("no pipe prefix") << QStringLiteral("ExtComABC") << false;
        QTest::newRow("slash") << QStringLiteral("\\\\.\\pipe\\ExtCom/../../etc/x") << false;
        QTest::newRow("dot dot") << QStringLiteral("\\\\.\\pipe\\..") << false;
        QTest::newRow("empty leaf") << QStringLiteral("\\\\.\\pipe\\") << false;
        QTest::newRow("too long for a socket")
            << QStringLiteral("\\\\.\\pipe\\") + QString(200, QLatin1Char('x')) << false;
    }
    void pipeNamesStayInsideTheFolder()
    {
        QFETCH(QString, name);
        QFETCH(bool, valid);
        const std::string path = NamedPipe::socketPath(name.toStdWString());
        QCOMPARE(!path.empty(), valid);
        if (valid)
            QCOMPARE(QString::fromStdString(path), folder.path() + QStringLiteral("/ExtComABC"));
        NamedPipe pipe;
        if (!valid)
            QCOMPARE(pipe.open(name.toStdWString()), PipeResult::Failed);
    }

    void missingAndDeadPipesAreNotFound()
    {
        NamedPipe pipe;
        QCOMPARE(pipe.open(pipeName("nothing-here")), PipeResult::NotFound);
        QCOMPARE(pipe.wait(pipeName("nothing-here"), 3000), PipeResult::NotFound);
        {
            Listener gone(folder.path(), QStringLiteral("dead"), 4);
            QVERIFY(gone.fd >= 0);
        } // closed, its file left behind: nobody listens
        QVERIFY(QFile::exists(folder.filePath(QStringLiteral("dead"))));
        QCOMPARE(pipe.open(pipeName("dead")), PipeResult::NotFound);
        QCOMPARE(pipe.wait(pipeName("dead"), 3000), PipeResult::NotFound);
        QVERIFY(!pipe.isOpen());
    }

    void fullBacklogIsBusyAndAWaitKeepsTheConnectionItMade()
    {
        Listener service(folder.path(), QStringLiteral("busy"), 0);
        QVERIFY(service.fd >= 0);
        NamedPipe first;
        QCOMPARE(first.open(pipeName("busy")), PipeResult::Ok); // fills the backlog of one
        NamedPipe second;
        QCOMPARE(second.open(pipeName("busy")), PipeResult::Busy);
        QCOMPARE(second.wait(pipeName("busy"), 100), PipeResult::TimedOut);

        const int accepted = service.accept();
        QVERIFY(accepted >= 0);
        QCOMPARE(second.wait(pipeName("busy"), 3000), PipeResult::Ok);
        QCOMPARE(second.open(pipeName("busy")), PipeResult::Ok);
        QVERIFY(second.setMessageMode());
        std::size_t moved = 0;
        QCOMPARE(second.write("hello", 5, &moved, 1000), PipeResult::Ok);
        QCOMPARE(moved, std::size_t(5));
        // The wait's connection is the one open() handed out: it is the next in the backlog.
        const int waited = service.accept();
        QVERIFY(waited >= 0);
        char got[16] = {};
        QCOMPARE(::recv(waited, got, sizeof got, 0), ssize_t(5));
        ::close(waited);
        ::close(accepted);
    }

    void messagesStayWholeAndPeersThatLeaveFail()
    {
        Listener service(folder.path(), QStringLiteral("talk"), 4);
        NamedPipe pipe;
        QCOMPARE(pipe.open(pipeName("talk")), PipeResult::Ok);
        const int peer = service.accept();
        QVERIFY(peer >= 0);
        const QByteArray big(1200, 'b');
        QCOMPARE(::send(peer, "first", 5, 0), ssize_t(5));
        QCOMPARE(::send(peer, big.constData(), size_t(big.size()), 0), ssize_t(big.size()));
        QCOMPARE(::send(peer, "last", 4, 0), ssize_t(4));

        char buffer[1168] = {};
        std::size_t got = 0;
        QCOMPARE(pipe.read(buffer, sizeof buffer, &got, 1000), PipeResult::Ok);
        QCOMPARE(got, std::size_t(5)); // two messages never run together
        QCOMPARE(pipe.read(buffer, sizeof buffer, &got, 1000), PipeResult::Failed); // larger than the buffer
        QCOMPARE(pipe.read(buffer, sizeof buffer, &got, 1000), PipeResult::Ok);
        QCOMPARE(QByteArray(buffer, int(got)), QByteArray("last"));
        QCOMPARE(pipe.read(buffer, sizeof buffer, &got, 100), PipeResult::TimedOut);

        ::close(peer);
        QCOMPARE(pipe.read(buffer, sizeof buffer, &got, 1000), PipeResult::Failed);
        std::size_t written = 0;
        QCOMPARE(pipe.write("x", 1, &written, 1000), PipeResult::Failed);
        pipe.close();
        QVERIFY(!pipe.isOpen());
        QCOMPARE(pipe.read(buffer, sizeof buffer, &got, 1000), PipeResult::Failed);
    }
};

QTEST_GUILESS_MAIN(TestPipeMessage)
#include "tst_pipemessage.moc"
