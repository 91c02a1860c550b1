// SPDX-License-Identifier: MIT
#include "wizard/HtmlPane.h"

#include <QDir>
#include <QFileInfo>
#include <QWebEnginePage>
#include <QWebEngineSettings>

namespace wizard {

HtmlPane::HtmlPane(QWidget* parent, int width, int height)
    : QWebEngineView(parent)
{
    setMinimumSize(width, height);
    setMaximumSize(width, height);
    // A web view takes the focus when it is the first focusable child, and
    // then swallows Escape; the pane is for reading only.
    setFocusPolicy(Qt::NoFocus);
    settings()->setAttribute(QWebEngineSettings::FocusOnNavigationEnabled, false);
    settings()->setAttribute(QWebEngineSettings::ShowScrollBars, true);
    // A style sheet alone does not make the page itself transparent.
    page()->setBackgroundColor(Qt::transparent);
    setContextMenuPolicy(Qt::NoContextMenu);
}

QUrl HtmlPane::pageUrl(const QString& path)
{
    if (path.isEmpty())
        return QUrl(QStringLiteral("about:blank"));
    if (QDir::isAbsolutePath(path))
        return QUrl::fromLocalFile(path);
    const QUrl url(path);
    if (url.scheme().size() > 1)
        return url;
    return QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
}

void HtmlPane::showPage(const QString& path)
{
    requested = pageUrl(path);
    loadPending = true;
    if (isVisible())
        loadRequested();
}

void HtmlPane::showEvent(QShowEvent* event)
{
    QWebEngineView::showEvent(event);
    if (loadPending)
        loadRequested();
}

void HtmlPane::loadRequested()
{
    loadPending = false;
    load(requested);
}

} // namespace wizard
