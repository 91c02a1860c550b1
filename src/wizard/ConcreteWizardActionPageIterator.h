// SPDX-License-Identifier: MIT
#pragma once

#include "wizard/IWizardActionPageIterator.h"

class QWidget;

namespace wizard {

class EventDialog;
class ILogger;
class MainWizardFrameUI;
class WizardRessourceProvider;
struct WizardPageEntry;
struct WizardSettings;

// Holds the current position in the page array, forwards the window's button
// requests to the current page, turns completions into page changes and a
// page's events into event dialogs. It trusts the indexes the pages give.
class ConcreteWizardActionPageIterator : public IWizardActionPageIterator {
    Q_OBJECT
public:
    ConcreteWizardActionPageIterator(MainWizardFrameUI* mainWindow, ILogger* logger,
        WizardRessourceProvider* resourceProvider, WizardSettings* settings, WizardPageEntry* pages,
        int count);

    bool isPreviousEnabled() override;
    bool isPreviousHidden() override;
    void previous() override;
    bool isNextEnabled() override;
    bool isNextHidden() override;
    void next() override;
    bool isAbortEnabled() override;
    bool isAbortHidden() override;
    void abort() override;
    bool isHelpHidden() override;
    QString helpId() override;

    int index() const { return currentIndex; }
    // The event dialog on screen, or null.
    EventDialog* shownDialog() const { return currentDialog; }

Q_SIGNALS:
    void exitWizard();
    void nextDone(QWidget* page);
    void previousDone(QWidget* page);
    void abortDone();
    void helpDone();
    void resultWarning(bool result, int pageID);

public Q_SLOTS:
    void onError(int errorID, int printerType = 0, bool isHelpHidden = true, QString urlHelp = QString(),
        QString parameter = QString());
    void onWarning(int errorID, int pageID, int printerType = 0, bool isHelpHidden = true,
        QString urlHelp = QString(), QString parameter = QString());
    void onInfo(int errorID, int printerType = 0, bool isHelpHidden = true, QString urlHelp = QString(),
        QString parameter = QString());
    void onActionCompleted();
    void onRollbackCompleted();
    void onAbortCompleted();

private:
    // Shows one event modally; the dialog's result.
    int showEvent(const QString& kind, int errorID, int printerType, bool isHelpHidden,
        const QString& urlHelp, const QString& parameter);
    QWidget* widgetAt(int index) const;

    MainWizardFrameUI* mainWindow;
    ILogger* logger;
    WizardRessourceProvider* resourceProvider;
    WizardSettings* settings;
    int count;
    int currentIndex;
    WizardPageEntry* pages;
    EventDialog* currentDialog;
};

} // namespace wizard
