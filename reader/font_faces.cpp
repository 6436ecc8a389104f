#include "reader/font_faces.h"

#include <initializer_list>

#include "reader/reader_style.h"
#include "web/gbk.h"

namespace novel {
namespace {

struct FontFaces {
    std::string_view choice;  // UTF-8, as the toolbar shows it
    std::initializer_list<std::string_view> faces;
    std::string_view generic;
};

// The faces come from the Debian packages install-deps.sh lists (fonts-noto-cjk,
// fonts-arphic-uming, fonts-arphic-ukai, fonts-cwtex-fs, fonts-wqy-zenhei, fonts-wqy-microhei).
// Two choices of the same kind lead with different faces, so no two choices look alike.
// clang-format off
const FontFaces kFontFaces[] = {
    // A Song (Ming) face: Noto Serif CJK is the crisp modern one, so the default choice looks best.
    {"宋体", {"Noto Serif CJK SC", "AR PL UMing CN"}, "serif"},
    // The same Song kind; AR PL UMing's older, lighter strokes stand in for the second Song face.
    {"新宋体", {"AR PL UMing CN", "Noto Serif CJK SC"}, "serif"},
    // Noto Sans CJK is the free 思源黑体, a plain Hei face; Zen Hei is a second Hei face.
    {"黑体", {"Noto Sans CJK SC", "WenQuanYi Zen Hei"}, "sans-serif"},
    // WenQuanYi Micro Hei, a screen-tuned Hei face, is the usual stand-in for this one.
    {"微软雅黑", {"WenQuanYi Micro Hei", "Noto Sans CJK SC"}, "sans-serif"},
    // AR PL UKai is the free brush-written Kai face.
    {"楷体", {"AR PL UKai CN"}, "serif"},
    // cwTeX's FangSong is the only free FangSong face; it holds traditional characters only, so
    // simplified ones come from the Kai face, the nearest in stroke.
    {"仿宋", {"cwTeXFangSong", "AR PL UKai CN"}, "serif"},
};
// clang-format on

}  // namespace

std::vector<Text> fontFamilyList(std::string_view chosen) {
    for (const FontFaces& row : kFontFaces) {
        if (chosen.empty() || toGbk(row.choice) != chosen) continue;
        std::vector<Text> list{Text(chosen)};
        for (std::string_view face : row.faces) list.emplace_back(face);
        list.emplace_back(row.generic);
        return list;
    }
    return {};
}

Text fontFamilyStyle(std::string_view headTemplate) {
    const StyleMarkers markers = markersOf(StyleSetting::FontFamily);
    const std::vector<Text> list =
        fontFamilyList(textBetween(headTemplate, markers.left, markers.right));
    if (list.empty()) return {};
    // Every name but the generic one is quoted; the names come from the table, so none holds a
    // quote.
    Text families;
    for (size_t i = 0; i < list.size(); ++i) {
        if (i > 0) families += ',';
        families += i + 1 < list.size() ? concatTexts("\"", list[i], "\"") : list[i];
    }
    return concatTexts("<style type=\"text/css\">body,td,th{font-family:", families, ";}</style>");
}

}  // namespace novel
