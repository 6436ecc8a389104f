#pragma once
// A regular expression run over GBK text. Patterns use the familiar ECMAScript-like syntax (lazy
// quantifiers, [\s\S] across lines, "." not matching LF); ignoring case folds ASCII letters only.
// Matched pieces come back as the subject's own GBK bytes.

#include <memory>
#include <string>
#include <string_view>

#include "web/text.h"

namespace novel {

class RegexObject {
  public:
    RegexObject();
    ~RegexObject();
    // A copy shares the compiled pattern and the matches and holds its own copy of the subject.
    RegexObject(const RegexObject& other);
    RegexObject& operator=(const RegexObject& other);
    RegexObject(RegexObject&& other) noexcept;
    RegexObject& operator=(RegexObject&& other) noexcept;

    // Compiles `pattern` and collects its matches in `subject`. False for a bad pattern (then the
    // object holds no matches); true, with no matches, for a good pattern that finds nothing.
    // With quotePlaceholder, "#引号" in the pattern means a double quote.
    bool create(std::string_view pattern, std::string_view subject, bool caseSensitive = false,
                bool multiline = true, bool global = true, bool quotePlaceholder = false);

    int matchCount() const;
    // Match i (1-based) whole; *position receives its 0-based byte offset in the subject, or -1
    // when there is no such match.
    Text matchText(int i, int* position = nullptr) const;
    // Sub-match j (1-based) of match i (1-based); empty (position -1) when either does not exist
    // or the group took no part in the match.
    Text subMatchText(int i, int j, int* position = nullptr) const;
    // Number of capture groups in the pattern (the sub-matches of the first match); 0 when
    // nothing matched.
    int subMatchCount() const;
    // The pattern as handed to `create` (placeholders resolved); empty before `create`.
    Text pattern() const;
    // The subject with the matches replaced: "$1".."$9" stand for a group, "$&" for the whole
    // match, "$$" for "$". Empty when there is no valid pattern.
    Text replace(std::string_view replacement) const;

  private:
    struct State;
    std::shared_ptr<const State> state_;  // compiled pattern and matches, shared by copies
    Text subject_;
};

}  // namespace novel
