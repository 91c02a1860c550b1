// SPDX-License-Identifier: MIT
// Start-up: the command line and the data file turned into the settings, and
// the real executable started as a process (its data file beside it, its exit
// code, its trace read through KAVNI_TRACE_FILE).
#include "WizardFixture.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>

using namespace wizard;
using namespace wizard::test;

class tst_Startup : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();

    void commandLine_data();
    void commandLine();
    void presetWithoutNameRefuses_data();
    void presetWithoutNameRefuses();
    void driverTable();
    void firmwareSettings();

    void process_data();
    void process();
    void processFindsItsDataFromAnotherFolder();
    void processShowsTheWindow();

private:
    struct Run {
        int exitCode = -1;
        bool crashed = false;
        QStringList trace; // messages, each without its header
        QStringList lines; // the lines as written
    };
    // Starts the executable installed in data's folder with arguments, the trace switch
    // as given, from workingFolder; waits for it to end.
    Run start(
        WizardDataSet& data, const QStringList& arguments, bool traceOn, const QString& workingFolder = {});

    WizardFixture fixture;
};

void tst_Startup::initTestCase()
{
    QApplication::setQuitOnLastWindowClosed(false);
}

void tst_Startup::cleanup()
{
    fixture.close();
    fixture.data = WizardDataSet();
    QVERIFY(QThreadPool::globalInstance()->waitForDone(10000));
}

void tst_Startup::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("selectPrinter");
    QTest::addColumn<QString>("printerName");
    const QString a120(120, QLatin1Char('a'));
    const QString p = QStringLiteral("kavni-wizard");
    QTest::newRow("none") << QStringList { p } << true << "";
    QTest::newRow("preset") << QStringList { p, "prnname=Card1" } << false << "Card1";
    QTest::newRow("empty name") << QStringList { p, "prnname=" } << true << "";
    QTest::newRow("capitals") << QStringList { p, "PRNNAME=Card1" } << true << "";
    QTest::newRow("mixed case") << QStringList { p, "prnName=Card1" } << true << "";
    QTest::newRow("120 characters") << QStringList { p, "prnname=" + a120 } << false << a120;
    QTest::newRow("121 characters") << QStringList { p, "prnname=" + a120 + "b" } << true << "";
    QTest::newRow("120 and a closing quote")
        << QStringList { p, "prnname=" + a120 + "\"" } << false << a120 + "\"";
    QTest::newRow("quotes kept") << QStringList { p, "prnname=\"Card 1\"" } << false << "\"Card 1\"";
    QTest::newRow("two quotes only") << QStringList { p, "prnname=\"\"" } << false << "\"\"";
    QTest::newRow("not ASCII") << QStringList { p, QString::fromUtf8("prnname=Kärtchen Ž") } << false
                               << QString::fromUtf8("Kärtchen Ž");
    QTest::newRow("shell characters stay text")
        << QStringList { p, "prnname=a;b $(rm x) `y` & z" } << false << "a;b $(rm x) `y` & z";
    QTest::newRow("whole argument only") << QStringList { p, " prnname=Card1" } << true << "";
    QTest::newRow("prefix inside") << QStringList { p, "xprnname=Card1" } << true << "";
    QTest::newRow("other word") << QStringList { p, "setup" } << true << "";
}

void tst_Startup::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, selectPrinter);
    QFETCH(QString, printerName);
    QVERIFY(fixture.open(arguments));
    QCOMPARE(fixture.window->settings()->selectPrinter, selectPrinter);
    QCOMPARE(fixture.window->settings()->printerName, printerName);
    QCOMPARE(fixture.window->pageCount(), selectPrinter ? 5 : 4);
    // The preset name replaces the data file's "PrnName".
    if (!selectPrinter)
        QCOMPARE(fixture.parameters.value(QStringLiteral("PrnName")), printerName);
}

void tst_Startup::presetWithoutNameRefuses_data()
{
    QTest::addColumn<QString>("noSelectPrn");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("starts");
    const QString p = QStringLiteral("kavni-wizard");
    QTest::newRow("NoSelectPrn 1") << "1" << QStringList { p } << false;
    QTest::newRow("NoSelectPrn 1 with a preset printer")
        << "1" << QStringList { p, "prnname=Card1" } << false;
    QTest::newRow("NoSelectPrn -3") << "-3" << QStringList { p } << false;
    QTest::newRow("NoSelectPrn 0") << "0" << QStringList { p } << true;
    QTest::newRow("NoSelectPrn text") << "yes" << QStringList { p } << true;
}

void tst_Startup::presetWithoutNameRefuses()
{
    QFETCH(QString, noSelectPrn);
    QFETCH(QStringList, arguments);
    QFETCH(bool, starts);
    fixture.data.setParameter(QStringLiteral("NoSelectPrn"), noSelectPrn);
    QCOMPARE(fixture.open(arguments), starts);
    // A refused start built nothing.
    if (!starts)
        QCOMPARE(fixture.window->pageCount(), 0);
}

void tst_Startup::driverTable()
{
    fixture.data.setParameter(QStringLiteral("NbDriver"), QStringLiteral("3"));
    fixture.data.setParameter(QStringLiteral("Driver_Name_1"), QStringLiteral("Talvor K1"));
    fixture.data.setParameter(QStringLiteral("Driver_Type_1"), QStringLiteral("1"));
    fixture.data.setParameter(QStringLiteral("Driver_Name_2"), QStringLiteral("Talvor K1"));
    fixture.data.setParameter(QStringLiteral("Driver_Type_2"), QStringLiteral("7"));
    fixture.data.removeParameter(QStringLiteral("Driver_Name_3"));
    fixture.data.setParameter(QStringLiteral("Driver_Type_3"), QStringLiteral("x"));
    QVERIFY(fixture.open());
    // A name given twice keeps the later type; a missing name is the empty one.
    const QMap<QString, qint32> expected { { QString(), 0 }, { QStringLiteral("Talvor K1"), 7 } };
    QCOMPARE(fixture.window->copyDriverTable(), expected);
}

void tst_Startup::firmwareSettings()
{
    fixture.data.setParameter(QStringLiteral("Firmware_Name"), QStringLiteral("../F2300.tfw"));
    fixture.data.setParameter(QStringLiteral("Firmware_Value"), QStringLiteral("2300abc"));
    QVERIFY(fixture.open());
    QCOMPARE(fixture.window->settings()->firmwareName, QStringLiteral("../F2300.tfw"));
    QCOMPARE(fixture.window->settings()->firmwareValue, 0); // not a number
    QVERIFY(QStringList({ "en", "fr", "es" }).contains(fixture.window->settings()->language));
}

tst_Startup::Run tst_Startup::start(
    WizardDataSet& data, const QStringList& arguments, bool traceOn, const QString& workingFolder)
{
    Run run;
    const QString executable = data.installExecutable(QStringLiteral(KAVNI_BIN_DIR "/kavni-wizard"));
    if (executable.isEmpty())
        return run;
    QTemporaryDir config;
    QFile switchFile(config.filePath(QStringLiteral("Talvor Card Printer.ini")));
    if (!switchFile.open(QIODevice::WriteOnly))
        return run;
    switchFile.write(traceOn ? "[General]\nDRNWZKAVNI=1\n" : "[General]\nDRNWZKAVNI=0\n");
    switchFile.close();
    const QString traceFile = config.filePath(QStringLiteral("trace.log"));

    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_DIRS"), config.path());
    environment.insert(QStringLiteral("KAVNI_TRACE_FILE"), traceFile);
    environment.insert(QStringLiteral("CUPS_SERVER"), config.filePath(QStringLiteral("no-cups.sock")));
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(workingFolder.isEmpty() ? QDir::tempPath() : workingFolder);
    process.start(executable, arguments);
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
    }
    run.crashed = process.exitStatus() == QProcess::CrashExit;
    run.exitCode = process.exitCode();

    QFile trace(traceFile);
    if (trace.open(QIODevice::ReadOnly)) {
        static const QRegularExpression header(QStringLiteral(
            "^\\[TALVOR\\]\\[WZ\\] \\(ID:[0-9a-f]{3}\\) \\d{4}/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d : (.*)$"));
        for (const QByteArray& line : trace.readAll().split('\n')) {
            if (line.isEmpty())
                continue;
            const QString text = QString::fromUtf8(line).chopped(line.endsWith('\r') ? 1 : 0);
            run.lines << text;
            const QRegularExpressionMatch match = header.match(text);
            run.trace << (match.hasMatch() ? match.captured(1) : text);
        }
    }
    return run;
}

void tst_Startup::process_data()
{
    QTest::addColumn<QString>("dataFile"); // "ok", "missing", "malformed"
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("noSelectPrn");
    QTest::addColumn<bool>("traceOn");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<bool>("traced");
    QTest::newRow("no data file") << "missing" << QStringList {} << "1" << true << 0 << false;
    QTest::newRow("malformed data file") << "malformed" << QStringList {} << "1" << true << 0 << false;
    QTest::newRow("two arguments") << "ok" << QStringList { "prnname=Card1", "more" } << "0" << true << 0
                                   << false;
    QTest::newRow("preset printer without a name, traced")
        << "ok" << QStringList { "prnname=Card1" } << "1" << true << 1 << true;
    QTest::newRow("preset printer without a name, trace off")
        << "ok" << QStringList { "prnname=Card1" } << "1" << false << 1 << false;
}

void tst_Startup::process()
{
    QFETCH(QString, dataFile);
    QFETCH(QStringList, arguments);
    QFETCH(QString, noSelectPrn);
    QFETCH(bool, traceOn);
    QFETCH(int, exitCode);
    QFETCH(bool, traced);
    WizardDataSet data;
    data.setParameter(QStringLiteral("NoSelectPrn"), noSelectPrn);
    QVERIFY(data.write());
    if (dataFile == QLatin1String("missing"))
        QVERIFY(QFile::remove(data.path(QStringLiteral("wzkavni.dat"))));
    if (dataFile == QLatin1String("malformed")) {
        QFile file(data.path(QStringLiteral("wzkavni.dat")));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("<Parameters><Data name=\"NoSelectPrn\"><Value>1</Value></Data>");
    }
    const Run run = start(data, arguments, traceOn);
    QVERIFY(!run.crashed);
    QCOMPARE(run.exitCode, exitCode);
    if (!traced) {
        QCOMPARE(run.lines, QStringList());
        return;
    }
    // A bare header first, the entry line next, the exit line last.
    QVERIFY(run.lines.size() >= 3);
    QVERIFY2(run.lines.first().endsWith(QLatin1String(" : ")), qPrintable(run.lines.first()));
    QCOMPARE(run.trace.at(1), QStringLiteral("[INFO   ] Enter entry point of the Kavni Wizard {main}"));
    QCOMPARE(run.trace.last(), QStringLiteral("[INFO   ] Exit entry point of the Kavni Wizard {main}"));
}

void tst_Startup::processFindsItsDataFromAnotherFolder()
{
    WizardDataSet data;
    data.setParameter(QStringLiteral("NoSelectPrn"), QStringLiteral("1"));
    QVERIFY(data.write());
    QTemporaryDir elsewhere;
    // Exit code 1 can only come from the data file beside the executable.
    const Run run = start(data, {}, false, elsewhere.path());
    QCOMPARE(run.exitCode, 1);
}

void tst_Startup::processShowsTheWindow()
{
    WizardDataSet data;
    QVERIFY(data.write());
    const QString executable = data.installExecutable(QStringLiteral(KAVNI_BIN_DIR "/kavni-wizard"));
    QTemporaryDir config;
    QFile switchFile(config.filePath(QStringLiteral("Talvor Card Printer.ini")));
    QVERIFY(switchFile.open(QIODevice::WriteOnly));
    switchFile.write("[General]\nDRNWZKAVNI=1\n");
    switchFile.close();
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_DIRS"), config.path());
    environment.insert(QStringLiteral("KAVNI_TRACE_FILE"), config.filePath(QStringLiteral("trace.log")));
    environment.insert(QStringLiteral("CUPS_SERVER"), config.filePath(QStringLiteral("no-cups.sock")));
    process.setProcessEnvironment(environment);
    process.start(executable, { QStringLiteral("prnname=Card1") });
    QVERIFY(process.waitForStarted());
    // The window is built (the pages are created, their memory lines written) and stays up.
    const QString tracePath = config.filePath(QStringLiteral("trace.log"));
    auto traced = [&tracePath] {
        QFile trace(tracePath);
        return trace.open(QIODevice::ReadOnly) && trace.readAll().contains("NEW Page4");
    };
    QTRY_VERIFY_WITH_TIMEOUT(traced(), 20000);
    QVERIFY(!process.waitForFinished(500));
    process.kill();
    process.waitForFinished();
}

QTEST_MAIN(tst_Startup)
#include "tst_startup.moc"
