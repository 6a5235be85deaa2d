#!/usr/bin/env bash
# Installs what is missing, builds, and compares the bundled sample pair.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release > /dev/null
ninja -C build quillet-map
status=0
build/bin/quillet-map samples/primary.bin samples/secondary.bin || status=$?
echo "quillet-map exit status: $status (0 equal, 1 different, 2 trouble)"
