// SPDX-License-Identifier: MIT
#include "wizard/Page0K.h"

#include "comm/FactoryCommLayer.h"
#include "comm/IMCommLayer.h"
#include "wizard/MainWizardFrameUI.h"
#include "wizard/Page0UI.h"
#include "wizard/PrinterSteps.h"
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
    PrinterSteps steps(logger, *this, settings->printerName.toStdWString());

    // The version is asked before the queue is touched: a printer that does
    // not answer leaves its queue and the management tool as they were.
    bool open = false;
    std::int32_t version = 0;
    const int failed = steps.readFirmwareVersion(layer, open, version);
    if (failed) {
        raiseError(failed);
    } else {
        if (version < settings->firmwareValue) {
            m_nextPageIndex = PageTable::firmwareUpdateIndex;
            settings->firmwareCurrent = 0;
        } else {
            m_nextPageIndex = PageTable::adjustmentIndex;
            settings->firmwareCurrent = 1;
        }
        // Asked to end meanwhile: the version was read whole, the queue stays untouched.
        if (!ending()) {
            const int takeOver = steps.takeOver(true);
            if (takeOver == PrinterEvent::none)
                completeAction();
            else if (takeOver > 0)
                raiseError(takeOver);
            // Asked to end during the pause: the window hands the printer back.
        }
    }

    if (open)
        layer->Close();
    delete layer;
    return true;
}

} // namespace wizard
