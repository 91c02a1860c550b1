// SPDX-License-Identifier: MIT
#pragma once

#include "wizard/PageTable.h"

#include <functional>

class QStackedWidget;

namespace wizard {

class ConcreteWizardActionPageIterator;
class ILogger;
class IWizardActionPage;
class IWizardActionPageUI;
class MainWizardFrameUI;
class WizardRessourceProvider;
class WizardActionPage;
struct WizardSettings;

// One entry of the page array: the page, and the same page as the interface
// that gives its widget.
struct WizardPageEntry {
    IWizardActionPage* page;
    IWizardActionPageUI* ui;
};

// Creates the page of a class. The wizard's own pages unless a test puts
// pages of its own, built on the same shared base, in their place.
using PageFactory = std::function<WizardActionPage*(PageClass pageClass, MainWizardFrameUI* mainWindow,
    WizardRessourceProvider* resourceProvider, ILogger* logger, WizardSettings* settings)>;

// The wizard's own page of a class (the factory used when none is given).
WizardActionPage* createWizardPage(PageClass pageClass, MainWizardFrameUI* mainWindow,
    WizardRessourceProvider* resourceProvider, ILogger* logger, WizardSettings* settings);

// Creates the pages of the layout the settings choose (five when the user
// picks the printer, four when it is preset), in their order, each wired to
// the main window and its widget added to the stack at its index. The array
// is the main window's, allocated with new[].
WizardPageEntry* buildPages(MainWizardFrameUI* mainWindow, QStackedWidget* pageStack, ILogger* logger,
    WizardRessourceProvider* resourceProvider, WizardSettings* settings, int count,
    const PageFactory& factory = PageFactory());

// A new iterator over the array, at its first page, without a parent.
ConcreteWizardActionPageIterator* buildIterator(MainWizardFrameUI* mainWindow, ILogger* logger,
    WizardRessourceProvider* resourceProvider, WizardSettings* settings, WizardPageEntry* pages, int count);

} // namespace wizard
