#pragma once
// The web page behind ReaderBrowser. It shows only the page the program generated: a link the
// user clicks in the chapter goes to the desktop's browser, and any other navigation (a script
// or markup of the site moving the page elsewhere) is refused.

#include <QUrl>
#include <QWebEnginePage>

namespace novel {

class ReaderWebPage : public QWebEnginePage {
    Q_OBJECT
  public:
    // `allowed` is the generated page's file; the page may load and reload it, and nothing else.
    ReaderWebPage(QUrl allowed, QObject* parent = nullptr);

  protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
    QWebEnginePage* createWindow(WebWindowType type) override;

  private:
    QUrl allowed_;
};

}  // namespace novel
