// SPDX-License-Identifier: MIT
#pragma once

#include <functional>

namespace wizard {

class MainWizardFrameUI;

// The whole run of the wizard, from the data file to the teardown; the value is
// the process's exit code. beforeShow, when given, sees the window once it is
// built and before it is shown (test programs that run this same sequence).
int runWizard(int argc, char* argv[], const std::function<void(MainWizardFrameUI*)>& beforeShow = {});

} // namespace wizard
