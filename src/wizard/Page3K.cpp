// SPDX-License-Identifier: MIT
#include "wizard/Page3K.h"

#include "wizard/PageTable.h"
#include "wizard/PageViewUI.h"
#include "wizard/PrinterSteps.h"
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
    if (settings->selectPrinter) {
        // Back to the page after the firmware update when there was one, else
        // straight to the printer selection.
        m_previousPageIndex = settings->firmwareCurrent == 0 ? 2 : 0;
    } else {
        // Four pages: the firmware is always updated first, and the page
        // after the update comes before this one.
        m_previousPageIndex = PageTable::rowOf(false, PageClass::afterFirmware)->pageId;
    }
    completeRollback();
}

bool Page3K::applyAction()
{
    tracePage(L"applyAction");
    const std::int32_t result = PrinterSteps(logger, *this, settings->printerName.toStdWString()).adjust();
    if (result == PrinterSteps::adjusted)
        completeAction();
    else if (const int event = PrinterSteps::eventOf(result))
        giveUp(event);
    // Declined: the printer stays taken over and the page current.
    return true;
}

void Page3K::giveUp(int errorID)
{
    raiseError(errorID);
    handBackPrinter();
}

std::int32_t Page3K::checkCoverOpen()
{
    return PrinterSteps(logger, *this, settings->printerName.toStdWString()).adjustOnce();
}

} // namespace wizard
