// SPDX-License-Identifier: MIT
#pragma once

#include "wizard/IWizardActionPageUI.h"

#include <QMap>
#include <QWidget>

class QComboBox;
class QLabel;
class QPushButton;

namespace wizard {

class ILogger;
class WizardRessourceProvider;
struct WizardSettings;

// The printer selection view: the card printers the spooler lists, a
// placeholder first, and a button that lists them again. Only the user's own
// choice (the combo box's activated) picks a printer; building the list
// always ends with none chosen.
class Page0UI : public QWidget, public IWizardActionPageUI {
    Q_OBJECT
    Q_INTERFACES(wizard::IWizardActionPageUI)
public:
    Page0UI(QWidget* mainWindow, WizardRessourceProvider* resourceProvider, ILogger* logger,
        WizardSettings* settings);

    QWidget* pageWidget() override;

Q_SIGNALS:
    void printerSelected(bool state);
    void SpecialRefreshUI();

public Q_SLOTS:
    void retranslateUI();
    void LoadSettings();
    void PrinterComboBoxIndexChanged(int index);
    void ManageRefreshPushButton();

private:
    void buildList();
    QString text(const char* id) const;

    QLabel* titleLabel;
    QLabel* infoLabel;
    QLabel* noteLabel;
    QComboBox* printerCombo;
    QPushButton* refreshButton;
    QMap<QString, qint32> printers;
    ILogger* logger;
    WizardRessourceProvider* resourceProvider;
    WizardSettings* settings;
    QWidget* mainWindow;
};

} // namespace wizard
