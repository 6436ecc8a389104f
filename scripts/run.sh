#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds, and starts the program on the embedded demo site.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
dir=$(bash scripts/build.sh | tail -n 1)
exec "$dir/app/novelreader"
