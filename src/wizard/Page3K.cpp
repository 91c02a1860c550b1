// SPDX-License-Identifier: MIT
#include "wizard/Page3K.h"

#include "wizard/PageViewUI.h"
#include "wizard/WizardSettings.h"

namespace wizard {

Page3K::Page3K(
    QWidget* mainWindow, WizardRessourceProvider* resourceProvider, ILogger* logger, WizardSettings* settings)
    : WizardActionPage(PageClass::adjustment, L"Page3K", mainWindow, resourceProvider, logger, settings)
{
    setView(new Page3UI(mainWindow, resourceProvider, logger, settings));
    initActionPage();
}

void Page3K::startAction()
{
    tracePage(L"startAction");
    runInBackground([this] { return applyAction(); });
}

void Page3K::rollbackAction()
{
    // Back to the page after the firmware update when there was one, else
    // straight to the printer selection.
    m_previousPageIndex = settings->firmwareCurrent == 0 ? 2 : 0;
    completeRollback();
}

bool Page3K::applyAction()
{
    tracePage(L"applyAction");
    // The adjustment is not wired to the printer yet: the step fails and the
    // printer is handed back, so nothing can look like success.
    raiseError(stepFailed);
    handBackPrinter();
    return true;
}

std::int32_t Page3K::checkCoverOpen()
{
    tracePage(L"checkCoverOpen");
    return statusOrHandBackFailure;
}

} // namespace wizard
