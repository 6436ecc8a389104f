#pragma once
// The library's tables as the first version of the program made them (schema version 1), for the
// tests that open a library an older program left behind.

namespace novel::test {

inline constexpr const char* kFirstLibrarySchema = R"sql(
CREATE TABLE books(id INTEGER PRIMARY KEY, book_url TEXT NOT NULL UNIQUE, title BLOB NOT NULL,
    author BLOB NOT NULL, toc_url TEXT NOT NULL, txt_package_url TEXT NOT NULL,
    cover_url TEXT NOT NULL, added_at INTEGER NOT NULL, last_check_at INTEGER NOT NULL DEFAULT 0,
    read_chapter_url TEXT, read_chapter_index INTEGER, read_paragraph INTEGER, read_snippet BLOB,
    read_at INTEGER);
CREATE TABLE toc_entries(book_id INTEGER NOT NULL REFERENCES books(id) ON DELETE CASCADE,
    position INTEGER NOT NULL, title BLOB NOT NULL, url TEXT NOT NULL,
    PRIMARY KEY(book_id, position)) WITHOUT ROWID;
CREATE TABLE book_news(book_id INTEGER NOT NULL REFERENCES books(id) ON DELETE CASCADE,
    kind INTEGER NOT NULL, position INTEGER NOT NULL, title BLOB NOT NULL,
    PRIMARY KEY(book_id, kind, position)) WITHOUT ROWID;
CREATE TABLE chapter_cache(url TEXT PRIMARY KEY, use_order INTEGER NOT NULL,
    stored_bytes INTEGER NOT NULL, page_size INTEGER NOT NULL, page_hash INTEGER NOT NULL,
    fetched_at INTEGER NOT NULL, signature TEXT NOT NULL, text BLOB NOT NULL, page BLOB NOT NULL);
CREATE INDEX chapter_cache_use ON chapter_cache(use_order, stored_bytes);
PRAGMA user_version=1;
)sql";

}  // namespace novel::test
