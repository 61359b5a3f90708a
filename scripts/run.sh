#!/usr/bin/env bash
# Builds the rule manager (Release) and starts it. Arguments go to the program.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DVTRPRO_TESTS=OFF >/dev/null
cmake --build build -j2
if [ -x build/bin/VtrProRuleBuilderu ]; then
  exec build/bin/VtrProRuleBuilderu "$@"
else
  exec build/bin/vtrpro-rules modules "$@"
fi
