#pragma once
// The machinery shared by the list and search parsers: a table region is made unambiguous by a few
// replacements, cut into rows, and every cell is the text between two markers in its row.
// Markers are written in UTF-8 in the tables and held as GBK.

#include <string_view>
#include <vector>

#include "catalogue/list_parser.h"
#include "web/text.h"

namespace novel {

struct Replacement {
    Replacement(std::string_view findUtf8, std::string_view withUtf8);
    Text find;
    Text with;
};

// One cell: prefix + the text between `left` and `right` in the row.
struct FieldCut {
    FieldCut(Text BookRow::*field, std::string_view leftUtf8, std::string_view rightUtf8,
             std::string_view prefix = {});
    Text BookRow::*field;
    Marker left;
    Marker right;
    Text prefix;
};

struct RowLayout {
    std::vector<Replacement> replacements;  // applied in order, letter case ignored
    std::vector<FieldCut> fields;
};

// The page count from the pager; 0 without one.
int readPageCount(std::string_view page);

// Applies the layout's replacements to the region, cuts it into rows and reads each row's cells.
// Row numbers start at rowsBefore + 1.
std::vector<BookRow> readRows(std::string_view region, const RowLayout& layout, int rowsBefore = 0);

// The status bar line shown while a row is read.
Text progressLine(const BookRow& row);

}  // namespace novel
