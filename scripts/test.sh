#!/usr/bin/env bash
# Builds the library and runs every test: first the default build, then the
# same under AddressSanitizer and UndefinedBehaviorSanitizer. ctest starts and
# removes the throwaway PostgreSQL server the tests need.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

jobs=$(nproc)
for preset in default asan; do
  echo "==== $preset ===="
  cmake --preset "$preset"
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
  if [ "$preset" = default ]; then
    echo "==== fuzz (60 s) ===="
    scripts/fuzz.sh 60
  fi
done
