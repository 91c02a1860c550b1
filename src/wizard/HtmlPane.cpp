// SPDX-License-Identifier: MIT
#include "wizard/HtmlPane.h"

#include <QChildEvent>
#include <QDir>
#include <QFileInfo>
#include <QQuickWidget>
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
    // A screen reader names the pane by the title of the page it shows.
    connect(this, &QWebEngineView::titleChanged, this, &QWidget::setAccessibleName, Qt::AutoConnection);
    // The view draws through a Qt Quick widget that it creates with its first
    // page, and that widget needs a window with another kind of surface. Made
    // after the window that holds the pane is on screen, it makes Qt destroy
    // that window and map a new one: the main window jumps to another place,
    // and a dialog comes back no longer modal, behind the wait box that then
    // takes all its input. A hidden, empty Qt Quick widget of the pane's own
    // asks for that surface from the start, so the window is made once, with
    // it; the page still loads when the pane is first shown.
    auto* surfaceMarker = new QQuickWidget(this);
    surfaceMarker->setObjectName(QStringLiteral("surfaceMarker"));
    surfaceMarker->setAttribute(Qt::WA_DontShowOnScreen);
    surfaceMarker->hide();
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

void HtmlPane::childEvent(QChildEvent* event)
{
    QWebEngineView::childEvent(event);
    // The widget the view draws through asks for the focus of its own; as the
    // first focusable child of a dialog it would take it when the dialog
    // opens, and Escape would then never reach the dialog.
    if ((event->added() || event->polished()) && event->child()->isWidgetType())
        static_cast<QWidget*>(event->child())->setFocusPolicy(Qt::NoFocus);
}

void HtmlPane::loadRequested()
{
    loadPending = false;
    load(requested);
}

} // namespace wizard
