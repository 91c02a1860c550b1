// SPDX-License-Identifier: MIT
#include "wizard/Page0UI.h"

#include "wizard/PrinterHold.h"

#include "foundation/WizardRessourceProvider.h"
#include "system/SystemQt.h"
#include "wizard/MainWizardFrameUI.h"
#include "wizard/WizardSettings.h"

#include <QComboBox>
#include <QFont>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>

namespace wizard {

namespace {

QLabel* makeLabel(QWidget* parent, const char* name, const QRect& geometry)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(geometry);
    label->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    label->setWordWrap(true);
    return label;
}

} // namespace

Page0UI::Page0UI(
    QWidget* mainWindow, WizardRessourceProvider* resourceProvider, ILogger* logger, WizardSettings* settings)
    : QWidget(mainWindow)
    , logger(logger)
    , resourceProvider(resourceProvider)
    , settings(settings)
    , mainWindow(mainWindow)
{
    setObjectName(QStringLiteral("page0View"));
    auto* frame = qobject_cast<MainWizardFrameUI*>(mainWindow);

    titleLabel = makeLabel(this, "titleLabel", QRect(10, 20, 410, 40));
    QFont titleFont = titleLabel->font();
    titleFont.setBold(true);
    titleFont.setPointSize(12);
    titleLabel->setFont(titleFont);
    titleLabel->setStyleSheet(QStringLiteral("color: red;"));
    titleLabel->setAlignment(Qt::AlignTop);

    infoLabel = makeLabel(this, "infoLabel", QRect(15, 85, 405, 16));

    printerCombo = new QComboBox(this);
    printerCombo->setObjectName(QStringLiteral("printerCombo"));
    printerCombo->setGeometry(15, 105, 375, 22);
    printerCombo->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);

    refreshButton = new QPushButton(this);
    refreshButton->setObjectName(QStringLiteral("refreshButton"));
    refreshButton->setGeometry(395, 104, 24, 24);
    refreshButton->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    refreshButton->setAutoDefault(false);
    refreshButton->setDefault(false);
    if (frame)
        refreshButton->setIcon(QIcon(frame->applicationDir() + frame->imageFile(50)));

    noteLabel = makeLabel(this, "noteLabel", QRect(15, 320, 405, 32));
    noteLabel->setAlignment(Qt::AlignBottom);

    connect(
        printerCombo, &QComboBox::activated, this, &Page0UI::PrinterComboBoxIndexChanged, Qt::AutoConnection);
    connect(
        refreshButton, &QPushButton::clicked, this, &Page0UI::ManageRefreshPushButton, Qt::AutoConnection);

    buildList();

    if (frame)
        connect(frame, &MainWizardFrameUI::refreshUI, this, &Page0UI::retranslateUI, Qt::AutoConnection);
}

QWidget* Page0UI::pageWidget()
{
    return this;
}

QString Page0UI::text(const char* id) const
{
    if (!resourceProvider)
        return QString();
    return resourceProvider->GetResource(IRessourceProvider::Text, QString::fromLatin1(id), 0, QString());
}

void Page0UI::retranslateUI()
{
    titleLabel->setText(text("40"));
    infoLabel->setText(text("41"));
    noteLabel->setText(text("43"));
    if (printerCombo->count() > 0)
        printerCombo->setItemText(0, text("42"));
    refreshButton->setToolTip(text("44"));
    // The list is named by the line above it (a screen reader on Linux reads
    // the label; others the name); the button shows only a picture.
    infoLabel->setBuddy(printerCombo);
    printerCombo->setAccessibleName(text("41").remove(QRegularExpression(QStringLiteral("[\\s:]+$"))));
    refreshButton->setAccessibleName(text("44"));
}

void Page0UI::LoadSettings()
{
    buildList();
}

void Page0UI::ManageRefreshPushButton()
{
    buildList();
}

void Page0UI::buildList()
{
    printers.clear();
    printerCombo->clear();
    printerCombo->insertItem(0, QString());

    auto* frame = qobject_cast<MainWizardFrameUI*>(mainWindow);
    const QMap<QString, qint32> driverTable = frame ? frame->copyDriverTable() : QMap<QString, qint32>();
    if (sys::listWizardPrinters(printers, true, true, driverTable)) {
        int index = 1;
        for (auto it = printers.cbegin(); it != printers.cend(); ++it) {
            // A queue left held by a wizard that no longer runs is handed back
            // here, or it would stay paused for good.
            PrinterHold::releaseStale(it.key(), logger);
            printerCombo->insertItem(index++, it.key());
        }
    }

    retranslateUI();
    settings->printerName.clear();
    Q_EMIT printerSelected(false);
}

void Page0UI::PrinterComboBoxIndexChanged(int index)
{
    if (index == 0) {
        settings->printerName.clear();
        Q_EMIT printerSelected(false);
        return;
    }
    settings->printerName = printerCombo->itemText(index);
    settings->printerType = printers.value(settings->printerName, 0);
    Q_EMIT SpecialRefreshUI();
    Q_EMIT printerSelected(true);
}

} // namespace wizard
