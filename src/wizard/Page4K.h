// SPDX-License-Identifier: MIT
#pragma once

#include "wizard/WizardActionPage.h"

namespace wizard {

// The last page: only Next, which the main window turns into the end of the
// wizard; an abort here touches no printer.
class Page4K : public WizardActionPage {
    Q_OBJECT
public:
    Page4K(QWidget* mainWindow, WizardRessourceProvider* resourceProvider, ILogger* logger,
        WizardSettings* settings);

    void startAction() override;

protected:
    void abortCleanup() override;
};

} // namespace wizard
