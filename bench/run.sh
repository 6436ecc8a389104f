#!/usr/bin/env bash
# Runs every benchmark of the project and prints one table: figure, project, reference measured in
# the same run, ratio, goal. Builds first (as scripts/test.sh does) when needed.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=$(bash scripts/build.sh | tail -n 1)

echo "Machine: $(nproc) cores, $(awk '/MemTotal/ {printf "%.0f GiB", $2/1048576}' /proc/meminfo)," \
     "$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//')"
echo "System:  $(. /etc/os-release && echo "$PRETTY_NAME"), $(uname -r), load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "Commit:  $(git rev-parse --short HEAD 2>/dev/null || echo unknown)"
echo

results=$(mktemp)
trap 'rm -f "$results"' EXIT
for bench in text_bench site_bench reader_bench responsiveness_bench read_ahead_bench \
    download_bench book_bench library_bench fulltext_bench; do
    program="$dir/bench/$bench"
    [ -x "$program" ] || continue
    echo "running $bench ..." >&2
    QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1 "$program" 2>/dev/null |
        grep '^BENCH|' >>"$results" || echo "BENCH|$bench|failed|-|-|-" >>"$results"
done

{
    echo "figure|project|reference (same run)|ratio|goal"
    echo "------|-------|--------------------|-----|----"
    cut -d'|' -f2- "$results"
} | column -t -s '|'
