// SPDX-License-Identifier: MIT
#include "wizard/Page0K.h"

#include "wizard/MainWizardFrameUI.h"
#include "wizard/Page0UI.h"

namespace wizard {

Page0K::Page0K(
    QWidget* mainWindow, WizardRessourceProvider* resourceProvider, ILogger* logger, WizardSettings* settings)
    : WizardActionPage(PageClass::selection, L"Page0K", mainWindow, resourceProvider, logger, settings)
{
    auto* selection = new Page0UI(mainWindow, resourceProvider, logger, settings);
    setView(selection);
    connect(selection, &Page0UI::printerSelected, this, &Page0K::onSelectedPrinter, Qt::AutoConnection);
    if (auto* frame = qobject_cast<MainWizardFrameUI*>(mainWindow))
        connect(selection, &Page0UI::SpecialRefreshUI, frame, &MainWizardFrameUI::onSpecialRefreshUI,
            Qt::AutoConnection);
    initActionPage();
}

void Page0K::onSelectedPrinter(bool state)
{
    setNextEnabled(state);
}

void Page0K::startAction()
{
    tracePage(L"startAction");
    runInBackground([this] { return applyAction(); });
}

bool Page0K::applyAction()
{
    tracePage(L"applyAction");
    // The take-over is not wired to the printer yet: the step fails before
    // anything of the printer's is touched.
    raiseError(stepFailed);
    return true;
}

} // namespace wizard
