#!/usr/bin/env bash
# Installs what is missing, builds, and compares the bundled sample pair: in the window when
# there is a display, otherwise with quillet-map.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
ninja -C build quillet quillet-map
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    exec build/bin/quillet samples/primary.bin samples/secondary.bin
fi
echo "No display here: the sample pair through quillet-map instead (xvfb-run or a desktop shows the window)."
status=0
build/bin/quillet-map samples/primary.bin samples/secondary.bin || status=$?
echo "quillet-map exit status: $status (0 equal, 1 different, 2 trouble)"
