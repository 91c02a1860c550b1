// SPDX-License-Identifier: MIT
#include "comm/PrinterCommands.h"

#include <QtTest>

#include <climits>
#include <cstring>
#include <vector>

using wizard::CommStatus;
using wizard::PrinterCommands;

class TestPrinterCommands : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void firmwareVersionValue_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("capacity");
        QTest::addColumn<int>("value");

        QTest::newRow("printer's own form") << QByteArray("F2200") << 512 << 2200;
        QTest::newRow("letters between digits") << QByteArray("12AB34") << 512 << 1234;
        QTest::newRow("dot ends the number") << QByteArray("1.2") << 512 << 1;
        QTest::newRow("letters only") << QByteArray("FWVER") << 512 << 0;
        QTest::newRow("empty") << QByteArray("") << 512 << 0;
        QTest::newRow("lower and upper case letters") << QByteArray("a1b2C3z") << 512 << 123;
        QTest::newRow("leading white space") << QByteArray(" \t\r\n42") << 512 << 42;
        QTest::newRow("space after a letter") << QByteArray("V 17") << 512 << 17;
        QTest::newRow("inner space ends the number") << QByteArray("1 2") << 512 << 1;
        QTest::newRow("sign") << QByteArray("-12") << 512 << -12;
        QTest::newRow("sign after removed letters") << QByteArray("A-B5") << 512 << -5;
        QTest::newRow("plus sign") << QByteArray("+7x") << 512 << 7;
        QTest::newRow("two signs") << QByteArray("+-7") << 512 << 0;
        QTest::newRow("line end after the digits") << QByteArray("F2210\r\n") << 512 << 2210;
        QTest::newRow("non-ASCII bytes are not letters") << QByteArray("\xC3\xA9"
                                                                       "12")
                                                         << 512 << 0;
        QTest::newRow("too large saturates") << QByteArray("99999999999999999999") << 512 << INT_MAX;
        QTest::newRow("too small saturates") << QByteArray("-99999999999999999999") << 512 << INT_MIN;
        QTest::newRow("largest int") << QByteArray("2147483647") << 512 << INT_MAX;
        QTest::newRow("no NUL within capacity") << QByteArray("123456") << 3 << 123;
    }
    void firmwareVersionValue()
    {
        QFETCH(QByteArray, reply);
        QFETCH(int, capacity);
        QFETCH(int, value);
        // The text sits in a zero-filled reply buffer, as the pages read it;
        // capacity may cut it short of its NUL.
        std::vector<char> buffer(512, '\0');
        std::memcpy(buffer.data(), reply.constData(), static_cast<size_t>(reply.size()));
        QCOMPARE(PrinterCommands::firmwareVersionValue(buffer.data(), static_cast<size_t>(capacity)), value);
    }

    void replyComparisons_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<bool>("ribbon");
        QTest::addColumn<bool>("timeOut");

        QTest::newRow("OK") << QByteArray("OK") << true << false << false;
        QTest::newRow("OK and a space") << QByteArray("OK ") << false << false << false;
        QTest::newRow("OK and CR") << QByteArray("OK\r") << false << false << false;
        QTest::newRow("space and OK") << QByteArray(" OK") << false << false << false;
        QTest::newRow("lower case ok") << QByteArray("ok") << false << false << false;
        QTest::newRow("O only") << QByteArray("O") << false << false << false;
        QTest::newRow("empty") << QByteArray() << false << false << false;
        QTest::newRow("ribbon fault") << QByteArray("ERROR RIBBON") << false << true << false;
        QTest::newRow("ribbon fault and CR") << QByteArray("ERROR RIBBON\r") << false << false << false;
        QTest::newRow("other error") << QByteArray("ERROR") << false << false << false;
        QTest::newRow("time out") << QByteArray("Time out") << false << false << true;
        QTest::newRow("time out, other case") << QByteArray("Time Out") << false << false << false;
        QTest::newRow("time out and more") << QByteArray("Time out.") << false << false << false;
    }
    void replyComparisons()
    {
        QFETCH(QByteArray, reply);
        QFETCH(bool, ok);
        QFETCH(bool, ribbon);
        QFETCH(bool, timeOut);
        std::vector<char> buffer(PrinterCommands::replyCapacity, '\0');
        std::memcpy(buffer.data(), reply.constData(), static_cast<size_t>(reply.size()));
        QCOMPARE(PrinterCommands::isOk(buffer.data(), buffer.size()), ok);
        QCOMPARE(PrinterCommands::isRibbonError(buffer.data(), buffer.size()), ribbon);
        QCOMPARE(PrinterCommands::isTimeOut(buffer.data(), buffer.size()), timeOut);
    }

    void replyWithoutNulMatchesNothing()
    {
        // A reply that fills its buffer has no terminator inside it; reading on
        // would leave the buffer.
        const char full[2] = { 'O', 'K' };
        QVERIFY(!PrinterCommands::isOk(full, sizeof full));
        const char fits[3] = { 'O', 'K', '\0' };
        QVERIFY(PrinterCommands::isOk(fits, sizeof fits));
    }

    void extendedStatusDecoding_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QByteArray>("expected"); // the first bytes; the rest must be 0

        QTest::newRow("pairs") << QByteArray("0A1B2C") << QByteArray::fromHex("0a1b2c");
        QTest::newRow("all digits") << QByteArray("0123456789ABCDEF")
                                    << QByteArray::fromHex("0123456789abcdef");
        QTest::newRow("mixed pairs") << QByteArray("A09BF0") << QByteArray::fromHex("a09bf0");
        QTest::newRow("lower case counts as 0") << QByteArray("ff0A") << QByteArray::fromHex("000a");
        QTest::newRow("non-hex half is 0") << QByteArray("G1Z9 F") << QByteArray::fromHex("01090f");
        QTest::newRow("odd length: low half of the last pair is 0")
            << QByteArray("ABC") << QByteArray::fromHex("abc0");
        QTest::newRow("empty") << QByteArray() << QByteArray();
        QTest::newRow("status block of 34 characters")
            << QByteArray("000102030405060708090A0B0C0D0E0F10")
            << QByteArray::fromHex("000102030405060708090a0b0c0d0e0f10");
    }
    void extendedStatusDecoding()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QByteArray, expected);
        std::vector<std::uint8_t> out(256, 0xEE);
        PrinterCommands::decodeExtendedStatus(
            reply.constData(), static_cast<size_t>(reply.size()), out.data(), out.size());
        for (size_t k = 0; k < out.size(); ++k) {
            const auto want
                = k < static_cast<size_t>(expected.size()) ? static_cast<std::uint8_t>(expected[int(k)]) : 0;
            QCOMPARE(out[k], want);
        }
    }

    void extendedStatusStopsAtItsBounds()
    {
        // A reply longer than the output only fills the output, and bytes past
        // the given length are never read, whatever they hold.
        QByteArray reply(600, 'F');
        std::vector<std::uint8_t> out(4 + 1, 0xEE);
        PrinterCommands::decodeExtendedStatus(reply.constData(), size_t(reply.size()), out.data(), 4);
        QCOMPARE(out, (std::vector<std::uint8_t> { 0xFF, 0xFF, 0xFF, 0xFF, 0xEE }));
        PrinterCommands::decodeExtendedStatus(reply.constData(), 3, out.data(), 4);
        QCOMPARE(out, (std::vector<std::uint8_t> { 0xFF, 0xF0, 0, 0, 0xEE }));
    }

    void recordDropsRawByteTen()
    {
        std::uint8_t raw[PrinterCommands::rawStatusBytes];
        for (std::uint8_t i = 0; i < sizeof raw; ++i)
            raw[i] = static_cast<std::uint8_t>(0xA0 + i);
        const CommStatus record = PrinterCommands::recordFromRawStatus(raw);
        const std::uint8_t expected[16] = { 0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9, //
            0xAB, 0xAC, 0xAD, 0xAE, 0xAF, 0xB0 };
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(record.bytes), 16),
            QByteArray(reinterpret_cast<const char*>(expected), 16));
        QVERIFY(!PrinterCommands::coverOpen(record)); // 0xA9 lacks bit 0x02
        raw[9] = 0x02;
        QVERIFY(PrinterCommands::coverOpen(PrinterCommands::recordFromRawStatus(raw)));
        raw[9] = 0xFD;
        raw[10] = 0xFF; // the dropped byte never counts as the cover
        QVERIFY(!PrinterCommands::coverOpen(PrinterCommands::recordFromRawStatus(raw)));
    }

    void downloadFrame_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("frame");

        QTest::newRow("three bytes") << QByteArray::fromHex("010204")
                                     << QByteArray("\x1b"
                                                   "Df;3;\x01\x02\x04;\x07\r.",
                                            13);
        QTest::newRow("one byte") << QByteArray("\xff", 1)
                                  << QByteArray("\x1b"
                                                "Df;1;\xff;\xff\r.",
                                         11);
        QTest::newRow("checksum cancels out") << QByteArray("ABAB")
                                              << QByteArray("\x1b"
                                                            "Df;4;ABAB;\0\r.",
                                                     14);
        // 1000 equal bytes cancel out; the last one is the checksum.
        QByteArray big(1001, '\x5a');
        big[1000] = '\x01';
        QTest::newRow("four-digit size") << big
                                         << (QByteArray("\x1b"
                                                        "Df;1001;")
                                                + big + QByteArray(";\x01\r.", 4));
    }
    void downloadFrame()
    {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, frame);
        const size_t size = size_t(file.size());
        const size_t capacity = PrinterCommands::downloadFrameCapacity(size);
        QCOMPARE(capacity, size + 126);

        std::vector<char> buffer(capacity, '\0');
        const size_t length
            = PrinterCommands::buildDownloadFrame(file.constData(), size, buffer.data(), capacity);
        QCOMPARE(QByteArray(buffer.data(), int(length)), frame);
        // Nothing is written past the frame: the rest stays zero.
        QVERIFY(std::all_of(buffer.begin() + int(length), buffer.end(), [](char c) { return c == 0; }));

        // The page's way: header first, the file read straight into place, then the trailer.
        std::vector<char> inPlace(capacity, '\0');
        const size_t header = PrinterCommands::writeDownloadHeader(inPlace.data(), capacity, size);
        QVERIFY(header > 0);
        std::memcpy(inPlace.data() + header, file.constData(), size);
        QCOMPARE(PrinterCommands::finishDownloadFrame(inPlace.data(), capacity, header, size), length);
        QCOMPARE(inPlace, buffer);
    }

    void downloadFrameRefusesTooSmallBuffers()
    {
        const char file[3] = { 1, 2, 4 };
        std::vector<char> buffer(13, '\0');
        QCOMPARE(PrinterCommands::buildDownloadFrame(file, 3, buffer.data(), 13), size_t(13));
        QCOMPARE(PrinterCommands::buildDownloadFrame(file, 3, buffer.data(), 12), size_t(0));
        QCOMPARE(PrinterCommands::writeDownloadHeader(buffer.data(), 12, 3), size_t(0));
        QCOMPARE(PrinterCommands::finishDownloadFrame(buffer.data(), 12, 6, 3), size_t(0));
        QCOMPARE(PrinterCommands::finishDownloadFrame(buffer.data(), 13, 14, 0), size_t(0));
        QCOMPARE(PrinterCommands::buildDownloadFrame(nullptr, 3, buffer.data(), 13), size_t(0));
    }

    void largestHeaderFitsTheSpareBytes()
    {
        // The 126 spare bytes carry header and trailer for the largest size a
        // 32-bit "%lu" can name.
        const size_t size = 4294967295u;
        char scratch[PrinterCommands::downloadFrameSpare] = {};
        // Only the header is written; the capacity stands for the (absent) file.
        const size_t header = PrinterCommands::writeDownloadHeader(
            scratch, PrinterCommands::downloadFrameCapacity(size), size);
        QCOMPARE(QByteArray(scratch, int(header)),
            QByteArray("\x1b"
                       "Df;4294967295;"));
        QVERIFY(header + 4 <= PrinterCommands::downloadFrameSpare);
    }
};

QTEST_GUILESS_MAIN(TestPrinterCommands)
#include "tst_printercommands.moc"
