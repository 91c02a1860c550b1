// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QString>

namespace wizard {

// The main window's view of the pages: each operation forwards to the page
// that is current.
class IWizardActionPageIterator : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual bool isPreviousEnabled() = 0;
    virtual bool isPreviousHidden() = 0;
    virtual void previous() = 0;
    virtual bool isNextEnabled() = 0;
    virtual bool isNextHidden() = 0;
    virtual void next() = 0;
    virtual bool isAbortEnabled() = 0;
    virtual bool isAbortHidden() = 0;
    virtual void abort() = 0;
    virtual bool isHelpHidden() = 0;
    virtual QString helpId() = 0;
};

} // namespace wizard
