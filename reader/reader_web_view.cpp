// The web engine module: the reader's view and its page. Loaded by the program when the reader
// first opens (see reader/reader_view.h), so the engine costs nothing while the user only browses.

#include <QGuiApplication>
#include <QOpenGLContext>
#include <QQuickWindow>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>
#include <vector>

#include "reader/reader_view.h"

Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext* context);

namespace novel {
namespace {

bool isWebLink(const QUrl& url) {
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

// A link that asks for a new window ("target=_blank") lands here: its address goes to the
// desktop's browser and the page itself is never shown.
class ForwardingPage : public QWebEnginePage {
  public:
    ForwardingPage(QWebEngineProfile* profile, LinkOpener openLink, QObject* parent)
        : QWebEnginePage(profile, parent), openLink_(std::move(openLink)) {}

  protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool) override {
        if (isWebLink(url) && openLink_) openLink_(url);
        deleteLater();
        return false;
    }

  private:
    LinkOpener openLink_;
};

// The page shows only the page the program generated: a link the user clicks in the chapter goes
// to the desktop's browser, and any other navigation (a script or markup of the site moving the
// page elsewhere) is refused.
class ReaderWebPage : public QWebEnginePage {
  public:
    ReaderWebPage(QUrl allowed, LinkOpener openLink, QObject* parent)
        : QWebEnginePage(parent), allowed_(std::move(allowed)), openLink_(std::move(openLink)) {}

  protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override {
        if (url.adjusted(QUrl::RemoveFragment) == allowed_) return true;
        // Frames were removed from the chapter's markup; whatever is left of them stays empty.
        if (!isMainFrame) return false;
        if (type == NavigationTypeLinkClicked && isWebLink(url) && openLink_) openLink_(url);
        return false;
    }
    QWebEnginePage* createWindow(WebWindowType) override {
        return new ForwardingPage(profile(), openLink_, this);
    }

  private:
    QUrl allowed_;
    LinkOpener openLink_;
};

class WebReaderView : public QWebEngineView, public ReaderView {
  public:
    WebReaderView(const QUrl& allowed, LinkOpener openLink, QWidget* parent)
        : QWebEngineView(parent) {
        setPage(new ReaderWebPage(allowed, std::move(openLink), this));
        settings()->setDefaultTextEncoding(QStringLiteral("GBK"));
        // The page's own script scrolls it and keeps its context menu away.
        settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, true);
        // The reader page is a local file that needs nothing but itself.
        settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
        settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
        setContextMenuPolicy(Qt::NoContextMenu);
        connect(this, &QWebEngineView::loadStarted, this, [this] {
            for (const auto& handler : loadStarted_) handler();
        });
        connect(this, &QWebEngineView::loadFinished, this, [this](bool ok) {
            for (const auto& handler : loadFinished_) handler(ok);
        });
        const auto scrolled = [this] {
            for (const auto& handler : scrollChanged_) handler();
        };
        connect(page(), &QWebEnginePage::scrollPositionChanged, this, scrolled);
        connect(page(), &QWebEnginePage::contentsSizeChanged, this, scrolled);
    }

    QWidget* widget() override { return this; }
    void load(const QUrl& url) override { QWebEngineView::load(url); }
    void reload() override { QWebEngineView::reload(); }
    QUrl url() const override { return QWebEngineView::url(); }
    bool isLoading() const override { return page()->isLoading(); }
    void setPageBackground(const QColor& color) override { page()->setBackgroundColor(color); }
    void runJavaScript(const QString& script, std::function<void(const QVariant&)> done) override {
        if (done)
            page()->runJavaScript(script, [done = std::move(done)](const QVariant& v) { done(v); });
        else
            page()->runJavaScript(script);
    }
    void onLoadStarted(std::function<void()> handler) override {
        loadStarted_.push_back(std::move(handler));
    }
    void onLoadFinished(std::function<void(bool)> handler) override {
        loadFinished_.push_back(std::move(handler));
    }
    void onScrollChanged(std::function<void()> handler) override {
        scrollChanged_.push_back(std::move(handler));
    }

  private:
    std::vector<std::function<void()>> loadStarted_;
    std::vector<std::function<void(bool)>> loadFinished_;
    std::vector<std::function<void()>> scrollChanged_;
};

// The engine draws through a context shared with the window's; a program that started without
// the engine (the usual case) makes that context now instead of at start-up.
void prepareWebEngine() {
    if (QOpenGLContext::globalShareContext()) return;
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    auto* shared = new QOpenGLContext(QCoreApplication::instance());
    shared->create();
    qt_gl_set_global_share_context(shared);
    QQuickWindow::setGraphicsApi(QSGRendererInterface::OpenGLRhi);
}

}  // namespace
}  // namespace novel

extern "C" Q_DECL_EXPORT novel::ReaderView* novelCreateReaderView(const QUrl& allowed,
                                                                  const novel::LinkOpener& openLink,
                                                                  QWidget* parent) {
    novel::prepareWebEngine();
    auto* view = new novel::WebReaderView(allowed, openLink, parent);
    view->setObjectName(QStringLiteral("ReaderBrowser"));
    return view;
}
