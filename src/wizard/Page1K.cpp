// SPDX-License-Identifier: MIT
#include "wizard/Page1K.h"

#include "wizard/PageViewUI.h"

namespace wizard {

Page1K::Page1K(
    QWidget* mainWindow, WizardRessourceProvider* resourceProvider, ILogger* logger, WizardSettings* settings)
    : WizardActionPage(PageClass::firmware, L"Page1K", mainWindow, resourceProvider, logger, settings)
{
    setView(new Page1UI(mainWindow, resourceProvider, logger, settings));
    initActionPage();
}

void Page1K::startAction()
{
    tracePage(L"startAction");
    runInBackground([this] { return applyAction(); });
}

bool Page1K::applyAction()
{
    tracePage(L"applyAction");
    // The download is not wired to the printer yet: the step fails and the
    // printer is handed back, so nothing can look like an update.
    raiseError(stepFailed);
    handBackPrinter();
    return true;
}

std::int32_t Page1K::OnDownloadFw(const wchar_t* firmwareFileName)
{
    (void)firmwareFileName;
    tracePage(L"OnDownloadFw");
    return 0;
}

} // namespace wizard
