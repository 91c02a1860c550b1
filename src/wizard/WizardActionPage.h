// SPDX-License-Identifier: MIT
#pragma once

#include "wizard/IWizardActionPage.h"
#include "wizard/IWizardActionPageUI.h"
#include "wizard/PageTable.h"
#include "wizard/PrinterSteps.h"

#include <functional>

class QWidget;

namespace wizard {

class ILogger;
class PrinterHold;
class WizardRessourceProvider;
struct WizardSettings;

// What every page has in common: the members, the button flags with their
// setters, the signals, the event and completion operations, the background
// run behind the wait box and the abort confirmation. A page class adds its
// view, its own steps and, where it has one, its background action.
class WizardActionPage : public IWizardActionPage, public IWizardActionPageUI, protected PrinterStepsHost {
    Q_OBJECT
    Q_INTERFACES(wizard::IWizardActionPageUI)
public:
    ~WizardActionPage() override;

    void initActionPage() override;
    void abortAction() override;
    void rollbackAction() override;
    QString helpId() override;
    void raiseWarning(
        int errorID, int printerType, bool isHelpHidden, QString urlHelpID, QString parameter) override;
    void raiseInfo(
        int errorID, int printerType, bool isHelpHidden, QString urlHelpID, QString parameter) override;
    void raiseError(
        int errorID, int printerType, bool isHelpHidden, QString urlHelpID, QString parameter) override;
    void completeAction() override;
    bool isNextEnabled() override;
    bool isNextHidden() override;
    bool isPreviousEnabled() override;
    bool isPreviousHidden() override;
    bool isAbortEnabled() override;
    bool isAbortHidden() override;
    bool isHelpHidden() override;
    void setNextEnabled(bool enabled) override;
    void setPreviousEnabled(bool enabled) override;
    void setAbortEnabled(bool enabled) override;
    void setNextHidden(bool hidden) override;
    void setPreviousHidden(bool hidden) override;
    void setAbortHidden(bool hidden) override;
    void setHelpHidden(bool hidden) override;
    int pageId() override;
    int nextPageIndex() override;
    int previousPageIndex() override;
    QString stepTitleId() override;

    QWidget* pageWidget() override;

    virtual void completeRollback();

    // Message ids of the steps the wait box names.
    using StepName = wizard::StepName;

    // The event ids the pages raise.
    enum EventId {
        communicationFailed = PrinterEvent::communicationFailed,
        stepFailed = PrinterEvent::stepFailed,
        firmwareFileUnreadable = PrinterEvent::firmwareFileUnreadable,
        adjustmentFailed = PrinterEvent::adjustmentFailed,
        coverOrRibbon = PrinterEvent::coverOrRibbon,
    };

Q_SIGNALS:
    void errorState(int errorID, int printerType, bool isHelpHidden, QString urlHelpID, QString parameter);
    void infoState(int errorID, int printerType, bool isHelpHidden, QString urlHelpID, QString parameter);
    void warningState(
        int errorID, int pageID, int printerType, bool isHelpHidden, QString urlHelpID, QString parameter);
    void actionComplete();
    void rollbackComplete();
    void abortComplete();
    void stateChanged();
    void exitWizard();
    void translateUI();
    // The background action's step under way, for the wait box: the message
    // id of its name, and the length of a wait of known length (else 0).
    void actionStep(QString stepNameId, int waitMs);

public Q_SLOTS:
    void onResultWarning(bool result, int pageID);

protected:
    // pageName is the class's own name ("Page1K"), which every trace line carries.
    WizardActionPage(PageClass pageClass, const wchar_t* pageName, QWidget* mainWindow,
        WizardRessourceProvider* resourceProvider, ILogger* logger, WizardSettings* settings);

    // Takes ownership of the page's view; called once by the page's constructor.
    void setView(IWizardActionPageUI* pageView);

    // Writes "[level] [PageNK] [tag] [step] {wizard::PageNK::operation}"; no
    // step part when step is null, and operation defaults to tag.
    void tracePage(const wchar_t* tag, const wchar_t* step = nullptr, const wchar_t* operation = nullptr);

    // Runs action on the global thread pool behind a modal box that the user
    // cannot close, and returns once the action has ended. The action reports
    // only through signals; its result is not looked at.
    void runInBackground(const std::function<bool()>& action);

    // An event with the values every page uses: printer type 0, no Help, no
    // help target, no parameter.
    void raiseError(int errorID);
    void raiseWarning(int errorID);

    // Asks the user whether to abort; true when the user confirmed.
    bool confirmAbort();
    // What a confirmed abort does before abortComplete: hands the printer back.
    virtual void abortCleanup();
    // Hands the printer back: bidirectional support on, the management tool
    // started; the wizard's hold ends with it.
    bool handBackPrinter();
    // The wizard is asked to end: an action starts no further exchange with
    // the printer and leaves the hand-back to the window.
    bool ending() const override;

    // The printer steps report here: the wait box shows their steps (queued,
    // like every other report of the action), the warning asks the user, the
    // window's hold learns of the take-over.
    void stepStarted(const char* stepNameId, int waitMs) override;
    bool retryAfterWarning(int eventId) override;
    void held() override;
    bool handBack() override { return handBackPrinter(); }
    // Whether another wizard that runs holds the printer; if so, raises event
    // 6 (and touches nothing). Asked before the first exchange with it.
    bool anotherWizardHolds();
    // The window's record of the held printer; null for a page without a window.
    PrinterHold* printerHold() const { return hold; }

    QString text(const char* id) const;

    QWidget* mainWindow;
    ILogger* logger;
    WizardRessourceProvider* resourceProvider;
    IWizardActionPageUI* view;
    WizardSettings* settings;

    bool nextEnabled = false;
    bool previousEnabled = false;
    bool abortEnabled = false;
    bool nextHidden = false;
    bool previousHidden = false;
    bool abortHidden = false;
    bool helpHidden = false;

    // Written on the user-interface thread by onResultWarning; read by the
    // action on its pool thread only after the blocking warning has returned.
    bool warningAnswer;
    int m_pageId;
    int m_previousPageIndex;
    int m_nextPageIndex;
    QString m_stepTitleId;
    QString m_helpId;

private:
    PrinterHold* hold;
    const PageRow& row;
    const wchar_t* pageName;
};

} // namespace wizard
