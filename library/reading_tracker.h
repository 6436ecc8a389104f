#pragma once
// What the reader window does with the library: chapters served from the chapter cache and kept
// when fetched, the next chapters read ahead in the background, and the reading position (the
// chapter and the paragraph at the top of the page) saved as the reader goes and restored when a
// book is continued or the page is redrawn.

#include <QElapsedTimer>
#include <QObject>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "catalogue/book_page.h"
#include "library/library.h"
#include "reader/paragraphs.h"
#include "reader/toc_parser.h"

class QTimer;
class QWidget;

namespace novel {

class ReaderView;

class AppState;
class ReadAhead;

class ReadingTracker : public QObject {
    Q_OBJECT
  public:
    // How often the paragraph at the top of the page is looked at while the reader is shown.
    static constexpr int kSampleIntervalMs = 3000;

    // `page` shows the chapters in `window` (hidden: the position is saved). The read-ahead depth
    // is "read_ahead" of reader.ini (default 2, 0: none).
    // `page` may be null (no web engine): positions are then kept by chapter only.
    ReadingTracker(AppState& state, ReaderView* page, QWidget* window);
    ~ReadingTracker() override;

    // The kept copy of a chapter page; nothing when the library holds none.
    std::optional<Bytes> keptPage(const std::string& url);
    // Keeps a chapter page fetched for reading.
    void keep(const std::string& url, std::string_view page);

    // A book was opened with this table of contents: it is remembered as the book read last (on
    // the shelf it stays there). A book without an address is not tracked.
    void bookOpened(const CurrentBook& book, const std::vector<ChapterEntry>& toc);
    // The book (or none) whose position is kept; set by bookOpened.
    void setBook(const std::string& bookUrl);
    // The next chapter shown goes to this paragraph instead of the top once its page loaded.
    void restoreNext(const ParagraphAnchor& anchor);
    // Chapter `row` (at `url`, with `text`) is now on the page: its position is saved, and the
    // chapters in `following` (those after it, in order) are read ahead.
    void chapterShown(int row, const std::string& url, const Text& text,
                      const std::vector<ChapterEntry>& following);
    // The same chapter is about to be drawn again (new appearance): asks the page where it is,
    // then runs `redraw`; the page goes back to that paragraph once loaded.
    void redrawInPlace(std::function<void()> redraw);
    // Asks the page where it is and saves the position when it changed; while the reader is read
    // aloud, the speech says where the reader is instead.
    void sample();
    // Reading aloud has reached paragraph `paragraph` of chapter `row`: that is the position.
    void spokenAt(int row, int paragraph);

    // The paragraph at the top of the page when last looked at; -1 before any.
    int topParagraph() const { return top_; }
    int readAheadDepth() const { return depth_; }
    // Read-ahead requests under way or waiting.
    int readAheadPending() const;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void onPageLoaded(bool ok);
    void save(int paragraph);
    void scrollTo(int paragraph);

    AppState& state_;
    ReaderView* page_;
    QTimer* sampleTimer_;
    QElapsedTimer lastSpoken_;  // since reading aloud last said where it is
    std::unique_ptr<ReadAhead> readAhead_;
    int depth_ = 2;

    std::string bookUrl_;
    int row_ = -1;
    std::string chapterUrl_;
    std::vector<std::string_view> paragraphs_;  // of text_
    Text text_;
    int top_ = -1;    // last paragraph seen or placed at the top
    int saved_ = -1;  // paragraph of the last saved position
    int scrollAfterLoad_ = -1;
    std::optional<ParagraphAnchor> restore_;
    std::uint64_t generation_ = 0;  // which chapter a page answer belongs to
};

}  // namespace novel
