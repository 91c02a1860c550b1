// SPDX-License-Identifier: MIT
#include "wizard/Page3K.h"

#include "comm/FactoryCommLayer.h"
#include "comm/IMCommLayer.h"
#include "comm/PrinterCommands.h"
#include "wizard/PageTable.h"
#include "wizard/PageViewUI.h"
#include "wizard/WizardSettings.h"

#include <cstring>
#include <string>

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
    std::int32_t result;
    do
        result = checkCoverOpen();
    while (result == retry && !ending());
    // Asked to end before a retry: as if declined; the window hands the printer back.
    if (result == retry)
        result = declined;

    switch (result) {
    case adjusted:
        completeAction();
        break;
    case communicationFailure:
        giveUp(communicationFailed);
        break;
    case adjustmentFailure:
        giveUp(adjustmentFailed);
        break;
    case statusOrHandBackFailure:
        giveUp(stepFailed);
        break;
    default:
        // Declined: the printer stays taken over and the page current.
        break;
    }
    return true;
}

void Page3K::giveUp(int errorID)
{
    raiseError(errorID);
    handBackPrinter();
}

std::int32_t Page3K::askToRetry(const wchar_t* retryLine)
{
    warningAnswer = false;
    raiseWarning(coverOrRibbon);
    if (!warningAnswer)
        return declined;
    tracePage(L"retryAdjustment", retryLine, L"checkCoverOpen");
    return retry;
}

std::int32_t Page3K::checkCoverOpen()
{
    IMCommLayer* layer = FactoryCommLayer::Build(logger, 0, nullptr, 1, 0, 0, 0, 0);
    const std::wstring printerName = settings->printerName.toStdWString();
    const std::int32_t result = attempt(layer, printerName);
    if (layer)
        layer->Close();
    delete layer;
    return result;
}

std::int32_t Page3K::attempt(IMCommLayer* layer, const std::wstring& printerName)
{
    reportStep(StepName::checkingCover);
    if (!layer || !layer->Open(printerName.c_str()))
        return communicationFailure;
    CommStatus status {};
    if (!layer->ReadStatusRpst(&status))
        return statusOrHandBackFailure;
    // An open cover never receives the adjustment command.
    if (PrinterCommands::coverOpen(status))
        return askToRetry(L"Retry Error Cover Open");

    char command[48] = {};
    std::memcpy(command, PrinterCommands::adjustment, sizeof PrinterCommands::adjustment);
    reportStep(StepName::adjusting);
    layer->SetTimeout(PrinterCommands::adjustmentTimeoutMs);
    if (!layer->Write(command, PrinterCommands::length(PrinterCommands::adjustment)))
        return communicationFailure;
    char reply[PrinterCommands::replyCapacity] = {};
    std::int32_t received = 0;
    if (!layer->Read(reply, sizeof reply, &received) || received == 0)
        return adjustmentFailure;
    if (PrinterCommands::isOk(reply, sizeof reply))
        // Handed back while the connection is still open.
        return handBackPrinter() ? adjusted : statusOrHandBackFailure;
    if (PrinterCommands::isRibbonError(reply, sizeof reply))
        return askToRetry(L"Retry Error Ribbon");
    tracePage(L"ErrorAdjustment", L"Other error", L"checkCoverOpen");
    return adjustmentFailure;
}

} // namespace wizard
