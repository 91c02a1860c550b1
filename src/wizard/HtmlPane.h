// SPDX-License-Identifier: MIT
#pragma once

#include <QUrl>

#if KAVNI_HTML_TEXTBROWSER
#include <QTextBrowser>
#else
#include <QWebEngineView>
#endif

namespace wizard {

// The engine the pane draws with: Qt WebEngine where it exists (Linux, MSVC on
// Windows), QTextBrowser where it cannot be built (MinGW). The help pages are
// written to read well in both.
#if KAVNI_HTML_TEXTBROWSER
using HtmlPaneEngine = QTextBrowser;
#else
using HtmlPaneEngine = QWebEngineView;
#endif

// The HTML pane of the page views and the event dialog: a view of a fixed size
// with a transparent background that never takes the keyboard focus, so that
// Escape and Return keep reaching the dialog around it.
class HtmlPane : public HtmlPaneEngine {
    Q_OBJECT
public:
    HtmlPane(QWidget* parent, int width, int height);

    // Shows the page at path as the provider gives it: an absolute path is a
    // local file, a text with a scheme is taken as it is, the empty text
    // shows an empty page. A pane that is not on screen (a page of the stack
    // that is not current, a dialog not yet open) loads it when it is first
    // shown, so that the window's start-up pays for the page it shows only.
    void showPage(const QString& path);

    static QUrl pageUrl(const QString& path);
    // The address last asked for (the view's own url() follows only once the
    // page has begun to load).
    QUrl requestedPage() const { return requested; }

Q_SIGNALS:
    // The title of the page shown, once it is known (a screen reader names
    // the pane, and describes the event dialog, by it).
    void pageTitleChanged(const QString& title);

protected:
    void showEvent(QShowEvent* event) override;
    void childEvent(QChildEvent* event) override;

private:
    void loadRequested();

    QUrl requested;
    bool loadPending = false;
};

} // namespace wizard
