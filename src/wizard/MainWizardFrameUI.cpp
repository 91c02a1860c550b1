// SPDX-License-Identifier: MIT
#include "wizard/MainWizardFrameUI.h"

#include "foundation/ParameterFile.h"
#include "foundation/Trace.h"
#include "foundation/WizardRessourceProvider.h"
#include "system/EndRequest.h"
#include "system/SystemLanguage.h"
#include "system/SystemQt.h"
#include "wizard/ConcreteWizardActionPageIterator.h"
#include "wizard/IWizardActionPage.h"
#include "wizard/IWizardActionPageUI.h"
#include "wizard/WAPIteratorBuilder.h"
#include "wizard/WizardActionPage.h"

#include <QApplication>
#include <QBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPalette>
#include <QPixmap>
#include <QPushButton>
#include <QRegularExpression>
#include <QStackedWidget>
#include <QTreeWidget>

namespace wizard {

namespace {

constexpr int windowWidth = 640;
constexpr int windowHeight = 480;
// Bold and normal: 75 and 50 on the toolkit's old 0-99 scale.
constexpr QFont::Weight boldWeight = QFont::Bold;
constexpr QFont::Weight normalWeight = QFont::Normal;

// The one command-line argument that presets the printer: 1 to 120
// characters after the equals sign, one double quote on either side kept.
const QRegularExpression& printerArgumentPattern()
{
    static const QRegularExpression pattern(QStringLiteral("^prnname=(\"?.{1,120}\"?$)"));
    return pattern;
}

const char stepsTreeStyle[]
    = "QTreeWidget {border:0;background-color: transparent;}"
      "QTreeView::item:selected {border: 0px solid #cbcbcb; font: bold;}"
      "QTreeView::item:selected:active {background: qlineargradient(x1: 0, y1: 0, x2: 0, "
      "y2: 1, stop: 0 #dedede, stop: 1 #cbcbcb); color: black}"
      "QTreeView::item:selected:!active {background: qlineargradient(x1: 0, y1: 0, x2: 0, "
      "y2: 1, stop: 0 #dedede, stop: 1 #cbcbcb); color: black}"
      "QTreeView::branch:has-siblings:adjoins-item {border-image: none; image: none; }"
      "QTreeView::branch:!has-children:!has-siblings:adjoins-item {border-image: none; "
      "image: none; }";

QPushButton* makeButton(QWidget* parent, const char* name)
{
    auto* button = new QPushButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setMinimumSize(75, 23);
    button->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Fixed);
    // Return presses the button that has the focus, and Next otherwise.
    button->setAutoDefault(true);
    return button;
}

} // namespace

MainWizardFrameUI::MainWizardFrameUI(ILogger* logger, QStringList arguments, QString applicationDirectory,
    ParameterMap* parameterMap, QWidget* parent, Qt::WindowFlags flags)
    : QDialog(parent, flags | Qt::WindowTitleHint)
    , logger(logger)
    , iterator(nullptr)
    , count(0)
    , pages(nullptr)
    , currentIndex(0)
    , arguments(arguments)
    , resourceProvider(nullptr)
    , parameters(parameterMap)
    , driverCount(0)
    , applicationDirectory(applicationDirectory)
    , stepsTree(nullptr)
    , pageStack(nullptr)
    , previousButton(nullptr)
    , nextButton(nullptr)
    , abortButton(nullptr)
    , helpButton(nullptr)
    , backgroundLabel(nullptr)
    , bannerLabel(nullptr)
    , bannerTitleLabel(nullptr)
    , stepTitleLabel(nullptr)
{
    setObjectName(QStringLiteral("mainWizardFrame"));
    driverTable.clear();
}

MainWizardFrameUI::~MainWizardFrameUI()
{
    delete iterator;
    for (int index = 0; index < count; ++index) {
        traceAddress(logger, L"[WIZARD MEM] FREE - \t PTR: %lx", pages[index].page);
        delete pages[index].page;
    }
    traceAddress(logger, L"[WIZARD MEM] FREE - \t PTR: %lx", pages);
    delete[] pages;
    delete resourceProvider;
}

bool MainWizardFrameUI::parseSettings(QStringList arguments)
{
    wizardSettings.selectPrinter = true;
    wizardSettings.printerName.clear();

    for (int index = 1; index < arguments.size(); ++index) {
        const QRegularExpressionMatch match = printerArgumentPattern().match(arguments.at(index));
        if (!match.hasMatch())
            continue;
        parameters->insert(QStringLiteral("PrnName"), match.captured(1));
        wizardSettings.printerName = match.captured(1);
        wizardSettings.selectPrinter = false;
    }

    if (parameterNumber(parameters->value(QStringLiteral("NoSelectPrn"))) != 0) {
        wizardSettings.selectPrinter = false;
        parameters->insert(QStringLiteral("PrnName"), QString());
    }

    driverCount = parameterNumber(parameters->value(QStringLiteral("NbDriver")));
    driverTable = driverTableOf(*parameters);

    wizardSettings.firmwareName = parameters->value(QStringLiteral("Firmware_Name"));
    wizardSettings.firmwareValue = parameterNumber(parameters->value(QStringLiteral("Firmware_Value")));
    return true;
}

void MainWizardFrameUI::detectSystemLanguage()
{
    wizardSettings.language = QString::fromLatin1(sys::wizardLanguageCode(sys::systemPrimaryLanguage()));
    languageMap.insert(QStringLiteral("LanguageID"), wizardSettings.language);
}

bool MainWizardFrameUI::initWizard()
{
    parseSettings(arguments);
    detectSystemLanguage();

    if (!wizardSettings.selectPrinter && parameters->value(QStringLiteral("PrnName")).isEmpty())
        return false;

    if (!wizardSettings.selectPrinter) {
        const std::wstring name = wizardSettings.printerName.toStdWString();
        wizardSettings.printerType = sys::printerTypeOf(name.c_str(), driverTable);
        PrinterHold::releaseStale(wizardSettings.printerName, logger);
    }

    const QString helpIndexFile = applicationDirectory + parameters->value(QStringLiteral("HTMLFilePath"));
    const QString helpRoot = applicationDirectory + parameters->value(QStringLiteral("HTMLPath"));
    const QString messagePattern = applicationDirectory + parameters->value(QStringLiteral("MessagePath"));
    resourceProvider = new WizardRessourceProvider(logger, QStringLiteral("en"),
        languageMap.value(QStringLiteral("LanguageID")), messagePattern, helpRoot, helpIndexFile);
    resourceProvider->Initialize();

    count = 0;
    pages = nullptr;
    buildUI();
    refresh();
    if (QTreeWidgetItem* item = stepsTree->topLevelItem(currentIndex))
        item->setSelected(true);
    retranslateFrame();
    return true;
}

QString MainWizardFrameUI::text(const QString& id) const
{
    return resourceProvider->GetResource(IRessourceProvider::Text, id, 0, QString());
}

QString MainWizardFrameUI::bannerColour() const
{
    return parameters->value(QStringLiteral("BannerFontColor"));
}

void MainWizardFrameUI::buildUI()
{
    setFixedSize(windowWidth, windowHeight);
    setStyleSheet(QStringLiteral(
        "background-position: top left; background-origin: content; background-repeat: none;"));

    backgroundLabel = new QLabel(this);
    backgroundLabel->setObjectName(QStringLiteral("backgroundLabel"));
    backgroundLabel->setMinimumSize(windowWidth, windowHeight);
    backgroundLabel->setMaximumSize(windowWidth, windowHeight);
    backgroundLabel->move(0, 0);
    backgroundLabel->setPixmap(QPixmap(imagePath(1)));

    bannerLabel = new QLabel(this);
    bannerLabel->setObjectName(QStringLiteral("bannerLabel"));
    bannerLabel->setMinimumSize(630, 50);
    bannerLabel->setMaximumSize(630, 50);
    bannerLabel->setStyleSheet(QStringLiteral("color: white; font: bold"));
    bannerLabel->setPixmap(QPixmap(imagePath(2)));

    bannerTitleLabel = new QLabel(this);
    bannerTitleLabel->setObjectName(QStringLiteral("bannerTitleLabel"));
    bannerTitleLabel->setGeometry(15, 13, 630, 13);
    bannerTitleLabel->setAlignment(Qt::AlignLeft);
    bannerTitleLabel->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    bannerTitleLabel->setStyleSheet(
        QStringLiteral("color: ") + bannerColour() + QStringLiteral("; font: bold"));

    stepTitleLabel = new QLabel(this);
    stepTitleLabel->setObjectName(QStringLiteral("stepTitleLabel"));
    stepTitleLabel->setGeometry(33, 38, 630, 13);
    stepTitleLabel->setAlignment(Qt::AlignLeft);
    stepTitleLabel->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    stepTitleLabel->setStyleSheet(QStringLiteral("color: ") + bannerColour() + QStringLiteral(";"));
    // A line of the banner's font is taller than 13 pixels on most desktops,
    // and a 13-pixel label cuts its descenders off: the labels keep their place
    // and width and grow to the font's line height.
    for (QLabel* label : { bannerTitleLabel, stepTitleLabel }) {
        label->ensurePolished();
        label->resize(label->width(), qMax(label->height(), label->fontMetrics().height()));
    }

    pageStack = new QStackedWidget(this);
    pageStack->setObjectName(QStringLiteral("pageStack"));
    pageStack->setMinimumSize(425, 380);
    pageStack->setMaximumSize(425, 380);
    pageStack->setPalette(QPalette(QColor(Qt::white)));
    pageStack->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    pageStack->setStyleSheet(QString());

    count = wizardSettings.selectPrinter ? 5 : 4;
    pages = buildPages(this, pageStack, logger, resourceProvider, &wizardSettings, count, pageFactory);
    auto* concrete = buildIterator(this, logger, resourceProvider, &wizardSettings, pages, count);
    iterator = concrete;

    // An error ends the wizard on purpose: the page that raised it has tried to
    // hand the printer back already, and closing must not try again.
    connect(concrete, &ConcreteWizardActionPageIterator::exitWizard, this, &MainWizardFrameUI::quit,
        Qt::AutoConnection);
    connect(concrete, &ConcreteWizardActionPageIterator::nextDone, this, &MainWizardFrameUI::onNextDone,
        Qt::AutoConnection);
    connect(concrete, &ConcreteWizardActionPageIterator::previousDone, this,
        &MainWizardFrameUI::onPreviousDone, Qt::AutoConnection);
    connect(concrete, &ConcreteWizardActionPageIterator::abortDone, this, &MainWizardFrameUI::onAbortDone,
        Qt::AutoConnection);
    for (int index = 0; index < count; ++index) {
        auto* page = static_cast<WizardActionPage*>(pages[index].page);
        connect(page, &WizardActionPage::errorState, concrete, &ConcreteWizardActionPageIterator::onError,
            Qt::AutoConnection);
        // The action waits on its pool thread until the user has answered.
        connect(page, &WizardActionPage::warningState, concrete, &ConcreteWizardActionPageIterator::onWarning,
            Qt::BlockingQueuedConnection);
        connect(page, &WizardActionPage::infoState, concrete, &ConcreteWizardActionPageIterator::onInfo,
            Qt::AutoConnection);
        connect(page, &WizardActionPage::actionComplete, concrete,
            &ConcreteWizardActionPageIterator::onActionCompleted, Qt::AutoConnection);
        connect(page, &WizardActionPage::rollbackComplete, concrete,
            &ConcreteWizardActionPageIterator::onRollbackCompleted, Qt::AutoConnection);
        connect(page, &WizardActionPage::abortComplete, concrete,
            &ConcreteWizardActionPageIterator::onAbortCompleted, Qt::AutoConnection);
        connect(concrete, &ConcreteWizardActionPageIterator::resultWarning, page,
            &WizardActionPage::onResultWarning, Qt::AutoConnection);
    }

    nextButton = makeButton(this, "nextButton");
    previousButton = makeButton(this, "previousButton");
    abortButton = makeButton(this, "abortButton");
    helpButton = makeButton(this, "helpButton");
    connect(nextButton, &QPushButton::clicked, this, &MainWizardFrameUI::onNextClicked, Qt::AutoConnection);
    connect(previousButton, &QPushButton::clicked, this, &MainWizardFrameUI::onPreviousClicked,
        Qt::AutoConnection);
    connect(abortButton, &QPushButton::clicked, this, &MainWizardFrameUI::onAbortClicked, Qt::AutoConnection);
    connect(helpButton, &QPushButton::clicked, this, &MainWizardFrameUI::onHelpClicked, Qt::AutoConnection);

    buildStepsTree();

    auto* buttonRow = new QHBoxLayout();
    buttonRow->setContentsMargins(25, 5, 5, 0);
    buttonRow->addWidget(helpButton);
    buttonRow->addStretch(50);
    buttonRow->addWidget(previousButton);
    buttonRow->addStretch(1);
    buttonRow->addWidget(nextButton);
    buttonRow->addStretch(1);
    buttonRow->addWidget(abortButton);

    auto* bannerRow = new QHBoxLayout();
    bannerRow->addWidget(bannerLabel);

    auto* pageRow = new QHBoxLayout();
    pageRow->addWidget(pageStack);
    auto* middleRow = new QHBoxLayout();
    middleRow->addWidget(stepsTree);
    middleRow->addLayout(pageRow);

    auto* outer = new QVBoxLayout();
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    outer->addLayout(bannerRow);
    outer->addLayout(middleRow);
    outer->addLayout(buttonRow);
    setLayout(outer);

    nextButton->setDefault(true);
    // Keyboard order follows the page, then the button row.
    auto* firstPage = pageStack->widget(0);
    auto* printerList = firstPage ? firstPage->findChild<QWidget*>(QStringLiteral("printerCombo")) : nullptr;
    auto* refreshList = firstPage ? firstPage->findChild<QWidget*>(QStringLiteral("refreshButton")) : nullptr;
    if (printerList && refreshList) {
        setTabOrder(printerList, refreshList);
        setTabOrder(refreshList, helpButton);
        printerList->setFocus();
    }
    setTabOrder(helpButton, previousButton);
    setTabOrder(previousButton, nextButton);
    setTabOrder(nextButton, abortButton);
}

void MainWizardFrameUI::buildStepsTree()
{
    stepsTree = new QTreeWidget(this);
    stepsTree->setObjectName(QStringLiteral("stepsTree"));
    stepsTree->setMinimumSize(190, 380);
    stepsTree->setMaximumSize(190, 380);
    stepsTree->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    stepsTree->setHeaderHidden(true);
    stepsTree->setSelectionBehavior(QAbstractItemView::SelectItems);
    // The program marks the current step; the user cannot select one.
    stepsTree->setSelectionMode(QAbstractItemView::NoSelection);
    stepsTree->setIconSize(QSize(28, 28));
    stepsTree->setIndentation(10);
    stepsTree->setStyleSheet(QString::fromLatin1(stepsTreeStyle));
    stepsTree->setFocusPolicy(Qt::NoFocus);

    const QIcon stepIcon(imagePath(3));
    for (int index = 0; index < pageStack->count(); ++index) {
        auto* item = new QTreeWidgetItem();
        item->setIcon(0, stepIcon);
        stepsTree->addTopLevelItem(item);
    }
    if (QTreeWidgetItem* first = stepsTree->topLevelItem(0)) {
        QFont bold = first->font(0);
        bold.setWeight(boldWeight);
        first->setFont(0, bold);
    }
}

void MainWizardFrameUI::retranslateFrame()
{
    setWindowTitle(text(QStringLiteral("7")));
    bannerTitleLabel->setText(text(QStringLiteral("6")));
    stepTitleLabel->setText(text(QStringLiteral("70")));
    nextButton->setText(text(QStringLiteral("1")));
    previousButton->setText(text(QStringLiteral("2")));
    abortButton->setText(text(QStringLiteral("3")));
    helpButton->setText(text(QStringLiteral("4")));
    // What a screen reader says where a control's text does not tell it.
    stepsTree->setAccessibleName(text(QStringLiteral("80")));
    helpButton->setAccessibleDescription(text(QStringLiteral("83")));
    abortButton->setAccessibleDescription(text(QStringLiteral("84")));
    describeCurrentStep();
    for (int index = 0; index < count; ++index) {
        const QString title = text(pages[index].page->stepTitleId());
        if (QTreeWidgetItem* item = stepsTree->topLevelItem(index)) {
            item->setText(0, QString::number(index + 1) + QStringLiteral(". ") + title);
            item->setToolTip(0, title);
        }
    }
    Q_EMIT refreshUI();
}

void MainWizardFrameUI::onSpecialRefreshUI()
{
    retranslateFrame();
}

void MainWizardFrameUI::refresh()
{
    if (!iterator)
        return;
    const bool lastPage = currentIndex + 1 == pageStack->count();
    nextButton->setText(text(lastPage ? QStringLiteral("5") : QStringLiteral("1")));
    nextButton->setEnabled(iterator->isNextEnabled());
    previousButton->setEnabled(iterator->isPreviousEnabled());
    abortButton->setEnabled(iterator->isAbortEnabled());
    previousButton->setHidden(iterator->isPreviousHidden());
    nextButton->setHidden(iterator->isNextHidden());
    abortButton->setHidden(iterator->isAbortHidden());
    // Help is never disabled, only hidden.
    helpButton->setHidden(iterator->isHelpHidden());
}

void MainWizardFrameUI::onNextClicked()
{
    if (currentIndex + 1 == pageStack->count()) {
        endingOnPurpose = true;
        close();
        return;
    }
    iterator->next();
}

void MainWizardFrameUI::onPreviousClicked()
{
    if (currentIndex > 0)
        iterator->previous();
}

void MainWizardFrameUI::onAbortClicked()
{
    iterator->abort();
}

void MainWizardFrameUI::onAbortDone()
{
    endingOnPurpose = true;
    close();
}

void MainWizardFrameUI::quit()
{
    endingOnPurpose = true;
    close();
}

void MainWizardFrameUI::done(int result)
{
    if (!endingOnPurpose && hold.isHeld()) {
        // Never under an action that is still talking to the printer: the
        // hand-back waits until it has ended.
        if (runningActions > 0)
            releasePending = true;
        else
            hold.release();
    }
    QDialog::done(result);
}

void MainWizardFrameUI::actionStarted()
{
    ++runningActions;
}

void MainWizardFrameUI::actionEnded()
{
    if (--runningActions == 0 && releasePending) {
        releasePending = false;
        hold.release();
    }
    // After what the action queued (its error, its completion) has been seen.
    if (runningActions == 0 && endPending) {
        endPending = false;
        QMetaObject::invokeMethod(this, &MainWizardFrameUI::finishEnd, Qt::QueuedConnection);
    }
}

void MainWizardFrameUI::endFromOutside()
{
    if (endAsked)
        return;
    endAsked = true;
    trace(logger, TraceLevel::info, L"[%s] [MainWizardFrameUI] [endFromOutside] {%s}",
        L"wizard::MainWizardFrameUI::endFromOutside");
    sys::requestEnd();
    // Nobody is asked anything any more: an abort question counts as
    // declined, a warning as answered with Return, an event as read.
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget* widget : windows) {
        auto* dialog = qobject_cast<QDialog*>(widget);
        if (dialog && dialog != this && dialog->isVisible()
            && dialog->objectName() != QLatin1String("waitBox"))
            dialog->reject();
    }
    if (runningActions > 0) {
        endPending = true;
        return;
    }
    QMetaObject::invokeMethod(this, &MainWizardFrameUI::finishEnd, Qt::QueuedConnection);
}

void MainWizardFrameUI::finishEnd()
{
    // No action runs and none starts any more: nothing can take the printer
    // again after this.
    hold.release();
    endingOnPurpose = true;
    close();
}

void MainWizardFrameUI::onHelpClicked()
{
    const QString table = applicationDirectory + parameters->value(QStringLiteral("DrvTypePath"));
    const QString driverType = lookupByPrinterType(wizardSettings.printerType, table, QString());
    QString command = sys::replaceDrvType(text(iterator->helpId()), driverType);
    if (!command.isEmpty())
        command.prepend(QStringLiteral("start "));
    sys::runCmd(command, QString(), false, false);
}

void MainWizardFrameUI::onNextDone(QWidget* page)
{
    showPage(page);
}

void MainWizardFrameUI::onPreviousDone(QWidget* page)
{
    showPage(page);
    // Back on the printer selection the user may choose another printer: the
    // one taken over is handed back first, or it would stay held for good.
    if (wizardSettings.selectPrinter && currentIndex == 0)
        hold.release();
}

void MainWizardFrameUI::showPage(QWidget* page)
{
    QFont bold = stepsTree->font();
    bold.setWeight(boldWeight);
    QFont normal = stepsTree->font();
    normal.setWeight(normalWeight);

    pageStack->setCurrentWidget(page);
    if (QTreeWidgetItem* item = stepsTree->topLevelItem(currentIndex)) {
        item->setSelected(false);
        item->setFont(0, normal);
    }
    currentIndex = pageStack->currentIndex();
    if (QTreeWidgetItem* item = stepsTree->topLevelItem(currentIndex)) {
        item->setSelected(true);
        item->setFont(0, bold);
    }
    stepTitleLabel->setText(text(pages[currentIndex].page->stepTitleId()));
    describeCurrentStep();
    refresh();
}

void MainWizardFrameUI::describeCurrentStep()
{
    const QString title = text(pages[currentIndex].page->stepTitleId());
    stepsTree->setAccessibleDescription(
        text(QStringLiteral("81")).arg(currentIndex + 1).arg(count).arg(title));
}

QString MainWizardFrameUI::applicationDir() const
{
    return applicationDirectory;
}

ParameterMap* MainWizardFrameUI::parameterMap() const
{
    return parameters;
}

QMap<QString, qint32> MainWizardFrameUI::copyDriverTable() const
{
    return driverTable;
}

QString MainWizardFrameUI::imageFile(int number) const
{
    ParameterMap table;
    readParameterFile(applicationDirectory + parameters->value(QStringLiteral("ImagePath")), &table);
    const QString key = QString::number(number);
    return table.contains(key) ? table.value(key) : table.value(QString());
}

QString MainWizardFrameUI::imagePath(int number) const
{
    return toForwardSlashes(applicationDirectory + imageFile(number));
}

WizardPageEntry* MainWizardFrameUI::pageEntry(int index) const
{
    return index >= 0 && index < count ? &pages[index] : nullptr;
}

} // namespace wizard
