// SPDX-License-Identifier: MIT
// The wizard's entry point.
#include "wizard/WizardMain.h"

int main(int argc, char* argv[])
{
    return wizard::runWizard(argc, argv);
}
