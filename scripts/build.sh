#!/usr/bin/env bash
# Builds the library and its tools with the default preset.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset default
cmake --build --preset default -j "$(nproc)"
