// SPDX-License-Identifier: MIT
#include "wizard/WizardActionPage.h"

#include "foundation/Trace.h"
#include "foundation/WizardRessourceProvider.h"
#include "system/EndRequest.h"
#include "system/SystemQt.h"
#include "wizard/MainWizardFrameUI.h"
#include "wizard/PrinterHold.h"
#include "wizard/WaitProgress.h"
#include "wizard/WizardSettings.h"

#include <QCoreApplication>
#include <QFutureWatcher>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <QThreadPool>
#include <QWidget>
#include <QtConcurrent>

#include <cstdio>
#include <string>

namespace wizard {

WizardActionPage::WizardActionPage(PageClass pageClass, const wchar_t* pageName, QWidget* mainWindow,
    WizardRessourceProvider* resourceProvider, ILogger* logger, WizardSettings* settings)
    : IWizardActionPage(nullptr)
    , mainWindow(mainWindow)
    , logger(logger)
    , resourceProvider(resourceProvider)
    , view(nullptr)
    , settings(settings)
    , warningAnswer(false)
    , hold(nullptr)
    , row(*PageTable::rowOf(settings->selectPrinter, pageClass))
    , pageName(pageName)
{
    if (auto* frame = qobject_cast<MainWizardFrameUI*>(mainWindow))
        hold = frame->printerHold();
    m_pageId = row.pageId;
    m_previousPageIndex = row.previousPageIndex;
    m_nextPageIndex = row.nextPageIndex;
    m_stepTitleId = QString::fromLatin1(row.stepTitleId);
    m_helpId = QString::fromLatin1(row.helpId);
}

WizardActionPage::~WizardActionPage()
{
    delete view;
}

void WizardActionPage::setView(IWizardActionPageUI* pageView)
{
    view = pageView;
}

void WizardActionPage::tracePage(const wchar_t* tag, const wchar_t* step, const wchar_t* operation)
{
    PrinterSteps::tracePage(logger, pageName, tag, step, operation);
}

void WizardActionPage::initActionPage()
{
    tracePage(L"initActionPage");
    const PageFlags& flags = row.flags;
    setNextEnabled(flags.nextEnabled);
    setPreviousEnabled(flags.previousEnabled);
    setAbortEnabled(flags.abortEnabled);
    setNextHidden(flags.nextHidden);
    setPreviousHidden(flags.previousHidden);
    setAbortHidden(flags.abortHidden);
    setHelpHidden(flags.helpHidden);
}

QString WizardActionPage::text(const char* id) const
{
    if (!resourceProvider)
        return QString();
    return resourceProvider->GetResource(IRessourceProvider::Text, QString::fromLatin1(id), 0, QString());
}

void WizardActionPage::runInBackground(const std::function<bool()>& action)
{
    // Once the wizard is asked to end, no action starts.
    if (sys::endRequested())
        return;
    QMessageBox* box = WaitProgress::makeWaitBox(resourceProvider);
    connect(this, &WizardActionPage::actionStep, box->findChild<WaitProgress*>(), &WaitProgress::showStep,
        Qt::QueuedConnection);

    auto* watcher = new QFutureWatcher<bool>();
    connect(watcher, &QFutureWatcher<bool>::finished, box, &QMessageBox::accept, Qt::AutoConnection);
    QFuture<bool> future = QtConcurrent::run(QThreadPool::globalInstance(), action);
    watcher->setFuture(future);

    auto* frame = qobject_cast<MainWizardFrameUI*>(mainWindow);
    if (frame)
        frame->actionStarted();
    box->exec();
    // The box closes when the action has ended. Should its loop be ended
    // early (the application quitting), the action may still be waiting for
    // an answer from this thread, so events go on being handled until it ends.
    while (!future.isFinished()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    if (frame)
        frame->actionEnded();

    delete watcher;
    delete box;
}

void WizardActionPage::abortAction()
{
    tracePage(L"abortAction");
    if (!confirmAbort())
        return;
    tracePage(L"abortAction", L"abort");
    abortCleanup();
    Q_EMIT abortComplete();
}

bool WizardActionPage::confirmAbort()
{
    QMessageBox box;
    box.setObjectName(QStringLiteral("abortBox"));
    box.setWindowTitle(text("7"));
    box.setText(text("8"));
    box.setIcon(QMessageBox::Question);
    QPushButton* yes = box.addButton(text("9"), QMessageBox::AcceptRole);
    QPushButton* no = box.addButton(text("10"), QMessageBox::RejectRole);
    yes->setObjectName(QStringLiteral("abortYesButton"));
    no->setObjectName(QStringLiteral("abortNoButton"));
    box.setDefaultButton(no);
    // Escape and the close box answer as the second button does.
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
}

void WizardActionPage::abortCleanup()
{
    handBackPrinter();
}

bool WizardActionPage::ending() const
{
    return sys::endRequested();
}

bool WizardActionPage::retryAfterWarning(int eventId)
{
    warningAnswer = false;
    raiseWarning(eventId);
    return warningAnswer;
}

void WizardActionPage::held()
{
    if (hold)
        hold->taken(settings->printerName);
}

bool WizardActionPage::anotherWizardHolds()
{
    // A hold whose wizard has gone since the printers were listed is handed back first.
    PrinterHold::releaseStale(settings->printerName, logger);
    if (!PrinterHold::heldByAnotherWizard(settings->printerName))
        return false;
    tracePage(L"applyAction", L"Held by another wizard");
    raiseError(stepFailed);
    return true;
}

void WizardActionPage::stepStarted(const char* stepNameId, int waitMs)
{
    Q_EMIT actionStep(QString::fromLatin1(stepNameId), waitMs);
}

bool WizardActionPage::handBackPrinter()
{
    stepStarted(StepName::handingBack, 0);
    if (hold)
        return hold->handBack(settings->printerName);
    return sys::restoreBidiAndStartRuvelk(settings->printerName);
}

void WizardActionPage::rollbackAction()
{
    completeRollback();
}

void WizardActionPage::completeRollback()
{
    Q_EMIT rollbackComplete();
}

QString WizardActionPage::helpId()
{
    return m_helpId;
}

void WizardActionPage::raiseWarning(
    int errorID, int printerType, bool isHelpHidden, QString urlHelpID, QString parameter)
{
    // The warning reaches the iterator through a blocking connection; emitted
    // on the user-interface thread it would wait for itself for ever (Qt only
    // warns), so this is a programming error in every build.
    if (QThread::currentThread() == thread()) {
        std::fputs("kavni-wizard: a page raised a warning on the user-interface thread; warnings come "
                   "only from a page's background action\n",
            stderr);
        qFatal("warningState emitted on the user-interface thread");
    }
    Q_EMIT warningState(errorID, m_pageId, printerType, isHelpHidden, urlHelpID, parameter);
}

void WizardActionPage::raiseInfo(
    int errorID, int printerType, bool isHelpHidden, QString urlHelpID, QString parameter)
{
    Q_EMIT infoState(errorID, printerType, isHelpHidden, urlHelpID, parameter);
}

void WizardActionPage::raiseError(
    int errorID, int printerType, bool isHelpHidden, QString urlHelpID, QString parameter)
{
    Q_EMIT errorState(errorID, printerType, isHelpHidden, urlHelpID, parameter);
}

void WizardActionPage::raiseError(int errorID)
{
    raiseError(errorID, 0, true, QString(), QString());
}

void WizardActionPage::raiseWarning(int errorID)
{
    raiseWarning(errorID, 0, true, QString(), QString());
}

void WizardActionPage::completeAction()
{
    Q_EMIT actionComplete();
}

void WizardActionPage::onResultWarning(bool result, int pageID)
{
    if (pageID == m_pageId)
        warningAnswer = result;
}

bool WizardActionPage::isNextEnabled()
{
    return nextEnabled;
}
bool WizardActionPage::isNextHidden()
{
    return nextHidden;
}
bool WizardActionPage::isPreviousEnabled()
{
    return previousEnabled;
}
bool WizardActionPage::isPreviousHidden()
{
    return previousHidden;
}
bool WizardActionPage::isAbortEnabled()
{
    return abortEnabled;
}
bool WizardActionPage::isAbortHidden()
{
    return abortHidden;
}
bool WizardActionPage::isHelpHidden()
{
    return helpHidden;
}

void WizardActionPage::setNextEnabled(bool enabled)
{
    nextEnabled = enabled;
    Q_EMIT stateChanged();
}

void WizardActionPage::setPreviousEnabled(bool enabled)
{
    previousEnabled = enabled;
    Q_EMIT stateChanged();
}

void WizardActionPage::setAbortEnabled(bool enabled)
{
    abortEnabled = enabled;
    Q_EMIT stateChanged();
}

void WizardActionPage::setNextHidden(bool hidden)
{
    nextHidden = hidden;
    Q_EMIT stateChanged();
}

void WizardActionPage::setPreviousHidden(bool hidden)
{
    previousHidden = hidden;
    Q_EMIT stateChanged();
}

void WizardActionPage::setAbortHidden(bool hidden)
{
    abortHidden = hidden;
    Q_EMIT stateChanged();
}

void WizardActionPage::setHelpHidden(bool hidden)
{
    helpHidden = hidden;
    Q_EMIT stateChanged();
}

int WizardActionPage::pageId()
{
    return m_pageId;
}
int WizardActionPage::nextPageIndex()
{
    return m_nextPageIndex;
}
int WizardActionPage::previousPageIndex()
{
    return m_previousPageIndex;
}
QString WizardActionPage::stepTitleId()
{
    return m_stepTitleId;
}

QWidget* WizardActionPage::pageWidget()
{
    return view ? view->pageWidget() : nullptr;
}

} // namespace wizard
