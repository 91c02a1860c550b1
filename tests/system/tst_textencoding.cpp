// SPDX-License-Identifier: MIT
// The seam's text toolkit: UTF-8 and UTF-16 both ways, the narrow name rule and the
// printer identifier's block, each checked against Qt's own conversions where Qt
// has one and against hand-written bytes where the wizard decides.
#include "system/SpoolerControl.h"
#include "system/TextEncoding.h"

#include <QTest>

using namespace wizard::sys;

namespace {

QByteArray bytes(const std::string& text)
{
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

class tst_TextEncoding : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void validText_data();
    void validText();
    void illFormedUtf8_data();
    void illFormedUtf8();
    void illFormedWide_data();
    void illFormedWide();
    void narrowName_data();
    void narrowName();
    void printerId_data();
    void printerId();
};

void tst_TextEncoding::validText_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << QString();
    QTest::newRow("ASCII") << QStringLiteral("Talvor C1 (USB)");
    QTest::newRow("two-byte") << QStringLiteral("Imprimante \u00e9\u00e8 \u00fc\u00df");
    QTest::newRow("three-byte") << QStringLiteral("\u20ac \u65e5\u672c \uffef");
    QTest::newRow("four-byte") << QString::fromUcs4(U"card \U0001F5A8 \U0010FFFF end");
    QTest::newRow("embedded NUL") << QString(QStringLiteral("a%1b")).arg(QChar(0));
}

// Every valid text reads and writes as Qt reads and writes it, both ways.
void tst_TextEncoding::validText()
{
    QFETCH(QString, text);
    const std::wstring wide = text.toStdWString();
    QCOMPARE(bytes(toUtf8(wide)), text.toUtf8());
    QCOMPARE(fromUtf8(text.toUtf8().toStdString()), wide);
    QCOMPARE(QString::fromStdU16String(toUtf16(wide)), text);
    QCOMPARE(fromUtf16(text.toStdU16String()), wide);
}

void tst_TextEncoding::illFormedUtf8_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("expected");
    const QString r(QChar(0xFFFD));
    QTest::newRow("stray continuation") << QByteArray("a\x80z") << (u'a' + r + u'z');
    QTest::newRow("lead never used") << QByteArray("\xC0\xAF") << r + r;
    QTest::newRow("overlong three-byte") << QByteArray("\xE0\x80\xAF") << r + r + r;
    QTest::newRow("surrogate") << QByteArray("\xED\xA0\x80") << r + r + r;
    QTest::newRow("past U+10FFFF") << QByteArray("\xF4\x90\x80\x80") << r + r + r + r;
    QTest::newRow("cut three-byte, one mark") << QByteArray("\xE2\x82z") << r + u'z';
    QTest::newRow("cut at the end") << QByteArray("ok\xF0\x9F\x96") << QStringLiteral("ok") + r;
    QTest::newRow("byte FF") << QByteArray("\xFF") << r;
}

void tst_TextEncoding::illFormedUtf8()
{
    QFETCH(QByteArray, input);
    QFETCH(QString, expected);
    QCOMPARE(QString::fromStdWString(fromUtf8(input.toStdString())), expected);
}

void tst_TextEncoding::illFormedWide_data()
{
    QTest::addColumn<uint>("value");
    QTest::addColumn<QByteArray>("utf8");
    QTest::addColumn<QByteArray>("utf8Marked");
    QTest::newRow("lone high surrogate") << 0xD800u << QByteArray("\xEF\xBF\xBD") << QByteArray("?");
    QTest::newRow("lone low surrogate") << 0xDFFFu << QByteArray("\xEF\xBF\xBD") << QByteArray("?");
    QTest::newRow("past U+10FFFF") << 0x110000u << QByteArray("\xEF\xBF\xBD") << QByteArray("?");
}

// wchar_t holds values that are no character; they never reach the system as such.
void tst_TextEncoding::illFormedWide()
{
    QFETCH(uint, value);
    QFETCH(QByteArray, utf8);
    QFETCH(QByteArray, utf8Marked);
    const std::wstring wide { L'x', static_cast<wchar_t>(value), L'y' };
    QCOMPARE(bytes(toUtf8(wide)), 'x' + utf8 + 'y');
    QCOMPARE(bytes(toUtf8(wide, U'?')), 'x' + utf8Marked + 'y');
    if (value > 0x10FFFF)
        QCOMPARE(toUtf16(wide), std::u16string(u"x\uFFFDy"));
    else
        QCOMPARE(toUtf16(wide), (std::u16string { u'x', static_cast<char16_t>(value), u'y' }));
}

void tst_TextEncoding::narrowName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("capacity");
    QTest::addColumn<bool>("fits");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("ASCII") << QStringLiteral("Talvor") << 8 << true << QByteArray("Talvor");
    QTest::newRow("exactly fits with its NUL")
        << QStringLiteral("Talvor") << 7 << true << QByteArray("Talvor");
    QTest::newRow("one byte short") << QStringLiteral("Talvor") << 6 << false << QByteArray();
    QTest::newRow("UTF-8 counts bytes") << QStringLiteral("\u00e9\u00e9\u00e9") << 6 << false << QByteArray();
    QTest::newRow("UTF-8") << QStringLiteral("\u00e9t\u00e9") << 6 << true << QByteArray("\xC3\xA9t\xC3\xA9");
    QTest::newRow("no room at all") << QStringLiteral("a") << 0 << false << QByteArray();
}

void tst_TextEncoding::narrowName()
{
    QFETCH(QString, name);
    QFETCH(int, capacity);
    QFETCH(bool, fits);
    QFETCH(QByteArray, expected);
    const std::wstring wide = name.toStdWString();
    std::string out(static_cast<std::size_t>(capacity) + 4, '\x55');
    QCOMPARE(toSystemNarrow(wide.c_str(), out.data(), static_cast<std::size_t>(capacity)), fits);
    if (fits)
        QCOMPARE(QByteArray(out.c_str()), expected);
    // Never a byte past the capacity.
    for (std::size_t i = static_cast<std::size_t>(capacity); i < out.size(); ++i)
        QCOMPARE(out[i], '\x55');
    QVERIFY(!toSystemNarrow(nullptr, out.data(), 8));
    QVERIFY(!toSystemNarrow(L"a", nullptr, 8));
}

void tst_TextEncoding::printerId_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<bool>("decoded");
    QTest::newRow("40 ASCII") << QStringLiteral("TLV-0123456789-ABCDEFGHIJ-0123456789-XYZ") << true;
    QTest::newRow("40 not ASCII") << QString(40, QChar(0x00E9)) << true;
    QTest::newRow("20 pairs are 40 units")
        << QString::fromUcs4(std::u32string(20, U'\U0001F5A8').c_str(), 20) << true;
    QTest::newRow("39 units") << QString(39, QLatin1Char('A')) << false;
    QTest::newRow("none") << QString() << false;
}

// The block the Linux spooler writes is the block the pipe layer reads back.
void tst_TextEncoding::printerId()
{
    QFETCH(QString, id);
    QFETCH(bool, decoded);
    const std::vector<std::uint8_t> block = encodePrinterId(id.toStdWString());
    QCOMPARE(block.size(), static_cast<std::size_t>(id.size() + 1) * 2);
    for (qsizetype i = 0; i < id.size(); ++i) {
        QCOMPARE(block[2 * i], static_cast<std::uint8_t>(id.at(i).unicode() & 0xFF));
        QCOMPARE(block[2 * i + 1], static_cast<std::uint8_t>(id.at(i).unicode() >> 8));
    }
    QCOMPARE(block[block.size() - 2] | block[block.size() - 1], 0);
    std::uint8_t stored[printerIdSize] = {};
    std::copy_n(block.begin(), std::min(block.size(), sizeof stored), stored);
    QCOMPARE(QString::fromStdWString(decodePrinterId(stored)), decoded ? id : QString());
}

QTEST_GUILESS_MAIN(tst_TextEncoding)
#include "tst_textencoding.moc"
