#include "demo/demo_revisions.h"

#include <algorithm>

namespace novel {
namespace {

// A higher number would give the page id of the next book's first chapter.
constexpr int kLastChapterNumber = DemoCatalogue::kPageIdsPerBook - 1;

DemoRevisedBook::Chapter* chapterNumbered(DemoRevisedBook& book, int number) {
    const int at = book.indexOf(number);
    return at < 0 ? nullptr : &book.chapters[static_cast<size_t>(at)];
}

std::vector<std::string> newText(const std::string& opening) {
    return {opening, "山风吹过林间，远处传来一阵钟声。他停下了脚步，望向远方。",
            "“这一切，才刚刚开始。”"};
}

}  // namespace

DemoRevisedBook DemoRevisedBook::original(const DemoBook& book) {
    DemoRevisedBook revised;
    revised.chapters.reserve(static_cast<size_t>(book.chapterCount));
    for (int k = 1; k <= book.chapterCount; ++k) revised.chapters.push_back({k, {}, {}});
    revised.nextNumber = book.chapterCount + 1;
    return revised;
}

int DemoRevisedBook::indexOf(int number) const {
    // Numbers rise along the book: appended chapters take ever higher ones.
    auto at = std::lower_bound(chapters.begin(), chapters.end(), number,
                               [](const Chapter& c, int n) { return c.number < n; });
    return at != chapters.end() && at->number == number ? static_cast<int>(at - chapters.begin())
                                                        : -1;
}

std::optional<DemoRevisedBook> applyRevision(DemoRevisedBook book, const DemoRevision& revision) {
    for (const auto& rewrite : revision.rewrite) {
        DemoRevisedBook::Chapter* c = chapterNumbered(book, rewrite.chapter);
        if (!c) return std::nullopt;
        c->paragraphs = rewrite.paragraphs;
    }
    for (const auto& retitle : revision.retitle) {
        DemoRevisedBook::Chapter* c = chapterNumbered(book, retitle.chapter);
        if (!c) return std::nullopt;
        c->title = retitle.title;
    }
    for (int number : revision.remove) {
        const int at = book.indexOf(number);
        if (at < 0) return std::nullopt;
        book.chapters.erase(book.chapters.begin() + at);
    }
    if (book.nextNumber + static_cast<int64_t>(revision.append.size()) - 1 > kLastChapterNumber)
        return std::nullopt;
    for (const auto& added : revision.append)
        book.chapters.push_back({book.nextNumber++, added.title, added.paragraphs});
    return book;
}

std::vector<DemoRevision> demoRevisionSteps(const DemoBook& book) {
    const int next = book.chapterCount + 1;
    auto title = [](int number, const char* name) {
        return "第" + chineseNumber(number) + "章 " + name;
    };
    std::vector<DemoRevision> steps(4);
    steps[0].append = {
        {title(next, "新的旅程"), newText("天刚蒙蒙亮，少年便背起行囊下了山。")},
        {title(next + 1, "山外有山"), newText("城门外早已聚满了人，众人议论纷纷。")}};
    steps[1].retitle = {{2, title(2, "夜雨重逢（修订）")}};
    steps[1].rewrite = {{3, newText("作者修订：这一章从头改写了。")}};
    steps[2].remove = {1, next};
    steps[3].append = {{title(next + 2, "尘埃落定"), newText("一道惊雷划破夜空，雨终于停了。")}};
    return steps;
}

DemoRevisions::DemoRevisions(const DemoCatalogue& catalogue) : catalogue_(catalogue) {}

std::shared_ptr<const DemoRevisedBook> DemoRevisions::of(int bookId) const {
    std::lock_guard lock(mutex_);
    auto at = books_.find(bookId);
    return at == books_.end() ? nullptr : at->second;
}

bool DemoRevisions::revise(int bookId, const DemoRevision& revision) {
    const DemoBook* book = catalogue_.book(bookId);
    if (!book) return false;
    std::lock_guard lock(mutex_);
    auto at = books_.find(bookId);
    std::optional<DemoRevisedBook> revised = applyRevision(
        at == books_.end() ? DemoRevisedBook::original(*book) : *at->second, revision);
    if (!revised) return false;
    books_[bookId] = std::make_shared<const DemoRevisedBook>(std::move(*revised));
    return true;
}

bool DemoRevisions::setStep(int bookId, int step) {
    const DemoBook* book = catalogue_.book(bookId);
    if (!book) return false;
    const std::vector<DemoRevision> steps = demoRevisionSteps(*book);
    if (step < 0 || step > static_cast<int>(steps.size())) return false;
    DemoRevisedBook revised = DemoRevisedBook::original(*book);
    for (int s = 0; s < step; ++s) {
        std::optional<DemoRevisedBook> next = applyRevision(std::move(revised), steps[s]);
        if (!next) return false;  // a book too short for the sequence
        revised = std::move(*next);
    }
    std::lock_guard lock(mutex_);
    if (step == 0)
        books_.erase(bookId);
    else
        books_[bookId] = std::make_shared<const DemoRevisedBook>(std::move(revised));
    return true;
}

}  // namespace novel
