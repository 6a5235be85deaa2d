#!/usr/bin/env bash
# What the window costs: the map's paint against one fillRect per cell, and a whole
# comparison of two 1 GiB files with the window open against quillet-map on the same files.
#
# Usage: bench/paint.sh [BUILD_DIR]   (default: build; builds nothing itself; Release is best)
#
# Runs build/bench/paint on the offscreen platform (the paint figures and their targets: a
# whole repaint at most 0.35 x the baseline, a progress step at most 0.1 x), then makes two
# identical 1 GiB files in a temporary folder, warms the page cache, and reports the median
# of 5 runs of quillet-map (wall time of the process) and of the window's comparison (from
# OK, which opens both files and starts the job, to its finish message) on a 1920 x 1080 and on a 3840 x 2160 screen.
# Target: the window at most 1.3 x quillet-map. Exit status 0 when every target is met,
# 1 when one is missed, 2 on trouble.
set -euo pipefail

build=${1:-build}
map="$build/bin/quillet-map"
paint="$build/bench/paint"
runs=5
export QT_QPA_PLATFORM=offscreen

if [[ ! -x $map || ! -x $paint ]]; then
    echo "paint.sh: $map or $paint not found; build first" >&2
    exit 2
fi

verdict=0
"$paint" 2>/dev/null || verdict=$?
[[ $verdict -le 1 ]] || exit 2

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
head -c $((1 << 30)) /dev/urandom >"$tmp/a"
cp "$tmp/a" "$tmp/b"
cat "$tmp/a" "$tmp/b" >/dev/null

median() { sort -n | sed -n "$(((runs + 1) / 2))p"; }

map_ms=$(for ((i = 0; i < runs; ++i)); do
    start=${EPOCHREALTIME/./}
    "$map" "$tmp/a" "$tmp/b" >/dev/null
    end=${EPOCHREALTIME/./}
    echo $(((end - start) / 1000))
done | median)
echo "two identical 1 GiB files, median of $runs runs (page cache warm):"
echo "  quillet-map                          ${map_ms} ms"
for screen in 1920x1080 3840x2160; do
    window_ms=$(for ((i = 0; i < runs; ++i)); do
        "$paint" --compare "$tmp/a" "$tmp/b" "$screen" 2>/dev/null | cut -d' ' -f1
    done | median)
    printf '  the window, %-9s screen         %s ms = %.2f x quillet-map (target <= 1.3)\n' \
        "$screen" "$window_ms" "$(echo "$window_ms / $map_ms" | bc -l)"
    if ((10 * window_ms > 13 * map_ms)); then
        verdict=1
    fi
done
exit $verdict
