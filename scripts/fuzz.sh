#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for SECONDS (default 60), with libFuzzer's
# random SEED when one is given (CI gives one, so that a run can be repeated).
# A finding is left as build-fuzz/findings/<target>/crash-*; fix it and keep the input under
# tests/fuzz_regressions/<target>/ so the unit tests replay it from then on.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
seed=()
if [ -n "${2:-}" ]; then seed=(-seed="$2"); fi

bash scripts/install-deps.sh
if ! command -v clang++-14 >/dev/null; then
    if [ "$(id -u)" -eq 0 ]; then sudo=(); else sudo=(sudo); fi
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends clang-14 >/dev/null
fi

cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNOVEL_FUZZ=ON \
    -DCMAKE_CXX_COMPILER=clang++-14 >/dev/null
cmake --build build-fuzz -j "$(nproc)" >/dev/null

failed=0
targets=(
    text
    regex
    parsers
    site_config
    bookmarks
    reader_settings
    retry_after
    reader
    chapter
    sentences
    book
    library
    fulltext
)
for target in "${targets[@]}"; do
    corpus=build-fuzz/corpus/$target
    findings=build-fuzz/findings/$target
    mkdir -p "$corpus" "$findings"
    cp -n tests/fuzz_regressions/$target/* "$corpus"/ 2>/dev/null || true
    if build-fuzz/fuzz/fuzz_$target "$corpus" -max_total_time="$seconds" "${seed[@]}" -max_len=65536 \
        -artifact_prefix="$findings/" -print_final_stats=0 >"build-fuzz/$target.log" 2>&1; then
        echo "fuzz $target: ${seconds}s, nothing found"
    else
        echo "fuzz $target: FOUND A FAULT (see build-fuzz/$target.log and $findings/)"
        tail -n 30 "build-fuzz/$target.log"
        failed=1
    fi
done
exit $failed
