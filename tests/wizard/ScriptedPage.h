// SPDX-License-Identifier: MIT
#pragma once

#include "wizard/MainWizardFrameUI.h"
#include "wizard/PageViewUI.h"
#include "wizard/WizardActionPage.h"

#include <QSemaphore>
#include <QThread>

#include <atomic>
#include <functional>

namespace wizard::test {

// A page built on the wizard's shared page base, with the ids and flags of the
// page class it stands for, whose Next runs what the test scripts: in the
// background behind the wait box for the classes that have a background
// action (0, 1, 3), at once for the others. Its view is the HTML view of its
// class's number.
class ScriptedPage : public WizardActionPage {
    Q_OBJECT
public:
    ScriptedPage(PageClass pageClass, MainWizardFrameUI* mainWindow,
        WizardRessourceProvider* resourceProvider, ILogger* logger, WizardSettings* settings)
        : WizardActionPage(pageClass, L"ScriptedPage", mainWindow, resourceProvider, logger, settings)
        , background(pageClass == PageClass::selection || pageClass == PageClass::firmware
              || pageClass == PageClass::adjustment)
    {
        setView(new PageViewUI(static_cast<int>(pageClass), mainWindow, resourceProvider, logger, settings));
        initActionPage();
    }

    void startAction() override
    {
        ++started;
        if (background)
            runInBackground([this] {
                onPoolThread = QThread::currentThread() != thread();
                script(*this);
                return true;
            });
        else
            script(*this);
    }

    void rollbackAction() override
    {
        ++rolledBack;
        WizardActionPage::rollbackAction();
    }

    // What Next does; by default the page completes.
    std::function<void(ScriptedPage&)> script = [](ScriptedPage& page) { page.completeAction(); };

    using WizardActionPage::raiseError;
    using WizardActionPage::raiseWarning;
    bool answer() const { return warningAnswer; }
    void setNextPageIndex(int index) { m_nextPageIndex = index; }

    int started = 0;
    int rolledBack = 0;
    std::atomic<bool> onPoolThread { false };
    bool background;
};

} // namespace wizard::test
