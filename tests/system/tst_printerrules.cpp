// SPDX-License-Identifier: MIT
// The rules that pick the wizard's printers from the spooler's records, checked on
// hand-made records (no spooler needed), and the text and folder helpers of the hand-back.
#include "system/PrinterEnumeration.h"
#include "system/ProcessControl.h"
#include "system/Spooler.h"
#include "system/SpoolerControl.h"
#include "system/SystemQt.h"

#include <QTest>

using namespace wizard::sys;

Q_DECLARE_METATYPE(std::vector<PrinterInfo2>)
Q_DECLARE_METATYPE(PrinterInfo2)

namespace {

PortInfo2 port(const wchar_t* name, const wchar_t* monitor)
{
    PortInfo2 record;
    record.portName = name;
    if (monitor)
        record.monitorName = monitor;
    return record;
}

PrinterInfo2 printer(const wchar_t* name, const wchar_t* portName, const wchar_t* driver)
{
    PrinterInfo2 record;
    record.printerName = name;
    if (portName)
        record.portName = portName;
    if (driver)
        record.driverName = driver;
    return record;
}

const DriverTable table { { L"Talvor C1", 1 }, { L"Talvor C1 Plus", 1 }, { L"Talvor D2", 2 } };

// The ports a spooler might list: two standard TCP/IP ports, a look-alike monitor, USB.
const std::vector<PortInfo2> ports {
    port(L"IP_10.0.0.5", L"TCPMON.DLL"),
    port(L"USB001", L"USB Monitor"),
    port(L"IP_10.0.0.6", L"tcpmon.dll"),
    port(L"SOCKET://127.0.0.1:9100", L"TCPMON.DLL"),
    port(L"NUL", nullptr),
};

QString names(const PrinterList& list)
{
    QStringList out;
    for (const auto& [name, type] : list)
        out << QString::fromStdWString(name) + QLatin1Char('=') + QString::number(type);
    return out.join(QLatin1Char(' '));
}

} // namespace

class tst_PrinterRules : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void tcpPortsAreThoseOfTheStandardMonitor();
    void selection_data();
    void selection();
    void laterRecordOfOneNameWins();
    void listIsAddedToNotCleared();
    void driverType_data();
    void driverType();
    void namesOrderAsUtf16();
    void replaceDrvType_data();
    void replaceDrvType();
    void toolStartsFromX64OnThisSystem();
};

void tst_PrinterRules::tcpPortsAreThoseOfTheStandardMonitor()
{
    std::vector<std::wstring> tcp { L"already there" };
    selectTcpPorts(ports, tcp);
    // Appended in the spooler's order; a monitor differing in case only is not TCP/IP.
    const std::vector<std::wstring> expected { L"already there", L"IP_10.0.0.5", L"SOCKET://127.0.0.1:9100" };
    QVERIFY(tcp == expected);
}

void tst_PrinterRules::selection_data()
{
    QTest::addColumn<std::vector<PrinterInfo2>>("printers");
    QTest::addColumn<bool>("usb");
    QTest::addColumn<bool>("tcp");
    QTest::addColumn<QString>("expected");

    const std::vector<PrinterInfo2> usbCase { printer(L"Upper", L"USB001", L"Talvor C1"),
        printer(L"Lower", L"usb001", L"Talvor C1") };
    QTest::newRow("USB prefix is case-sensitive") << usbCase << true << true << "Upper=1";
    QTest::newRow("USB not allowed") << usbCase << false << true << "";

    const std::vector<PrinterInfo2> talusb { printer(L"Tal", L"TALUSB\\VID_1234&PID_0001\\7", L"Talvor D2"),
        printer(L"Tal bare", L"TALUSB", L"Talvor D2"), printer(L"Tal lower", L"talusb1", L"Talvor D2"),
        printer(L"Short", L"TALUS", L"Talvor D2") };
    QTest::newRow("TALUSB prefix, whatever follows") << talusb << true << false << "Tal=2 Tal bare=2";

    const std::vector<PrinterInfo2> tcp { printer(L"Net", L"IP_10.0.0.5", L"Talvor C1"),
        printer(L"Look-alike", L"IP_10.0.0.6", L"Talvor C1"),
        printer(L"Cups net", L"SOCKET://127.0.0.1:9100", L"Talvor D2") };
    QTest::newRow("TCP/IP allowed") << tcp << false << true << "Cups net=2 Net=1";
    QTest::newRow("TCP/IP not allowed") << tcp << true << false << "";

    const std::vector<PrinterInfo2> unknown { printer(L"Other", L"USB001", L"Talvor C9"),
        printer(L"Other net", L"IP_10.0.0.5", L"talvor c1"), printer(L"No driver", L"USB001", nullptr),
        printer(L"No port", nullptr, L"Talvor C1") };
    QTest::newRow("unknown, missing driver or port never listed") << unknown << true << true << "";

    // Enumeration order is not list order.
    const std::vector<PrinterInfo2> sameType { printer(L"b card", L"USB002", L"Talvor C1 Plus"),
        printer(L"A card", L"USB001", L"Talvor C1"), printer(L"a card", L"USB003", L"Talvor C1") };
    QTest::newRow("two drivers of one type, ordered by name")
        << sameType << true << true << "A card=1 a card=1 b card=1";

    const std::vector<PrinterInfo2> multiPort { printer(L"Pooled", L"IP_10.0.0.5,USB001", L"Talvor C1"),
        printer(L"Pooled usb", L"USB001,IP_10.0.0.5", L"Talvor C1") };
    QTest::newRow("several ports in one string, TCP/IP only") << multiPort << false << true << "";
    QTest::newRow("several ports in one string, USB first") << multiPort << true << false << "Pooled usb=1";
}

void tst_PrinterRules::selection()
{
    QFETCH(std::vector<PrinterInfo2>, printers);
    QFETCH(bool, usb);
    QFETCH(bool, tcp);
    QFETCH(QString, expected);
    std::vector<std::wstring> tcpPorts;
    selectTcpPorts(ports, tcpPorts);
    PrinterList list;
    selectWizardPrinters(printers, tcpPorts, usb, tcp, table, list);
    QCOMPARE(names(list), expected);

    PrinterList none;
    selectWizardPrinters(printers, tcpPorts, usb, tcp, DriverTable(), none);
    QVERIFY(none.empty());
}

void tst_PrinterRules::laterRecordOfOneNameWins()
{
    std::vector<std::wstring> tcpPorts;
    selectTcpPorts(ports, tcpPorts);
    PrinterList list;
    selectWizardPrinters(
        { printer(L"Card", L"USB001", L"Talvor C1"), printer(L"Card", L"USB001", L"Talvor D2") }, tcpPorts,
        true, true, table, list);
    QCOMPARE(names(list), QStringLiteral("Card=2"));
}

void tst_PrinterRules::listIsAddedToNotCleared()
{
    PrinterList list { { L"Kept", 7 } };
    selectWizardPrinters({ printer(L"New", L"USB001", L"Talvor D2") }, {}, true, true, table, list);
    QCOMPARE(names(list), QStringLiteral("Kept=7 New=2"));
}

void tst_PrinterRules::driverType_data()
{
    QTest::addColumn<PrinterInfo2>("record");
    QTest::addColumn<int>("type");
    QTest::newRow("known") << printer(L"P", L"USB001", L"Talvor D2") << 2;
    QTest::newRow("case differs") << printer(L"P", L"USB001", L"TALVOR D2") << 0;
    QTest::newRow("unknown") << printer(L"P", L"USB001", L"Other") << 0;
    QTest::newRow("no driver") << printer(L"P", L"USB001", nullptr) << 0;
    QTest::newRow("port does not matter") << printer(L"P", L"LPT1:", L"Talvor C1") << 1;
}

void tst_PrinterRules::driverType()
{
    QFETCH(PrinterInfo2, record);
    QFETCH(int, type);
    QCOMPARE(driverTypeOf(record, table), type);
}

void tst_PrinterRules::namesOrderAsUtf16()
{
    // U+FF21 (one UTF-16 unit, 0xFF21) sorts after U+1F5A8 (surrogates 0xD83D 0xDDA8)
    // in UTF-16, before it by code point; the toolkit's maps use UTF-16.
    const std::wstring fullwidth = L"P\xFF21";
    const std::wstring printerEmoji = L"P" + std::wstring(1, static_cast<wchar_t>(0x1F5A8));
    Utf16Less less;
    if constexpr (sizeof(wchar_t) == 4) {
        QVERIFY(less(printerEmoji, fullwidth));
        QVERIFY(!less(fullwidth, printerEmoji));
    }
    QVERIFY(less(L"P", L"PA"));
    QVERIFY(!less(L"PA", L"P"));
    QVERIFY(!less(L"P", L"P"));
    QVERIFY(less(L"Card A", L"Card a"));

    QMap<QString, int> qtOrder;
    qtOrder.insert(QString::fromStdWString(fullwidth), 1);
    qtOrder.insert(QString::fromStdWString(printerEmoji), 2);
    PrinterList ours { { fullwidth, 1 }, { printerEmoji, 2 } };
    QCOMPARE(QString::fromStdWString(ours.begin()->first), qtOrder.firstKey());
}

void tst_PrinterRules::replaceDrvType_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("expected");
    QTest::newRow("every occurrence") << "help/%ID_DRVTYPE%/a%ID_DRVTYPE%.html"
                                      << "C1"
                                      << "help/C1/aC1.html";
    QTest::newRow("none") << "help/index.html"
                          << "C1"
                          << "help/index.html";
    QTest::newRow("case-sensitive") << "%id_drvtype% %ID_DRVTYPE%"
                                    << "7"
                                    << "%id_drvtype% 7";
    QTest::newRow("type holding the placeholder") << "%ID_DRVTYPE%%ID_DRVTYPE%"
                                                  << "<%ID_DRVTYPE%>"
                                                  << "<%ID_DRVTYPE%><%ID_DRVTYPE%>";
    QTest::newRow("empty type") << "a%ID_DRVTYPE%b"
                                << ""
                                << "ab";
    QTest::newRow("adjacent halves") << "%ID_DRV%ID_DRVTYPE%TYPE%"
                                     << "x"
                                     << "%ID_DRVxTYPE%";
}

void tst_PrinterRules::replaceDrvType()
{
    QFETCH(QString, text);
    QFETCH(QString, type);
    QFETCH(QString, expected);
    QCOMPARE(wizard::sys::replaceDrvType(text, type), expected);
}

void tst_PrinterRules::toolStartsFromX64OnThisSystem()
{
    // This machine and build are 64-bit: the tool comes from x64, never x32.
    QVERIFY(!isNotWow64Process());
    const QString folder = QString::fromStdWString(ruvelkFolder());
    QVERIFY2(folder.endsWith(QLatin1String("/x64")), qPrintable(folder));
    QCOMPARE(folder, QCoreApplication::applicationDirPath() + QLatin1String("/x64"));
}

QTEST_GUILESS_MAIN(tst_PrinterRules)
#include "tst_printerrules.moc"
