// SPDX-License-Identifier: MIT
// The page framework walked through the real window: the window's buttons,
// the iterator, the builder's layouts, the wait box, warnings that cross from
// a pool thread, the abort confirmation and the event dialog, with pages built
// on the shared base whose actions the test scripts.
#include "GuiDriver.h"
#include "ScriptedPage.h"
#include "WizardFixture.h"

#include "WzCommon/Src/EventDialog.h"
#include "wizard/ConcreteWizardActionPageIterator.h"
#include "wizard/HtmlPane.h"
#include "wizard/WAPIteratorBuilder.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTest>
#include <QThreadPool>
#include <QTreeWidget>
#include <QWebEngineView>

using namespace wizard;
using namespace wizard::test;

namespace {

const QStringList noArguments { QStringLiteral("kavni-wizard") };
const QStringList presetArguments { QStringLiteral("kavni-wizard"), QStringLiteral("prnname=Card1") };

} // namespace

class tst_Framework : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();

    void walkToTheEnd_data();
    void walkToTheEnd();
    void previousFollowsThePages_data();
    void previousFollowsThePages();
    void previousOnFirstPageDoesNothing();
    void buttonsFollowTheFlags_data();
    void buttonsFollowTheFlags();
    void aPageNotCurrentLeavesTheButtons();
    void helpStartsItsTarget();
    void stepsTreeRefusesSelection();
    void waitBoxCannotBeDismissed();
    void warningAnswerCrossesThreads_data();
    void warningAnswerCrossesThreads();
    void warningOfAnotherPageIsIgnored();
    void warningOnUserInterfaceThreadStops();
    void errorEndsTheWizard();
    void abortConfirmation_data();
    void abortConfirmation();
    void closingDuringActionNeitherCrashesNorHangs();
    void eventDialogKinds_data();
    void eventDialogKinds();
    void eventDialogAnswers_data();
    void eventDialogAnswers();
    void eventDialogHelp_data();
    void eventDialogHelp();
    void viewsLoadTheirPagesWithForwardSlashes();
    void hiddenViewsLoadWhenFirstShown();
    void paneStaysFixedWhenResized();
    void missingDataLeavesEmptyLabels();

private:
    // Opens the window with scripted pages; pages() gives them by index.
    bool openScripted(const QStringList& arguments = noArguments);
    ScriptedPage* page(int index) const;
    bool clickButton(const char* name);

    WizardFixture fixture;
    QList<ScriptedPage*> scripted;
};

void tst_Framework::initTestCase()
{
    QApplication::setQuitOnLastWindowClosed(false);
}

void tst_Framework::cleanup()
{
    fixture.close();
    scripted.clear();
    fixture.data = WizardDataSet();
    QVERIFY(QThreadPool::globalInstance()->waitForDone(10000));
    QTRY_VERIFY_WITH_TIMEOUT(leftoverTopLevels().isEmpty(), 5000);
}

bool tst_Framework::openScripted(const QStringList& arguments)
{
    scripted.clear();
    const PageFactory factory
        = [this](PageClass pageClass, MainWizardFrameUI* window, WizardRessourceProvider* provider,
              ILogger* logger, WizardSettings* settings) {
              auto* created = new ScriptedPage(pageClass, window, provider, logger, settings);
              scripted << created;
              return created;
          };
    return fixture.open(arguments, factory);
}

ScriptedPage* tst_Framework::page(int index) const
{
    return scripted.value(index);
}

bool tst_Framework::clickButton(const char* name)
{
    QPushButton* button = fixture.button(name);
    if (!button || !button->isVisible() || !button->isEnabled())
        return false;
    QTest::mouseClick(button, Qt::LeftButton);
    return true;
}

void tst_Framework::walkToTheEnd_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("titles");
    QTest::newRow("five pages") << noArguments
                                << QStringList { "1. Printer", "2. Firmware update", "3. Firmware updated",
                                       "4. Adjustment", "5. Finished" }
                                << QStringList { "Printer", "Firmware update", "Firmware updated",
                                       "Adjustment", "Finished" };
    QTest::newRow("four pages") << presetArguments
                                << QStringList { "1. Printer", "2. Firmware updated", "3. Adjustment",
                                       "4. Finished" }
                                << QStringList { "Printer", "Firmware updated", "Adjustment", "Finished" };
}

void tst_Framework::walkToTheEnd()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, steps);
    QFETCH(QStringList, titles);
    QVERIFY(openScripted(arguments));
    const int count = steps.size();
    QCOMPARE(fixture.pageStack()->count(), count);
    QCOMPARE(fixture.stepTexts(), steps);
    QCOMPARE(fixture.stepsTree()->topLevelItem(1)->toolTip(0), titles.at(1));
    auto* stepTitle = fixture.window->findChild<QLabel*>(QStringLiteral("stepTitleLabel"));
    QCOMPARE(fixture.window->windowTitle(), QStringLiteral("Card Printer Setup"));

    for (int index = 0; index < count; ++index) {
        QCOMPARE(fixture.currentIndex(), index);
        saveScreenshot(
            fixture.window.get(), QStringLiteral("%1-page%2").arg(QTest::currentDataTag()).arg(index));
        QCOMPARE(fixture.markedStep(), index);
        QCOMPARE(stepTitle->text(), titles.at(index));
        QCOMPARE(fixture.button("nextButton")->text(),
            index + 1 == count ? QStringLiteral("Finish") : QStringLiteral("Next"));
        if (index == 0)
            page(0)->setNextEnabled(true); // the selection page waits for a printer
        if (index + 1 < count) {
            QVERIFY(clickButton("nextButton"));
            QTRY_COMPARE_WITH_TIMEOUT(fixture.currentIndex(), index + 1, 5000);
            QCOMPARE(page(index)->started, 1);
        }
    }
    // Next on the last page ends the wizard without asking the page.
    QVERIFY(clickButton("nextButton"));
    QTRY_VERIFY(!fixture.window->isVisible());
    QCOMPARE(page(count - 1)->started, 0);
    // Every page ran on the pool thread that has a background action.
    for (ScriptedPage* p : std::as_const(scripted))
        QCOMPARE(p->onPoolThread.load(), p->background && p->started > 0);
}

void tst_Framework::previousFollowsThePages_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::newRow("firmware page to selection") << noArguments << 1 << 0;
    QTest::newRow("adjustment to the page after the update") << noArguments << 3 << 2;
    QTest::newRow("four pages: adjustment to the page after the update") << presetArguments << 2 << 1;
}

void tst_Framework::previousFollowsThePages()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, from);
    QFETCH(int, to);
    QVERIFY(openScripted(arguments));
    page(0)->setNextEnabled(true);
    while (fixture.currentIndex() < from) {
        const int before = fixture.currentIndex();
        QVERIFY(clickButton("nextButton"));
        QTRY_COMPARE(fixture.currentIndex(), before + 1);
    }
    // The page returned to is not initialised again: its flags stay as they were.
    page(to)->setAbortHidden(true);
    const int initialised = page(to)->started;
    page(from)->setPreviousEnabled(true);
    page(from)->setPreviousHidden(false);
    QVERIFY(clickButton("previousButton"));
    QTRY_COMPARE(fixture.currentIndex(), to);
    QCOMPARE(page(from)->rolledBack, 1);
    QCOMPARE(fixture.markedStep(), to);
    QVERIFY(fixture.button("abortButton")->isHidden());
    QCOMPARE(page(to)->started, initialised);
}

void tst_Framework::previousOnFirstPageDoesNothing()
{
    QVERIFY(openScripted());
    page(0)->setPreviousHidden(false);
    page(0)->setPreviousEnabled(true);
    QVERIFY(clickButton("previousButton"));
    QTest::qWait(50);
    QCOMPARE(page(0)->rolledBack, 0);
    QCOMPARE(fixture.currentIndex(), 0);
}

void tst_Framework::buttonsFollowTheFlags_data()
{
    QTest::addColumn<int>("setter");
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("enabledFlag"); // the setter sets "enabled", else "hidden"
    QTest::newRow("next enabled") << 0 << "nextButton" << true;
    QTest::newRow("previous enabled") << 1 << "previousButton" << true;
    QTest::newRow("abort enabled") << 2 << "abortButton" << true;
    QTest::newRow("next hidden") << 3 << "nextButton" << false;
    QTest::newRow("previous hidden") << 4 << "previousButton" << false;
    QTest::newRow("abort hidden") << 5 << "abortButton" << false;
    QTest::newRow("help hidden") << 6 << "helpButton" << false;
}

void tst_Framework::buttonsFollowTheFlags()
{
    QFETCH(int, setter);
    QFETCH(QString, button);
    const std::function<void(WizardActionPage*, bool)> setters[] = {
        [](WizardActionPage* p, bool on) { p->setNextEnabled(on); },
        [](WizardActionPage* p, bool on) { p->setPreviousEnabled(on); },
        [](WizardActionPage* p, bool on) { p->setAbortEnabled(on); },
        [](WizardActionPage* p, bool on) { p->setNextHidden(on); },
        [](WizardActionPage* p, bool on) { p->setPreviousHidden(on); },
        [](WizardActionPage* p, bool on) { p->setAbortHidden(on); },
        [](WizardActionPage* p, bool on) { p->setHelpHidden(on); },
    };
    QFETCH(bool, enabledFlag);
    QVERIFY(openScripted());
    QPushButton* target = fixture.button(button.toLatin1().constData());
    QSignalSpy changed(page(0), &WizardActionPage::stateChanged);
    for (bool value : { true, false, false, true }) {
        setters[setter](page(0), value);
        if (enabledFlag)
            QCOMPARE(target->isEnabled(), value);
        else
            QCOMPARE(target->isHidden(), value);
    }
    // Every call emits, also when the value does not change.
    QCOMPARE(changed.count(), 4);
    // Help is only ever hidden, never disabled.
    QVERIFY(fixture.button("helpButton")->isEnabled());
}

void tst_Framework::aPageNotCurrentLeavesTheButtons()
{
    QVERIFY(openScripted());
    page(3)->setNextEnabled(true);
    page(3)->setAbortHidden(true);
    QVERIFY(!fixture.button("nextButton")->isEnabled());
    QVERIFY(!fixture.button("abortButton")->isHidden());
    // The pages' starting flags as the window shows them on page 0.
    QVERIFY(fixture.button("previousButton")->isHidden());
    QVERIFY(fixture.button("helpButton")->isHidden());
}

void tst_Framework::helpStartsItsTarget()
{
    OpenRecorder opener;
    QVERIFY(opener.isValid());
    fixture.data.setText(
        QStringLiteral("50"), fixture.data.path(QStringLiteral("manual/%ID_DRVTYPE%/index.html")));
    QVERIFY(openScripted(presetArguments));
    // Every page hides Help; a page shows it through its setter.
    QVERIFY(fixture.button("helpButton")->isHidden());
    page(0)->setHelpHidden(false);
    QVERIFY(clickButton("helpButton"));
    // A preset printer that CUPS does not know has type 0: the table's default entry.
    const QStringList expected { fixture.data.path(QStringLiteral("manual/common/index.html")) };
    QTRY_COMPARE_WITH_TIMEOUT(opener.calls(), expected, 5000);
}

void tst_Framework::stepsTreeRefusesSelection()
{
    QVERIFY(openScripted());
    QTreeWidget* tree = fixture.stepsTree();
    QCOMPARE(tree->selectionMode(), QAbstractItemView::NoSelection);
    const QRect third = tree->visualItemRect(tree->topLevelItem(2));
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, third.center());
    QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, third.center());
    QCOMPARE(fixture.markedStep(), 0);
    QCOMPARE(fixture.currentIndex(), 0);
}

void tst_Framework::waitBoxCannotBeDismissed()
{
    QVERIFY(openScripted());
    QSemaphore release;
    page(0)->setNextEnabled(true);
    page(0)->script = [&release](ScriptedPage& p) {
        release.acquire();
        p.completeAction();
    };
    bool checked = false;
    ModalAnswerer box(QStringLiteral("waitBox"), [&](QWidget* widget) {
        auto* messageBox = qobject_cast<QMessageBox*>(widget);
        QVERIFY(messageBox);
        QVERIFY(messageBox->buttons().isEmpty());
        QCOMPARE(messageBox->windowTitle(), QStringLiteral("Card Printer Setup"));
        QCOMPARE(messageBox->text(), QStringLiteral("Working with the printer. This can take a minute."));
        typeKey(Qt::Key_Escape);
        QVERIFY(!messageBox->close());
        QTest::qWait(50);
        QVERIFY(messageBox->isVisible());
        checked = true;
        release.release();
    });
    QVERIFY(clickButton("nextButton"));
    QVERIFY(checked);
    QCOMPARE(fixture.currentIndex(), 1);
}

void tst_Framework::warningAnswerCrossesThreads_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("answer");
    QTest::newRow("continue") << "continueButton" << true;
    QTest::newRow("return") << "returnButton" << false;
    QTest::newRow("escape") << "escape" << false;
    QTest::newRow("close box") << "close" << false;
}

void tst_Framework::warningAnswerCrossesThreads()
{
    QFETCH(QString, how);
    QFETCH(bool, answer);
    QVERIFY(openScripted());
    page(0)->setNextEnabled(true);
    QVERIFY(clickButton("nextButton"));
    QTRY_COMPARE(fixture.currentIndex(), 1);
    QVERIFY(clickButton("nextButton"));
    QTRY_COMPARE(fixture.currentIndex(), 2);
    QVERIFY(clickButton("nextButton"));
    QTRY_COMPARE(fixture.currentIndex(), 3);

    std::atomic<bool> seen { false };
    std::atomic<bool> result { !answer };
    page(3)->script = [&](ScriptedPage& p) {
        p.raiseWarning(WizardActionPage::coverOrRibbon);
        seen = true;
        result = p.answer();
        if (p.answer())
            p.completeAction();
    };
    ModalAnswerer dialog(QStringLiteral("eventDialog"), [&](QWidget* widget) {
        QVERIFY(!seen); // the action waits while the dialog is up
        auto* iterator = qobject_cast<ConcreteWizardActionPageIterator*>(fixture.window->pageIterator());
        QCOMPARE(iterator->shownDialog(), widget);
        QCOMPARE(widget->findChild<QLabel*>(QStringLiteral("titleLabel"))->text(), QStringLiteral("Warning"));
        if (how == QLatin1String("escape"))
            typeKey(Qt::Key_Escape);
        else if (how == QLatin1String("close"))
            widget->close();
        else
            QVERIFY(clickChild(widget, how.toLatin1().constData()));
    });
    QVERIFY(clickButton("nextButton"));
    QTRY_VERIFY(seen);
    QCOMPARE(dialog.answered(), 1);
    QCOMPARE(result.load(), answer);
    // Continue: the page completed; otherwise it stays current with its buttons.
    QTRY_COMPARE(fixture.currentIndex(), answer ? 4 : 3);
    QVERIFY(fixture.window->isVisible());
    if (!answer)
        QVERIFY(fixture.button("nextButton")->isEnabled());
}

void tst_Framework::warningOfAnotherPageIsIgnored()
{
    QVERIFY(openScripted());
    auto* iterator = qobject_cast<ConcreteWizardActionPageIterator*>(fixture.window->pageIterator());
    Q_EMIT iterator->resultWarning(true, 3);
    QVERIFY(page(3)->answer());
    Q_EMIT iterator->resultWarning(false, 1);
    QVERIFY(page(3)->answer());
    QVERIFY(!page(1)->answer());
}

void tst_Framework::warningOnUserInterfaceThreadStops()
{
    // In a child process: the check stops the program.
    if (qEnvironmentVariableIsSet("KAVNI_WARNING_CHILD")) {
        QVERIFY(openScripted());
        page(0)->raiseWarning(WizardActionPage::coverOrRibbon);
        QFAIL("the warning came back");
    }
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("KAVNI_WARNING_CHILD"), QStringLiteral("1"));
    child.setProcessEnvironment(environment);
    child.start(
        QCoreApplication::applicationFilePath(), { QStringLiteral("warningOnUserInterfaceThreadStops") });
    QVERIFY(child.waitForFinished(60000));
    QVERIFY(child.exitStatus() == QProcess::CrashExit || child.exitCode() != 0);
    const QByteArray errors = child.readAllStandardError();
    QVERIFY2(errors.contains("raised a warning on the user-interface thread"), errors.constData());
    QVERIFY(!child.readAllStandardOutput().contains("the warning came back"));
}

void tst_Framework::errorEndsTheWizard()
{
    QVERIFY(openScripted());
    page(0)->setNextEnabled(true);
    page(0)->script = [](ScriptedPage& p) { p.raiseError(WizardActionPage::communicationFailed); };
    QString title;
    ModalAnswerer dialog(QStringLiteral("eventDialog"), [&](QWidget* widget) {
        title = widget->findChild<QLabel*>(QStringLiteral("titleLabel"))->text();
        QVERIFY(clickChild(widget, "closeButton"));
    });
    QVERIFY(clickButton("nextButton"));
    QTRY_VERIFY(!fixture.window->isVisible());
    QCOMPARE(title, QStringLiteral("Error"));
    QCOMPARE(fixture.currentIndex(), 0);
}

void tst_Framework::abortConfirmation_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("aborted");
    QTest::newRow("yes") << "abortYesButton" << true;
    QTest::newRow("no") << "abortNoButton" << false;
    QTest::newRow("escape") << "escape" << false;
    QTest::newRow("return on the default button") << "return" << false;
}

void tst_Framework::abortConfirmation()
{
    QFETCH(QString, how);
    QFETCH(bool, aborted);
    QVERIFY(openScripted());
    QSignalSpy complete(page(0), &WizardActionPage::abortComplete);
    QString question;
    ModalAnswerer box(QStringLiteral("abortBox"), [&](QWidget* widget) {
        auto* messageBox = qobject_cast<QMessageBox*>(widget);
        question = messageBox->text();
        QCOMPARE(messageBox->defaultButton()->text(), QStringLiteral("No"));
        QCOMPARE(messageBox->icon(), QMessageBox::Question);
        if (how == QLatin1String("escape"))
            typeKey(Qt::Key_Escape);
        else if (how == QLatin1String("return"))
            typeKey(Qt::Key_Return);
        else
            QVERIFY(clickChild(widget, how.toLatin1().constData()));
    });
    QVERIFY(clickButton("abortButton"));
    QCOMPARE(box.answered(), 1);
    QCOMPARE(question, QStringLiteral("Do you want to stop the setup? The printer will be handed back."));
    QCOMPARE(complete.count(), aborted ? 1 : 0);
    QTRY_COMPARE(fixture.window->isVisible(), !aborted);
}

void tst_Framework::closingDuringActionNeitherCrashesNorHangs()
{
    QVERIFY(openScripted());
    page(0)->setNextEnabled(true);
    QSemaphore running;
    QSemaphore release;
    page(0)->script = [&](ScriptedPage& p) {
        running.release();
        release.acquire();
        p.completeAction();
    };
    ModalAnswerer box(QStringLiteral("waitBox"), [&](QWidget*) {
        QVERIFY(running.tryAcquire(1, 5000));
        fixture.window->close();
        release.release();
    });
    QVERIFY(clickButton("nextButton"));
    QVERIFY(!fixture.window->isVisible());
    // The action finished and was delivered; the window goes away cleanly.
    QVERIFY(QThreadPool::globalInstance()->waitForDone(5000));
    fixture.close();
    QTest::qWait(20);
}

void tst_Framework::eventDialogKinds_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QStringList>("buttons");
    QTest::addColumn<QList<QRect>>("places");
    QTest::addColumn<QString>("icon");
    const QRect left(338, 220, 75, 23);
    const QRect right(420, 220, 75, 23);
    QTest::newRow("error") << "ERROR"
                           << "Error" << QStringList { "closeButton" } << QList<QRect> { right }
                           << "error.png";
    QTest::newRow("information") << "INFO"
                                 << "Information" << QStringList { "closeButton" } << QList<QRect> { right }
                                 << "information.png";
    QTest::newRow("warning") << "WARNING"
                             << "Warning" << QStringList { "continueButton", "returnButton" }
                             << QList<QRect> { left, right } << "warning.png";
    QTest::newRow("any other kind is a warning")
        << "warning"
        << "Warning" << QStringList { "continueButton", "returnButton" } << QList<QRect> { left, right }
        << "warning.png";
}

void tst_Framework::eventDialogKinds()
{
    QFETCH(QString, kind);
    QFETCH(QString, title);
    QFETCH(QStringList, buttons);
    QFETCH(QList<QRect>, places);
    QFETCH(QString, icon);
    QVERIFY(openScripted());
    EventDialog dialog(
        fixture.window.get(), kind, nullptr, nullptr, fixture.window->settings(), 5, 0, true, {}, {});
    QCOMPARE(dialog.size(), QSize(500, 250));
    QCOMPARE(dialog.windowTitle(), QString()); // no provider: no texts, and no crash

    // The real thing goes through the iterator, with the window's provider.
    auto* iterator = qobject_cast<ConcreteWizardActionPageIterator*>(fixture.window->pageIterator());
    bool looked = false;
    ModalAnswerer answer(QStringLiteral("eventDialog"), [&](QWidget* widget) {
        looked = true;
        saveScreenshot(widget, QStringLiteral("dialog-%1").arg(QTest::currentDataTag()));
        QCOMPARE(widget->windowTitle(), QStringLiteral("Card Printer Setup"));
        QCOMPARE(widget->findChild<QLabel*>(QStringLiteral("titleLabel"))->text(), title);
        QCOMPARE(widget->findChild<QLabel*>(QStringLiteral("titleLabel"))->geometry(), QRect(4, 4, 492, 42));
        QVERIFY(!widget->findChild<QLabel*>(QStringLiteral("iconLabel"))->pixmap().isNull());
        QVERIFY(!widget->findChild<QLabel*>(QStringLiteral("bannerLabel"))->pixmap().isNull());
        QCOMPARE(
            widget->findChild<QLabel*>(QStringLiteral("backgroundLabel"))->geometry(), QRect(0, 0, 500, 250));
        for (int i = 0; i < buttons.size(); ++i) {
            auto* button = widget->findChild<QPushButton*>(buttons.at(i));
            QVERIFY2(button, qPrintable(buttons.at(i)));
            QCOMPARE(button->geometry(), places.at(i));
            QVERIFY(!button->autoDefault());
        }
        QCOMPARE(widget->findChildren<QPushButton*>().size(), buttons.size() + 1); // and Help
        QVERIFY(widget->findChild<QPushButton*>(QStringLiteral("helpButton"))->isHidden());
        auto* pane = widget->findChild<HtmlPane*>(QStringLiteral("eventPane"));
        QCOMPARE(pane->geometry(), QRect(8, 50, 484, 160));
        QCOMPARE(pane->requestedPage(),
            QUrl::fromLocalFile(fixture.data.path(QStringLiteral("help/Common/en/page5.html"))));
        widget->close();
    });
    if (kind == QLatin1String("ERROR"))
        iterator->onError(5);
    else if (kind == QLatin1String("INFO"))
        iterator->onInfo(5);
    else
        iterator->onWarning(5, 0);
    QVERIFY(looked);
}

void tst_Framework::eventDialogAnswers_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("result");
    QTest::newRow("warning continue") << "WARNING"
                                      << "continueButton" << int(QDialog::Accepted);
    QTest::newRow("warning return") << "WARNING"
                                    << "returnButton" << int(QDialog::Rejected);
    QTest::newRow("warning escape") << "WARNING"
                                    << "escape" << int(QDialog::Rejected);
    QTest::newRow("warning return key") << "WARNING"
                                        << "returnKey" << int(QDialog::Rejected);
    QTest::newRow("warning close box") << "WARNING"
                                       << "close" << int(QDialog::Rejected);
    QTest::newRow("error close") << "ERROR"
                                 << "closeButton" << int(QDialog::Rejected);
    QTest::newRow("error escape") << "ERROR"
                                  << "escape" << int(QDialog::Rejected);
    QTest::newRow("information close") << "INFO"
                                       << "closeButton" << int(QDialog::Rejected);
}

void tst_Framework::eventDialogAnswers()
{
    QFETCH(QString, kind);
    QFETCH(QString, how);
    QFETCH(int, result);
    QVERIFY(openScripted());
    EventDialog dialog(
        fixture.window.get(), kind, nullptr, nullptr, fixture.window->settings(), 9, 0, true, {}, {});
    ModalAnswerer answer(QStringLiteral("eventDialog"), [&](QWidget* widget) {
        if (how == QLatin1String("escape"))
            typeKey(Qt::Key_Escape);
        else if (how == QLatin1String("returnKey")) {
            typeKey(Qt::Key_Return);
            QTest::qWait(30);
            QVERIFY(widget->isVisible()); // no default button: Return answers nothing
            typeKey(Qt::Key_Escape);
        } else if (how == QLatin1String("close"))
            widget->close();
        else
            QVERIFY(clickChild(widget, how.toLatin1().constData()));
    });
    QCOMPARE(dialog.exec(), result);
    QCOMPARE(answer.answered(), 1);
}

void tst_Framework::eventDialogHelp_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QStringList>("calls");
    QTest::newRow("driver type in both places")
        << "/opt/manual/%ID_DRVTYPE%/%ID_DRVTYPE%.html" << QStringList { "/opt/manual/common/common.html" };
    QTest::newRow("empty target opens nothing") << "" << QStringList {};
}

void tst_Framework::eventDialogHelp()
{
    QFETCH(QString, target);
    QFETCH(QStringList, calls);
    OpenRecorder opener;
    QVERIFY(openScripted());
    EventDialog dialog(fixture.window.get(), QStringLiteral("ERROR"), nullptr, nullptr,
        fixture.window->settings(), 6, 0, false, target, {});
    dialog.show();
    auto* help = dialog.findChild<QPushButton*>(QStringLiteral("helpButton"));
    QVERIFY(help->isVisible());
    QCOMPARE(help->geometry(), QRect(25, 220, 75, 23));
    QTest::mouseClick(help, Qt::LeftButton);
    QTest::qWait(300);
    QTRY_COMPARE_WITH_TIMEOUT(opener.calls(), calls, 5000);
    QVERIFY(dialog.isVisible()); // Help leaves the dialog open
}

void tst_Framework::viewsLoadTheirPagesWithForwardSlashes()
{
    // A help root written with backslashes, as a data file made on Windows has it.
    fixture.data.setParameter(QStringLiteral("HTMLPath"), QStringLiteral("help\\..\\help"));
    QVERIFY(openScripted());
    for (int number = 1; number <= 4; ++number) {
        auto* pane = fixture.window->findChild<HtmlPane*>(QStringLiteral("page%1Pane").arg(number));
        QVERIFY(pane);
        const QString expected = fixture.data.applicationDir()
            + QStringLiteral("help/../help/Common/en/page%1.html").arg(number);
        QCOMPARE(pane->requestedPage(), QUrl::fromLocalFile(expected));
        QCOMPARE(pane->page()->backgroundColor(), QColor(Qt::transparent));
        QCOMPARE(pane->focusPolicy(), Qt::NoFocus);
    }
    // A number the help index does not list gives an empty page.
    auto* selection = fixture.window->findChild<HtmlPane*>(QStringLiteral("page0Pane"));
    QCOMPARE(selection->requestedPage(), QUrl(QStringLiteral("about:blank")));
}

void tst_Framework::hiddenViewsLoadWhenFirstShown()
{
    QVERIFY(openScripted());
    auto* pane = fixture.window->findChild<HtmlPane*>(QStringLiteral("page2Pane"));
    QVERIFY(!pane->isVisible());
    // The page of a view that is not current is not loaded at start-up ...
    QTest::qWait(200);
    QVERIFY(pane->url().isEmpty());
    // ... but as soon as its view comes up.
    fixture.pageStack()->setCurrentWidget(fixture.window->findChild<QWidget*>(QStringLiteral("page2View")));
    QVERIFY(pane->isVisible());
    QTRY_COMPARE_WITH_TIMEOUT(pane->url(), pane->requestedPage(), 5000);
}

void tst_Framework::paneStaysFixedWhenResized()
{
    QVERIFY(openScripted());
    fixture.window->resize(900, 700);
    QTest::qWait(20);
    QCOMPARE(fixture.window->size(), QSize(640, 480));
    auto* pane = fixture.window->findChild<HtmlPane*>(QStringLiteral("page1Pane"));
    QCOMPARE(pane->geometry(), QRect(5, 5, 420, 380));
    QCOMPARE(fixture.pageStack()->size(), QSize(425, 380));
    QCOMPARE(fixture.stepsTree()->size(), QSize(190, 380));
}

void tst_Framework::missingDataLeavesEmptyLabels()
{
    fixture.data.setParameter(QStringLiteral("ImagePath"), QStringLiteral("images/missing.xml"));
    fixture.data.setParameter(QStringLiteral("MessagePath"), QStringLiteral("nowhere/messages_%1.xml"));
    fixture.data.setParameter(QStringLiteral("HTMLFilePath"), QStringLiteral("nowhere/index.xml"));
    fixture.data.removeParameter(QStringLiteral("BannerFontColor"));
    QVERIFY(openScripted());
    QVERIFY(fixture.window->findChild<QLabel*>(QStringLiteral("backgroundLabel"))->pixmap().isNull());
    QCOMPARE(fixture.button("nextButton")->text(), QString());
    QCOMPARE(fixture.window->findChild<QLabel*>(QStringLiteral("bannerTitleLabel"))->styleSheet(),
        QStringLiteral("color: ; font: bold"));
    auto* iterator = qobject_cast<ConcreteWizardActionPageIterator*>(fixture.window->pageIterator());
    ModalAnswerer answer(QStringLiteral("eventDialog"), [](QWidget* widget) {
        QVERIFY(widget->findChild<QLabel*>(QStringLiteral("iconLabel"))->pixmap().isNull());
        QCOMPARE(widget->findChild<HtmlPane*>()->requestedPage(), QUrl(QStringLiteral("about:blank")));
        widget->close();
    });
    iterator->onInfo(7);
    QCOMPARE(answer.answered(), 1);
}

QTEST_MAIN(tst_Framework)
#include "tst_framework.moc"
