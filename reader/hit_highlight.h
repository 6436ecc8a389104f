#pragma once
// The script that marks a full-text hit on the reader page: the first place where the query's
// characters occur in a row in the paragraphs, blanks, punctuation and paragraph breaks skipped and
// ASCII letter case ignored (as the index matches), each piece wrapped in <mark
// class="fulltext-hit"> and scrolled into the middle of the view. The script answers with the
// number of marks.

#include <QString>

namespace novel {

QString hitHighlightScript(const QString& query);

}  // namespace novel
