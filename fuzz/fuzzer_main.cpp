// One libFuzzer binary per target; FUZZ_TARGET names the function (set by fuzz/CMakeLists.txt).

#include "fuzz/fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    novel::fuzz::FUZZ_TARGET(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
