#include "library/reading_tracker.h"

#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <charconv>
#include "reader/reader_view.h"

#include "app/app_state.h"
#include "catalogue/site_urls.h"
#include "library/read_ahead.h"
#include "library/shelf_entry.h"
#include "reader/chapter.h"
#include "reader/reader_settings.h"

namespace novel {
namespace {

// The number of the first paragraph <p id="pN"> not wholly above the top of the view; -1 when
// the page has none.
const QString kTopParagraphScript = QStringLiteral(
    "(function(){var n=document.querySelectorAll('p[id^=\"p\"]');"
    "for(var i=0;i<n.length;i++){if(n[i].getBoundingClientRect().bottom>1)"
    "return parseInt(n[i].id.substring(1),10);}return n.length?n.length-1:-1;})()");

int readAheadSetting(const QString& htmlFolder) {
    const std::string value =
        readReaderSettingsFile(std::filesystem::path(htmlFolder.toStdString()))
            .value("read_ahead", std::to_string(ReadAhead::kDefaultDepth));
    int depth = ReadAhead::kDefaultDepth;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), depth);
    if (error != std::errc() || end != value.data() + value.size())
        depth = ReadAhead::kDefaultDepth;
    // More would only hold the site's connections for chapters nobody may read.
    return std::clamp(depth, 0, 10);
}

}  // namespace

ReadingTracker::ReadingTracker(AppState& state, ReaderView* page, QWidget* window)
    : QObject(window),
      state_(state),
      page_(page),
      sampleTimer_(new QTimer(this)),
      depth_(readAheadSetting(state.htmlFolder)) {
    sampleTimer_->setInterval(kSampleIntervalMs);
    connect(sampleTimer_, &QTimer::timeout, this, &ReadingTracker::sample);
    if (page_)
        page_->onLoadFinished([self = QPointer<ReadingTracker>(this)](bool ok) {
            if (self) self->onPageLoaded(ok);
        });
    window->installEventFilter(this);
    if (window->isVisible()) sampleTimer_->start();
}

ReadingTracker::~ReadingTracker() {
    // Waits for the chapters under way; they are kept for the next run.
    readAhead_.reset();
    if (top_ >= 0 && top_ != saved_) save(top_);
}

std::optional<Bytes> ReadingTracker::keptPage(const std::string& url) {
    Library& library = state_.library();
    if (library.state() == LibraryState::Unavailable) return std::nullopt;
    std::optional<CachedChapter> kept = library.lookupChapter(url, state_.cleaning());
    if (!kept) return std::nullopt;
    return std::move(kept->page);
}

void ReadingTracker::keep(const std::string& url, std::string_view page) {
    Library& library = state_.library();
    // A cache that cannot be written only means the chapter is fetched again next time.
    if (library.writable()) library.storeChapter(url, page, state_.cleaning(), unixNow());
}

void ReadingTracker::bookOpened(const CurrentBook& book, const std::vector<ChapterEntry>& toc) {
    setBook({});
    if (book.bookUrl.empty()) return;
    Library& library = state_.library();
    if (library.writable() &&
        library.rememberBook(shelfBookOf(book, toc, coverUrl(state_.site))).ok())
        setBook(book.bookUrl);
}

void ReadingTracker::setBook(const std::string& bookUrl) {
    bookUrl_ = bookUrl;
    row_ = -1;
    saved_ = -1;
}

void ReadingTracker::restoreNext(const ParagraphAnchor& anchor) {
    restore_ = anchor;
}

void ReadingTracker::chapterShown(int row, const std::string& url, const Text& text,
                                  const std::vector<ChapterEntry>& following) {
    ++generation_;
    row_ = row;
    chapterUrl_ = url;
    text_ = text;
    paragraphs_ = splitParagraphs(text_);
    int paragraph = 0;
    if (restore_) paragraph = restoreParagraph(*restore_, paragraphs_);
    restore_.reset();
    scrollAfterLoad_ = paragraph > 0 ? paragraph : -1;
    top_ = paragraph;
    save(paragraph);

    if (depth_ <= 0 || following.empty() || !state_.library().writable()) return;
    if (!readAhead_)
        readAhead_ = std::make_unique<ReadAhead>(state_.library(), state_.engine(),
                                                 state_.cleaning(), depth_);
    // ReadAhead counts from the chapter shown: put a stand-in for it before the following ones.
    std::vector<ChapterEntry> toc;
    toc.reserve(following.size() + 1);
    toc.push_back(ChapterEntry{{}, {}, url});
    toc.insert(toc.end(), following.begin(), following.end());
    readAhead_->start(toc, 0);
}

int ReadingTracker::readAheadPending() const {
    return readAhead_ ? readAhead_->pending() : 0;
}

void ReadingTracker::redrawInPlace(std::function<void()> redraw) {
    if (!page_) return redraw();
    QPointer<ReadingTracker> self(this);
    page_->runJavaScript(kTopParagraphScript, [self, redraw](const QVariant& answer) {
        if (!self) return;
        const int paragraph = answer.isValid() ? answer.toInt() : -1;
        if (paragraph > 0) {
            self->scrollAfterLoad_ = paragraph;
            self->top_ = paragraph;
        }
        redraw();
    });
}

void ReadingTracker::spokenAt(int row, int paragraph) {
    if (row != row_ || paragraph < 0) return;
    lastSpoken_.start();
    top_ = paragraph;
    if (paragraph != saved_) save(paragraph);
}

void ReadingTracker::sample() {
    // The speech keeps its sentence in sight, but the top of the page may lie a paragraph above.
    if (lastSpoken_.isValid() && lastSpoken_.elapsed() < 2 * kSampleIntervalMs) return;
    // A page still loading or not yet put back in place would report its top.
    if (!page_ || bookUrl_.empty() || row_ < 0 || scrollAfterLoad_ >= 0 || page_->isLoading())
        return;
    QPointer<ReadingTracker> self(this);
    const std::uint64_t generation = generation_;
    page_->runJavaScript(kTopParagraphScript, [self, generation](const QVariant& answer) {
        if (!self || generation != self->generation_ || self->scrollAfterLoad_ >= 0) return;
        const int paragraph = answer.isValid() ? answer.toInt() : -1;
        if (paragraph < 0) return;
        self->top_ = paragraph;
        if (paragraph != self->saved_) self->save(paragraph);
    });
}

bool ReadingTracker::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Show) {
        sampleTimer_->start();
    } else if (event->type() == QEvent::Hide) {
        sampleTimer_->stop();
        sample();
    }
    return QObject::eventFilter(watched, event);
}

void ReadingTracker::onPageLoaded(bool ok) {
    if (!ok || scrollAfterLoad_ < 0) return;
    scrollTo(scrollAfterLoad_);
    scrollAfterLoad_ = -1;
}

void ReadingTracker::scrollTo(int paragraph) {
    if (!page_) return;
    page_->runJavaScript(QStringLiteral("(function(){var e=document.getElementById('p%1');"
                                        "if(e)e.scrollIntoView(true);})()")
                             .arg(paragraph));
}

void ReadingTracker::save(int paragraph) {
    // A row without an address (the reader's placeholder rows) is no place to come back to.
    if (bookUrl_.empty() || row_ < 0 || chapterUrl_.empty()) return;
    Library& library = state_.library();
    if (!library.writable()) return;
    const ReadingPosition position{chapterUrl_, row_, anchorAt(paragraphs_, paragraph), unixNow()};
    if (library.savePosition(bookUrl_, position).ok()) saved_ = paragraph;
}

}  // namespace novel
