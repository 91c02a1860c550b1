// SPDX-License-Identifier: MIT
// The real window and event dialog built over the shipped data set, in the
// language of the system locale (ctest runs this once per language): every
// text fits the widget that shows it, measured with that widget's font, and
// every help page fits its pane without a scroll bar.
//
// With KAVNI_SCREENSHOT_DIR set, each page and each event dialog is also
// saved there as <language>-<name>.png (scripts/screenshots).
#include "ShippedDataSet.h"

#include "WzCommon/Src/EventDialog.h"
#include "wizard/ConcreteWizardActionPageIterator.h"
#include "wizard/HtmlPane.h"
#include "wizard/IWizardActionPage.h"
#include "wizard/IWizardActionPageUI.h"
#include "wizard/MainWizardFrameUI.h"
#include "wizard/WaitProgress.h"
#include "wizard/WizardSettings.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QStackedWidget>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QStyleOptionViewItem>
#include <QTest>
#include <QTreeWidget>
#include <QWebEnginePage>

#include <memory>

using namespace wizard;
using namespace wizard::test;

namespace {

// What a page's script answers, or an invalid value when it gave no answer in time.
QVariant evaluate(QWebEngineView* view, const QString& script)
{
    auto answer = std::make_shared<std::pair<bool, QVariant>>(false, QVariant());
    view->page()->runJavaScript(script, [answer](const QVariant& value) {
        answer->first = true;
        answer->second = value;
    });
    if (!QTest::qWaitFor([&answer] { return answer->first; }, 10000))
        return QVariant();
    return answer->second;
}

// Whether the pane shows the page it was asked for, fully loaded.
bool loaded(HtmlPane* pane)
{
    return pane->url() == pane->requestedPage()
        && evaluate(pane, QStringLiteral("document.readyState")).toString() == QLatin1String("complete");
}

// The room a push button of the given size leaves for its text: its contents
// less the style's button margin, which the style itself keeps around a label.
int buttonTextRoom(QPushButton* button, const QSize& size)
{
    QStyleOptionButton option;
    option.initFrom(button);
    option.rect = QRect(QPoint(0, 0), size);
    QStyle* style = button->style();
    return style->subElementRect(QStyle::SE_PushButtonContents, &option, button).width()
        - style->pixelMetric(QStyle::PM_ButtonMargin, &option, button);
}

void saveScreenshot(QWidget* widget, const QString& language, const QString& name)
{
    const QString folder = qEnvironmentVariable("KAVNI_SCREENSHOT_DIR");
    if (folder.isEmpty())
        return;
    // Web content is painted some time after it has loaded.
    QTest::qWait(400);
    QDir().mkpath(folder);
    widget->grab().save(folder + "/" + language + "-" + name + ".png");
}

} // namespace

class tst_DataSetWindow : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void languageFollowsTheLocale();
    void buttons_data();
    void buttons();
    void stepTitles();
    void bannerTexts_data();
    void bannerTexts();
    void selectionPage();
    void pagePanes_data();
    void pagePanes();
    void eventDialogs_data();
    void eventDialogs();
    void waitBoxSteps_data();
    void waitBoxSteps();

private:
    QString text(const QString& id) const;
    // The pane's page measured in the pane: the document's extent in CSS pixels.
    void checkPaneFits(HtmlPane* pane, const QSize& size);

    QString dir;
    QString language;
    ParameterMap parameters;
    std::unique_ptr<MainWizardFrameUI> window;
    std::unique_ptr<WizardRessourceProvider> provider;
};

void tst_DataSetWindow::initTestCase()
{
    QApplication::setQuitOnLastWindowClosed(false);
    dir = shipped::applicationDir();
    QVERIFY(shipped::readDataFile(dir, &parameters));
    window = std::make_unique<MainWizardFrameUI>(
        nullptr, QStringList { QStringLiteral("kavni-wizard") }, dir, &parameters);
    QVERIFY(window->initWizard());
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    language = window->settings()->language;
    provider = shipped::provider(dir, parameters, language);
    qInfo("language %s, font %s %gpt", qPrintable(language), qPrintable(window->font().family()),
        window->font().pointSizeF());
}

void tst_DataSetWindow::cleanupTestCase()
{
    window.reset();
    provider.reset();
}

QString tst_DataSetWindow::text(const QString& id) const
{
    return provider->GetResource(IRessourceProvider::Text, id, 0, QString());
}

void tst_DataSetWindow::languageFollowsTheLocale()
{
    const QString expected = qEnvironmentVariable("KAVNI_EXPECTED_LANGUAGE");
    if (expected.isEmpty())
        QSKIP("KAVNI_EXPECTED_LANGUAGE is not set");
    QCOMPARE(language, expected);
    QCOMPARE(window->windowTitle(), text(QStringLiteral("7")));
}

void tst_DataSetWindow::buttons_data()
{
    QTest::addColumn<QString>("objectName");
    QTest::addColumn<QString>("id");
    QTest::newRow("Next") << "nextButton"
                          << "1";
    QTest::newRow("Next on the last page") << "nextButton"
                                           << "5";
    QTest::newRow("Previous") << "previousButton"
                              << "2";
    QTest::newRow("Abort") << "abortButton"
                           << "3";
    QTest::newRow("Help") << "helpButton"
                          << "4";
}

void tst_DataSetWindow::buttons()
{
    QFETCH(QString, objectName);
    QFETCH(QString, id);
    auto* button = window->findChild<QPushButton*>(objectName, Qt::FindDirectChildrenOnly);
    QVERIFY(button);
    const QString label = text(id);
    const int need = button->fontMetrics().horizontalAdvance(label);
    const int room = buttonTextRoom(button, QSize(75, 23));
    qInfo("%s \"%s\": %d of %d px", qPrintable(objectName), qPrintable(label), need, room);
    QVERIFY2(need <= room,
        qPrintable(
            QStringLiteral("\"%1\" needs %2 px, a 75 x 23 button has %3").arg(label).arg(need).arg(room)));
}

void tst_DataSetWindow::stepTitles()
{
    auto* tree = window->findChild<QTreeWidget*>(QStringLiteral("stepsTree"));
    QVERIFY(tree);
    QCOMPARE(tree->topLevelItemCount(), 5);
    for (int index = 0; index < tree->topLevelItemCount(); ++index) {
        QTreeWidgetItem* item = tree->topLevelItem(index);
        QCOMPARE(item->text(0), QString::number(index + 1) + ". " + text(QString::number(70 + index)));
        // The current step is drawn bold: every title must fit so.
        const QFont normal = item->font(0);
        QFont bold = normal;
        bold.setBold(true);
        item->setFont(0, bold);
        const QModelIndex modelIndex = tree->model()->index(index, 0);
        QStyleOptionViewItem option;
        option.initFrom(tree->viewport());
        option.widget = tree;
        option.decorationSize = tree->iconSize();
        const int need = tree->itemDelegate()->sizeHint(option, modelIndex).width();
        const int room = tree->visualItemRect(item).width();
        item->setFont(0, normal);
        qInfo("step \"%s\": %d of %d px", qPrintable(item->text(0)), need, room);
        QVERIFY2(need <= room,
            qPrintable(QStringLiteral("\"%1\" needs %2 px, the tree has %3")
                           .arg(item->text(0))
                           .arg(need)
                           .arg(room)));
    }
}

void tst_DataSetWindow::bannerTexts_data()
{
    QTest::addColumn<QString>("objectName");
    QTest::addColumn<QString>("id");
    QTest::newRow("banner title") << "bannerTitleLabel"
                                  << "6";
    for (int id = 70; id <= 74; ++id)
        QTest::addRow("step title %d", id) << "stepTitleLabel" << QString::number(id);
}

void tst_DataSetWindow::bannerTexts()
{
    QFETCH(QString, objectName);
    QFETCH(QString, id);
    auto* label = window->findChild<QLabel*>(objectName);
    auto* banner = window->findChild<QLabel*>(QStringLiteral("bannerLabel"));
    QVERIFY(label && banner);
    // The text must not run past the banner, and the label must hold a whole
    // line (descenders included) without leaving the banner either.
    const QString shown = text(id);
    const int need = label->fontMetrics().horizontalAdvance(shown);
    const int room = std::min(label->width(), banner->geometry().right() + 1 - label->x());
    qInfo("%s \"%s\": %d of %d px, %d px high for a %d-px line", qPrintable(objectName), qPrintable(shown),
        need, room, label->height(), label->fontMetrics().height());
    QVERIFY2(need <= room, qPrintable(shown));
    QVERIFY(label->height() >= label->fontMetrics().height());
    QVERIFY(label->geometry().bottom() <= banner->geometry().bottom());
}

void tst_DataSetWindow::selectionPage()
{
    auto* stack = window->findChild<QStackedWidget*>(QStringLiteral("pageStack"));
    QVERIFY(stack);
    QCOMPARE(stack->currentIndex(), 0);
    struct Wrapped {
        const char* name;
        const char* id;
    };
    for (const Wrapped& wrapped :
        { Wrapped { "titleLabel", "40" }, { "infoLabel", "41" }, { "noteLabel", "43" } }) {
        auto* label = stack->findChild<QLabel*>(QLatin1String(wrapped.name));
        QVERIFY(label);
        QCOMPARE(label->text(), text(QLatin1String(wrapped.id)));
        const QRect box = label->contentsRect();
        const QRect need = label->fontMetrics().boundingRect(
            QRect(0, 0, box.width(), 10000), Qt::TextWordWrap | label->alignment(), label->text());
        qInfo("%s \"%s\": %d x %d of %d x %d px", wrapped.name, qPrintable(label->text()), need.width(),
            need.height(), box.width(), box.height());
        QVERIFY2(need.width() <= box.width() && need.height() <= box.height(), qPrintable(label->text()));
    }

    auto* combo = stack->findChild<QComboBox*>(QStringLiteral("printerCombo"));
    QVERIFY(combo);
    QCOMPARE(combo->count(), 1); // no printer served here: the placeholder alone
    QStyleOptionComboBox option;
    option.initFrom(combo);
    option.rect = combo->rect();
    const int room = combo->style()
                         ->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo)
                         .width();
    const int need = combo->fontMetrics().horizontalAdvance(combo->itemText(0));
    qInfo("placeholder \"%s\": %d of %d px", qPrintable(combo->itemText(0)), need, room);
    QVERIFY(need <= room);

    auto* refresh = stack->findChild<QPushButton*>(QStringLiteral("refreshButton"));
    QVERIFY(refresh);
    QCOMPARE(refresh->toolTip(), text(QStringLiteral("44")));
    QVERIFY(!refresh->icon().isNull());
    saveScreenshot(window.get(), language, QStringLiteral("page0"));
}

void tst_DataSetWindow::checkPaneFits(HtmlPane* pane, const QSize& size)
{
    QTRY_VERIFY_WITH_TIMEOUT(loaded(pane), 15000);
    QCOMPARE(pane->size(), size);
    const QVariantList extent = evaluate(pane,
        QStringLiteral("[document.documentElement.scrollWidth, document.documentElement.scrollHeight,"
                       " Math.ceil(document.body.getBoundingClientRect().bottom), window.innerWidth,"
                       " window.innerHeight, document.title]"))
                                    .toList();
    QCOMPARE(extent.size(), 6);
    const int width = extent.at(0).toInt();
    const int height = extent.at(1).toInt();
    qInfo("page \"%s\" in %d x %d: content bottom %d, scroll %d x %d, viewport %d x %d",
        qPrintable(extent.at(5).toString()), size.width(), size.height(), extent.at(2).toInt(), width, height,
        extent.at(3).toInt(), extent.at(4).toInt());
    QVERIFY2(!extent.at(5).toString().isEmpty(), "the page has no title: not the page asked for?");
    QVERIFY2(height <= size.height(), qPrintable(QStringLiteral("%1 px high").arg(height)));
    QVERIFY2(width <= size.width(), qPrintable(QStringLiteral("%1 px wide").arg(width)));
}

void tst_DataSetWindow::pagePanes_data()
{
    QTest::addColumn<int>("page");
    for (int page = 1; page <= 4; ++page)
        QTest::addRow("page %d", page) << page;
}

void tst_DataSetWindow::pagePanes()
{
    QFETCH(int, page);
    auto* stack = window->findChild<QStackedWidget*>(QStringLiteral("pageStack"));
    auto* pane = stack->findChild<HtmlPane*>(QStringLiteral("page%1Pane").arg(page));
    QVERIFY(pane);
    // Walked to as a user would reach it, each page before it reporting
    // success as its action does at its end (no printer is needed to see them).
    auto* iterator = static_cast<ConcreteWizardActionPageIterator*>(window->pageIterator());
    if (iterator->index() > page)
        QSKIP("the window is past this page; run the rows in order");
    while (iterator->index() < page) {
        const int from = iterator->index();
        window->pageEntry(from)->page->completeAction();
        QTRY_VERIFY(iterator->index() > from);
    }
    QCOMPARE(stack->currentWidget(), window->pageEntry(page)->ui->pageWidget());
    const QString expected = toForwardSlashes(
        provider->GetResource(IRessourceProvider::HelpPage, QString::number(page), 0, QString()));
    QCOMPARE(pane->requestedPage(), QUrl::fromLocalFile(expected));
    checkPaneFits(pane, QSize(420, 380));
    saveScreenshot(window.get(), language, QStringLiteral("page%1").arg(page));
}

void tst_DataSetWindow::eventDialogs_data()
{
    QTest::addColumn<int>("event");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QStringList>("buttons"); // object name = message id
    const QStringList close { QStringLiteral("closeButton=31") };
    QTest::newRow("5 communication failed") << 5 << "ERROR" << close;
    QTest::newRow("6 a step failed") << 6 << "ERROR" << close;
    QTest::newRow("7 firmware file") << 7 << "ERROR" << close;
    QTest::newRow("8 adjustment failed") << 8 << "ERROR" << close;
    QTest::newRow("9 cover or ribbon")
        << 9 << "WARNING"
        << QStringList { QStringLiteral("continueButton=35"), QStringLiteral("returnButton=36") };
    // No page raises information; its title and button must fit all the same.
    QTest::newRow("information") << 5 << "INFO" << QStringList { QStringLiteral("closeButton=33") };
}

void tst_DataSetWindow::eventDialogs()
{
    QFETCH(int, event);
    QFETCH(QString, kind);
    QFETCH(QStringList, buttons);
    // As the iterator opens it for a page's event: family 0, help hidden.
    EventDialog dialog(window.get(), kind, nullptr, provider.get(), window->settings(), event, 0, true,
        QString(), QString());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    auto* title = dialog.findChild<QLabel*>(QStringLiteral("titleLabel"));
    QVERIFY(title);
    // Centred on the banner, clear of the icon at its left (9 to 39).
    const int need = title->fontMetrics().horizontalAdvance(title->text());
    const int room = title->width() - 2 * (39 + 6 - title->x());
    qInfo("dialog title \"%s\": %d of %d px", qPrintable(title->text()), need, room);
    QVERIFY2(!title->text().isEmpty() && need <= room, qPrintable(title->text()));

    buttons << QStringLiteral("helpButton=4");
    for (const QString& entry : buttons) {
        const QStringList parts = entry.split(QLatin1Char('='));
        auto* button = dialog.findChild<QPushButton*>(parts.at(0));
        QVERIFY2(button, qPrintable(parts.at(0)));
        QCOMPARE(button->text(), text(parts.at(1)));
        QCOMPARE(button->size(), QSize(75, 23));
        const int textNeed = button->fontMetrics().horizontalAdvance(button->text());
        const int textRoom = buttonTextRoom(button, button->size());
        qInfo("dialog button \"%s\": %d of %d px", qPrintable(button->text()), textNeed, textRoom);
        QVERIFY2(textNeed <= textRoom, qPrintable(button->text()));
    }

    checkPaneFits(dialog.pane(), QSize(484, 160));
    saveScreenshot(&dialog, language, QStringLiteral("event%1-%2").arg(event).arg(kind.toLower()));
}

void tst_DataSetWindow::waitBoxSteps_data()
{
    QTest::addColumn<QString>("step"); // message id of its name
    QTest::addColumn<int>("waitMs");
    QTest::newRow("taking over") << "21" << 0;
    QTest::newRow("reading the version") << "22" << 0;
    QTest::newRow("the tool stops") << "23" << 3000;
    QTest::newRow("sending the firmware") << "24" << 0;
    QTest::newRow("the printer restarts") << "25" << 30000;
    QTest::newRow("checking cover and ribbon") << "26" << 0;
    QTest::newRow("adjusting") << "27" << 0;
    QTest::newRow("handing back") << "28" << 0;
    // A message file without the step's name: the bar alone, the box unchanged.
    QTest::newRow("no text") << "29" << 0;
}

void tst_DataSetWindow::waitBoxSteps()
{
    QFETCH(QString, step);
    QFETCH(int, waitMs);
    std::unique_ptr<QMessageBox> box(WaitProgress::makeWaitBox(provider.get()));
    auto* progress = box->findChild<WaitProgress*>();
    QVERIFY(progress);
    box->show();
    QVERIFY(QTest::qWaitForWindowExposed(box.get()));
    const QSize before = box->size();
    progress->showStep(step, waitMs);
    QTest::qWait(waitMs > 0 ? 1200 : 50);
    QCOMPARE(box->size(), before);

    auto* label = progress->findChild<QLabel*>(QStringLiteral("waitStepLabel"));
    auto* bar = progress->findChild<QProgressBar*>(QStringLiteral("waitProgressBar"));
    QVERIFY(label && bar);
    QCOMPARE(label->text().isEmpty(), text(step).isEmpty());
    QVERIFY2(!label->text().contains(QLatin1String("%1")), qPrintable(label->text()));
    // One line each, in the width the box gives it.
    const int need = label->fontMetrics().horizontalAdvance(label->text());
    qInfo("wait step \"%s\": %d of %d px", qPrintable(label->text()), need, label->width());
    QVERIFY2(need <= label->width(), qPrintable(label->text()));
    if (waitMs > 0) {
        // Filling over its time, a second or so into it, with the seconds left.
        QCOMPARE(bar->maximum(), waitMs);
        QVERIFY2(bar->value() >= 1000 && bar->value() < waitMs, qPrintable(QString::number(bar->value())));
        static const QRegularExpression number(QStringLiteral("(\\d+)"));
        const int secondsLeft = number.match(label->text()).captured(1).toInt();
        QVERIFY2(secondsLeft >= 1 && secondsLeft < waitMs / 1000, qPrintable(label->text()));
    } else {
        QCOMPARE(bar->maximum(), 0); // busy
    }
    QCOMPARE(bar->accessibleName(), label->text());
    saveScreenshot(box.get(), language, QStringLiteral("wait-") + step);
}

QTEST_MAIN(tst_DataSetWindow)
#include "tst_datasetwindow.moc"
