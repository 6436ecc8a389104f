#include "web/text.h"

#include <gtest/gtest.h>

#include <random>

#include "web/regex_object.h"

namespace novel {
namespace {

// Chinese text in these tests is written in UTF-8 and handed to the code as GBK, as the site sends
// it.
Text g(std::string_view utf8) {
    return toGbk(utf8);
}

TEST(GbkConversion, RoundTripsAndMarksBrokenBytes) {
    EXPECT_EQ(g("书"), "\xCA\xE9");
    EXPECT_EQ(toUtf8(g("第一章 完　")), "第一章 完　");
    EXPECT_EQ(kQuotePlaceholder, g("#引号"));
    // A lone lead byte at the end and an undefined pair are replaced, the rest survives.
    EXPECT_EQ(toUtf8("a\x81\x7F"
                     "b\xCA"),
              "a\xEF\xBF\xBD"
              "b\xEF\xBF\xBD");
    // 0x80 (the euro sign) and 0xFF are characters of one byte: the byte after them survives.
    EXPECT_EQ(toUtf8("a\xFF"
                     "b\x80"
                     "c"),
              "a\xEF\xBF\xBD"
              "b\xE2\x82\xAC"
              "c");
    EXPECT_EQ(toGbk("x\xF0\x9F\x98\x80y"), "x?y");  // an emoji has no GBK form
    EXPECT_EQ(textOf(std::string("ab\0cd", 5)), "ab");
}

TEST(GbkConversion, TheTableConvertsAsIconvDoes) {
    // Every byte alone, at the end and before another; every lead byte with every byte after it.
    for (int b = 0; b < 256; ++b) {
        const std::string one(1, static_cast<char>(b));
        for (const std::string& s : {one, one + "a", "a" + one, one + one})
            ASSERT_EQ(toUtf8(s), detail::toUtf8WithIconv(s)) << b;
    }
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0; trail < 256; ++trail) {
            const std::string pair{static_cast<char>(lead), static_cast<char>(trail)};
            ASSERT_EQ(toUtf8(pair + "x"), detail::toUtf8WithIconv(pair + "x"))
                << lead << " " << trail;
        }
    }
    // Random bytes, long enough to grow the output past its first guess.
    std::mt19937 random(7);
    std::string noise;
    for (int i = 0; i < 200000; ++i)
        noise += static_cast<char>(random() % 3 ? 0x80 + random() % 128 : random() % 256);
    EXPECT_EQ(toUtf8(noise), detail::toUtf8WithIconv(noise));
    const std::string strays(5000, '\x80');  // each becomes three bytes
    EXPECT_EQ(toUtf8(strays), detail::toUtf8WithIconv(strays));
}

TEST(FindText, NeverStartsOnATrailByte) {
    // 0x81 0x57 is one character whose trail byte happens to be 'W'.
    const Text text = "\x81\x57WW.com";
    EXPECT_EQ(findText(text, "www.", 1, true), -1);
    EXPECT_EQ(findText(text, "WW.", 1, false), 3);
    EXPECT_EQ(findText(text, "\x57W"), 3);  // byte 2 is no character start, byte 3 is
    EXPECT_EQ(findText(text, "ww.", 1, true), 3);
    EXPECT_EQ(findTextBackwards(text, "w", -1, true), 4);
    // A start on the trail byte moves to the next character start.
    EXPECT_EQ(findText(g("书a"), "a", 2), 3);
    // Ignoring case never folds a trail byte: 0x81 0x57 and 0x81 0x77 are different characters.
    EXPECT_EQ(findText(text, "\x81\x77W", 1, true), -1);
    EXPECT_EQ(findText(text, "\x81\x57w", 1, true), 1);
    EXPECT_EQ(replaceText("\x81\x77x\x81\x57X", "\x81\x57x", "-"), "\x81\x77x-");
}

// The search as the rules state it, one character start after another: a byte from 0x81 to 0xFE
// opens a two-byte character, every other byte is a character of its own.
bool opensPair(unsigned char c) {
    return c >= 0x81 && c <= 0xFE;
}

// Every character start where `sought` stands, in order.
std::vector<int> findAllByWalking(std::string_view text, std::string_view sought, bool ignoreCase) {
    const auto fold = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
    std::vector<int> found;
    for (size_t pos = 0; pos + sought.size() <= text.size();
         pos += opensPair(text[pos]) && pos + 1 < text.size() ? 2 : 1) {
        bool same = true;
        for (size_t k = 0; same && k < sought.size(); ++k) {
            const unsigned char s = sought[k], t = text[pos + k];
            if (opensPair(s) && k + 1 < sought.size()) {
                same = s == t && sought[k + 1] == text[pos + k + 1];
                ++k;
            } else {
                same = ignoreCase ? fold(s) == fold(t) : s == t;
            }
        }
        if (same) found.push_back(static_cast<int>(pos) + 1);
    }
    return found;
}

TEST(FindText, AgreesWithACharacterWalkAcrossBlockEdges) {
    // Texts of every length around the widths the scan tests at once, built from pieces that
    // almost match: near misses in the middle byte, trail bytes that look like the marker, case,
    // and the stray bytes 0x80 and 0xFF, which are characters of their own but may be trail bytes.
    const std::vector<Text> pieces = {
        "</td>", "</tr>",  "<TR>",     "\xB0<",    "\xB0\"",   g("状态："),
        "\"",    "x",      " ",        g("书"),    "\x80",     "\xFF",
        "\x80<", "\xFF\"", "\xB0\x80", "\xFE\xFF", "\xFF\xB0", "<td class=\"odd"};
    const std::vector<Text> sought = {"</tr>",     "\"",           "<",       "<td class=\"odd",
                                      g("状态："), "tr",           "\xB0<",   "</TR>",
                                      "\x80<",     "\xFF\"",       "\x80",    "\xFF",
                                      "\xB0\x80",  "\x80\xFF\xB0", "\xFFtr>", "\xFF\xB0<"};
    std::mt19937 random(7);
    for (int round = 0; round < 400; ++round) {
        Text text;
        const size_t length = 1 + static_cast<size_t>(round) % 200;
        while (text.size() < length) text += pieces[random() % pieces.size()];
        for (const Text& s : sought) {
            for (bool ignoreCase : {false, true}) {
                SCOPED_TRACE(testing::PrintToString(text) + " | " + testing::PrintToString(s));
                const std::vector<int> all = findAllByWalking(text, s, ignoreCase);
                EXPECT_EQ(findText(text, s, 1, ignoreCase), all.empty() ? -1 : all.front());
                EXPECT_EQ(findTextBackwards(text, s, -1, ignoreCase),
                          all.empty() ? -1 : all.back());
            }
        }
    }
}

TEST(FindText, PositionsStartsAndCase) {
    EXPECT_EQ(findText("abcabc", "c"), 3);
    EXPECT_EQ(findText("abcabc", "c", 4), 6);
    EXPECT_EQ(findText("abcabc", "C"), -1);
    EXPECT_EQ(findText("abcabc", "C", 0, true), 3);
    EXPECT_EQ(findText("abc", "abcd"), -1);
    EXPECT_EQ(findText("abc", "", 2), 1);
    EXPECT_EQ(findText("", ""), -1);
    EXPECT_EQ(findText("abc", "a", 9), -1);
    EXPECT_EQ(findTextBackwards("abcabc", "abc"), 4);
    EXPECT_EQ(findTextBackwards("abcabc", "abc", 6), 1);  // the second one ends at 6, not before it
    EXPECT_EQ(findTextBackwards("abcabc", "abc", 7), 4);
    EXPECT_EQ(findTextBackwards("abcabc", "x"), -1);
}

TEST(ReplaceText, OnePassCaseAndBoundaries) {
    // Letter case ignored by default, replaced text not scanned again.
    EXPECT_EQ(replaceText("WWW.a.Com www.b.com", "www.", ""), "a.Com b.com");
    EXPECT_EQ(replaceText("aaa", "a", "aa"), "aaaaaa");
    EXPECT_EQ(replaceText("aAa", "a", "b", 1, -1, true), "bAb");
    EXPECT_EQ(replaceText("abababab", "ab", "x", 3, 2), "abxxab");
    EXPECT_EQ(replaceText("abc", "", "x"), "abc");
    EXPECT_EQ(replaceText("abc", "b", "x", 1, 0), "abc");
    // The trail byte 'W' of 0x81 0x57 is left alone.
    EXPECT_EQ(replaceText("\x81\x57WW.cn", "www.", ""), "\x81\x57WW.cn");
    EXPECT_EQ(replaceText(g("好www.好Www.好"), "www.", ""), g("好好好"));
}

TEST(SplitText, SeparatorsMaximumAndEnds) {
    EXPECT_EQ(splitText("a;;b;", ";"), (TextList{"a", "", "b"}));
    EXPECT_EQ(splitText("a;;b;", ";", 2), (TextList{"a", ""}));
    EXPECT_EQ(splitText("a,b"), (TextList{"a", "b"}));
    EXPECT_TRUE(splitText("", ";").empty());
    EXPECT_EQ(splitText(";", ";"), (TextList{""}));
    EXPECT_EQ(splitText("x\r\ny\r\n", "\r\n"), (TextList{"x", "y"}));
}

TEST(Blanks, AsciiAndIdeographicSpacesOnly) {
    const Text ideo = "\xA1\xA1";
    EXPECT_EQ(trimBlanks(ideo + " a b " + ideo), "a b");
    EXPECT_EQ(trimBlanks("\ta "), "\ta");
    EXPECT_EQ(trimBlanks("   "), "");
    EXPECT_EQ(removeBlanks("a = 1;" + ideo + "b=2"), "a=1;b=2");
    // 0xB0 0xA1 is a character ending in 0xA1: its trail byte must not pair up as a blank.
    EXPECT_EQ(trimBlanks("\xB0\xA1\xA1"), "\xB0\xA1\xA1");
}

// 0x80 and 0xFF never open a two-byte character: each is a character of its own, so a stray one
// (a euro sign, a broken character) shifts nothing after it. After a lead byte they are its trail.
TEST(StrayBytes, AreCharactersOfOneByte) {
    EXPECT_EQ(findText("\x80<b>", "<b>"), 2);
    EXPECT_EQ(findText("\xFF\xB0<", "<"), -1);  // "\xB0<" is one character
    EXPECT_EQ(findText("\xB0\x80<", "<"), 3);   // 0x80 as a trail byte
    EXPECT_EQ(findText("\xB0\xFF\x80", "\xFF\x80"), -1);
    EXPECT_EQ(findText("x\x80"
                       "A",
                       "\x80"
                       "a",
                       1, true),
              2);  // a letter after a stray byte folds
    EXPECT_EQ(findText("x\xB0"
                       "A",
                       "\xB0"
                       "a",
                       1, true),
              -1);
    EXPECT_EQ(findTextBackwards("<\x80<\xFF<x", "<"), 5);
    EXPECT_EQ(replaceText("\x80www.\xFFWWW.x", "www."), "\x80\xFFx");
    EXPECT_EQ(replaceText(g("好") + "\x80.com" + g("好"), ".com"), g("好") + "\x80" + g("好"));
    EXPECT_EQ(splitText("\x80,\xFF,a", ","), (TextList{"\x80", "\xFF", "a"}));
    EXPECT_EQ(trimBlanks("\xFF\xA1\xA1 "), "\xFF");
    EXPECT_EQ(trimBlanks("\xA1\xA1\x80"), "\x80");
    EXPECT_EQ(removeBlanks("\x80\xA1\xA1x\xFF \xA1"), "\x80x\xFF\xA1");
    EXPECT_EQ(lowerAscii("\x80"
                         "A\xB0"
                         "A\xFF"
                         "Z"),
              "\x80"
              "a\xB0"
              "A\xFF"
              "z");
    EXPECT_EQ(viewBetween("\x80\"a\"b", '"', '"'), "a");
    EXPECT_EQ(viewBetween("\x80\"a\"b", Marker("\""), Marker("\"")), "a");

    // A chapter with a euro sign right before its end marker stops there.
    const Text page =
        "<div id=\"text_area\">" + g("正文") + "\x80</div><div>" + g("页脚") + "</div>";
    EXPECT_EQ(textBetween(page, "<div id=\"text_area\">", "</div>"), g("正文") + "\x80");

    TextList items;
    EXPECT_EQ(allBetween("<td>\x80</td><td>\xFF</td>", "<td>", "</td>", &items), 2);
    EXPECT_EQ(items, (TextList{"\x80", "\xFF"}));
    // Through the pattern engine ("." in the marker) the pieces are the same.
    EXPECT_EQ(allBetween("<td>\x80</td><td>\xFF</td>", "<t.>", "</td>", &items), 2);
    EXPECT_EQ(items, (TextList{"\x80", "\xFF"}));
}

TEST(ByteHelpers, EdgesOfTheText) {
    EXPECT_EQ(leftBytes("abc", 2), "ab");
    EXPECT_EQ(leftBytes("abc", 9), "abc");
    EXPECT_EQ(leftBytes("abc", 0), "");
    EXPECT_EQ(rightBytes("abc", 2), "bc");
    EXPECT_EQ(rightBytes("abc", -1), "");
    EXPECT_EQ(midBytes("abcdef", 2, 3), "bcd");
    EXPECT_EQ(midBytes("abc", 3, 5), "c");
    EXPECT_EQ(midBytes("abc", 4, 1), "");
    EXPECT_EQ(midBytes("abc", 0, 1), "");
    EXPECT_EQ(lowerAscii("ABc" + g("书")), "abc" + g("书"));
    EXPECT_LT(compareText("a", "b"), 0);
    EXPECT_EQ(compareText("", std::string_view()), 0);
    EXPECT_GT(compareText("\xCA", "a"), 0);  // bytes compare unsigned
    EXPECT_EQ(concatTexts("a", Text("b"), std::string_view("c")), "abc");
}

TEST(TextToInteger, LeadingNumberOnly) {
    EXPECT_EQ(textToInteger("42"), 42);
    EXPECT_EQ(textToInteger(" 7px"), 7);
    EXPECT_EQ(textToInteger("3.9"), 3);
    EXPECT_EQ(textToInteger("-5"), -5);
    EXPECT_EQ(textToInteger(""), 0);
    EXPECT_EQ(textToInteger("x1"), 0);
    EXPECT_EQ(textToInteger("99999999999"), 2147483647);
}

TEST(TextBetween, MarkersAndPlaceholder) {
    EXPECT_EQ(textBetween("a<b>c</b>d", "<b>", "</b>"), "c");
    EXPECT_EQ(textBetween("a<b>c</b>d", "<i>", "</b>"), "");
    EXPECT_EQ(textBetween("a<b>c</b>d", "<b>", "</i>"), "");
    EXPECT_EQ(textBetween("", "<b>", "</b>"), "");
    EXPECT_EQ(textBetween("<b></b>", "<b>", "</b>"), "");
    EXPECT_EQ(textBetween("<B>x</B>", "<b>", "</b>"), "");  // case matters unless asked
    EXPECT_EQ(textBetween("<B>x</B>", "<b>", "</b>", 1, true), "x");
    // The right marker is looked for only after the left one.
    EXPECT_EQ(textBetween("\"x=\"1\"", "=", "\""), "");
    EXPECT_EQ(textBetween("href=\"a.html\">", "href=" + Text(kQuotePlaceholder), kQuotePlaceholder),
              "a.html");
    EXPECT_EQ(textBetween("x" + Text(kQuotePlaceholder) + "y", kQuotePlaceholder, "y"), "");
}

// Prepared markers must cut exactly what the same markers given as text cut, on long texts too
// (the wide scan) and where a marker's bytes also occur as the second half of a character.
TEST(TextBetween, PreparedMarkersCutTheSame) {
    const Text trailLt = "\xB0<";  // a character whose second byte is "<"
    const Text filler(100, 'x');
    const std::vector<Text> texts = {
        "",
        "a<b>c</b>d",
        trailLt + "b>c</b>" + filler + "<b>d</b>",
        filler + g("书") + "<B>x</B>" + filler + "<b>y</b>",
        filler + filler + "href=\"" + g("章") + ".html\">",
    };
    const std::vector<std::pair<Text, Text>> markers = {
        {"<b>", "</b>"},
        {"<", ">"},
        {"", "</b>"},
        {"<b>", ""},
        {"href=" + Text(kQuotePlaceholder), Text(kQuotePlaceholder)},
    };
    for (const Text& text : texts) {
        for (const auto& [left, right] : markers) {
            for (bool ignoreCase : {false, true}) {
                SCOPED_TRACE(text + " | " + left + " | " + right);
                EXPECT_EQ(viewBetween(text, Marker(left, ignoreCase), Marker(right, ignoreCase)),
                          viewBetween(text, left, right, 1, ignoreCase));
            }
        }
    }
    EXPECT_EQ(viewBetween(trailLt + "b>c</b>", Marker("<b>"), Marker("</b>")), "");
    EXPECT_EQ(viewBetween(filler + "<B>x</B>", Marker("<b>", true), Marker("</b>", true)), "x");
}

TEST(TextBetween, OneCharacterMarkers) {
    const Text filler(70, 'x');
    for (const Text& text : {Text("\"a.html\">title<"), Text("\xB0\"a\"b\""), Text("a\"b"),
                             Text("\"\""), Text(""), filler + "\"" + g("章") + "\"" + filler}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(viewBetween(text, '"', '"'), viewBetween(text, Marker("\""), Marker("\"")));
        EXPECT_EQ(viewBetween(text, '>', '<'), viewBetween(text, Marker(">"), Marker("<")));
    }
    EXPECT_EQ(viewBetween("\"a.html\">title<", '>', '<'), "title");
    EXPECT_EQ(viewBetween("\xB0\"a\"b\"", '"', '"'), "b");  // the first quote is a trail byte
}

TEST(EscapeForPattern, NineCharactersPlaceholderAndLineBreak) {
    EXPECT_EQ(escapeForPattern("?*+[](){}"), "\\?\\*\\+\\[\\]\\(\\)\\{\\}");
    EXPECT_EQ(escapeForPattern("a.b^$|\\"), "a.b^$|\\");
    EXPECT_EQ(escapeForPattern("<td class=" + Text(kQuotePlaceholder) + "odd"), "<td class=\"odd");
    EXPECT_EQ(escapeForPattern("</font></td>\r\n    <td>"), "</font></td>\\n    <td>");
}

TEST(AllBetween, LazyGlobalAndCaseInsensitive) {
    TextList items;
    EXPECT_EQ(allBetween("<tr>a</tr><tr>b</tr><TR>c</TR>", "<tr>", "</tr>", &items), 3);
    EXPECT_EQ(items, (TextList{"a", "b", "c"}));
    // A piece may hold the left marker itself; pieces do not overlap.
    EXPECT_EQ(allBetween("<p>a<p>b</p>", "<p>", "</p>", &items), 1);
    EXPECT_EQ(items, (TextList{"a<p>b"}));
    // Bracket characters in markers are literal, "." is not, and pieces span lines.
    EXPECT_EQ(allBetween("[(x)]{1\n2}", "[(", ")]", &items), 1);
    EXPECT_EQ(items, (TextList{"x"}));
    EXPECT_EQ(allBetween("{1\n2}", "{", "}", &items), 1);
    EXPECT_EQ(items, (TextList{"1\n2"}));
    EXPECT_EQ(allBetween("aXb1c", "a.b", "c", &items), 1);
    EXPECT_EQ(items, (TextList{"1"}));
    // Options: too long items skipped, affixes and markers added.
    EXPECT_EQ(allBetween("<i>ab</i><i>abcdef</i>", "<i>", "</i>", &items, 3, "[", "]", true, true),
              1);
    EXPECT_EQ(items, (TextList{"<i>[ab]</i>"}));
    // Chinese text comes back as the same GBK bytes, and an old list is cleared first.
    EXPECT_EQ(allBetween(g("<a>第一章</a><a>完</a>"), "<a>", "</a>", &items), 2);
    EXPECT_EQ(items, (TextList{g("第一章"), g("完")}));
    EXPECT_EQ(allBetween("nothing here", "<a>", "</a>", &items), 0);
    EXPECT_TRUE(items.empty());
    // A CR LF in a marker matches a line break in the page.
    EXPECT_EQ(allBetween("</td>\n  <td>v</td>", "</td>\r\n  <td>", "</td>", &items), 1);
    EXPECT_EQ(items, (TextList{"v"}));
}

// Plain markers are cut by a direct scan; it must give exactly what the pattern engine gives.
TEST(AllBetween, DirectScanAgreesWithThePatternEngine) {
    const std::vector<Text> alphabet = {"<",    "a",        "A",        "b",        "/",        ">",
                                        "\r\n", "\n",       "\x81\x57", "\xB0\x3C", "\xD6\xD0", "w",
                                        "W",    "\xA1\xA1", "\x80",     "\xFF"};
    const std::vector<std::pair<Text, Text>> markers = {
        {"<a", "b>"},   {"A", "a"},    {"<", ">"},     {"W", "w"},      {"\xD6\xD0", "\r\n<"},
        {"a\r\n", "/"}, {"<", "\x57"}, {"\x80<", ">"}, {"\xFF", "\x80"}};
    std::mt19937 rng(7);
    for (int round = 0; round < 3000; ++round) {
        Text subject;
        for (int n = rng() % 40; n > 0; --n) subject += alphabet[rng() % alphabet.size()];
        const auto& [left, right] = markers[rng() % markers.size()];

        RegexObject regex;
        ASSERT_TRUE(regex.create(escapeForPattern(left) + "([\\s\\S]*?)" + escapeForPattern(right),
                                 subject));
        TextList expected;
        for (int i = 1; i <= regex.matchCount(); ++i) expected.push_back(regex.subMatchText(i, 1));

        TextList items;
        allBetween(subject, left, right, &items);
        ASSERT_EQ(items, expected)
            << "subject " << testing::PrintToString(subject) << " markers "
            << testing::PrintToString(left) << " " << testing::PrintToString(right);
    }
}

}  // namespace
}  // namespace novel
