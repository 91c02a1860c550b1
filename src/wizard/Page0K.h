// SPDX-License-Identifier: MIT
#pragma once

#include "wizard/WizardActionPage.h"

namespace wizard {

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

public Q_SLOTS:
    void onSelectedPrinter(bool state);

private:
    bool applyAction();
};

} // namespace wizard
