// Test main of the text tests. "--block-width=N" holds the searches to blocks of N positions, so
// that one machine runs the search tests with every scan width its processor has.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "web/block_scan_testing.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    constexpr std::string_view kFlag = "--block-width=";
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (!arg.starts_with(kFlag)) {
            std::fprintf(stderr, "unknown argument: %s\n", argv[i]);
            return 2;
        }
        const int asked = std::atoi(argv[i] + kFlag.size());
        const int used = novel::setBlockScanWidthForTesting(asked);
        std::printf("block scan: %d bytes (asked %d)\n", used, asked);
    }
    return RUN_ALL_TESTS();
}
