#!/usr/bin/env bash
# Builds the program and its tests into a build directory (default: $KORVELA_BUILD_DIR, else build) and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${1:-${KORVELA_BUILD_DIR:-build}}"
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Debug ${KORVELA_CMAKE_FLAGS:-}
cmake --build "$dir" -j"$(nproc)"
QT_QPA_PLATFORM=offscreen ctest --test-dir "$dir" --output-on-failure -j"$(nproc)"
