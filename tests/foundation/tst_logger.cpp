// SPDX-License-Identifier: MIT
#include "TraceCapture.h"
#include "foundation/DebugLogger.h"

#include <QtTest>

#include <cstdlib>
#include <string>

using wizard::DebugLogger;
using wizard::test::TraceCapture;

namespace {
// 2024-03-07 14:05:09 UTC; the test runs with TZ=UTC.
std::time_t fixedClock()
{
    return 1709820309;
}
QString lastLine()
{
    const QStringList lines = TraceCapture::lines();
    return lines.isEmpty() ? QString() : lines.last();
}
const QString header = QStringLiteral("[TALVOR][WZ] (ID:%1) 2024/03/07 14:05:09 : ");
} // namespace

class TestLogger : public QObject {
    Q_OBJECT
    QString firstLine;
    TraceCapture capture;

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("TZ", "UTC");
        tzset();
        DebugLogger::setClock(&fixedClock);
        // The first logger of the process, before any test function makes its own.
        DebugLogger first;
        first.Enable();
        first.Log(L"");
        firstLine = lastLine();
    }
    void init() { TraceCapture::clear(); }

    void firstLoggerOfTheProcessIsNumberZero() { QCOMPARE(firstLine, header.arg("000") + "\r\n"); }

    void idsCountCreatedLoggers()
    {
        // Loggers made by earlier test functions have taken ids already; each new one takes the next.
        DebugLogger first;
        DebugLogger second;
        QCOMPARE(second.loggerId(), first.loggerId() + 1);
        second.Enable();
        second.Log(L"");
        QCOMPARE(lastLine(), header.arg(second.loggerId(), 3, 16, QChar('0')) + "\r\n");
    }

    void emptyFormatIsHeaderAndLineEnd()
    {
        DebugLogger logger;
        logger.Enable();
        logger.Log(L"");
        QCOMPARE(TraceCapture::lines().size(), 1);
        const QString line = lastLine();
        QVERIFY(line.startsWith("[TALVOR][WZ] (ID:"));
        QVERIFY(line.endsWith(" 2024/03/07 14:05:09 : \r\n"));
        QCOMPARE(line.size(), header.arg("000").size() + 2);
    }

    void wideStringArgumentsInWindowsConvention()
    {
        DebugLogger logger;
        logger.Enable();
        logger.Log(L"[%s] [Page1K] [applyAction] {%s}", L"INFO   ", L"wizard::Page1K::applyAction");
        QVERIFY(lastLine().endsWith(": [INFO   ] [Page1K] [applyAction] {wizard::Page1K::applyAction}\r\n"));
        logger.Log(L"[WIZARD MEM] FREE - \t PTR: %lx %% %5s|%-3s|%c", 0xabcUL, L"ab", L"x", L'z');
        QVERIFY(lastLine().endsWith(": [WIZARD MEM] FREE - \t PTR: abc %    ab|x  |z\r\n"));
    }

    void disabledLoggerEmitsNothing()
    {
        DebugLogger logger;
        logger.Disable();
        logger.Log(L"[%s] never {%s}", L"INFO   ", L"main");
        logger.Log(L"");
        QVERIFY(TraceCapture::lines().isEmpty());
        logger.Activate(0);
        logger.Log(L"");
        QCOMPARE(TraceCapture::lines().size(), 1);
        logger.Disable();
        logger.Log(L"");
        QCOMPARE(TraceCapture::lines().size(), 1);
    }

    void longLinesAreTruncatedKeepingTheLineEnd_data()
    {
        QTest::addColumn<int>("messageLength");
        // Header, message, CR LF and the terminator share the line's 1024 characters.
        const int room = DebugLogger::lineCapacity - 3 - header.arg("000").size();
        QTest::newRow("fits") << 100;
        QTest::newRow("exactly the room left") << room;
        QTest::newRow("one over") << room + 1;
        QTest::newRow("far over the message buffer") << 5000;
    }
    void longLinesAreTruncatedKeepingTheLineEnd()
    {
        QFETCH(int, messageLength);
        DebugLogger logger;
        logger.Enable();
        const std::wstring message(static_cast<size_t>(messageLength), L'x');
        logger.Log(L"%s", message.c_str());
        const QString line = lastLine();
        QVERIFY(line.endsWith("xx\r\n"));
        QVERIFY(!line.chopped(2).contains('\r'));
        QVERIFY(line.size() <= DebugLogger::lineCapacity - 1);
        const int headerLength = header.arg("000").size();
        QCOMPARE(line.size(), qMin(headerLength + messageLength, DebugLogger::lineCapacity - 3) + 2);
    }

    void localTimeFieldsArePaddedAndOneBased()
    {
        DebugLogger::setClock([]() -> std::time_t { return 946684800 - 1; }); // 1999-12-31 23:59:59
        DebugLogger logger;
        logger.Enable();
        logger.Log(L"x");
        QVERIFY(lastLine().contains(" 1999/12/31 23:59:59 : x\r\n"));
        DebugLogger::setClock([]() -> std::time_t { return 978397445; }); // 2001-01-02 01:04:05
        logger.Log(L"y");
        QVERIFY(lastLine().contains(" 2001/01/02 01:04:05 : y\r\n"));
        DebugLogger::setClock(&fixedClock);
    }
};

QTEST_GUILESS_MAIN(TestLogger)
#include "tst_logger.moc"
