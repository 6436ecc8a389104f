#pragma once

namespace novel {

// Where the reader opens a book: its first chapter ("阅读第一章") or its latest ("阅读最新一章").
enum class ReadStart { FirstChapter, LatestChapter };

}  // namespace novel
