// SPDX-License-Identifier: MIT
#include "wizard/Page0K.h"

#include "comm/FactoryCommLayer.h"
#include "comm/IMCommLayer.h"
#include "comm/PrinterCommands.h"
#include "system/ProcessControl.h"
#include "system/Sleep.h"
#include "system/Spooler.h"
#include "wizard/MainWizardFrameUI.h"
#include "wizard/Page0UI.h"
#include "wizard/PrinterHold.h"
#include "wizard/WizardSettings.h"

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
    // One wizard per printer: another one's printer is not even asked.
    if (anotherWizardHolds())
        return true;
    IMCommLayer* layer = FactoryCommLayer::Build(logger, 0, nullptr, 1, 0, 0, 0, 0);
    const std::wstring printerName = settings->printerName.toStdWString();

    // The version is asked before the queue is touched: a printer that does
    // not answer leaves its queue and the management tool as they were.
    bool open = false;
    reportStep(StepName::readingVersion);
    // Asked to end meanwhile: the version was read whole, the queue stays untouched.
    if (readFirmwareVersion(layer, printerName, open) && !ending())
        takeOver(printerName);

    if (open)
        layer->Close();
    delete layer;
    return true;
}

bool Page0K::readFirmwareVersion(IMCommLayer* layer, const std::wstring& printerName, bool& open)
{
    open = layer && layer->Open(printerName.c_str());
    if (!open) {
        raiseError(communicationFailed);
        return false;
    }
    layer->SetTimeout(PrinterCommands::firmwareVersionTimeoutMs);
    if (!layer->Write(
            PrinterCommands::firmwareVersion, PrinterCommands::length(PrinterCommands::firmwareVersion))) {
        raiseError(communicationFailed);
        return false;
    }
    char reply[PrinterCommands::replyCapacity] = {};
    std::int32_t received = 0;
    if (!layer->Read(reply, sizeof reply, &received)) {
        raiseError(communicationFailed);
        return false;
    }
    if (received == 0) {
        raiseError(stepFailed);
        return false;
    }
    if (PrinterCommands::firmwareVersionValue(reply, sizeof reply) < settings->firmwareValue) {
        m_nextPageIndex = PageTable::firmwareUpdateIndex;
        settings->firmwareCurrent = 0;
    } else {
        m_nextPageIndex = PageTable::adjustmentIndex;
        settings->firmwareCurrent = 1;
    }
    layer->Close();
    open = false;
    return true;
}

void Page0K::takeOver(const std::wstring& printerName)
{
    using namespace sys;
    reportStep(StepName::takingOver);
    PrinterHandle printer = Spooler::openPrinter(printerName.c_str(), PrinterAccess::Full);
    if (!printer) {
        raiseError(stepFailed);
        return;
    }
    PrinterInfo2 info;
    if (!Spooler::getPrinter2(printer, info)) {
        raiseError(stepFailed);
        Spooler::closePrinter(printer);
        return;
    }
    info.attributes &= ~printerAttributeEnableBidi;
    // On CUPS this write is the hold itself: without it jobs would go on
    // reaching the printer during the firmware download.
    if (!Spooler::setPrinter2(printer, info)) {
        Spooler::closePrinter(printer);
        handBackPrinter();
        raiseError(stepFailed);
        return;
    }
    if (PrinterHold* hold = printerHold())
        hold->taken(settings->printerName);

    if (killProcessByName(L"Ruvelk.exe")) {
        reportStep(StepName::toolStopping, toolStopPauseMs);
        sleepMs(toolStopPauseMs);
        // Asked to end during the pause: the window hands the printer back.
        if (!ending())
            completeAction();
    } else {
        // The queue was held already: give it back before telling the user.
        handBackPrinter();
        raiseError(stepFailed);
    }
    Spooler::closePrinter(printer);
}

} // namespace wizard
