#include "reader/reader_web_page.h"

#include "commands/desktop_open.h"

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
    using QWebEnginePage::QWebEnginePage;

  protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool) override {
        if (isWebLink(url)) openWebPage(url);
        deleteLater();
        return false;
    }
};

}  // namespace

ReaderWebPage::ReaderWebPage(QUrl allowed, QObject* parent)
    : QWebEnginePage(parent), allowed_(std::move(allowed)) {}

bool ReaderWebPage::acceptNavigationRequest(const QUrl& url, NavigationType type,
                                            bool isMainFrame) {
    if (url.adjusted(QUrl::RemoveFragment) == allowed_) return true;
    // Frames were removed from the chapter's markup; whatever is left of them stays empty.
    if (!isMainFrame) return false;
    if (type == NavigationTypeLinkClicked && isWebLink(url)) openWebPage(url);
    return false;
}

QWebEnginePage* ReaderWebPage::createWindow(WebWindowType) {
    return new ForwardingPage(profile(), this);
}

}  // namespace novel
