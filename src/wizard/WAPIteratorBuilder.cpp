// SPDX-License-Identifier: MIT
#include "wizard/WAPIteratorBuilder.h"

#include "foundation/Trace.h"
#include "wizard/ConcreteWizardActionPageIterator.h"
#include "wizard/MainWizardFrameUI.h"
#include "wizard/Page0K.h"
#include "wizard/Page1K.h"
#include "wizard/Page2K.h"
#include "wizard/Page3K.h"
#include "wizard/Page4K.h"
#include "wizard/PageTable.h"

#include <QStackedWidget>

namespace wizard {

namespace {

// The memory line of each page names its class by number, not its index.
const wchar_t* allocationLine(PageClass pageClass)
{
    switch (pageClass) {
    case PageClass::selection:
        return L"[WIZARD MEM] ALLOCATOR MEM - NEW Page0\tPTR: %lx";
    case PageClass::firmware:
        return L"[WIZARD MEM] ALLOCATOR MEM - NEW Page1\tPTR: %lx";
    case PageClass::afterFirmware:
        return L"[WIZARD MEM] ALLOCATOR MEM - NEW Page2\tPTR: %lx";
    case PageClass::adjustment:
        return L"[WIZARD MEM] ALLOCATOR MEM - NEW Page3\tPTR: %lx";
    case PageClass::final:
        return L"[WIZARD MEM] ALLOCATOR MEM - NEW Page4\tPTR: %lx";
    }
    return L"";
}

} // namespace

WizardActionPage* createWizardPage(PageClass pageClass, MainWizardFrameUI* mainWindow,
    WizardRessourceProvider* resourceProvider, ILogger* logger, WizardSettings* settings)
{
    switch (pageClass) {
    case PageClass::selection:
        return new Page0K(mainWindow, resourceProvider, logger, settings);
    case PageClass::firmware:
        return new Page1K(mainWindow, resourceProvider, logger, settings);
    case PageClass::afterFirmware:
        return new Page2K(mainWindow, resourceProvider, logger, settings);
    case PageClass::adjustment:
        return new Page3K(mainWindow, resourceProvider, logger, settings);
    case PageClass::final:
        return new Page4K(mainWindow, resourceProvider, logger, settings);
    }
    return nullptr;
}

WizardPageEntry* buildPages(MainWizardFrameUI* mainWindow, QStackedWidget* pageStack, ILogger* logger,
    WizardRessourceProvider* resourceProvider, WizardSettings* settings, int count,
    const PageFactory& factory)
{
    auto* pages = new WizardPageEntry[count];
    traceAddress(logger, L"[WIZARD MEM] ALLOCATOR MEM - NEW IWizardActionPage[]\tPTR: %lx", pages);

    for (int index = 0; index < count; ++index) {
        const PageClass pageClass = PageTable::row(settings->selectPrinter, index).pageClass;
        WizardActionPage* page = factory
            ? factory(pageClass, mainWindow, resourceProvider, logger, settings)
            : createWizardPage(pageClass, mainWindow, resourceProvider, logger, settings);
        pages[index] = { page, qobject_cast<IWizardActionPageUI*>(page) };
        QObject::connect(page, &WizardActionPage::stateChanged, mainWindow, &MainWizardFrameUI::refresh,
            Qt::AutoConnection);
        QObject::connect(
            page, &WizardActionPage::exitWizard, mainWindow, &MainWizardFrameUI::quit, Qt::AutoConnection);
        traceAddress(logger, allocationLine(pageClass), page);
        pageStack->addWidget(page->pageWidget());
    }
    return pages;
}

ConcreteWizardActionPageIterator* buildIterator(MainWizardFrameUI* mainWindow, ILogger* logger,
    WizardRessourceProvider* resourceProvider, WizardSettings* settings, WizardPageEntry* pages, int count)
{
    return new ConcreteWizardActionPageIterator(mainWindow, logger, resourceProvider, settings, pages, count);
}

} // namespace wizard
