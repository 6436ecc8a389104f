#pragma once
// What the library tests share: the site they store under, the demo cleaning, a chapter page made
// from text, and a library written as the first version of the program left it.

#include <sqlite3.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "library/first_schema.h"
#include "library/library.h"
#include "library/page_store.h"
#include "web/gbk.h"

namespace novel::test {

inline const std::string kLibrarySite = "http://127.0.0.1:8000";

inline ChapterCleaning demoCleaning() {
    return ChapterCleaning::fromConfig(SiteConfig{});
}

inline Bytes chapterPage(const std::string& utf8Text) {
    return toGbk("<html><div id=\"text_area\">" + utf8Text + "</div></html>");
}

// A library of the first schema holding these chapters (address on the site, UTF-8 text), kept
// in this order, written in one transaction so that thousands take no time; false on a failure.
inline bool writeFirstVersionLibrary(
    const std::filesystem::path& file,
    const std::vector<std::pair<std::string, std::string>>& chapters) {
    sqlite3* db = nullptr;
    bool ok = sqlite3_open(file.c_str(), &db) == SQLITE_OK &&
              sqlite3_exec(db, kFirstLibrarySchema, nullptr, nullptr, nullptr) == SQLITE_OK &&
              sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_stmt* put = nullptr;
    ok = ok && sqlite3_prepare_v2(db, "INSERT INTO chapter_cache VALUES(?, ?, 1, ?, ?, 1, ?, ?, ?)",
                                  -1, &put, nullptr) == SQLITE_OK;
    const std::string signature = demoCleaning().signature();
    int order = 0;
    for (const auto& [path, utf8Text] : chapters) {
        if (!ok) break;
        const Bytes page = chapterPage(utf8Text);
        const Bytes compressed = compressPage(page);
        const Text text = demoCleaning().textFromPage(page);
        sqlite3_bind_text(put, 1, path.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(put, 2, ++order);
        sqlite3_bind_int64(put, 3, static_cast<sqlite3_int64>(page.size()));
        sqlite3_bind_int64(put, 4, pageHash(page));
        sqlite3_bind_text(put, 5, signature.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_blob(put, 6, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
        sqlite3_bind_blob(put, 7, compressed.data(), static_cast<int>(compressed.size()),
                          SQLITE_TRANSIENT);
        ok = sqlite3_step(put) == SQLITE_DONE;
        sqlite3_reset(put);
    }
    sqlite3_finalize(put);
    ok = ok && sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

}  // namespace novel::test
