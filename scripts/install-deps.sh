#!/usr/bin/env bash
# Installs the Debian packages Tarnhollow needs to build, run and test, skipping
# what is already there. Runs apt-get as root directly, otherwise through sudo.
# Usage: scripts/install-deps.sh [build|test|bench]   (each includes the ones before)
set -euo pipefail

level="${1:-build}"

build_pkgs=(build-essential cmake pkg-config libasio-dev libtomlplusplus-dev
            libcurl4-openssl-dev libssl-dev libpng-dev libjpeg62-turbo-dev zlib1g-dev libx11-dev libxtst-dev
            media-types qt6-base-dev libqrencode-dev libcrypt-dev libsqlite3-dev)
test_pkgs=(libgtest-dev libgmock-dev libbenchmark-dev libpcre2-dev clang
           libclang-rt-14-dev xvfb x11-utils chromium chromium-driver python3 xdotool)
bench_pkgs=(nginx lighttpd wrk linux-perf python3-pil)

wanted=("${build_pkgs[@]}")
case "$level" in
  build) ;;
  test) wanted+=("${test_pkgs[@]}") ;;
  bench) wanted+=("${test_pkgs[@]}" "${bench_pkgs[@]}") ;;
  *) echo "usage: $0 [build|test|bench]" >&2; exit 2 ;;
esac

missing=()
for p in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -eq 0 ]; then
  as_root=()
else
  as_root=(sudo)
fi

echo "Installing: ${missing[*]}"
"${as_root[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
