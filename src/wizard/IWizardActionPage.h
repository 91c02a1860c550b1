// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QString>

namespace wizard {

// One step of the wizard, as the iterator drives it. The operations stand in
// their fixed order; the signals are declared by the page classes.
class IWizardActionPage : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Puts the page into its starting state: the seven button flags.
    virtual void initActionPage() = 0;
    // Next was pressed on this page.
    virtual void startAction() = 0;
    // Abort was pressed on this page.
    virtual void abortAction() = 0;
    // Previous was pressed on this page.
    virtual void rollbackAction() = 0;
    // Message id of the page's Help target.
    virtual QString helpId() = 0;
    virtual void raiseWarning(
        int errorID, int printerType, bool isHelpHidden, QString urlHelpID, QString parameter)
        = 0;
    virtual void raiseInfo(
        int errorID, int printerType, bool isHelpHidden, QString urlHelpID, QString parameter)
        = 0;
    virtual void raiseError(
        int errorID, int printerType, bool isHelpHidden, QString urlHelpID, QString parameter)
        = 0;
    virtual void completeAction() = 0;
    virtual bool isNextEnabled() = 0;
    virtual bool isNextHidden() = 0;
    virtual bool isPreviousEnabled() = 0;
    virtual bool isPreviousHidden() = 0;
    virtual bool isAbortEnabled() = 0;
    virtual bool isAbortHidden() = 0;
    virtual bool isHelpHidden() = 0;
    // Each setter stores its flag and emits stateChanged, also when the value
    // does not change.
    virtual void setNextEnabled(bool enabled) = 0;
    virtual void setPreviousEnabled(bool enabled) = 0;
    virtual void setAbortEnabled(bool enabled) = 0;
    virtual void setNextHidden(bool hidden) = 0;
    virtual void setPreviousHidden(bool hidden) = 0;
    virtual void setAbortHidden(bool hidden) = 0;
    virtual void setHelpHidden(bool hidden) = 0;
    virtual int pageId() = 0;
    // Indexes, in the page array, of the pages after and before this one.
    virtual int nextPageIndex() = 0;
    virtual int previousPageIndex() = 0;
    // Message id of the step's title.
    virtual QString stepTitleId() = 0;
};

} // namespace wizard
