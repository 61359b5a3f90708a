#!/usr/bin/env bash
# Builds everything once with AddressSanitizer and UndefinedBehaviorSanitizer
# and runs every test of that build.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVTRPRO_SANITIZE=ON >/dev/null
cmake --build build-asan -j2
cd build-asan
ctest --output-on-failure -j2 "$@"
