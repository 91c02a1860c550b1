// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QPushButton;

namespace wizard {

class HtmlPane;
class ILogger;
class MainWizardFrameUI;
class WizardRessourceProvider;
struct WizardSettings;

// The one dialog that tells the user of an error, a warning or a piece of
// information: a banner with the kind's title, its icon, the event's HTML
// page and the kind's buttons. Only a warning's Continue accepts it; every
// other way of closing it rejects.
class EventDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int width = 500;
    static constexpr int height = 250;

    EventDialog(MainWizardFrameUI* mainWindow, QString kind, ILogger* logger,
        WizardRessourceProvider* resourceProvider, WizardSettings* settings, int errorID, int printerType,
        bool isHelpHidden, QString urlHelp, QString parameter);
    ~EventDialog() override;

    HtmlPane* pane() const { return webView; }

public Q_SLOTS:
    void onContinueClicked();
    void onReturnClicked();
    void onHelpClicked();

private:
    QString text(const char* id) const;
    QPushButton* makeButton(const char* name, const char* textId, int x);
    QPixmap picture(int number) const;

    MainWizardFrameUI* mainWindow;
    ILogger* logger;
    WizardRessourceProvider* resourceProvider;
    WizardSettings* settings;
    QLabel* titleLabel;
    QLabel* bannerLabel;
    QLabel* backgroundLabel;
    HtmlPane* webView;
    QLabel* iconLabel;
    QPushButton* errorCloseButton;
    QPushButton* continueButton;
    QPushButton* returnButton;
    QPushButton* infoCloseButton;
    QPushButton* helpButton;
    QString helpTarget;
};

} // namespace wizard
