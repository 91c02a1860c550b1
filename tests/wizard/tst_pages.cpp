// SPDX-License-Identifier: MIT
// The wizard's own pages in the real window: the printer selection view over
// a private CUPS server, what each page does on Previous and Abort, and the
// hand-back of a held printer after a confirmed abort.
#include "GuiDriver.h"
#include "PrivateCups.h"
#include "QueueHold.h"
#include "WizardFixture.h"

#include "../system/ProcessProbe.h"

#include "wizard/IWizardActionPage.h"
#include "wizard/Page0UI.h"
#include "wizard/Page2K.h"
#include "wizard/Page3K.h"
#include "wizard/WAPIteratorBuilder.h"
#include "wizard/WizardActionPage.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTest>
#include <QThreadPool>

using namespace wizard;
using namespace wizard::test;

class tst_Pages : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();

    void selectionWithoutQueues();
    void selectionListsTheWizardsPrinters();
    void choosingAndUnchoosing();
    void refreshEmptiesTheChoice();
    void selectionViewLayout();
    void adjustmentPreviousFollowsTheFirmware_data();
    void adjustmentPreviousFollowsTheFirmware();
    void afterFirmwarePageAnnouncesItsStart();
    void confirmedAbortHandsThePrinterBack_data();
    void confirmedAbortHandsThePrinterBack();
    void pendingActionsRaiseStepFailed();

private:
    QComboBox* combo() const;
    void choose(int index);

    WizardFixture fixture;
    std::unique_ptr<PrivateCups> cups;
};

void tst_Pages::initTestCase()
{
    QApplication::setQuitOnLastWindowClosed(false);
    probe::setMarker();
    // An own server: the list must show exactly the queues of this test.
    cups = std::make_unique<PrivateCups>(PrivateCups::Mode::Own);
    QVERIFY2(cups->isRunning(), qPrintable(cups->lastError()));
    cups->useForThisProcess();
    QVERIFY(cups->addQueue(
        QStringLiteral("CardB"), QStringLiteral("socket://127.0.0.1:9101"), QStringLiteral("Talvor K3")));
    QVERIFY(cups->addQueue(
        QStringLiteral("CardA"), QStringLiteral("socket://127.0.0.1:9102"), QStringLiteral("Talvor K1")));
    QVERIFY(cups->addQueue(
        QStringLiteral("Office"), QStringLiteral("socket://127.0.0.1:9103"), QStringLiteral("Other Laser")));
}

void tst_Pages::cleanup()
{
    fixture.close();
    fixture.data = WizardDataSet();
    QVERIFY(QThreadPool::globalInstance()->waitForDone(10000));
    QTRY_VERIFY_WITH_TIMEOUT(leftoverTopLevels().isEmpty(), 5000);
    probe::killAll(QStringLiteral("Ruvelk.exe"));
}

QComboBox* tst_Pages::combo() const
{
    return fixture.window->findChild<QComboBox*>(QStringLiteral("printerCombo"));
}

// As the user picks with the keyboard: the combo box emits activated.
void tst_Pages::choose(int index)
{
    QComboBox* box = combo();
    box->setFocus();
    while (box->currentIndex() < index)
        QTest::keyClick(box, Qt::Key_Down);
    while (box->currentIndex() > index)
        QTest::keyClick(box, Qt::Key_Up);
}

void tst_Pages::selectionWithoutQueues()
{
    PrivateCups empty(PrivateCups::Mode::Own);
    QVERIFY2(empty.isRunning(), qPrintable(empty.lastError()));
    empty.useForThisProcess();
    const bool opened = fixture.open();
    cups->useForThisProcess();
    QVERIFY(opened);
    QCOMPARE(combo()->count(), 1);
    QCOMPARE(combo()->itemText(0), QStringLiteral("(choose a printer)"));
    QVERIFY(!fixture.button("nextButton")->isEnabled());
    QCOMPARE(fixture.window->settings()->printerName, QString());
}

void tst_Pages::selectionListsTheWizardsPrinters()
{
    QVERIFY(fixture.open());
    QStringList items;
    for (int i = 0; i < combo()->count(); ++i)
        items << combo()->itemText(i);
    // Ordered by name, the driver not in the table left out, nothing chosen.
    QCOMPARE(items, (QStringList { "(choose a printer)", "CardA", "CardB" }));
    saveScreenshot(fixture.window.get(), QStringLiteral("selection-page"));
    QCOMPARE(combo()->currentIndex(), 0);
    QVERIFY(!fixture.button("nextButton")->isEnabled());
}

void tst_Pages::choosingAndUnchoosing()
{
    QVERIFY(fixture.open());
    QSignalSpy retranslated(fixture.window.get(), &MainWizardFrameUI::refreshUI);
    choose(1);
    WizardSettings* settings = fixture.window->settings();
    QCOMPARE(settings->printerName, QStringLiteral("CardA"));
    QCOMPARE(settings->printerType, 1);
    QVERIFY(fixture.button("nextButton")->isEnabled());
    // Choosing a printer refreshes the window's texts.
    QCOMPARE(retranslated.count(), 1);
    choose(2);
    QCOMPARE(settings->printerName, QStringLiteral("CardB"));
    QCOMPARE(settings->printerType, 3);
    choose(0);
    QCOMPARE(settings->printerName, QString());
    QCOMPARE(settings->printerType, 1); // passing CardA on the way back; the placeholder keeps it
    QVERIFY(!fixture.button("nextButton")->isEnabled());
}

void tst_Pages::refreshEmptiesTheChoice()
{
    QVERIFY(fixture.open());
    choose(1);
    QVERIFY(fixture.button("nextButton")->isEnabled());
    QVERIFY(cups->addQueue(
        QStringLiteral("CardC"), QStringLiteral("socket://127.0.0.1:9104"), QStringLiteral("Talvor K1")));
    QTest::mouseClick(
        fixture.window->findChild<QPushButton*>(QStringLiteral("refreshButton")), Qt::LeftButton);
    QCOMPARE(combo()->count(), 4);
    QCOMPARE(combo()->currentIndex(), 0);
    QCOMPARE(fixture.window->settings()->printerName, QString());
    QVERIFY(!fixture.button("nextButton")->isEnabled());
    QVERIFY(cups->deleteQueue(QStringLiteral("CardC")));
}

void tst_Pages::selectionViewLayout()
{
    QVERIFY(fixture.open());
    auto* view = fixture.window->findChild<Page0UI*>();
    auto geometryOf
        = [view](const char* name) { return view->findChild<QWidget*>(QLatin1String(name))->geometry(); };
    QCOMPARE(geometryOf("titleLabel"), QRect(10, 20, 410, 40));
    QCOMPARE(geometryOf("infoLabel"), QRect(15, 85, 405, 16));
    QCOMPARE(geometryOf("printerCombo"), QRect(15, 105, 375, 22));
    QCOMPARE(geometryOf("refreshButton"), QRect(395, 104, 24, 24));
    QCOMPARE(geometryOf("noteLabel"), QRect(15, 320, 405, 32));
    QCOMPARE(view->findChild<QLabel*>(QStringLiteral("titleLabel"))->text(),
        QStringLiteral("Choose the card printer to prepare"));
    auto* refresh = view->findChild<QPushButton*>(QStringLiteral("refreshButton"));
    QVERIFY(!refresh->icon().isNull());
    QCOMPARE(refresh->toolTip(), QStringLiteral("List the printers again"));
    QVERIFY(!refresh->autoDefault());
}

void tst_Pages::adjustmentPreviousFollowsTheFirmware_data()
{
    QTest::addColumn<int>("firmwareCurrent");
    QTest::addColumn<int>("previous");
    QTest::newRow("after an update") << 0 << 2;
    QTest::newRow("pages 1 and 2 skipped") << 1 << 0;
}

void tst_Pages::adjustmentPreviousFollowsTheFirmware()
{
    QFETCH(int, firmwareCurrent);
    QFETCH(int, previous);
    QVERIFY(fixture.open());
    IWizardActionPage* adjustment = fixture.window->pageEntry(3)->page;
    fixture.window->settings()->firmwareCurrent = firmwareCurrent;
    QSignalSpy rolledBack(adjustment, SIGNAL(rollbackComplete()));
    adjustment->rollbackAction();
    QCOMPARE(rolledBack.count(), 1);
    QCOMPARE(adjustment->previousPageIndex(), previous);
}

void tst_Pages::afterFirmwarePageAnnouncesItsStart()
{
    QVERIFY(fixture.open());
    auto* page = qobject_cast<Page2K*>(fixture.window->pageEntry(2)->page);
    QSignalSpy announced(page, &Page2K::initActionPageUI);
    QSignalSpy completed(page, &WizardActionPage::actionComplete);
    page->initActionPage();
    QCOMPARE(announced.count(), 1);
    page->startAction();
    QCOMPARE(completed.count(), 1); // at once, on this thread
}

void tst_Pages::confirmedAbortHandsThePrinterBack_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("handsBack");
    // Four pages from a preset printer: firmware, after the update, adjustment, final.
    QTest::newRow("firmware update page") << 0 << true;
    QTest::newRow("page after the update") << 1 << true;
    QTest::newRow("adjustment page") << 2 << true;
    QTest::newRow("final page") << 3 << false;
}

void tst_Pages::confirmedAbortHandsThePrinterBack()
{
    QFETCH(int, index);
    QFETCH(bool, handsBack);
    const QString queue = PrivateCups::uniqueName(QStringLiteral("Held"));
    QVERIFY(cups->addQueue(queue, QStringLiteral("socket://127.0.0.1:9105"), QStringLiteral("Talvor K1")));
    QVERIFY(holdQueue(queue));
    QVERIFY(isHeld(queue));
    QVERIFY(fixture.open({ QStringLiteral("kavni-wizard"), QStringLiteral("prnname=") + queue }));
    QCOMPARE(fixture.window->settings()->printerType, 1);

    IWizardActionPage* page = fixture.window->pageEntry(index)->page;
    bool heldWhenComplete = true;
    QObject receiver;
    QObject::connect(static_cast<WizardActionPage*>(page), &WizardActionPage::abortComplete, &receiver,
        [&] { heldWhenComplete = isHeld(queue); });
    ModalAnswerer yes(
        QStringLiteral("abortBox"), [](QWidget* box) { QVERIFY(clickChild(box, "abortYesButton")); });
    page->abortAction();
    QCOMPARE(yes.answered(), 1);
    // The hand-back comes before abortComplete; the final page touches nothing.
    QCOMPARE(heldWhenComplete, !handsBack);
    QCOMPARE(isHeld(queue), !handsBack);
    const bool toolStarted = probe::waitFor(
        [] { return !probe::ownProcesses(QStringLiteral("Ruvelk.exe")).isEmpty(); }, handsBack ? 5000 : 300);
    QCOMPARE(toolStarted, handsBack);
    QTRY_VERIFY(!fixture.window->isVisible());
    QVERIFY(cups->deleteQueue(queue));
}

void tst_Pages::pendingActionsRaiseStepFailed()
{
    QVERIFY(fixture.open());
    choose(1);
    int shown = 0;
    ModalAnswerer error(QStringLiteral("eventDialog"), [&](QWidget* dialog) {
        ++shown;
        QCOMPARE(dialog->findChild<QLabel*>(QStringLiteral("titleLabel"))->text(), QStringLiteral("Error"));
        QVERIFY(clickChild(dialog, "closeButton"));
    });
    QTest::mouseClick(fixture.button("nextButton"), Qt::LeftButton);
    QTRY_VERIFY(!fixture.window->isVisible());
    QCOMPARE(shown, 1);
    QCOMPARE(fixture.currentIndex(), 0);
}

QTEST_MAIN(tst_Pages)
#include "tst_pages.moc"
