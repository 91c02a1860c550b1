// SPDX-License-Identifier: MIT
#include "WzCommon/Src/EventDialog.h"

#include "foundation/ParameterFile.h"
#include "foundation/WizardRessourceProvider.h"
#include "system/SystemQt.h"
#include "wizard/HtmlPane.h"
#include "wizard/MainWizardFrameUI.h"
#include "wizard/WizardSettings.h"

#include <QAccessibleWidget>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>

namespace wizard {

namespace {

constexpr int buttonWidth = 75;
constexpr int buttonHeight = 23;
constexpr int buttonY = 220;

QAccessibleInterface* eventDialogAccessible(const QString& className, QObject* object)
{
    if (className == QLatin1String("wizard::EventDialog") && object && object->isWidgetType())
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::AlertMessage);
    return nullptr;
}

} // namespace

EventDialog::EventDialog(MainWizardFrameUI* mainWindow, QString kind, ILogger* logger,
    WizardRessourceProvider* resourceProvider, WizardSettings* settings, int errorID, int printerType,
    bool isHelpHidden, QString urlHelp, QString parameter)
    : QDialog(nullptr)
    , mainWindow(mainWindow)
    , logger(logger)
    , resourceProvider(resourceProvider)
    , settings(settings)
    , errorCloseButton(nullptr)
    , continueButton(nullptr)
    , returnButton(nullptr)
    , infoCloseButton(nullptr)
    , helpTarget(urlHelp)
{
    setObjectName(QStringLiteral("eventDialog"));
    setWindowTitle(text("7"));

    backgroundLabel = new QLabel(this);
    backgroundLabel->setObjectName(QStringLiteral("backgroundLabel"));
    const QPixmap background = picture(4);
    backgroundLabel->setPixmap(background);
    backgroundLabel->setGeometry(0, 0, background.width(), background.height());

    bannerLabel = new QLabel(this);
    bannerLabel->setObjectName(QStringLiteral("bannerLabel"));
    bannerLabel->setGeometry(4, 4, 492, 42);
    bannerLabel->setPixmap(picture(5));

    titleLabel = new QLabel(this);
    titleLabel->setObjectName(QStringLiteral("titleLabel"));
    titleLabel->setGeometry(4, 4, 492, 42);
    const QString colour
        = mainWindow ? mainWindow->parameterMap()->value(QStringLiteral("BannerFontColor")) : QString();
    titleLabel->setStyleSheet(
        QStringLiteral("color: ") + colour + QStringLiteral("; font: bold; font-size: 12pt"));
    titleLabel->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    titleLabel->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);

    iconLabel = new QLabel(this);
    iconLabel->setObjectName(QStringLiteral("iconLabel"));
    iconLabel->setGeometry(9, 10, 30, 30);
    iconLabel->setAlignment(Qt::AlignCenter);
    iconLabel->setScaledContents(true);

    helpButton = new QPushButton(this);
    helpButton->setObjectName(QStringLiteral("helpButton"));
    helpButton->setMinimumSize(buttonWidth, buttonHeight);
    helpButton->setText(text("4"));
    helpButton->setGeometry(25, buttonY, buttonWidth, buttonHeight);
    helpButton->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Fixed);
    helpButton->setAutoDefault(false);
    helpButton->setHidden(isHelpHidden);
    connect(helpButton, &QPushButton::clicked, this, &EventDialog::onHelpClicked, Qt::AutoConnection);

    setFixedSize(width, height);
    setWindowFlags(Qt::WindowTitleHint);

    webView = new HtmlPane(this, 484, 160);
    webView->setObjectName(QStringLiteral("eventPane"));
    webView->setGeometry(8, 50, 484, 160);

    int iconNumber;
    if (kind == QLatin1String("ERROR")) {
        titleLabel->setText(text("30"));
        iconNumber = 6;
        errorCloseButton = makeButton("closeButton", "31", 420);
        connect(errorCloseButton, &QPushButton::clicked, this, &QDialog::close, Qt::AutoConnection);
    } else if (kind == QLatin1String("INFO")) {
        titleLabel->setText(text("34"));
        iconNumber = 7;
        infoCloseButton = makeButton("closeButton", "33", 420);
        connect(infoCloseButton, &QPushButton::clicked, this, &QDialog::close, Qt::AutoConnection);
    } else {
        titleLabel->setText(text("32"));
        iconNumber = 8;
        continueButton = makeButton("continueButton", "35", 338);
        returnButton = makeButton("returnButton", "36", 420);
        connect(
            continueButton, &QPushButton::clicked, this, &EventDialog::onContinueClicked, Qt::AutoConnection);
        connect(returnButton, &QPushButton::clicked, this, &EventDialog::onReturnClicked, Qt::AutoConnection);
    }
    iconLabel->setPixmap(picture(iconNumber));

    const QString path = resourceProvider ? resourceProvider->GetResource(
                             IRessourceProvider::HelpPage, QString::number(errorID), printerType, parameter)
                                          : QString();
    // A screen reader announces the dialog as an alert, by its kind, and reads
    // the title of the page that explains the event as its description.
    static const bool alertRole = (QAccessible::installFactory(&eventDialogAccessible), true);
    (void)alertRole;
    setAccessibleName(titleLabel->text());
    connect(
        webView, &HtmlPane::pageTitleChanged, this, &QWidget::setAccessibleDescription, Qt::AutoConnection);
    webView->showPage(toForwardSlashes(path));
    webView->setStyleSheet(QStringLiteral("background-color: transparent;"));
    webView->show();
}

EventDialog::~EventDialog() = default;

QString EventDialog::text(const char* id) const
{
    if (!resourceProvider)
        return QString();
    return resourceProvider->GetResource(IRessourceProvider::Text, QString::fromLatin1(id), 0, QString());
}

QPixmap EventDialog::picture(int number) const
{
    return mainWindow ? QPixmap(mainWindow->imagePath(number)) : QPixmap();
}

QPushButton* EventDialog::makeButton(const char* name, const char* textId, int x)
{
    auto* button = new QPushButton(this);
    button->setObjectName(QString::fromLatin1(name));
    button->setMinimumSize(buttonWidth, buttonHeight);
    button->setText(text(textId));
    button->setGeometry(x, buttonY, buttonWidth, buttonHeight);
    button->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Fixed);
    button->setAutoDefault(false);
    return button;
}

void EventDialog::onContinueClicked()
{
    accept();
}

void EventDialog::onReturnClicked()
{
    reject();
}

void EventDialog::onHelpClicked()
{
    if (!mainWindow)
        return;
    const QString table
        = mainWindow->applicationDir() + mainWindow->parameterMap()->value(QStringLiteral("DrvTypePath"));
    const QString driverType = lookupByPrinterType(settings->printerType, table, QString());
    QString target = sys::replaceDrvType(helpTarget, driverType);
    if (!target.isEmpty())
        target.prepend(QStringLiteral("start "));
    sys::runCmd(target, QString(), false, false);
}

} // namespace wizard
