#pragma once
// Update checks of the bookshelf: each book's table of contents is fetched again (Background
// priority, so the per-site limit holds), compared with the stored one by chapter address, and the
// newest chapters the library keeps are fetched again to see whether their text was revised. The
// new table of contents and the news are stored in one transaction per book.

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "library/library.h"
#include "web/request_engine.h"

namespace novel {

// Chapters new, removed and retitled (same address, other title) between two tables of contents,
// compared by address; a chapter that only moved is none of these. Titles in the order of the
// table they come from. `revised` is left empty.
UpdateNews compareTables(const std::vector<ChapterEntry>& before,
                         const std::vector<ChapterEntry>& after);

struct BookCheck {
    std::string bookUrl;
    Text title;
    UpdateNews news;
    std::string problem;  // why the book could not be checked, in words; empty when it was
    bool ok() const { return problem.empty(); }
};

class ShelfUpdate {
  public:
    // Kept chapters fetched again per book to look for revisions.
    static constexpr size_t kRevisionChecks = 3;

    // The library and the engine must outlive this object.
    ShelfUpdate(Library& library, RequestEngine& engine, ChapterCleaning cleaning);
    // Cancels what is under way and waits for it.
    ~ShelfUpdate();
    ShelfUpdate(const ShelfUpdate&) = delete;
    ShelfUpdate& operator=(const ShelfUpdate&) = delete;

    // Checks every book of the shelf; `onBook` runs on the engine's thread as each book is done
    // (and stored). Returns at once; false when a check is already running.
    bool start(std::function<void(const BookCheck&)> onBook = {});
    // Books not yet done end with a problem ("已取消") and nothing stored for them.
    void cancel();
    // Blocks until every book is done (never on the engine's thread); the results in shelf order.
    std::vector<BookCheck> wait();

  private:
    struct Run;
    Library& library_;
    RequestEngine& engine_;
    ChapterCleaning cleaning_;
    std::shared_ptr<Run> run_;
};

// start() then wait(): checks the whole shelf and hands back every book's result.
std::vector<BookCheck> checkShelf(Library& library, RequestEngine& engine,
                                  const ChapterCleaning& cleaning);

}  // namespace novel
