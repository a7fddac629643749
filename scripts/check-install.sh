#!/usr/bin/env bash
# Installs a build tree into a temporary prefix, builds the example consumer
# against it with find_package(TavOdb) and pkg-config, runs it, and checks
# that the shared library exports only the library's own names.
#   check-install.sh BUILD_DIR CXX_FLAGS
set -euo pipefail
build_dir=$1
cxx_flags=${2:-}
source_dir=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d /tmp/tavodb-install.XXXXXX)
trap 'rm -rf "$work"' EXIT

cmake --install "$build_dir" --prefix "$work/prefix" >/dev/null
cmake -S "$source_dir/examples/consumer" -B "$work/consumer" -DCMAKE_PREFIX_PATH="$work/prefix" \
  -DCMAKE_CXX_FLAGS="$cxx_flags" -DCMAKE_EXE_LINKER_FLAGS="$cxx_flags" >/dev/null
cmake --build "$work/consumer" >/dev/null
LD_LIBRARY_PATH="$work/prefix/lib" "$work/consumer/consumer" "$work/engine"

# The same program built with nothing but pkg-config's flags.
pc_flags=$(PKG_CONFIG_PATH="$work/prefix/lib/pkgconfig" pkg-config --cflags --libs tavodb)
# shellcheck disable=SC2086
c++ -std=c++20 $cxx_flags "$source_dir/examples/consumer/main.cpp" $pc_flags -o "$work/pc-consumer"
LD_LIBRARY_PATH="$work/prefix/lib" "$work/pc-consumer" "$work/engine-pc" >/dev/null

library=$(ls "$work"/prefix/lib/libtavodb.so.*.*.* | head -n 1)
# Every exported name must be one of the library's own (family and class
# names); anything else means a dependency or an internal leaked out.
foreign=$(nm -D --defined-only "$library" | awk '{print $3}' | c++filt |
  grep -v -E '(Tav|Odb|SessionClient|CLSID_Tav)' || true)
if [ -n "$foreign" ]; then
  echo "libtavodb exports names that are not its own:" >&2
  echo "$foreign" | head -n 20 >&2
  exit 1
fi
echo "install check passed: $(basename "$library")"
