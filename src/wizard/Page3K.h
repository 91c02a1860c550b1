// SPDX-License-Identifier: MIT
#pragma once

#include "wizard/WizardActionPage.h"

#include <cstdint>
#include <string>

namespace wizard {

class IMCommLayer;

// Runs the printer's adjustment, with cover-open and ribbon warnings the user
// can retry, and hands the printer back once it has succeeded.
class Page3K : public WizardActionPage {
    Q_OBJECT
public:
    Page3K(QWidget* mainWindow, WizardRessourceProvider* resourceProvider, ILogger* logger,
        WizardSettings* settings);

    void startAction() override;
    void rollbackAction() override;

    // One attempt with its own connection (PrinterSteps::AttemptResult).
    std::int32_t checkCoverOpen();

private:
    bool applyAction();
    void giveUp(int errorID);
};

} // namespace wizard
