#include "catalogue/row_layout.h"

#include <string>

#include "web/gbk.h"

namespace novel {

Replacement::Replacement(std::string_view findUtf8, std::string_view withUtf8)
    : find(toGbk(findUtf8)), with(toGbk(withUtf8)) {}

FieldCut::FieldCut(Text BookRow::*field, std::string_view leftUtf8, std::string_view rightUtf8,
                   std::string_view prefix)
    : field(field), left(toGbk(leftUtf8)), right(toGbk(rightUtf8)), prefix(toGbk(prefix)) {}

int readPageCount(std::string_view page) {
    return textToInteger(viewBetween(page, "class=\"last\">", "</a>"));
}

std::vector<BookRow> readRows(std::string_view region, const RowLayout& layout, int rowsBefore) {
    // The first replacement makes the working copy; the others shrink it in place.
    Text table = layout.replacements.empty() ? Text(region)
                                             : replaceText(region, layout.replacements[0].find,
                                                           layout.replacements[0].with);
    for (size_t k = 1; k < layout.replacements.size(); ++k)
        replaceTextInPlace(&table, layout.replacements[k].find, layout.replacements[k].with);

    // A row runs from its first cell whose class starts with "odd" to the end of the row. The
    // opening of that cell stays in the row text: a row that starts at a cell holding one of the
    // fields (the book link in an "odds" cell, for one) would otherwise lose that field.
    static constexpr std::string_view kRowStart = "<td class=\"odd";
    std::vector<BookRow> rows;
    rows.reserve(table.size() / 256);  // a row runs to several hundred bytes
    Text rebuilt;
    forEachBetween(table, kRowStart, "</tr>", [&](std::string_view piece) {
        // The opening is matched without regard to case; where the page has it exactly as
        // written, the row is a view of the table and needs no copy.
        std::string_view r;
        if (piece.data() >= table.data() + kRowStart.size())
            r = {piece.data() - kRowStart.size(), kRowStart.size() + piece.size()};
        if (!r.starts_with(kRowStart)) r = rebuilt = concatTexts(kRowStart, piece);
        BookRow& row = rows.emplace_back();
        row.id = std::to_string(rowsBefore + static_cast<int>(rows.size()));
        for (const FieldCut& cut : layout.fields) {
            Text& cell = row.*cut.field;
            cell.assign(cut.prefix);
            cell.append(viewBetween(r, cut.left, cut.right));
        }
    });
    return rows;
}

Text progressLine(const BookRow& row) {
    return concatTexts(row.author, "--", row.title, row.latestChapter);
}

}  // namespace novel
