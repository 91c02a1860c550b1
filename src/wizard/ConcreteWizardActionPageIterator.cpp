// SPDX-License-Identifier: MIT
#include "wizard/ConcreteWizardActionPageIterator.h"

#include "WzCommon/Src/EventDialog.h"
#include "system/EndRequest.h"
#include "wizard/IWizardActionPage.h"
#include "wizard/IWizardActionPageUI.h"
#include "wizard/WAPIteratorBuilder.h"

namespace wizard {

ConcreteWizardActionPageIterator::ConcreteWizardActionPageIterator(MainWizardFrameUI* mainWindow,
    ILogger* logger, WizardRessourceProvider* resourceProvider, WizardSettings* settings,
    WizardPageEntry* pages, int count)
    : IWizardActionPageIterator(nullptr)
    , mainWindow(mainWindow)
    , logger(logger)
    , resourceProvider(resourceProvider)
    , settings(settings)
    , count(count)
    , currentIndex(0)
    , pages(pages)
    , currentDialog(nullptr)
{
}

bool ConcreteWizardActionPageIterator::isPreviousEnabled()
{
    return pages[currentIndex].page->isPreviousEnabled();
}
bool ConcreteWizardActionPageIterator::isPreviousHidden()
{
    return pages[currentIndex].page->isPreviousHidden();
}
void ConcreteWizardActionPageIterator::previous()
{
    pages[currentIndex].page->rollbackAction();
}
bool ConcreteWizardActionPageIterator::isNextEnabled()
{
    return pages[currentIndex].page->isNextEnabled();
}
bool ConcreteWizardActionPageIterator::isNextHidden()
{
    return pages[currentIndex].page->isNextHidden();
}
void ConcreteWizardActionPageIterator::next()
{
    pages[currentIndex].page->startAction();
}
bool ConcreteWizardActionPageIterator::isAbortEnabled()
{
    return pages[currentIndex].page->isAbortEnabled();
}
bool ConcreteWizardActionPageIterator::isAbortHidden()
{
    return pages[currentIndex].page->isAbortHidden();
}
void ConcreteWizardActionPageIterator::abort()
{
    pages[currentIndex].page->abortAction();
}
bool ConcreteWizardActionPageIterator::isHelpHidden()
{
    return pages[currentIndex].page->isHelpHidden();
}
QString ConcreteWizardActionPageIterator::helpId()
{
    return pages[currentIndex].page->helpId();
}

QWidget* ConcreteWizardActionPageIterator::widgetAt(int index) const
{
    return pages[index].ui->pageWidget();
}

void ConcreteWizardActionPageIterator::onActionCompleted()
{
    currentIndex = pages[currentIndex].page->nextPageIndex();
    Q_EMIT nextDone(widgetAt(currentIndex));
    pages[currentIndex].page->initActionPage();
}

void ConcreteWizardActionPageIterator::onRollbackCompleted()
{
    // The page returned to keeps the flags it had when the user left it.
    currentIndex = pages[currentIndex].page->previousPageIndex();
    Q_EMIT previousDone(widgetAt(currentIndex));
}

void ConcreteWizardActionPageIterator::onAbortCompleted()
{
    Q_EMIT abortDone();
}

int ConcreteWizardActionPageIterator::showEvent(const QString& kind, int errorID, int printerType,
    bool isHelpHidden, const QString& urlHelp, const QString& parameter)
{
    // A wizard asked to end asks nothing: a warning counts as answered with Return.
    if (sys::endRequested())
        return 0;
    currentDialog = new EventDialog(mainWindow, kind, logger, resourceProvider, settings, errorID,
        printerType, isHelpHidden, urlHelp, parameter);
    const int result = currentDialog->exec();
    delete currentDialog;
    currentDialog = nullptr;
    return result;
}

void ConcreteWizardActionPageIterator::onError(
    int errorID, int printerType, bool isHelpHidden, QString urlHelp, QString parameter)
{
    showEvent(QStringLiteral("ERROR"), errorID, printerType, isHelpHidden, urlHelp, parameter);
    // Every error is final.
    Q_EMIT exitWizard();
}

void ConcreteWizardActionPageIterator::onWarning(
    int errorID, int pageID, int printerType, bool isHelpHidden, QString urlHelp, QString parameter)
{
    const int result
        = showEvent(QStringLiteral("WARNING"), errorID, printerType, isHelpHidden, urlHelp, parameter);
    Q_EMIT resultWarning(result != 0, pageID);
}

void ConcreteWizardActionPageIterator::onInfo(
    int errorID, int printerType, bool isHelpHidden, QString urlHelp, QString parameter)
{
    showEvent(QStringLiteral("INFO"), errorID, printerType, isHelpHidden, urlHelp, parameter);
}

} // namespace wizard
