#pragma once
// Books of a running demo site that change: chapters added, taken out, renamed or rewritten, so
// that update checks have something to find. A revised book keeps its book page and list rows;
// its table of contents, chapter pages and TXT package show the revision. Every other book stays
// as generated.

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "demo/demo_catalogue.h"

namespace novel {

// One change to a book. Chapters are named by the number in their page id
// (DemoCatalogue::chapterPageId), which stays theirs through every revision; a removed number is
// never given out again.
// Applied in this order: rewrites, retitles, removals, then the appended chapters.
struct DemoRevision {
    struct NewChapter {
        std::string title;                    // UTF-8
        std::vector<std::string> paragraphs;  // UTF-8, one string per paragraph
    };
    struct Retitle {
        int chapter = 0;
        std::string title;
    };
    struct Rewrite {
        int chapter = 0;
        std::vector<std::string> paragraphs;
    };
    std::vector<Rewrite> rewrite;
    std::vector<Retitle> retitle;
    std::vector<int> remove;
    std::vector<NewChapter> append;  // after the last chapter, numbered on from the highest yet
};

// The chapters of a revised book in reading order. A chapter without its own title or text shows
// the generated one.
struct DemoRevisedBook {
    struct Chapter {
        int number = 0;
        std::optional<std::string> title;
        std::optional<std::vector<std::string>> paragraphs;
    };
    std::vector<Chapter> chapters;
    int nextNumber = 1;  // the number the next appended chapter takes

    // The book as generated, before any revision.
    static DemoRevisedBook original(const DemoBook& book);
    // Index of the chapter with this number in `chapters`, or -1.
    int indexOf(int number) const;
};

// The book after the revision, or nothing when the revision names a chapter the book lacks or
// would number a chapter past the page-id range.
std::optional<DemoRevisedBook> applyRevision(DemoRevisedBook book, const DemoRevision& revision);

// The fixed sequence the control route steps a book through (step 1 first): two chapters
// appended; chapter 2 renamed and chapter 3 rewritten; chapter 1 and the first appended chapter
// removed; one more chapter appended.
std::vector<DemoRevision> demoRevisionSteps(const DemoBook& book);

// The revisions of one site, safe to read and change from any thread. Readers get a snapshot that
// a later revision does not change under them.
class DemoRevisions {
  public:
    explicit DemoRevisions(const DemoCatalogue& catalogue);

    // Null while the book is as generated.
    std::shared_ptr<const DemoRevisedBook> of(int bookId) const;
    // False, with nothing changed, for an unknown book or a revision applyRevision refuses.
    bool revise(int bookId, const DemoRevision& revision);
    // Puts the book back as generated, then applies the first `step` of demoRevisionSteps; step 0
    // restores it. False, with nothing changed, for an unknown book or a step past the sequence.
    bool setStep(int bookId, int step);

  private:
    const DemoCatalogue& catalogue_;
    mutable std::mutex mutex_;
    std::map<int, std::shared_ptr<const DemoRevisedBook>> books_;
};

}  // namespace novel
