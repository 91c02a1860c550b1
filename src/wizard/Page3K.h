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

    // What one attempt came to.
    enum AttemptResult : std::int32_t {
        adjusted = 0,
        communicationFailure = 1,
        retry = 2,
        declined = 3,
        adjustmentFailure = 4,
        statusOrHandBackFailure = 5,
    };
    // One attempt with its own connection.
    std::int32_t checkCoverOpen();

private:
    bool applyAction();
    std::int32_t attempt(IMCommLayer* layer, const std::wstring& printerName);
    // Shows the cover-or-ribbon warning; retry (with its line written) or declined.
    std::int32_t askToRetry(const wchar_t* retryLine);
    void giveUp(int errorID);
};

} // namespace wizard
