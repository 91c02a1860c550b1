// SPDX-License-Identifier: MIT
#include "wizard/HtmlPane.h"

#include <QChildEvent>
#include <QDir>
#include <QFileInfo>
#if KAVNI_HTML_TEXTBROWSER
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#else
#include <QQuickWidget>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#endif

namespace wizard {

#if KAVNI_HTML_TEXTBROWSER
namespace {

// Rich text reads the pages' style sheet in two ways a browser does not: a
// heading keeps its own larger size over the one the style sheet gives it, and
// a line height is added to the line's own leading, so that the event pages no
// longer fit their pane. The sizes written win, and lines keep single spacing.
void keepWrittenSizes(QTextDocument* document)
{
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        QTextBlockFormat blockFormat = block.blockFormat();
        if (blockFormat.lineHeightType() != QTextBlockFormat::SingleHeight) {
            blockFormat.setLineHeight(0, QTextBlockFormat::SingleHeight);
            QTextCursor(block).setBlockFormat(blockFormat);
        }
        for (auto piece = block.begin(); !piece.atEnd(); ++piece) {
            const QTextFragment fragment = piece.fragment();
            QTextCharFormat format = fragment.charFormat();
            if (!format.hasProperty(QTextFormat::FontPixelSize)
                || !format.hasProperty(QTextFormat::FontSizeAdjustment))
                continue;
            format.clearProperty(QTextFormat::FontSizeAdjustment);
            QTextCursor cursor(document);
            cursor.setPosition(fragment.position());
            cursor.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
            cursor.setCharFormat(format);
        }
    }
}

} // namespace
#endif

HtmlPane::HtmlPane(QWidget* parent, int width, int height)
    : HtmlPaneEngine(parent)
{
    setMinimumSize(width, height);
    setMaximumSize(width, height);
    // A web view takes the focus when it is the first focusable child, and
    // then swallows Escape; the pane is for reading only.
    setFocusPolicy(Qt::NoFocus);
    setContextMenuPolicy(Qt::NoContextMenu);
    // A screen reader names the pane by the title of the page it shows.
    connect(this, &HtmlPane::pageTitleChanged, this, &QWidget::setAccessibleName, Qt::AutoConnection);
#if KAVNI_HTML_TEXTBROWSER
    // Rich text over the window's own background: no frame, no fill, links
    // followed inside the pane as the web view follows them.
    setFrameShape(QFrame::NoFrame);
    viewport()->setAutoFillBackground(false);
    viewport()->setFocusPolicy(Qt::NoFocus);
    verticalScrollBar()->setFocusPolicy(Qt::NoFocus);
    setStyleSheet(QStringLiteral("QTextBrowser { background: transparent; }"));
    setTextInteractionFlags(Qt::LinksAccessibleByMouse);
    setOpenExternalLinks(false);
    connect(
        this, &QTextBrowser::sourceChanged, this, [this] { Q_EMIT pageTitleChanged(documentTitle()); },
        Qt::AutoConnection);
#else
    settings()->setAttribute(QWebEngineSettings::FocusOnNavigationEnabled, false);
    settings()->setAttribute(QWebEngineSettings::ShowScrollBars, true);
    // A style sheet alone does not make the page itself transparent.
    page()->setBackgroundColor(Qt::transparent);
    connect(this, &QWebEngineView::titleChanged, this, &HtmlPane::pageTitleChanged, Qt::AutoConnection);
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
#endif
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
    HtmlPaneEngine::showEvent(event);
    if (loadPending)
        loadRequested();
}

void HtmlPane::childEvent(QChildEvent* event)
{
    HtmlPaneEngine::childEvent(event);
    // The widget the view draws through asks for the focus of its own; as the
    // first focusable child of a dialog it would take it when the dialog
    // opens, and Escape would then never reach the dialog.
    if ((event->added() || event->polished()) && event->child()->isWidgetType())
        static_cast<QWidget*>(event->child())->setFocusPolicy(Qt::NoFocus);
}

void HtmlPane::loadRequested()
{
    loadPending = false;
#if KAVNI_HTML_TEXTBROWSER
    // Rich text reads local files only; any other address shows an empty
    // page, as the web view shows one it cannot reach.
    if (requested.isLocalFile()) {
        setSource(requested);
        keepWrittenSizes(document());
    } else {
        clear();
        Q_EMIT pageTitleChanged(QString());
    }
#else
    load(requested);
#endif
}

} // namespace wizard
