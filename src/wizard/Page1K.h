// SPDX-License-Identifier: MIT
#pragma once

#include "wizard/WizardActionPage.h"

#include <cstdint>

namespace wizard {

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

private:
    bool applyAction();
};

} // namespace wizard
