#pragma once
// The chapter's markup comes from the site and goes into the reader's own page, so everything that
// could run there or move it elsewhere is taken out first.

#include <string_view>

#include "web/text.h"

namespace novel {

// The chapter's markup without scripts, frames, plug-ins, forms, meta/link/base tags, style
// blocks, comments, event-handler attributes ("on…") and attributes whose value holds a script
// address ("javascript:" and the like, however disguised). The text and the harmless tags (<br />,
// <p>, <font>, …) stay; each kept tag is written out again in one plain form, and a "<" that opens
// no tag becomes "&lt;", so the page reads the result exactly as this function did. Sanitizing
// the result again changes nothing. The markup is scanned byte by byte: every byte that decides
// where a tag or an attribute ends is ASCII below 0x40, never the trail byte of a GBK character.
Text sanitizeChapterHtml(std::string_view html);

}  // namespace novel
