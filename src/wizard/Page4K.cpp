// SPDX-License-Identifier: MIT
#include "wizard/Page4K.h"

#include "wizard/PageViewUI.h"

namespace wizard {

Page4K::Page4K(
    QWidget* mainWindow, WizardRessourceProvider* resourceProvider, ILogger* logger, WizardSettings* settings)
    : WizardActionPage(PageClass::final, L"Page4K", mainWindow, resourceProvider, logger, settings)
{
    setView(new Page4UI(mainWindow, resourceProvider, logger, settings));
    initActionPage();
}

void Page4K::startAction()
{
    tracePage(L"startAction");
    completeAction();
}

void Page4K::abortCleanup()
{
    // The printer was handed back when the adjustment succeeded.
}

} // namespace wizard
