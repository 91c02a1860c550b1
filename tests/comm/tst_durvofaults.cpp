// SPDX-License-Identifier: MIT
// The comm layer's side of library results that neither the device-access
// library nor the virtual printer can be made to give (a release that fails,
// a status call that succeeds yet leaves "Time out", the exact bytes of a name
// CUPS would never accept as a queue, the pass-through values the library
// ignores). The library is replaced here by a table of recording stand-ins;
// everything the real parts can show is tested in tst_durvocommlayer and,
// where both comm layers promise the same, in tst_commlayers.
#include "TraceCapture.h"
#include "comm/DurvoCommLayer.h"
#include "comm/PrinterCommands.h"
#include "foundation/DebugLogger.h"
#include "system/SharedLibrary.h"

#include <QtTest>

#include <string>
#include <vector>

using wizard::CommStatus;
using wizard::DurvoCommLayer;
using wizard::DurvoFunctions;
using wizard::PrinterCommands;
using wizard::test::TraceCapture;

namespace {

struct Call {
    std::string function;
    QByteArray bytes; // name, or bytes written
    std::int32_t timeout = 0;
    std::int32_t passA = 0;
    std::int32_t passB = 0;
};

// What the stand-ins answer and what they saw.
struct Library {
    std::vector<Call> calls;
    std::uint32_t handle = 42;
    std::int32_t closeResult = 1;
    QByteArray reply = "OK";
    QByteArray status;
    std::int32_t statusResult = 1;
} library;

std::uint32_t fakeOpen(const char* name)
{
    library.calls.push_back({ "OpenQuarle", QByteArray(name) });
    return library.handle;
}
std::int32_t fakeClose(std::uint32_t)
{
    library.calls.push_back({ "CloseQuarle", {} });
    return library.closeResult;
}
std::int32_t fakeWrite(std::uint32_t, const char* bytes, std::int32_t length, std::int32_t timeout,
    std::int32_t a, std::int32_t b)
{
    library.calls.push_back({ "WriteQuarleExEx", QByteArray(bytes, length), timeout, a, b });
    return 1;
}
std::int32_t fakeRead(std::uint32_t, char* buffer, std::uint32_t capacity, std::int32_t* received,
    std::int32_t timeout, std::int32_t a, std::int32_t b)
{
    library.calls.push_back({ "ReadQuarleExEx", {}, timeout, a, b });
    const auto n = std::min<std::uint32_t>(capacity, std::uint32_t(library.reply.size()));
    std::memcpy(buffer, library.reply.constData(), n);
    *received = std::int32_t(n);
    return 1;
}
std::int32_t fakeStatus(std::uint32_t, char* buffer, std::uint32_t capacity, std::int32_t* received,
    std::int32_t timeout, std::int32_t a, std::int32_t b)
{
    library.calls.push_back({ "ReadStatusExEx", {}, timeout, a, b });
    const auto n = std::min<std::uint32_t>(capacity, std::uint32_t(library.status.size()));
    std::memcpy(buffer, library.status.constData(), n);
    *received = std::int32_t(n);
    return library.statusResult;
}

DurvoFunctions fakeTable()
{
    DurvoFunctions table;
    table.OpenQuarle = &fakeOpen;
    table.CloseQuarle = &fakeClose;
    table.WriteQuarleExEx = &fakeWrite;
    table.ReadQuarleExEx = &fakeRead;
    table.ReadStatusExEx = &fakeStatus;
    return table;
}

QStringList calledFunctions()
{
    QStringList out;
    for (const auto& call : library.calls)
        out << QString::fromStdString(call.function);
    return out;
}

const QString pemOn = QStringLiteral("\x1bPem;2\r");
const QString pemOff = QStringLiteral("\x1bPem;0\r");

} // namespace

class TestDurvoFaults : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { logger.Enable(); }
    void init()
    {
        library = Library {};
        TraceCapture::clear();
    }

    void failedReleaseMakesCloseFalseButClosed()
    {
        DurvoCommLayer layer(&logger, 0, 0, fakeTable());
        QVERIFY(layer.Open(L"Q"));
        library.closeResult = 0;
        library.calls.clear();
        QVERIFY(!layer.Close());
        QCOMPARE(calledFunctions(), (QStringList { "WriteQuarleExEx", "ReadQuarleExEx", "CloseQuarle" }));
        QCOMPARE(library.calls[0].bytes, pemOff.toLatin1());
        // Closed all the same: nothing more reaches the library, now or at destruction.
        library.calls.clear();
        QVERIFY(!layer.Close());
        QVERIFY(!layer.Write("x", 1));
        QVERIFY(library.calls.empty());
    }

    void statusCallThatSucceedsWithTimeOutTextCloses()
    {
        DurvoCommLayer layer(&logger, 0, 0, fakeTable());
        QVERIFY(layer.Open(L"Q"));
        library.status = QByteArray("Time out", 9);
        TraceCapture::clear();
        CommStatus status {};
        QVERIFY(!layer.ReadStatus(&status));
        QCOMPARE(TraceCapture::messages(),
            (QStringList { "[INFO   ] [DurvoCommLayer] [ReadStatus] {wizard::DurvoCommLayer::ReadStatus}",
                "[DEBUG  ] [DurvoCommLayer] [fail to read status] {wizard::DurvoCommLayer::ReadStatus}",
                "[INFO   ] [DurvoCommLayer] [Close] {wizard::DurvoCommLayer::Close}" }));
        QVERIFY(!layer.Close());
    }

    void statusBlockLongerThanItsTextIsNoTimeOut()
    {
        // "Time out" counts only as the whole text: a status block that starts
        // with those bytes and goes on is a status block.
        DurvoCommLayer layer(&logger, 0, 0, fakeTable());
        QVERIFY(layer.Open(L"Q"));
        library.status = QByteArray("Time outXXXXXXXXXXXX");
        CommStatus status {};
        QVERIFY(layer.ReadStatus(&status));
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(status.bytes), 16), QByteArray("Time outXXXXXXXX"));
    }

    void passValuesAndTimeLimitsReachEveryCall()
    {
        // The real library ignores passA and passB, so only a stand-in can see them.
        DurvoCommLayer layer(&logger, 11, -22, fakeTable());
        layer.SetTimeout(90000);
        QVERIFY(layer.Open(L"Q"));
        QVERIFY(layer.Write("\x1bRfv\r", 5));
        char buffer[512] = {};
        std::int32_t received = 0;
        QVERIFY(layer.Read(buffer, sizeof buffer, &received));
        library.status = QByteArray(17, '\0');
        CommStatus status {};
        QVERIFY(layer.ReadStatus(&status));
        library.reply = QByteArray(34, '0');
        QVERIFY(layer.ReadStatusRpst(&status));
        QCOMPARE(layer.GetTimeout(), 90000);
        QVERIFY(layer.Close());

        QCOMPARE(calledFunctions(),
            (QStringList { "OpenQuarle", "WriteQuarleExEx", "ReadQuarleExEx", "WriteQuarleExEx",
                "ReadQuarleExEx", "ReadStatusExEx", "WriteQuarleExEx", "ReadQuarleExEx", "WriteQuarleExEx",
                "ReadQuarleExEx", "CloseQuarle" }));
        const std::int32_t limits[] = { 0, 90000, 90000, 90000, 90000, 1000, 1000, 1000, 90000, 90000, 0 };
        for (size_t i = 0; i < library.calls.size(); ++i) {
            const Call& call = library.calls[i];
            QCOMPARE(call.timeout, limits[i]);
            if (call.function != "OpenQuarle" && call.function != "CloseQuarle") {
                QCOMPARE(call.passA, 11);
                QCOMPARE(call.passB, -22);
            }
        }
        QCOMPARE(library.calls[6].bytes, QByteArray("\x1bRpst\r"));
    }

    void nameLimit_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("reachesLibrary");
        QTest::newRow("220 bytes") << QString(220, 'q') << true;
        QTest::newRow("221 bytes") << QString(221, 'q') << false;
        QTest::newRow("110 two-byte characters") << QString(110, QChar(0xE9)) << true;
        QTest::newRow("111 two-byte characters") << QString(111, QChar(0xE9)) << false;
        QTest::newRow("219 bytes and a two-byte character") << QString(219, 'q') + QChar(0xE9) << false;
        QTest::newRow("empty") << QString() << true;
    }
    void nameLimit()
    {
        // CUPS accepts no queue name this long, so only a stand-in shows
        // whether the name reached the library, and with which bytes.
        QFETCH(QString, name);
        QFETCH(bool, reachesLibrary);
        DurvoCommLayer layer(&logger, 0, 0, fakeTable());
        QCOMPARE(layer.Open(name.toStdWString().c_str()), reachesLibrary);
        if (reachesLibrary) {
            QVERIFY(!library.calls.empty());
            QCOMPARE(library.calls[0].bytes, name.toUtf8());
        } else {
            QVERIFY(library.calls.empty());
        }
    }

    void handshakeFailureReleasesTheDevice()
    {
        DurvoCommLayer layer(&logger, 0, 0, fakeTable());
        library.reply = "NO";
        QVERIFY(!layer.Open(L"Q"));
        QCOMPARE(calledFunctions(),
            (QStringList { "OpenQuarle", "WriteQuarleExEx", "ReadQuarleExEx", "CloseQuarle" }));
        QCOMPARE(library.calls[1].bytes, pemOn.toLatin1());
        // A later Open tries afresh.
        library.reply = "OK";
        library.calls.clear();
        QVERIFY(layer.Open(L"Q"));
        QCOMPARE(calledFunctions(), (QStringList { "OpenQuarle", "WriteQuarleExEx", "ReadQuarleExEx" }));
    }

    void tableWithoutAllCallsFailsOpen()
    {
        DurvoFunctions table = fakeTable();
        table.ReadStatusExEx = nullptr;
        DurvoCommLayer layer(&logger, 0, 0, table);
        QVERIFY(!layer.Open(L"Q"));
        QVERIFY(library.calls.empty());
        QVERIFY(!layer.Close());
    }

    void libraryLoading_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("no such library") << QStringLiteral("libkavni-no-such-library.so");
        // A real library, but not the device-access one: none of the five calls.
        QTest::newRow("library without the calls") << QStringLiteral("libm.so.6");
        QTest::newRow("empty name") << QString();
    }
    void libraryLoading()
    {
        QFETCH(QString, file);
        wizard::sys::SharedLibrary shared;
        const DurvoFunctions table = DurvoFunctions::load(shared, file.toStdWString());
        QVERIFY(!table.complete());
        QVERIFY(!shared.isLoaded());
        DurvoCommLayer layer(&logger, 0, 0, table);
        QVERIFY(!layer.Open(L"Q"));
    }

private:
    TraceCapture trace;
    wizard::DebugLogger logger;
};

QTEST_GUILESS_MAIN(TestDurvoFaults)
#include "tst_durvofaults.moc"
