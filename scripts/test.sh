#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
dir=$(bash scripts/build.sh "$@" | tail -n 1)
if [ "${1:-}" = "--sanitize" ]; then
    # Leaks inside system libraries (web engine, fontconfig) are not ours; see the file. The web
    # engine library also frees some of its own objects with a mismatched size, which ASan would
    # report from inside it on every page that closes.
    export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
    export ASAN_OPTIONS="new_delete_type_mismatch=0"
    export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
fi
cd "$dir"
ctest --output-on-failure -j 2
