#!/usr/bin/env bash
# Installs the Debian packages, builds the library and its tool with the
# default preset, and runs the tool's demo on the embedded engine.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset default
cmake --build --preset default -j "$(nproc)"
build/default/tools/tavodb demo
