// SPDX-License-Identifier: MIT
#pragma once

#include "wizard/WizardActionPage.h"

namespace wizard {

// The information step after the firmware update: Next passes it at once,
// Previous is not offered.
class Page2K : public WizardActionPage {
    Q_OBJECT
public:
    Page2K(QWidget* mainWindow, WizardRessourceProvider* resourceProvider, ILogger* logger,
        WizardSettings* settings);

    void initActionPage() override;
    void startAction() override;

Q_SIGNALS:
    // Emitted at the end of every initActionPage; nothing in the wizard listens.
    void initActionPageUI();
};

} // namespace wizard
