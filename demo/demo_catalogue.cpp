#include "demo/demo_catalogue.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <functional>
#include <set>

#include "web/gbk.h"

namespace novel {
namespace {

constexpr uint64_t kCatalogueSeed = 0x5EED2012D3B0C0DEULL;
constexpr int kLastDay = 2921;  // 2019-12-31

// splitmix64: small, fast and identical on every platform, unlike std::rand or the standard
// distributions.
class SplitMix64 {
  public:
    explicit SplitMix64(uint64_t seed) : state_(seed) {}
    uint64_t next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    int below(int n) { return static_cast<int>(next() % static_cast<uint64_t>(n)); }
    int between(int lo, int hi) { return lo + below(hi - lo + 1); }
    template <size_t N>
    const char* pick(const std::array<const char*, N>& table) {
        return table[below(static_cast<int>(N))];
    }

  private:
    uint64_t state_;
};

uint64_t mixSeed(uint64_t a, uint64_t b) {
    SplitMix64 r(a ^ (b * 0xD1B54A32D192ED03ULL));
    return r.next();
}

const std::array<const char*, 10> kCategories = {"玄幻魔法", "武侠修真", "都市言情", "历史军事",
                                                 "侦探推理", "游戏竞技", "科幻小说", "恐怖灵异",
                                                 "美文散文", "其它小说"};

const std::array<const char*, 40> kTitleHeads = {
    "九天", "星辰", "苍穹", "万古", "太古", "洪荒", "青云", "紫霄", "天龙", "神魔",
    "乾坤", "风云", "龙城", "剑宗", "幽冥", "无尽", "混沌", "江湖", "山河", "长安",
    "烟雨", "沧海", "明月", "春秋", "大唐", "北境", "西域", "南疆", "东海", "天机",
    "灵霄", "玄天", "逍遥", "红尘", "寒门", "锦绣", "重生", "都市", "校园", "末世"};
const std::array<const char*, 30> kTitleTails = {
    "战神", "帝尊", "剑仙", "传说", "纪元", "至尊", "神王", "天骄", "狂龙", "医仙",
    "霸主", "谋士", "侠客", "仙途", "武神", "记事", "风华", "奇缘", "长歌", "旧梦",
    "归途", "秘录", "异闻", "行者", "刀客", "王座", "风暴", "兵锋", "书生", "少年"};

const std::array<const char*, 30> kSurnames = {
    "唐", "萧", "林", "叶", "苏", "楚", "沈", "顾", "陆", "秦", "白", "南", "风", "莫", "云",
    "陈", "李", "王", "张", "刘", "赵", "周", "吴", "孙", "郑", "何", "高", "罗", "梁", "宋"};
const std::array<const char*, 26> kGivenNames = {
    "一", "青", "墨", "凡", "逸", "晨", "寒", "羽", "然", "远", "尘", "默", "川",
    "歌", "舟", "白", "风", "夜", "影", "言", "弦", "笑", "星", "辰", "雪", "夕"};
const std::array<const char*, 8> kPenHeads = {"半壶", "醉卧", "一叶", "孤城",
                                              "落笔", "听风", "梦回", "闲看"};
const std::array<const char*, 8> kPenTails = {"清茶", "青山", "知秋", "明月",
                                              "星河", "流云", "旧人", "残阳"};

const std::array<const char*, 16> kChapterHeads = {"风起", "夜雨", "初入", "重逢", "暗潮", "血战",
                                                   "归来", "破局", "离别", "试剑", "夺宝", "问心",
                                                   "天劫", "密谋", "惊变", "突围"};
const std::array<const char*, 14> kChapterTails = {"云涌", "江湖", "京城", "故人", "汹涌",
                                                   "长街", "山门", "之夜", "前夕", "风波",
                                                   "秘境", "真相", "余波", "迷局"};

const std::array<const char*, 10> kPeople = {"林逸", "苏晴", "老者", "少年", "师父",
                                             "掌柜", "那人", "众人", "他",   "她"};
const std::array<const char*, 10> kActions = {
    "缓缓抬起头", "望向远方", "握紧了手中的长剑", "轻轻叹了口气", "沉默了片刻",
    "笑了笑",     "转身离去", "停下了脚步",       "点了点头",     "眉头微皱"};
const std::array<const char*, 10> kScenes = {
    "山风吹过林间",     "天色渐渐暗了下来",   "远处传来一阵钟声",       "雨水打在青石板上",
    "灯火映红了半边天", "街上的行人越来越少", "空气中弥漫着淡淡的花香", "一道惊雷划破夜空",
    "湖面泛起层层涟漪", "城门外早已聚满了人"};
const std::array<const char*, 6> kSpeeches = {
    "“你终于来了。”",       "“此事绝不简单。”",       "“走吧，天亮之前必须赶到。”",
    "“我不会再让你失望。”", "“这一切，才刚刚开始。”", "“有些事，总要有人去做。”"};

// Characters of a UTF-8 string made of three-byte characters (the text tables are all Chinese).
int chineseLength(std::string_view s) {
    return static_cast<int>(s.size() / 3);
}

std::string sentence(SplitMix64& r) {
    std::string s;
    switch (r.below(4)) {
        case 0:
            s = std::string(r.pick(kPeople)) + r.pick(kActions) + "，" + r.pick(kScenes) + "。";
            break;
        case 1:
            s = std::string(r.pick(kScenes)) + "，" + r.pick(kPeople) + r.pick(kActions) + "。";
            break;
        case 2:
            s = std::string(r.pick(kPeople)) + "说道：" + r.pick(kSpeeches);
            break;
        default:
            s = std::string(r.pick(kScenes)) + "。";
            break;
    }
    return s;
}

std::string generatedTitle(SplitMix64& r) {
    const char* head = r.pick(kTitleHeads);
    const char* tail = r.pick(kTitleTails);
    switch (r.below(3)) {
        case 0:
            return std::string(head) + tail;
        case 1:
            return std::string(head) + "之" + tail;
        default:
            return std::string("我在") + head + "当" + tail;
    }
}

std::string generatedAuthor(SplitMix64& r) {
    switch (r.below(3)) {
        case 0:
            return std::string(r.pick(kSurnames)) + r.pick(kGivenNames);
        case 1:
            return std::string(r.pick(kSurnames)) + r.pick(kGivenNames) + r.pick(kGivenNames);
        default:
            return std::string(r.pick(kPenHeads)) + r.pick(kPenTails);
    }
}

void fillStatistics(DemoBook& b, SplitMix64& r, int popularity) {
    b.allVisit = 1000 + static_cast<int64_t>(r.below(2000000)) * popularity;
    b.monthVisit = b.allVisit * r.between(1, 30) / 100;
    b.weekVisit = b.monthVisit * r.between(10, 40) / 100;
    b.allVote = b.allVisit / r.between(20, 60);
    b.monthVote = b.allVote * r.between(1, 30) / 100;
    b.weekVote = b.monthVote * r.between(10, 40) / 100;
    b.goodNum = b.allVisit / r.between(10, 40);
}

DemoBook specialBook(int id, std::string title, std::string author, int category, int chapters,
                     int length, bool finished, int updateDay) {
    DemoBook b;
    b.id = id;
    b.title = std::move(title);
    b.author = std::move(author);
    b.category = category;
    b.chapterCount = chapters;
    b.chapterLength = length;
    b.finished = finished;
    b.updateDay = updateDay;
    b.postDay = updateDay - 400 - id * 17;
    b.seed = mixSeed(kCatalogueSeed, static_cast<uint64_t>(id));
    SplitMix64 r(b.seed);
    fillStatistics(b, r, 3);
    return b;
}

std::vector<int> sortedIds(const std::vector<DemoBook>& books,
                           const std::function<bool(const DemoBook&)>& keep,
                           const std::function<int64_t(const DemoBook&)>& key) {
    std::vector<const DemoBook*> chosen;
    for (const auto& b : books)
        if (keep(b)) chosen.push_back(&b);
    std::stable_sort(chosen.begin(), chosen.end(),
                     [&](const DemoBook* a, const DemoBook* b) { return key(*a) > key(*b); });
    std::vector<int> ids;
    ids.reserve(chosen.size());
    for (const auto* b : chosen) ids.push_back(b->id);
    return ids;
}

}  // namespace

DemoLayout DemoList::layoutOfPage(int page) const {
    // The finished-novels list answers its first page in the ranking layout and every later page
    // in the category layout.
    if (pathPrefix == "/top/full_" && page >= 2) return DemoLayout::Category;
    return layout;
}

DemoCatalogue::DemoCatalogue() {
    using namespace demo_books;
    books_.reserve(kBookCount);
    books_.push_back(
        specialBook(kThousands, "万古长夜", "孤舟听雨", 1, 5000, 2300, false, kLastDay));
    books_.push_back(
        specialBook(kFiveHundred, "青灯剑影录", "孤舟听雨", 2, 500, 2000, true, kLastDay - 1));
    books_.push_back(
        specialBook(kOneChapterBlank, "星河 彼岸", "沈青川", 7, 1, 1800, false, kLastDay - 2));
    books_.push_back(
        specialBook(kOneChapterFinished, "未完的旅途", "孤舟听雨", 9, 1, 1600, true, kLastDay - 3));
    books_.push_back(
        specialBook(kBlankTitle, "长风 万里 行", "陆晨", 4, 120, 2200, false, kLastDay - 4));
    books_.push_back(
        specialBook(kSoleAuthorBook, "卿相折扇记", "白衣卿相", 5, 260, 2500, true, kLastDay - 5));

    SplitMix64 r(kCatalogueSeed);
    std::vector<std::string> authors;
    std::set<std::string> seenAuthors = {"孤舟听雨", "白衣卿相", "沈青川", "陆晨"};
    while (authors.size() < 380) {
        std::string a = generatedAuthor(r);
        if (seenAuthors.insert(a).second) authors.push_back(a);
    }
    std::set<std::string> seenTitles;
    for (const auto& b : books_) seenTitles.insert(b.title);

    for (int id = static_cast<int>(books_.size()) + 1; id <= kBookCount; ++id) {
        DemoBook b;
        b.id = id;
        do {
            b.title = generatedTitle(r);
        } while (!seenTitles.insert(b.title).second);
        b.author = authors[r.below(static_cast<int>(authors.size()))];
        b.category = (id - 1) % 10 + 1;
        int shape = r.below(100);
        if (shape < 4)
            b.chapterCount = r.between(1, 3);
        else if (shape < 93)
            b.chapterCount = r.between(20, 1200);
        else
            b.chapterCount = r.between(1500, 4000);
        b.chapterLength = r.between(1500, 3200);
        b.finished = r.below(100) < 40;
        b.updateDay = r.below(kLastDay - 30);
        b.postDay = b.updateDay - r.below(std::min(b.updateDay, 700) + 1);
        b.seed = mixSeed(kCatalogueSeed, static_cast<uint64_t>(id));
        fillStatistics(b, r, 1);
        books_.push_back(std::move(b));
    }

    auto all = [](const DemoBook&) { return true; };
    auto ranking = [&](const char* prefix, const char* caption,
                       std::function<int64_t(const DemoBook&)> key,
                       std::function<bool(const DemoBook&)> keep) {
        lists_.push_back({prefix, caption, DemoLayout::Ranking, sortedIds(books_, keep, key)});
    };
    auto byUpdate = [](const DemoBook& b) { return int64_t{b.updateDay}; };
    ranking("/top/lastupdate_", "最近更新", byUpdate, all);
    ranking("/top/full_", "全本小说", byUpdate, [](const DemoBook& b) { return b.finished; });
    ranking(
        "/top/postdate_", "最新入库", [](const DemoBook& b) { return int64_t{b.postDay}; }, all);
    ranking(
        "/top/allvisit_", "总排行榜", [](const DemoBook& b) { return b.allVisit; }, all);
    ranking(
        "/top/monthvisit_", "月排行榜", [](const DemoBook& b) { return b.monthVisit; }, all);
    ranking(
        "/top/weekvisit_", "周排行榜", [](const DemoBook& b) { return b.weekVisit; }, all);
    ranking(
        "/top/allvote_", "总推荐榜", [](const DemoBook& b) { return b.allVote; }, all);
    ranking(
        "/top/monthvote_", "月推荐榜", [](const DemoBook& b) { return b.monthVote; }, all);
    ranking(
        "/top/weekvote_", "周推荐榜", [](const DemoBook& b) { return b.weekVote; }, all);
    ranking(
        "/top/goodnum_", "总收藏榜", [](const DemoBook& b) { return b.goodNum; }, all);
    ranking(
        "/top/size_", "字数排行", [](const DemoBook& b) { return b.wordCount(); }, all);
    for (int c = 1; c <= 10; ++c) {
        lists_.push_back(
            {"/dudu/list" + std::to_string(c) + "_", categoryName(c), DemoLayout::Category,
             sortedIds(
                 books_, [c](const DemoBook& b) { return b.category == c; }, byUpdate)});
    }
}

const DemoCatalogue& DemoCatalogue::shared() {
    static const DemoCatalogue catalogue;
    return catalogue;
}

const DemoBook* DemoCatalogue::book(int id) const {
    if (id < 1 || id > static_cast<int>(books_.size())) return nullptr;
    return &books_[id - 1];
}

const DemoList* DemoCatalogue::listByPrefix(std::string_view pathPrefix) const {
    for (const auto& l : lists_)
        if (l.pathPrefix == pathPrefix) return &l;
    return nullptr;
}

std::string DemoCatalogue::categoryName(int category) {
    if (category < 1 || category > 10) return kCategories.back();
    return kCategories[category - 1];
}

std::vector<int> DemoCatalogue::search(std::string_view gbkKeyword, bool byAuthor) const {
    std::vector<int> ids;
    // Substring search in UTF-8 cannot start inside a character; a keyword that is no valid GBK
    // carries U+FFFD after conversion and matches nothing.
    std::string keyword = toUtf8(gbkKeyword);
    if (keyword.empty()) return ids;
    for (const auto& b : books_) {
        const std::string& field = byAuthor ? b.author : b.title;
        if (field.find(keyword) != std::string::npos) ids.push_back(b.id);
    }
    return ids;
}

int64_t DemoCatalogue::chapterPageId(const DemoBook& book, int chapter) {
    return int64_t{book.id} * kPageIdsPerBook + chapter;
}

std::string DemoCatalogue::chapterTitle(const DemoBook& book, int chapter) const {
    // Long books close a volume every so often with a chapter of their own.
    if (book.id == demo_books::kFiveHundred && chapter == 100) return "第一卷 完";
    if (book.chapterCount >= 2000 && chapter % 1000 == 0 && chapter < book.chapterCount)
        return "第" + chineseNumber(chapter / 1000) + "卷 完";
    SplitMix64 r(mixSeed(book.seed, static_cast<uint64_t>(chapter) << 1));
    return "第" + chineseNumber(chapter) + "章 " + r.pick(kChapterHeads) + r.pick(kChapterTails);
}

std::vector<std::string> DemoCatalogue::chapterParagraphs(const DemoBook& book, int chapter) const {
    SplitMix64 r(mixSeed(book.seed, (static_cast<uint64_t>(chapter) << 1) | 1));
    std::vector<std::string> paragraphs;
    int length = 0;
    while (length < book.chapterLength) {
        std::string p;
        int sentences = r.between(2, 5);
        for (int i = 0; i < sentences; ++i) p += sentence(r);
        length += chineseLength(p);
        paragraphs.push_back(std::move(p));
    }
    return paragraphs;
}

std::string DemoCatalogue::synopsis(const DemoBook& book) const {
    SplitMix64 r(mixSeed(book.seed, 0xABCDEF));
    std::string s = sentence(r) + sentence(r);
    s += "<br />&nbsp;&nbsp;&nbsp;&nbsp;" + sentence(r) + sentence(r);
    s += "<br/>&nbsp;&nbsp;&nbsp;&nbsp;" + sentence(r);
    return s;
}

std::string chineseNumber(int n) {
    static const std::array<const char*, 10> digits = {"零", "一", "二", "三", "四",
                                                       "五", "六", "七", "八", "九"};
    if (n < 0) return "负" + chineseNumber(-n);
    if (n < 10) return digits[n];
    if (n < 20) return std::string("十") + (n % 10 ? digits[n % 10] : "");
    if (n >= 10000) {
        int rest = n % 10000;
        std::string s = chineseNumber(n / 10000) + "万";
        if (rest == 0) return s;
        return s + (rest < 1000 ? "零" : "") + chineseNumber(rest);
    }
    static const std::array<std::pair<int, const char*>, 4> units = {
        {{1000, "千"}, {100, "百"}, {10, "十"}, {1, ""}}};
    std::string s;
    bool zero = false;
    for (const auto& [unit, name] : units) {
        int q = n / unit % 10;
        if (q == 0) {
            if (!s.empty()) zero = true;
            continue;
        }
        if (zero) s += "零";
        zero = false;
        s += digits[q];
        s += name;
    }
    return s;
}

std::string demoDate(int day) {
    using namespace std::chrono;
    year_month_day ymd{sys_days{2012y / January / 1} + days{day}};
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d-%02u-%02u", static_cast<int>(ymd.year()),
                  static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()));
    return buf;
}

}  // namespace novel
