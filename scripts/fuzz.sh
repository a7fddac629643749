#!/usr/bin/env bash
# Builds the packet-file fuzz target with clang-14 and libFuzzer (ASan and
# UBSan on) in build/fuzz and runs it for a fixed time, default 60 seconds,
# starting from the saved inputs in tests/files/fuzz. Any finding fails the
# run; its input is left in build/fuzz/findings/ and belongs in
# tests/files/fuzz/regressions/ once fixed, where the ordinary tests replay it.
#
# Usage: scripts/fuzz.sh [seconds]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
build=build/fuzz
sanitizers="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined"

cmake -S . -B "$build" \
  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
  -DCMAKE_BUILD_TYPE= \
  -DCMAKE_C_FLAGS="-O1 -g -fno-omit-frame-pointer $sanitizers" \
  -DCMAKE_CXX_FLAGS="-O1 -g -fno-omit-frame-pointer $sanitizers" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
  -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=address,undefined" \
  -DTAVODB_BUILD_FUZZ=ON -DTAVODB_BUILD_BENCH=OFF -DTAVODB_BUILD_TOOLS=OFF
cmake --build "$build" --target packet_file_fuzz -j "$(nproc)"

# New inputs go to the first directory; the saved ones are only read.
mkdir -p "$build/corpus" "$build/findings"
TavOdbLogLevel=off "$build/tests/files/packet_file_fuzz" \
  -max_total_time="$seconds" -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
  -artifact_prefix="$build/findings/" -print_final_stats=1 \
  "$build/corpus" tests/files/fuzz/corpus tests/files/fuzz/regressions
