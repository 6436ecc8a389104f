#pragma once
// The fuzz targets as plain functions, so that libFuzzer drives them (fuzz/*_fuzzer.cpp) and the
// unit tests replay every input that once broke one (tests/fuzz_regressions/<target>/).

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace novel::fuzz {

// Each returns normally for every input; a crash, a sanitizer report or an abort() is a finding.
void textPrimitives(std::string_view input);
void regexObject(std::string_view input);
void pageParsers(std::string_view input);
void siteConfig(std::string_view input);
void bookmarkFile(std::string_view input);
void readerSettings(std::string_view input);
void retryAfter(std::string_view input);
void readerTemplates(std::string_view input);
void chapterText(std::string_view input);
void sentenceSplitter(std::string_view input);
void bookReconciliation(std::string_view input);
void libraryStore(std::string_view input);
void fulltextQuery(std::string_view input);

struct Target {
    const char* name;
    void (*run)(std::string_view input);
};
inline constexpr Target kTargets[] = {
    // clang-format off
    {"text", &textPrimitives},
    {"regex", &regexObject},
    {"parsers", &pageParsers},
    {"site_config", &siteConfig},
    {"bookmarks", &bookmarkFile},
    {"reader_settings", &readerSettings},
    {"retry_after", &retryAfter},
    {"reader", &readerTemplates},
    {"chapter", &chapterText},
    {"sentences", &sentenceSplitter},
    {"book", &bookReconciliation},
    {"library", &libraryStore},
    {"fulltext", &fulltextQuery},
    // clang-format on
};

}  // namespace novel::fuzz
