#include "web/regex_object.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace novel {
namespace {

const std::string kZhong = "\xD6\xD0";  // 中
const std::string kWen = "\xCE\xC4";    // 文

// Every match's first sub-match, joined with "|".
std::string firstGroups(const RegexObject& re) {
    std::string out;
    for (int i = 1; i <= re.matchCount(); ++i) {
        if (i > 1) out += '|';
        out += re.subMatchText(i, 1);
    }
    return out;
}

TEST(RegexObject, QuotePlaceholder) {
    const std::string pattern = "href=#\xD2\xFD\xBA\xC5([^\"]*)";
    const std::string subject = "<a href=\"x.html\">href=#\xD2\xFD\xBA\xC5y\"";
    RegexObject re;
    ASSERT_TRUE(re.create(pattern, subject, false, true, true, true));
    EXPECT_EQ(firstGroups(re), "x.html");
    EXPECT_EQ(re.pattern(), "href=\"([^\"]*)");

    ASSERT_TRUE(re.create(pattern, subject));
    EXPECT_EQ(firstGroups(re), "y");
    EXPECT_EQ(re.pattern(), pattern);
}

TEST(RegexObject, LazyPiecesAcrossCaseAndLines) {
    RegexObject re;
    ASSERT_TRUE(re.create("<b>([\\s\\S]*?)</b>", "<B>x</B><b>y</b>"));
    EXPECT_EQ(re.matchCount(), 2);
    EXPECT_EQ(re.subMatchCount(), 1);
    EXPECT_EQ(firstGroups(re), "x|y");
    EXPECT_EQ(re.matchText(1), "<B>x</B>");

    ASSERT_TRUE(re.create("<p>([\\s\\S]*?)</p>", "<p>a\r\nb</p><p>a<p>b</P>"));
    EXPECT_EQ(firstGroups(re), "a\r\nb|a<p>b");

    ASSERT_TRUE(re.create("<b>([\\s\\S]*?)</b>", "<B>x</B><b>y</b>", true));
    EXPECT_EQ(firstGroups(re), "y");
    ASSERT_TRUE(re.create("<b>([\\s\\S]*?)</b>", "<b>x</b><b>y</b>", false, true, false));
    EXPECT_EQ(firstGroups(re), "x");
}

TEST(RegexObject, ChineseSubjectGivesItsOwnBytesAndPositions) {
    const std::string subject = "<td>" + kZhong + "</td><td>" + kWen + "a" + kZhong + "</td>";
    RegexObject re;
    ASSERT_TRUE(re.create("<td>([\\s\\S]*?)</td>", subject));
    ASSERT_EQ(re.matchCount(), 2);
    int position = 0;
    EXPECT_EQ(re.subMatchText(1, 1, &position), kZhong);
    EXPECT_EQ(position, 4);
    EXPECT_EQ(re.subMatchText(2, 1, &position), kWen + "a" + kZhong);
    EXPECT_EQ(position, 15);
    EXPECT_EQ(re.matchText(2, &position), "<td>" + kWen + "a" + kZhong + "</td>");
    EXPECT_EQ(position, 11);

    // A Chinese marker in the pattern, and "." taking a whole two-byte character.
    ASSERT_TRUE(re.create(kWen + "(.)" + kZhong, subject));
    EXPECT_EQ(firstGroups(re), "a");
    ASSERT_TRUE(re.create("<td>(.)</td>", subject));
    EXPECT_EQ(firstGroups(re), kZhong);

    // Nested groups make the positions go back and forth.
    ASSERT_TRUE(re.create("<td>((.)a(.))</td>", subject));
    EXPECT_EQ(re.subMatchText(1, 3, &position), kZhong);
    EXPECT_EQ(position, 18);
    EXPECT_EQ(re.subMatchText(1, 2, &position), kWen);
    EXPECT_EQ(position, 15);
    EXPECT_EQ(re.subMatchText(1, 1), kWen + "a" + kZhong);

    EXPECT_EQ(re.subMatchText(3, 1, &position), "");
    EXPECT_EQ(position, -1);
    EXPECT_EQ(re.subMatchText(1, 4), "");
}

TEST(RegexObject, NeverMatchesOnATrailByte) {
    const std::string subject = "\x81\x57W";  // a character whose trail byte is "W", then "W"
    RegexObject re;
    ASSERT_TRUE(re.create("WW", subject, true));
    EXPECT_EQ(re.matchCount(), 0);
    ASSERT_TRUE(re.create("ww", subject));
    EXPECT_EQ(re.matchCount(), 0);
    ASSERT_TRUE(re.create("w", subject));
    ASSERT_EQ(re.matchCount(), 1);
    int position = 0;
    EXPECT_EQ(re.matchText(1, &position), "W");
    EXPECT_EQ(position, 2);

    // "[" and "\" as trail bytes keep no pattern meaning either.
    ASSERT_TRUE(re.create("\x81[\x81\\", "\x81[\x81\\"));
    EXPECT_EQ(re.matchCount(), 1);
}

TEST(RegexObject, CaseFoldsAsciiLettersOnly) {
    RegexObject re;
    ASSERT_TRUE(re.create("abc", "xABCx"));
    EXPECT_EQ(re.matchCount(), 1);
    ASSERT_TRUE(re.create("abc", "xABCx", true));
    EXPECT_EQ(re.matchCount(), 0);

    // Full-width A (A3 C1) and a (A3 E1) are different characters whatever the case mode.
    ASSERT_TRUE(re.create("\xA3\xC1", "\xA3\xE1"));
    EXPECT_EQ(re.matchCount(), 0);
    ASSERT_TRUE(re.create("[\xA3\xC1]", "\xA3\xE1"));
    EXPECT_EQ(re.matchCount(), 0);
}

TEST(RegexObject, LineBreaks) {
    RegexObject re;
    ASSERT_TRUE(re.create("a.b", "a\nb"));
    EXPECT_EQ(re.matchCount(), 0);
    ASSERT_TRUE(re.create("a.b", "a\rb"));
    EXPECT_EQ(re.matchCount(), 1);

    ASSERT_TRUE(re.create("^\\w", "a\nb\n"));
    EXPECT_EQ(re.matchCount(), 2);
    ASSERT_TRUE(re.create("^\\w", "a\nb\n", false, false));
    EXPECT_EQ(re.matchCount(), 1);
    // Without multi-line, "$" is the very end, not before a final line break.
    ASSERT_TRUE(re.create("b$", "ab\n", false, false));
    EXPECT_EQ(re.matchCount(), 0);
    ASSERT_TRUE(re.create("b$", "ab\n"));
    EXPECT_EQ(re.matchCount(), 1);
}

TEST(RegexObject, NoMatchAndBadPattern) {
    RegexObject re;
    EXPECT_EQ(re.matchCount(), 0);
    EXPECT_EQ(re.pattern(), "");
    EXPECT_EQ(re.replace("x"), "");

    EXPECT_TRUE(re.create("<i>(.*?)</i>", "<b>x</b>"));
    EXPECT_EQ(re.matchCount(), 0);
    EXPECT_EQ(re.subMatchCount(), 0);
    EXPECT_EQ(re.replace("x"), "<b>x</b>");

    ASSERT_TRUE(re.create("(b)", "abc"));
    for (const char* bad : {"(abc", "[a", "a{2,1}", "*a", "(?<x"}) {
        EXPECT_FALSE(re.create(bad, "abc")) << bad;
        EXPECT_EQ(re.matchCount(), 0) << bad;
        EXPECT_EQ(re.matchText(1), "") << bad;
        EXPECT_EQ(re.replace("x"), "") << bad;
    }
    EXPECT_EQ(re.pattern(), "(?<x");
}

TEST(RegexObject, EmptyMatchesAdvanceOneCharacter) {
    const std::string subject = "a" + kZhong + "b";
    RegexObject re;
    ASSERT_TRUE(re.create("x*", subject));
    ASSERT_EQ(re.matchCount(), 4);
    int positions[4];
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(re.matchText(i + 1, &positions[i]), "");
    }
    EXPECT_EQ(positions[0], 0);
    EXPECT_EQ(positions[1], 1);
    EXPECT_EQ(positions[2], 3);
    EXPECT_EQ(positions[3], 4);

    ASSERT_TRUE(re.create("b*", "abb"));
    EXPECT_EQ(re.matchCount(), 3);  // "" at 0, "bb" at 1, "" at the end
    ASSERT_TRUE(re.create("([\\s\\S]*?)", subject));
    EXPECT_EQ(re.matchCount(), 4);
    ASSERT_TRUE(re.create("", ""));
    EXPECT_EQ(re.matchCount(), 1);
}

TEST(RegexObject, Replace) {
    RegexObject re;
    ASSERT_TRUE(re.create("<b>([\\s\\S]*?)</b>", "1<b>x</b>2<B>" + kZhong + "</B>3"));
    EXPECT_EQ(re.replace("[$1]"), "1[x]2[" + kZhong + "]3");
    EXPECT_EQ(re.replace("$&$$$2$0"), "1<b>x</b>$$2$02<B>" + kZhong + "</B>$$2$03");
    // A "$" that is the trail byte of a character is no reference.
    EXPECT_EQ(re.replace("\x81$1"), "1\x81$12\x81$13");

    ASSERT_TRUE(re.create("(a)|(b)", "ab", false, true, true));
    EXPECT_EQ(re.replace("<$1$2>"), "<a><b>");
    ASSERT_TRUE(re.create("o", "foo", false, true, false));
    EXPECT_EQ(re.replace("0"), "f0o");
}

TEST(RegexObject, CopyKeepsItsOwnSubject) {
    auto subject = std::make_unique<std::string>("<b>x</b><b>" + kWen + "</b>");
    auto original = std::make_unique<RegexObject>();
    ASSERT_TRUE(original->create("<b>(.*?)</b>", *subject));
    RegexObject copy(*original);
    RegexObject assigned;
    assigned = *original;
    subject.reset();

    ASSERT_TRUE(original->create("z", "zzz"));
    EXPECT_EQ(original->matchCount(), 3);
    original.reset();

    EXPECT_EQ(firstGroups(copy), "x|" + kWen);
    EXPECT_EQ(firstGroups(assigned), "x|" + kWen);
    EXPECT_EQ(copy.pattern(), "<b>(.*?)</b>");
    EXPECT_EQ(copy.replace("-"), "--");
}

TEST(RegexObject, ByteSoupComesBackUnchanged) {
    const std::string soup = "\x80\x41\xFF\xFF\x81\x30\xFE\x7F\xA1\xA1";
    RegexObject re;
    ASSERT_TRUE(re.create("<p>([\\s\\S]*?)</p>", "<p>" + soup + "</p><p>" + soup + "</p>"));
    EXPECT_EQ(firstGroups(re), soup + "|" + soup);
    int position = 0;
    re.subMatchText(2, 1, &position);
    EXPECT_EQ(position, static_cast<int>(3 + soup.size() + 4 + 3));

    // A lead byte alone at the very end is one character of its own.
    ASSERT_TRUE(re.create("<p>([\\s\\S]*)$", "<p>x\x81"));
    EXPECT_EQ(firstGroups(re), "x\x81");
    ASSERT_TRUE(re.create("<p>(.*)(.)$", "<p>x\x81"));
    EXPECT_EQ(re.subMatchText(1, 2, &position), "\x81");
    EXPECT_EQ(position, 4);
    // 0x80 and 0xFF stand alone and leave the "<" after them a marker; after a lead byte they
    // are its trail byte.
    ASSERT_TRUE(re.create("<p>([\\s\\S]*?)</p>", "<p>\x80</p>\xFF<p>\xB0\x80</p>"));
    EXPECT_EQ(firstGroups(re), "\x80|\xB0\x80");
    EXPECT_EQ(re.matchText(2, &position), "<p>\xB0\x80</p>");
    EXPECT_EQ(position, 9);
    ASSERT_TRUE(re.create("a(.)(.)b",
                          "a\xFF\x80"
                          "b"));
    EXPECT_EQ(re.subMatchText(1, 2, &position), "\x80");
    EXPECT_EQ(position, 2);
    ASSERT_TRUE(re.create("a.b",
                          "a\xB0\xFF"
                          "b"));  // one character of two bytes
    EXPECT_EQ(re.matchCount(), 1);
    // A lead byte swallows the "<" after it, so that "</p>" is no marker.
    ASSERT_TRUE(re.create("<p>([\\s\\S]*?)</p>", "<p>\x81</p>"));
    EXPECT_EQ(re.matchCount(), 0);
}

}  // namespace
}  // namespace novel
