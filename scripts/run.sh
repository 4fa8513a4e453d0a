#!/usr/bin/env bash
# Installs what is missing, builds, and starts the server on its defaults (port 8080,
# the documents folder's Tarnhollow folder), in its window when a display is available.
# Extra arguments go to the server.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh build
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARNHOLLOW_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc)" --target tarnhollow
# With a display (DISPLAY or WAYLAND_DISPLAY) the program opens its window; without
# one, or with --headless, the status line goes to the terminal.
exec ./build/tarnhollow "$@"
