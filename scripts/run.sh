#!/usr/bin/env bash
# Builds the program and its guide into build/ and starts it; a demo "Korvela.mdb" is made beside it only when none is there.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build
cmake --build build -j"$(nproc)" --target korvela korvela-admin korvela-pictures
exec ./build/korvela
