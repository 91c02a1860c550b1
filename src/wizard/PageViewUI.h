// SPDX-License-Identifier: MIT
#pragma once

#include "wizard/IWizardActionPageUI.h"

#include <QWidget>

namespace wizard {

class HtmlPane;
class ILogger;
class WizardRessourceProvider;
struct WizardSettings;

// The view of pages 1 to 4: the page's HTML page in a pane of 420 x 380 at
// 5, 5, reloaded each time the main window refreshes its texts. The four
// views differ only in the number of the HTML page.
class PageViewUI : public QWidget, public IWizardActionPageUI {
    Q_OBJECT
    Q_INTERFACES(wizard::IWizardActionPageUI)
public:
    static constexpr int paneX = 5;
    static constexpr int paneY = 5;
    static constexpr int paneWidth = 420;
    static constexpr int paneHeight = 380;

    PageViewUI(int htmlPageNumber, QWidget* parent, WizardRessourceProvider* resourceProvider,
        ILogger* logger, WizardSettings* settings);

    QWidget* pageWidget() override;
    HtmlPane* pane() const { return webView; }

public Q_SLOTS:
    void retranslateUI();

private:
    int htmlPageNumber;
    HtmlPane* webView;
    ILogger* logger;
    WizardRessourceProvider* resourceProvider;
    WizardSettings* settings;
    QWidget* mainWindow;
};

// The views of pages 1 to 4, each showing the HTML page of its number.
class Page1UI : public PageViewUI {
    Q_OBJECT
public:
    Page1UI(
        QWidget* parent, WizardRessourceProvider* resourceProvider, ILogger* logger, WizardSettings* settings)
        : PageViewUI(1, parent, resourceProvider, logger, settings)
    {
    }
};

class Page2UI : public PageViewUI {
    Q_OBJECT
public:
    Page2UI(
        QWidget* parent, WizardRessourceProvider* resourceProvider, ILogger* logger, WizardSettings* settings)
        : PageViewUI(2, parent, resourceProvider, logger, settings)
    {
    }
};

class Page3UI : public PageViewUI {
    Q_OBJECT
public:
    Page3UI(
        QWidget* parent, WizardRessourceProvider* resourceProvider, ILogger* logger, WizardSettings* settings)
        : PageViewUI(3, parent, resourceProvider, logger, settings)
    {
    }
};

class Page4UI : public PageViewUI {
    Q_OBJECT
public:
    Page4UI(
        QWidget* parent, WizardRessourceProvider* resourceProvider, ILogger* logger, WizardSettings* settings)
        : PageViewUI(4, parent, resourceProvider, logger, settings)
    {
    }
};

} // namespace wizard
