// SPDX-License-Identifier: MIT
#pragma once

#include "wizard/WizardActionPage.h"

#include <string>

namespace wizard {

class IMCommLayer;
class Page0UI;

// The printer selection: the user picks the printer; Next reads its firmware
// version, decides whether the update pages come next, and takes the printer
// over (the queue stops talking to it, the management tool is stopped).
class Page0K : public WizardActionPage {
    Q_OBJECT
public:
    Page0K(QWidget* mainWindow, WizardRessourceProvider* resourceProvider, ILogger* logger,
        WizardSettings* settings);

    void startAction() override;

    // The pause after stopping the management tool.
    static constexpr int toolStopPauseMs = 3000;

public Q_SLOTS:
    void onSelectedPrinter(bool state);

private:
    bool applyAction();
    // Reads the printer's firmware version and decides the next page; false,
    // with the event raised, when the printer does not answer.
    bool readFirmwareVersion(IMCommLayer* layer, const std::wstring& printerName, bool& open);
    // Holds the queue and stops the management tool, then completes.
    void takeOver(const std::wstring& printerName);
};

} // namespace wizard
