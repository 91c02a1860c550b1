// SPDX-License-Identifier: MIT
#pragma once

// The wizard's main window, and the map of who owns what.
//
// main owns the parameter map, the logger and this window. The window owns
// the settings (embedded), the resource provider (which owns the translation
// manager), the page array with its pages, and the iterator. Each page owns
// its view; the views are the page stack's widgets, so Qt parents them to the
// stack, but the page deletes its view first. Everything else holds plain
// pointers: the iterator, the pages and the event dialogs point at the
// settings, the provider and the logger; nothing outlives the window.
//
// One step, from Next to the printer and back:
//   Next -> onNextClicked -> iterator->next() -> current page's startAction
//   -> the page opens its wait box and runs applyAction on the global thread
//   pool; the action builds its own comm layer, talks to the printer, deletes
//   the layer, and reports only by signals:
//   - actionComplete (queued) -> iterator's onActionCompleted: it moves to
//     the page's nextPageIndex, emits nextDone(widget) -> onNextDone shows the
//     page, moves the steps tree's mark and calls refresh; then the iterator
//     runs the new page's initActionPage, whose setters emit stateChanged ->
//     refresh again;
//   - errorState (queued) -> iterator's onError shows the event dialog and
//     emits exitWizard -> quit(): every error ends the wizard, on purpose (the
//     page has handed the printer back itself);
//   - warningState (blocking) -> iterator's onWarning shows the dialog while
//     the pool thread waits, then resultWarning carries the answer back to
//     the page before the pool thread goes on.
//   The action's end closes the wait box. All of this runs in the wait box's
//   event loop, so the window is repainted while the printer works.

#include "foundation/ParameterFile.h"
#include "wizard/PrinterHold.h"
#include "wizard/WAPIteratorBuilder.h"
#include "wizard/WizardSettings.h"

#include <QDialog>
#include <QMap>
#include <QStringList>

class QLabel;
class QPushButton;
class QStackedWidget;
class QTreeWidget;

namespace wizard {

class ILogger;
class IWizardActionPageIterator;
class WizardRessourceProvider;

class MainWizardFrameUI : public QDialog {
    Q_OBJECT
public:
    MainWizardFrameUI(ILogger* logger, QStringList arguments, QString applicationDirectory,
        ParameterMap* parameterMap, QWidget* parent = nullptr, Qt::WindowFlags flags = {});
    ~MainWizardFrameUI() override;

    // Turns the command line and the data file into the settings and builds
    // the window; false when a preset printer has no name (nothing is built).
    bool initWizard();
    // Pages of a test's own in place of the wizard's; before initWizard.
    void setPageFactory(PageFactory factory) { pageFactory = std::move(factory); }

    QString applicationDir() const;
    ParameterMap* parameterMap() const;
    QMap<QString, qint32> copyDriverTable() const;
    // The file name of a picture, relative to the application directory, from
    // the picture table (read again at each call); "" when it has none.
    QString imageFile(int number) const;
    // The picture's full path, with forward slashes.
    QString imagePath(int number) const;

    WizardSettings* settings() { return &wizardSettings; }
    // Whether the wizard holds a printer, and which.
    PrinterHold* printerHold() { return &hold; }
    IWizardActionPageIterator* pageIterator() const { return iterator; }
    int pageCount() const { return count; }
    // The page at index, or null.
    WizardPageEntry* pageEntry(int index) const;

    // A page's background action starts and ends; the window hands a held
    // printer back only when no action is talking to it.
    void actionStarted();
    void actionEnded();

Q_SIGNALS:
    void refreshUI();

public Q_SLOTS:
    void onSpecialRefreshUI();
    // The wizard is asked to end from outside (a signal, the end of the
    // session): the questions open are closed unanswered, a running action
    // finishes its exchange with the printer, then the held printer is handed
    // back once and the window closes, as a confirmed abort would, unasked.
    void endFromOutside();

private Q_SLOTS:
    void onNextClicked();
    void onNextDone(QWidget* page);
    void onPreviousClicked();
    void onPreviousDone(QWidget* page);
    void onAbortClicked();
    void onAbortDone();
    void onHelpClicked();
    void refresh();
    void quit();

protected:
    // Every way the window closes ends here. Closed by the user (close box,
    // Escape) while the printer is held, the window hands it back.
    void done(int result) override;

private:
    // The builder wires every page's stateChanged and exitWizard to refresh and quit.
    friend WizardPageEntry* buildPages(MainWizardFrameUI*, QStackedWidget*, ILogger*,
        WizardRessourceProvider*, WizardSettings*, int, const PageFactory&);

    bool parseSettings(QStringList arguments);
    void detectSystemLanguage();
    void buildUI();
    void buildStepsTree();
    void retranslateFrame();
    void showPage(QWidget* page);
    // The steps list tells a screen reader which step is current.
    void describeCurrentStep();
    QString text(const QString& id) const;
    QString bannerColour() const;

    ILogger* logger;
    IWizardActionPageIterator* iterator;
    int count;
    WizardPageEntry* pages;
    int currentIndex;
    WizardSettings wizardSettings;
    QStringList arguments;
    WizardRessourceProvider* resourceProvider;
    ParameterMap* parameters;
    QMap<QString, QString> languageMap;
    qint32 driverCount;
    QMap<QString, qint32> driverTable;
    QString applicationDirectory;
    QTreeWidget* stepsTree;
    QStackedWidget* pageStack;
    QPushButton* previousButton;
    QPushButton* nextButton;
    QPushButton* abortButton;
    QPushButton* helpButton;
    QLabel* backgroundLabel;
    QLabel* bannerLabel;
    QLabel* bannerTitleLabel;
    QLabel* stepTitleLabel;
    PageFactory pageFactory;
    PrinterHold hold;
    // The wizard ends by its own path (finished, aborted, an error shown):
    // the pages have handed the printer back as far as they could.
    bool endingOnPurpose = false;
    int runningActions = 0;
    bool releasePending = false;
    bool endAsked = false;
    bool endPending = false;
    void finishEnd();
};

} // namespace wizard
