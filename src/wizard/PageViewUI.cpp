// SPDX-License-Identifier: MIT
#include "wizard/PageViewUI.h"

#include "foundation/WizardRessourceProvider.h"
#include "wizard/HtmlPane.h"
#include "wizard/MainWizardFrameUI.h"

namespace wizard {

PageViewUI::PageViewUI(int htmlPageNumber, QWidget* parent, WizardRessourceProvider* resourceProvider,
    ILogger* logger, WizardSettings* settings)
    : QWidget(parent)
    , htmlPageNumber(htmlPageNumber)
    , webView(nullptr)
    , logger(logger)
    , resourceProvider(resourceProvider)
    , settings(settings)
    , mainWindow(parent)
{
    setObjectName(QStringLiteral("page%1View").arg(htmlPageNumber));
    webView = new HtmlPane(this, paneWidth, paneHeight);
    webView->setObjectName(QStringLiteral("page%1Pane").arg(htmlPageNumber));
    webView->setGeometry(paneX, paneY, paneWidth, paneHeight);
    if (auto* frame = qobject_cast<MainWizardFrameUI*>(mainWindow))
        connect(frame, &MainWizardFrameUI::refreshUI, this, &PageViewUI::retranslateUI, Qt::AutoConnection);
}

QWidget* PageViewUI::pageWidget()
{
    return this;
}

void PageViewUI::retranslateUI()
{
    const QString path = resourceProvider ? resourceProvider->GetResource(
                             IRessourceProvider::HelpPage, QString::number(htmlPageNumber), 0, QString())
                                          : QString();
    webView->showPage(toForwardSlashes(path));
    webView->setStyleSheet(QStringLiteral("background-color: transparent;"));
    webView->show();
}

} // namespace wizard
