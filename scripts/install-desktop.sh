#!/usr/bin/env bash
# Builds Tarnhollow and installs it for the desktop: the program into PREFIX/bin, and its
# desktop entry and icon where the desktop's application menu finds them.
# Usage: scripts/install-desktop.sh [PREFIX]   (default ~/.local; /usr/local as root)
# BUILD_DIR names the build folder (default build).
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "$(id -u)" -eq 0 ]; then default_prefix=/usr/local; else default_prefix="$HOME/.local"; fi
prefix="${1:-$default_prefix}"
build="${BUILD_DIR:-build}"
if [ "$prefix" = "$HOME/.local" ]; then
  data="${XDG_DATA_HOME:-$HOME/.local/share}"
else
  data="$prefix/share"
fi

scripts/install-deps.sh build
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARNHOLLOW_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target tarnhollow

install -D -m 0755 "$build/tarnhollow" "$prefix/bin/tarnhollow"
install -D -m 0644 packaging/tarnhollow.png "$data/icons/hicolor/128x128/apps/tarnhollow.png"
# The entry names the installed program by its full path: PREFIX/bin need not be on PATH.
install -d "$data/applications"
sed "s|^Exec=tarnhollow$|Exec=$prefix/bin/tarnhollow|" packaging/tarnhollow.desktop \
  > "$data/applications/tarnhollow.desktop"
chmod 0644 "$data/applications/tarnhollow.desktop"
if command -v update-desktop-database >/dev/null; then update-desktop-database -q "$data/applications" || true; fi
if command -v gtk-update-icon-cache >/dev/null; then gtk-update-icon-cache -q -t "$data/icons/hicolor" || true; fi
echo "Installed $prefix/bin/tarnhollow and $data/applications/tarnhollow.desktop"
