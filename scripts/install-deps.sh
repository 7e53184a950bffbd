#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the benchmarks need; quiet and quick when all are present.
set -euo pipefail

packages=(
  cmake make g++ pkg-config
  libcli11-dev libspdlog-dev libfmt-dev libssl-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  openssl python3 time
  clang-14 libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
echo "installing: ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
