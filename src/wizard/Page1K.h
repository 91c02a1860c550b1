// SPDX-License-Identifier: MIT
#pragma once

#include "wizard/WizardActionPage.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace wizard {

class IMCommLayer;

// Brings the printer's firmware to the configured version: one download
// frame, the printer's restart, the version read back and compared.
class Page1K : public WizardActionPage {
    Q_OBJECT
public:
    Page1K(QWidget* mainWindow, WizardRessourceProvider* resourceProvider, ILogger* logger,
        WizardSettings* settings);

    void startAction() override;

    // The download: 1 sent and accepted, 0 failed, 2 the file cannot be opened.
    std::int32_t OnDownloadFw(const wchar_t* firmwareFileName);

    // The wait after an accepted download while the printer restarts.
    static constexpr int restartWaitMs = PrinterSteps::restartWaitMs;
    // The largest firmware file that fits one frame the layer can write.
    static constexpr std::size_t maxFirmwareSize = PrinterSteps::maxFirmwareSize;

private:
    // The download, then the version read back and compared with the target.
    bool applyAction();
    // Raises the error, then hands the printer back.
    void giveUp(int errorID);
};

} // namespace wizard
