// SPDX-License-Identifier: MIT
#include "wizard/Page1K.h"

#include "comm/FactoryCommLayer.h"
#include "comm/IMCommLayer.h"
#include "wizard/PageViewUI.h"
#include "wizard/PrinterSteps.h"
#include "wizard/WizardSettings.h"

#include <string>

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
    const std::wstring firmwareName = settings->firmwareName.toStdWString();
    // With the printer preset no selection took it over: one wizard per
    // printer is checked here, before the download.
    if (!settings->selectPrinter && anotherWizardHolds())
        return true;
    IMCommLayer* versionCheck = FactoryCommLayer::Build(logger, 0, nullptr, 1, 0, 0, 0, 0);

    const std::int32_t downloaded = OnDownloadFw(firmwareName.c_str());
    if (downloaded == 1) {
        // Asked to end during the restart wait: the frame went out whole, the
        // version is not asked, and the window hands the printer back.
        if (!ending()) {
            PrinterSteps steps(logger, *this, settings->printerName.toStdWString());
            const int failed = steps.checkVersion(versionCheck, settings->firmwareValue);
            if (failed) {
                giveUp(failed);
            } else {
                tracePage(L"applyAction", L"Pass");
                completeAction();
            }
        }
    } else if (downloaded == 2) {
        tracePage(L"applyAction", L"Fail");
        giveUp(firmwareFileUnreadable);
    } else {
        tracePage(L"applyAction", L"Fail");
        giveUp(stepFailed);
    }
    // The layer's destructor closes a connection still open.
    delete versionCheck;
    return true;
}

void Page1K::giveUp(int errorID)
{
    raiseError(errorID);
    handBackPrinter();
}

std::int32_t Page1K::OnDownloadFw(const wchar_t* firmwareFileName)
{
    return PrinterSteps(logger, *this, settings->printerName.toStdWString())
        .downloadFirmware(firmwareFileName);
}

} // namespace wizard
