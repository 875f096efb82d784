#!/usr/bin/env bash
# Builds the program and its guide into build/ (or $KORVELA_BUILD_DIR) and starts it; a demo "Korvela.mdb" is made beside it only when none is there.
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${KORVELA_BUILD_DIR:-build}"
cmake -S . -B "$dir"
cmake --build "$dir" -j"$(nproc)" --target korvela korvela-admin korvela-pictures
exec "$dir/korvela"
