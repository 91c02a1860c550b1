// SPDX-License-Identifier: MIT
#pragma once

#include <QtPlugin>

class QWidget;

namespace wizard {

// What shows a page: its widget in the main window's page stack. Pages and
// views both carry it; a page forwards to its view.
class IWizardActionPageUI {
public:
    virtual QWidget* pageWidget() = 0;
    virtual ~IWizardActionPageUI() = default;
};

} // namespace wizard

#define IWizardActionPageUI_iid "IWizardActionPageUI"
Q_DECLARE_INTERFACE(wizard::IWizardActionPageUI, IWizardActionPageUI_iid)
