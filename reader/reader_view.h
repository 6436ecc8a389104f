#pragma once
// The reader's web view, kept behind a small interface so that the web engine (the largest part
// of the program by far) is loaded only when the reader first opens: the view lives in a module
// of its own (novelreader_webview) that the program loads then. The view shows the generated
// reader page only (see ReaderWebPage in the module).

#include <QColor>
#include <QString>
#include <QUrl>
#include <QVariant>
#include <functional>

class QWidget;

namespace novel {

class ReaderView {
  public:
    virtual ~ReaderView() = default;

    // The view itself (a QWebEngineView named "ReaderBrowser"); its parent owns it, and this
    // interface goes with it.
    virtual QWidget* widget() = 0;
    virtual void load(const QUrl& url) = 0;
    virtual void reload() = 0;
    virtual QUrl url() const = 0;
    virtual bool isLoading() const = 0;
    // The colour the view shows while the next page loads.
    virtual void setPageBackground(const QColor& color) = 0;
    // Runs a script in the page; `done` (may be empty) gets its result on the GUI thread.
    virtual void runJavaScript(const QString& script,
                               std::function<void(const QVariant&)> done = {}) = 0;
    // Handlers, each added to those already there: a page begins to load; a page has finished
    // loading (or failed to); the page scrolled or changed its size.
    virtual void onLoadStarted(std::function<void()> handler) = 0;
    virtual void onLoadFinished(std::function<void(bool ok)> handler) = 0;
    virtual void onScrollChanged(std::function<void()> handler) = 0;
};

// What the view does with a link the user clicks in a chapter: hand it to the desktop's browser.
using LinkOpener = std::function<void(const QUrl& url)>;

// Makes the view for a reader whose generated page is `allowedPage`, loading the web engine
// module on first use. Null, with `problem` saying why in words for the user, when the module
// cannot be loaded.
ReaderView* createReaderView(const QUrl& allowedPage, LinkOpener openLink, QWidget* parent,
                             QString* problem);

}  // namespace novel
