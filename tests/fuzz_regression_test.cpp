// Replays every input kept under tests/fuzz_regressions/<target>/ through its fuzz target: each one
// once crashed or tripped a check, and must not again.

#include <gtest/gtest.h>

#include <filesystem>

#include "fuzz/fuzz_targets.h"
#include "web/file_io.h"

namespace novel {
namespace {
namespace fs = std::filesystem;

TEST(FuzzRegressions, KeptInputsRunClean) {
    const fs::path root = fs::path(NOVEL_SOURCE_DIR) / "tests" / "fuzz_regressions";
    int replayed = 0;
    for (const fuzz::Target& target : fuzz::kTargets) {
        const fs::path folder = root / target.name;
        if (!fs::is_directory(folder)) continue;
        for (const auto& entry : fs::directory_iterator(folder)) {
            if (!entry.is_regular_file()) continue;
            SCOPED_TRACE(entry.path().string());
            target.run(readFileBytes(entry.path()));
            ++replayed;
        }
    }
    EXPECT_GT(replayed, 0);
}

}  // namespace
}  // namespace novel
