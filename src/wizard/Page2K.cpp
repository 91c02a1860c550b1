// SPDX-License-Identifier: MIT
#include "wizard/Page2K.h"

#include "wizard/PageViewUI.h"

namespace wizard {

Page2K::Page2K(
    QWidget* mainWindow, WizardRessourceProvider* resourceProvider, ILogger* logger, WizardSettings* settings)
    : WizardActionPage(PageClass::afterFirmware, L"Page2K", mainWindow, resourceProvider, logger, settings)
{
    setView(new Page2UI(mainWindow, resourceProvider, logger, settings));
    initActionPage();
}

void Page2K::initActionPage()
{
    WizardActionPage::initActionPage();
    Q_EMIT initActionPageUI();
}

void Page2K::startAction()
{
    tracePage(L"startAction");
    completeAction();
}

} // namespace wizard
