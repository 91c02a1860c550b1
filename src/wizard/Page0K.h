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
    static constexpr int toolStopPauseMs = PrinterSteps::toolStopPauseMs;

public Q_SLOTS:
    void onSelectedPrinter(bool state);

private:
    // Reads the printer's firmware version and decides the next page, then
    // holds the queue and stops the management tool, and completes.
    bool applyAction();
};

} // namespace wizard
