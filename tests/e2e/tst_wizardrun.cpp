// SPDX-License-Identifier: MIT
// Whole runs of the wizard through its real window: the user picks a virtual
// printer, the firmware is brought to the target, the adjustment runs, and the
// printer is handed back.
#include "WizardRun.h"

#include "TraceCapture.h"

#include "comm/PrinterCommands.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QThreadPool>

using namespace wizard;
using namespace wizard::test;

class tst_WizardRun : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();

    void printerBelowTheTarget();
    void currentPrinterSkipsTheUpdate();
    void presetPrinterInFourPages();
    void pageTraceOfAWholeRun();

private:
    std::unique_ptr<PrivateCups> cups;
    std::unique_ptr<SleepRecorder> sleeps;
};

void tst_WizardRun::initTestCase()
{
    QApplication::setQuitOnLastWindowClosed(false);
    probe::setMarker();
    cups = std::make_unique<PrivateCups>(PrivateCups::Mode::Own);
    QVERIFY2(cups->isRunning(), qPrintable(cups->lastError()));
    cups->useForThisProcess();
    sleeps = std::make_unique<SleepRecorder>();
}

void tst_WizardRun::cleanup()
{
    QVERIFY(QThreadPool::globalInstance()->waitForDone(30000));
    QTRY_VERIFY_WITH_TIMEOUT(leftoverTopLevels().isEmpty(), 5000);
    probe::killAll(QStringLiteral("Ruvelk.exe"));
    SleepRecorder::clear();
}

void tst_WizardRun::printerBelowTheTarget()
{
    WizardRun run(*cups, { "F2200", 200, 0, {} });
    QVERIFY2(run.isValid(), qPrintable(run.error()));
    QVERIFY(WizardRun::startTool());
    QVERIFY(run.open());
    QVERIFY(run.choosePrinter());

    // Selection: the version read, the printer taken over.
    QVERIFY(run.click("nextButton"));
    QTRY_COMPARE_WITH_TIMEOUT(run.currentIndex(), 1, 15000);
    QCOMPARE(run.events.shown(), QStringList());
    QVERIFY(run.queueHeld());
    QVERIFY2(!WizardRun::toolRunning(),
        qPrintable(QString::number(probe::ownProcesses(QStringLiteral("Ruvelk.exe")).size())));
    QCOMPARE(SleepRecorder::asked(), QList<int> { 3000 });

    // Firmware: one frame, the restart, the version read back.
    QVERIFY(run.printer.waitUntilIdle());
    QVERIFY(run.printer.clearLog());
    QVERIFY(run.click("nextButton"));
    QTRY_COMPARE_WITH_TIMEOUT(run.currentIndex(), 2, 30000);
    QCOMPARE(SleepRecorder::asked(), (QList<int> { 3000, 30000 }));
    QVERIFY(run.queueHeld());
    QCOMPARE(run.printer.get(QStringLiteral("version")), QStringLiteral("F2300"));
    QByteArrayList commands;
    for (const QByteArray& command : run.printer.commands())
        if (!command.startsWith("\x1bPem"))
            commands << command.left(4);
    QCOMPARE(commands,
        (QByteArrayList { "\x1b"
                          "Df;",
            "\x1bRfv" }));

    // Page after the update, then the adjustment, which hands the printer back.
    QVERIFY(run.click("nextButton"));
    QTRY_COMPARE(run.currentIndex(), 3);
    QVERIFY(run.printer.waitUntilIdle());
    QVERIFY(run.printer.clearLog());
    QVERIFY(run.click("nextButton"));
    QTRY_COMPARE_WITH_TIMEOUT(run.currentIndex(), 4, 30000);
    QVERIFY(!run.queueHeld());
    QVERIFY(probe::waitFor([] { return WizardRun::toolRunning(); }));
    QVERIFY(run.printer.statusRequests() + run.printer.commands().count("\x1bRpst\r") >= 1);
    QVERIFY(run.printer.commands().contains("\x1bSa;c\r"));
    QCOMPARE(run.fixture.button("nextButton")->text(), QStringLiteral("Finish"));
    QVERIFY(run.click("nextButton"));
    QTRY_VERIFY(!run.windowOpen());
    QVERIFY(!run.queueHeld());
}

void tst_WizardRun::currentPrinterSkipsTheUpdate()
{
    WizardRun run(*cups, { "F2300", 200, 0, {} });
    QVERIFY2(run.isValid(), qPrintable(run.error()));
    QVERIFY(run.open());
    QVERIFY(run.choosePrinter());
    QVERIFY(run.click("nextButton"));
    QTRY_COMPARE_WITH_TIMEOUT(run.currentIndex(), 3, 15000);
    QCOMPARE(run.fixture.window->settings()->firmwareCurrent, 1);
    QVERIFY(run.queueHeld());
    // Previous leads straight back to the selection, which hands the printer back.
    QVERIFY(run.click("previousButton"));
    QTRY_COMPARE(run.currentIndex(), 0);
    QVERIFY(!run.queueHeld());
    QVERIFY(probe::waitFor([] { return WizardRun::toolRunning(); }));
}

void tst_WizardRun::presetPrinterInFourPages()
{
    WizardRun run(*cups, { "F2200", 200, 0, {} });
    QVERIFY2(run.isValid(), qPrintable(run.error()));
    // The preset printer is held as the selection would have left it.
    QVERIFY(holdQueue(run.queue));
    QVERIFY(run.open(true));
    QCOMPARE(run.fixture.window->pageCount(), 4);
    QVERIFY(run.click("nextButton"));
    QTRY_VERIFY_WITH_TIMEOUT(run.currentIndex() == 1 || !run.events.shown().isEmpty(), 30000);
    QVERIFY2(run.events.shown().isEmpty(),
        qPrintable(run.events.shown().join(',') + " | " + run.printer.logLines().join(" / ")));
    QCOMPARE(run.currentIndex(), 1);
    QCOMPARE(SleepRecorder::asked(), QList<int> { 30000 });
    QVERIFY(run.click("nextButton"));
    QTRY_COMPARE(run.currentIndex(), 2);
    // Previous on the adjustment leads to the page after the update.
    QVERIFY(run.click("previousButton"));
    QTRY_COMPARE(run.currentIndex(), 1);
    QVERIFY(run.click("nextButton"));
    QTRY_COMPARE(run.currentIndex(), 2);
    QVERIFY(run.click("nextButton"));
    QTRY_COMPARE_WITH_TIMEOUT(run.currentIndex(), 3, 30000);
    QVERIFY(!run.queueHeld());
    QVERIFY(run.click("nextButton"));
    QTRY_VERIFY(!run.windowOpen());
}

void tst_WizardRun::pageTraceOfAWholeRun()
{
    TraceCapture trace;
    WizardRun run(*cups, { "F2200", 200, 0, {} });
    QVERIFY2(run.isValid(), qPrintable(run.error()));
    QVERIFY(run.fixture.open({ QStringLiteral("kavni-wizard") }, {}, trace.logger()));
    QVERIFY(run.choosePrinter());
    for (int index = 1; index <= 4; ++index) {
        QVERIFY(run.click("nextButton"));
        QTRY_COMPARE_WITH_TIMEOUT(run.currentIndex(), index, 30000);
    }
    QVERIFY(run.click("nextButton"));
    QTRY_VERIFY(!run.windowOpen());
    run.fixture.close();

    QStringList pageLines;
    int memoryLines = 0;
    for (const QString& line : TraceCapture::messages()) {
        if (line.contains(QLatin1String("] [Page")))
            pageLines << line;
        if (line.startsWith(QLatin1String("[WIZARD MEM]")))
            ++memoryLines;
    }
    auto page
        = [](const char* page, const char* tag, const char* step = nullptr, const char* operation = nullptr) {
              return QStringLiteral("[DEBUG  ] [%1] [%2] %3{wizard::%1::%4}")
                  .arg(QLatin1String(page), QLatin1String(tag),
                      step ? QStringLiteral("[%1] ").arg(QLatin1String(step)) : QString(),
                      QLatin1String(operation ? operation : tag));
          };
    const QStringList expected {
        page("Page0K", "initActionPage"),
        page("Page1K", "initActionPage"),
        page("Page2K", "initActionPage"),
        page("Page3K", "initActionPage"),
        page("Page4K", "initActionPage"),
        page("Page0K", "startAction"),
        page("Page0K", "applyAction"),
        page("Page1K", "initActionPage"),
        page("Page1K", "startAction"),
        page("Page1K", "applyAction"),
        page("Page1K", "OnDownloadFw"),
        page("Page1K", "OnDownloadFw", "Pass"),
        page("Page1K", "applyAction", "Pass"),
        page("Page2K", "initActionPage"),
        page("Page2K", "startAction"),
        page("Page3K", "initActionPage"),
        page("Page3K", "startAction"),
        page("Page3K", "applyAction"),
        page("Page4K", "initActionPage"),
    };
    QCOMPARE(pageLines, expected);
    // The array and five pages made, the same freed.
    QCOMPARE(memoryLines, 12);
    // Each page's address is written when it is made and again when it is freed.
    static const QRegularExpression made(
        QStringLiteral("^\\[WIZARD MEM\\] ALLOCATOR MEM - NEW Page3\tPTR: ([0-9a-f]+)$"));
    const QStringList madeLines = TraceCapture::messages().filter(made);
    QCOMPARE(madeLines.size(), 1);
    const QString address = made.match(madeLines.first()).captured(1);
    QVERIFY(TraceCapture::messages().contains(QStringLiteral("[WIZARD MEM] FREE - \t PTR: ") + address));
}

QTEST_MAIN(tst_WizardRun)
#include "tst_wizardrun.moc"
