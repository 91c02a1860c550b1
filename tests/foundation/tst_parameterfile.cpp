// SPDX-License-Identifier: MIT
// The parameter-file reader: the file format, the failure rules, hostile files,
// the table lookup and the reading of numbers.
#include "foundation/ParameterFile.h"

#include <QElapsedTimer>
#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

using wizard::ParameterFileLimits;
using wizard::ParameterMap;

namespace {

QString fixture(const QString& name)
{
    return QFINDTESTDATA("data/parameters/" + name);
}

// A map that already holds an entry, to show that reading adds and never clears.
ParameterMap prefilled()
{
    return ParameterMap { { QStringLiteral("already"), QStringLiteral("there") } };
}

ParameterMap withPrefilled(ParameterMap entries)
{
    entries.insert(prefilled());
    return entries;
}

} // namespace

class TestParameterFile : public QObject {
    Q_OBJECT
    QTemporaryDir scratch;

    QString writeScratch(const QString& name, const QByteArray& content)
    {
        const QString path = scratch.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) != content.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

    // Reads path and checks that it ends with false within a bounded time.
    void expectRefused(const QString& path, qint64 milliseconds = 5000)
    {
        ParameterMap map;
        QElapsedTimer timer;
        timer.start();
        QVERIFY(!wizard::readParameterFile(path, &map));
        QVERIFY2(timer.elapsed() < milliseconds, qPrintable(QString::number(timer.elapsed()) + " ms"));
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(scratch.isValid()); }

    // --- The file format: what a well-formed file gives -------------------------------------

    void format_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<ParameterMap>("expected");

        QTest::newRow("entries under a root, other attributes passed over")
            << "basic.xml"
            << ParameterMap { { "NbDriver", "2" }, { "Driver_Name_1", "Talvor K1 Card Printer" },
                   { "HTMLPath", "Help" }, { "BannerFontColor", "#1a2b3c" } };
        QTest::newRow("backslash-n and the XML references")
            << "escapes.xml"
            << ParameterMap { { "newline", "a\nb" }, { "two", "\n\nx\n" }, { "doubled", "\\\n" },
                   { "other escapes", "\\t \\N \\r" }, { "xml references", "<b> & \"' \u00e9\u010d" },
                   { "cdata", "<b>bold</b> \n" }, { "comment inside", "before after" },
                   { "spaces kept", "  padded  " }, { "empty", "" } };
        QTest::newRow("the last duplicate wins; no name is the empty key")
            << "duplicates.xml"
            << ParameterMap { { "key", "second" }, { "other", "kept" }, { "", "empty name, later" } };
        // A "Data" that is the first child element of another "Data" is taken as that
        // entry's (wrong) first child and so is never read as an entry itself.
        QTest::newRow("Data at any depth")
            << "nesting.xml"
            << ParameterMap { { "root", "the root itself" }, { "depth 2", "two" }, { "depth 6", "six" },
                   { "after value", "outer" }, { "sibling of value", "inner" }, { "second child", "found" } };
        QTest::newRow("entries without Value first, names compared exactly, no namespaces")
            << "skipped.xml" << ParameterMap { { "", "under the empty key" }, { "kept", "yes" } };
        QTest::newRow("declared entities")
            << "entities.xml"
            << ParameterMap { { "product", "Talvor Card Printer" }, { "Talvor", "key from an entity" } };
        QTest::newRow("ISO-8859-1 declared")
            << "latin1.xml" << ParameterMap { { "caf\u00e9", "cr\u00e8me" } };
        QTest::newRow("windows-1252 declared")
            << "windows1252.xml" << ParameterMap { { "euro", "\u20ac 5" } };
        QTest::newRow("UTF-8 with a byte-order mark")
            << "utf8-bom.xml" << ParameterMap { { "bom", "caf\u00e9 \u010d" } };
        QTest::newRow("UTF-8 when nothing is declared")
            << "utf8-undeclared.xml" << ParameterMap { { "undeclared", "caf\u00e9" } };
        // U+010D and U+0D0D hold 0x0D bytes, which a reader that drops carriage returns would eat.
        QTest::newRow("UTF-16 LE, CR LF line ends")
            << "utf16le-crlf.xml" << ParameterMap { { "\u010dty\u0159i", "\u010d\u0d0d line\nnext\nlast" } };
        QTest::newRow("UTF-16 BE") << "utf16be.xml"
                                   << ParameterMap { { "\u010dty\u0159i", "\u010d\u0d0d line\nnext\nlast" } };
        // XML's line-end rule: CR LF and a lone CR become LF; a character reference keeps CR.
        QTest::newRow("line ends") << "line-ends.xml"
                                   << ParameterMap { { "crlf", "a\nb" }, { "lone cr", "a\nb" },
                                          { "reference", "a\rb" } };
    }
    void format()
    {
        QFETCH(QString, file);
        QFETCH(ParameterMap, expected);
        ParameterMap map = prefilled();
        QVERIFY(wizard::readParameterFile(fixture(file), &map));
        QCOMPARE(map, withPrefilled(expected));
    }

    // --- Failures: the result, and what the map holds afterwards ----------------------------

    void failures_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<ParameterMap>("kept");

        QTest::newRow("missing file") << scratch.filePath("no-such-file.xml") << ParameterMap {};
        QTest::newRow("a folder") << scratch.path() << ParameterMap {};
        QTest::newRow("empty file") << fixture("empty.xml") << ParameterMap {};
        QTest::newRow("ends before the document is complete")
            << fixture("truncated.xml") << ParameterMap { { "a", "1" }, { "b", "2" } };
        QTest::newRow("not well-formed")
            << fixture("malformed.xml") << ParameterMap { { "a", "1" }, { "b", "2" } };
        QTest::newRow("an element inside Value")
            << fixture("element-in-value.xml") << ParameterMap { { "a", "1" } };
        QTest::newRow("two root elements") << fixture("two-roots.xml") << ParameterMap { { "a", "1" } };
        QTest::newRow("undeclared entity")
            << fixture("undeclared-entity.xml") << ParameterMap { { "a", "1" } };
        // The reader decodes the whole file before it parses it: a bad byte anywhere keeps nothing.
        QTest::newRow("invalid UTF-8") << fixture("invalid-utf8.xml") << ParameterMap {};
        QTest::newRow("unsupported encoding") << fixture("unsupported-encoding.xml") << ParameterMap {};
    }
    void failures()
    {
        QFETCH(QString, path);
        QFETCH(ParameterMap, kept);
        ParameterMap map = prefilled();
        QVERIFY(!wizard::readParameterFile(path, &map));
        QCOMPARE(map, withPrefilled(kept));
    }

    void unreadableFileFails_data()
    {
        QTest::addColumn<QString>("path");
        // Opens, then fails to read: memory the process has not mapped at offset 0.
        QTest::newRow("read error") << QStringLiteral("/proc/self/mem");
        if (geteuid() != 0) { // root reads every file whatever its permissions
            const QString path
                = writeScratch("unreadable.xml", "<R><Data name='a'><Value>1</Value></Data></R>");
            QVERIFY(QFile::setPermissions(path, QFileDevice::WriteOwner));
            QTest::newRow("no permission") << path;
        }
    }
    void unreadableFileFails()
    {
        QFETCH(QString, path);
        ParameterMap map = prefilled();
        QVERIFY(!wizard::readParameterFile(path, &map));
        QCOMPARE(map, prefilled());
    }

    void noMapFails() { QVERIFY(!wizard::readParameterFile(fixture("basic.xml"), nullptr)); }

    // --- Hostile files: false, in bounded time and memory -----------------------------------

    void hostile_data()
    {
        QTest::addColumn<QByteArray>("content");

        QByteArray laughs = "<?xml version='1.0'?><!DOCTYPE r [<!ENTITY l0 'lol'>";
        for (int i = 1; i < 10; ++i)
            laughs += "<!ENTITY l" + QByteArray::number(i) + " '"
                + ("&l" + QByteArray::number(i - 1) + ";").repeated(10) + "'>";
        QTest::newRow("billion laughs") << laughs + "]><r><Data name='x'><Value>&l9;</Value></Data></r>";

        const QByteArray wide = "<!DOCTYPE r [<!ENTITY a '" + QByteArray(4000, 'x') + "'>]>";
        QTest::newRow("quadratic blow-up in text") << wide + "<r><Data name='x'><Value>"
                + QByteArray("&a;").repeated(100000) + "</Value></Data></r>";
        QTest::newRow("quadratic blow-up in an attribute")
            << wide + "<r><Data name='" + QByteArray("&a;").repeated(100000) + "'><Value/></Data></r>";
        // Where '&' is not the byte 0x26, references are bounded by the file's size instead.
        const QString blowUp = "<!DOCTYPE r [<!ENTITY a '" + QString(4000, 'x')
            + "'>]><r><Data name='x'><Value>" + QString("&a;").repeated(5000) + "</Value></Data></r>";
        for (const char* encoding : { "IBM037", "UTF-7" }) {
            QStringEncoder encoder(encoding);
            QVERIFY(encoder.isValid());
            QTest::addRow("quadratic blow-up in %s", encoding) << "<?xml version='1.0' encoding='"
                    + QByteArray(encoding) + "'?>" + QByteArray(encoder(blowUp));
        }
        QTest::newRow("entity larger than the expansion limit") << "<!DOCTYPE r [<!ENTITY a '"
                + QByteArray(2 * ParameterFileLimits::entityExpansionLimit, 'x')
                + "'>]><r><Data name='x'><Value>&a;</Value></Data></r>";
        QTest::newRow("recursive entity")
            << QByteArray("<!DOCTYPE r [<!ENTITY a '&b;'><!ENTITY b '&a;'>]><r>&a;</r>");
        QTest::newRow("very deep, closed")
            << QByteArray("<a>").repeated(200000) + QByteArray("</a>").repeated(200000);
        QTest::newRow("very deep, never closed") << QByteArray("<a>").repeated(1000000);
        QTest::newRow("one level too deep") << QByteArray("<a>").repeated(ParameterFileLimits::maxDepth)
                + "<Data name='x'><Value>1</Value></Data>"
                + QByteArray("</a>").repeated(ParameterFileLimits::maxDepth);
        QTest::newRow("Value one level too deep")
            << QByteArray("<a>").repeated(ParameterFileLimits::maxDepth - 1)
                + "<Data name='x'><Value>1</Value></Data>"
                + QByteArray("</a>").repeated(ParameterFileLimits::maxDepth - 1);
        QTest::newRow("NUL byte") << QByteArray("<r><Data name='a'><Value>x\0y</Value></Data></r>", 47);
        QTest::newRow("binary noise") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\xff\xfe\xfd", 19);
        QTest::newRow("unpaired surrogate in UTF-16")
            << QByteArray("\xff\xfe<\0r\0>\0\x00\xd8x\0<\0/\0r\0>\0", 20);
        QTest::newRow("UTF-16 cut in a code unit") << QByteArray("\xff\xfe<\0r\0/\0>\0x", 11);
        QTest::newRow("UTF-16 high surrogate at the end") << QByteArray("\xff\xfe<\0r\0/\0>\0\x3d\xd8", 12);
        QTest::newRow("UTF-32 past U+10FFFF")
            << QByteArray("\xff\xfe\0\0<\0\0\0r\0\0\0>\0\0\0\0\0\x11\0<\0\0\0/\0\0\0r\0\0\0>\0\0\0", 36);
        QTest::newRow("UTF-8 surrogate") << QByteArray("<r>\xed\xa0\x80</r>");
        QTest::newRow("UTF-8 overlong") << QByteArray("<r>\xc0\xaf</r>");
        QTest::newRow("Shift_JIS invalid")
            << QByteArray("<?xml version='1.0' encoding='Shift_JIS'?><r>\x82\xa0\x81\xff</r>");
        QTest::newRow("UTF-16 declared, bytes are 8-bit")
            << QByteArray("<?xml version='1.0' encoding='UTF-16'?><r/>");
    }
    void hostile()
    {
        QFETCH(QByteArray, content);
        expectRefused(writeScratch("hostile.xml", content));
    }

    void wideEncodingsWithoutByteOrderMark_data()
    {
        QTest::addColumn<QByteArray>("content");
        const QString text = QStringLiteral("<r><Data name='k'><Value>\U0001F600 \u010d</Value></Data></r>");
        QByteArray le, be, le32;
        for (QChar c : text) {
            le += char(c.unicode() & 0xff);
            le += char(c.unicode() >> 8);
            be += char(c.unicode() >> 8);
            be += char(c.unicode() & 0xff);
        }
        for (char32_t c : text.toUcs4()) {
            for (int shift = 0; shift < 32; shift += 8)
                le32 += char((c >> shift) & 0xff);
        }
        QTest::newRow("UTF-16 LE") << le;
        QTest::newRow("UTF-16 BE") << be;
        QTest::newRow("UTF-32 LE with BOM") << QByteArray("\xff\xfe\0\0", 4) + le32;
    }
    void wideEncodingsWithoutByteOrderMark()
    {
        QFETCH(QByteArray, content);
        ParameterMap map;
        QVERIFY(wizard::readParameterFile(writeScratch("wide.xml", content), &map));
        QCOMPARE(map, (ParameterMap { { "k", QStringLiteral("\U0001F600 \u010d") } }));
    }

    void depthLimitIsInclusive()
    {
        // The deepest "Value" allowed: Data at maxDepth - 1, its Value at maxDepth.
        const int levels = ParameterFileLimits::maxDepth - 2;
        const QString path = writeScratch("deepest.xml",
            QByteArray("<a>").repeated(levels) + "<Data name='x'><Value>1</Value></Data>"
                + QByteArray("</a>").repeated(levels));
        ParameterMap map;
        QVERIFY(wizard::readParameterFile(path, &map));
        QCOMPARE(map, (ParameterMap { { "x", "1" } }));
    }

    void fileSizeLimit_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("at the limit") << ParameterFileLimits::maxFileSize << true;
        QTest::newRow("one byte over") << ParameterFileLimits::maxFileSize + 1 << false;
    }
    void fileSizeLimit()
    {
        QFETCH(qint64, size);
        QFETCH(bool, accepted);
        const QByteArray head = "<r><Data name='x'><Value>1</Value></Data><!--";
        const QByteArray tail = "--></r>";
        const QString path
            = writeScratch("big.xml", head + QByteArray(int(size - head.size() - tail.size()), ' ') + tail);
        QCOMPARE(QFileInfo(path).size(), size);
        ParameterMap map;
        QCOMPARE(wizard::readParameterFile(path, &map), accepted);
        QCOMPARE(map.size(), accepted ? 1 : 0);
    }

    void endlessDeviceIsCut() { expectRefused(QStringLiteral("/dev/zero")); }

    void entitiesWithinTheBoundAreExpanded()
    {
        // As many references as the bound allows to a declared entity of the largest size.
        const qint64 references
            = ParameterFileLimits::maxEntityText / ParameterFileLimits::entityExpansionLimit;
        const QByteArray entity(ParameterFileLimits::entityExpansionLimit, 'x');
        const QString path = writeScratch("entities-at-bound.xml",
            "<!DOCTYPE r [<!ENTITY a '" + entity + "'>]><r><Data name='x'><Value>"
                + QByteArray("&a;").repeated(int(references)) + "</Value></Data></r>");
        ParameterMap map;
        QVERIFY(wizard::readParameterFile(path, &map));
        QCOMPARE(map.value("x").size(), qsizetype(ParameterFileLimits::maxEntityText));
    }

    void entitiesInEbcdicAreExpanded()
    {
        QStringEncoder ebcdic("IBM037");
        QVERIFY(ebcdic.isValid());
        const QString document = "<!DOCTYPE r [<!ENTITY company 'Talvor'>]><r><Data name='&company;'>"
                                 "<Value>&company; &amp; co</Value></Data></r>";
        ParameterMap map;
        QVERIFY(wizard::readParameterFile(
            writeScratch(
                "ebcdic.xml", "<?xml version='1.0' encoding='IBM037'?>" + QByteArray(ebcdic(document))),
            &map));
        QCOMPARE(map, (ParameterMap { { "Talvor", "Talvor & co" } }));
    }

    // --- Lookup by printer family ------------------------------------------------------------

    void lookupByPrinterType_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("printerType");
        QTest::addColumn<QString>("fallbackKey");
        QTest::addColumn<QString>("expected");

        QTest::newRow("entry for the family") << "tables.xml" << 3 << ""
                                              << "k3.png";
        QTest::newRow("negative family") << "tables.xml" << -2 << ""
                                         << "negative.png";
        QTest::newRow("empty entry is found, not the fallback") << "tables.xml" << 4 << ""
                                                                << "";
        QTest::newRow("no entry: the empty-key default") << "tables.xml" << 2 << ""
                                                         << "default.png";
        QTest::newRow("no entry, fallback key absent") << "tables.xml" << 2 << "9"
                                                       << "";
        QTest::newRow("named fallback key") << "table-without-default.xml" << 7 << "fallback"
                                            << "named fallback";
        QTest::newRow("no entry and no default") << "table-without-default.xml" << 7 << ""
                                                 << "";
        QTest::newRow("missing table") << "" << 1 << ""
                                       << "";
        QTest::newRow("entries before a fault still count") << "element-in-value.xml" << 0 << "a"
                                                            << "1";
    }
    void lookupByPrinterType()
    {
        QFETCH(QString, file);
        QFETCH(int, printerType);
        QFETCH(QString, fallbackKey);
        QFETCH(QString, expected);
        const QString path = file.isEmpty() ? scratch.filePath("no-such-table.xml") : fixture(file);
        const QString value = wizard::lookupByPrinterType(printerType, path, fallbackKey);
        QCOMPARE(value, expected);
    }

    // --- Numbers -------------------------------------------------------------------------------

    void parameterNumber_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("expected");
        QTest::newRow("plain") << "12" << 12;
        QTest::newRow("negative") << "-3" << -3;
        QTest::newRow("plus sign") << "+5" << 5;
        QTest::newRow("surrounding spaces") << " 7 " << 7;
        QTest::newRow("leading zero is still decimal") << "010" << 10;
        QTest::newRow("largest") << "2147483647" << 2147483647;
        QTest::newRow("smallest") << "-2147483648" << int(-2147483647 - 1);
        QTest::newRow("word") << "two" << 0;
        QTest::newRow("trailing text") << "12abc" << 0;
        QTest::newRow("hexadecimal") << "0x10" << 0;
        QTest::newRow("fraction") << "1.5" << 0;
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("out of range") << "2147483648" << 0;
    }
    void parameterNumber()
    {
        QFETCH(QString, text);
        QFETCH(int, expected);
        QCOMPARE(wizard::parameterNumber(text), expected);
    }
};

QTEST_GUILESS_MAIN(TestParameterFile)
#include "tst_parameterfile.moc"
