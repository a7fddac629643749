#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the tools need,
# when they are missing. Runs as root or through sudo.
set -euo pipefail

packages=(
  build-essential cmake pkg-config python3
  libsqlite3-dev libpq-dev postgresql
  zlib1g-dev libicu-dev libspdlog-dev libfmt-dev libtomlplusplus-dev
  libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev nlohmann-json3-dev
  clang-14 libclang-rt-14-dev
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
echo "Installing: ${missing[*]}"
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
