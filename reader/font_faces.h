#pragma once
// The reader's font choices are the names of faces that a Linux desktop does not have. Each choice
// maps to free faces of the same kind, so every choice changes the page while the templates keep
// the name the user chose.

#include <string_view>
#include <vector>

#include "web/text.h"

namespace novel {

// The font-family list for a chosen name (GBK): the name itself first (a machine that has the
// face uses it), then the installed faces of its kind, then the generic family. Empty for a name
// that is not one of the toolbar's choices.
std::vector<Text> fontFamilyList(std::string_view chosen);

// A style block that gives body, td and th the font-family list of the family the head template
// names; empty when the template names none or an unknown one. Placed after the templates' own
// style, it wins over their rule of the same selector.
Text fontFamilyStyle(std::string_view headTemplate);

}  // namespace novel
