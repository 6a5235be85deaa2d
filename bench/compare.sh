#!/usr/bin/env bash
# Speed and memory of the comparison. Makes two identical 1 GiB files, warms the page cache
# and reports the median wall time of quillet-map, of `cmp -s` and of a plain reader that
# only reads both files; then the peak RSS of quillet-map on two sparse 16 GiB files against
# two 1 GiB ones; then --quiet and --first on a pair differing at byte 16.
# Usage: bench/compare.sh [BUILD_DIR] (a Release build is best).
set -euo pipefail
build=$(realpath "${1:-build}")
map="$build/bin/quillet-map"
plain="$build/bench/plainread"
runs=${RUNS:-7}
[ -x "$map" ] && [ -x "$plain" ] || { echo "build quillet-map and plainread in $build first" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (apt-get install time)" >&2; exit 2; }
work=$(mktemp -d "${TMPDIR:-/tmp}/quillet-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

head -c $((1 << 30)) /dev/urandom > "$work/a"
cp "$work/a" "$work/b"
cat "$work/a" "$work/b" > /dev/null

median() { # command... : median wall seconds over $runs runs
    local times=()
    for _ in $(seq "$runs"); do
        local t0 t1
        t0=$(date +%s.%N)
        "$@" > /dev/null || [ $? -le 1 ]
        t1=$(date +%s.%N)
        times+=("$(echo "$t1 - $t0" | bc -l)")
    done
    printf '%s\n' "${times[@]}" | sort -g | awk '{ v[NR] = $1 } END { printf "%.3f", v[int((NR + 1) / 2)] }'
}

t_map=$(median "$map" "$work/a" "$work/b")
t_cmp=$(median cmp -s "$work/a" "$work/b")
t_plain=$(median "$plain" "$work/a" "$work/b")
printf 'two identical 1 GiB files, median of %d runs (page cache warm):\n' "$runs"
printf '  quillet-map   %s s\n  cmp -s        %s s\n  plain reader  %s s\n' "$t_map" "$t_cmp" "$t_plain"
printf '  quillet-map / plain reader = %.2f (target <= 1.25)\n' "$(echo "$t_map / $t_plain" | bc -l)"
printf '  cmp -s / quillet-map       = %.2f (target >= 4)\n' "$(echo "$t_cmp / $t_map" | bc -l)"

rss() { /usr/bin/time -f %M "$@" 2>&1 > /dev/null | tail -1; }
truncate -s 16G "$work/s1" "$work/s2"
rss_1g=$(rss "$map" "$work/a" "$work/b")
rss_16g=$(rss "$map" "$work/s1" "$work/s2")
printf 'peak RSS: 1 GiB files %s KiB, sparse 16 GiB files %s KiB, difference %d KiB (target <= 2048)\n' \
    "$rss_1g" "$rss_16g" $((rss_16g - rss_1g))

# The same pair made to differ at byte 16: --quiet and --first stop at the first block.
printf '\x01' | dd of="$work/b" bs=1 seek=16 conv=notrunc status=none
[ "$(head -c 17 "$work/a" | tail -c 1 | od -An -tx1)" != " 01" ] || printf '\x02' |
    dd of="$work/b" bs=1 seek=16 conv=notrunc status=none
printf 'two 1 GiB files differing at byte 16, median of %d runs:\n' "$runs"
printf '  quillet-map -s       %s s\n' "$(median "$map" -s "$work/a" "$work/b")"
printf '  quillet-map --first  %s s\n' "$(median "$map" --first "$work/a" "$work/b")"
printf '  cmp -s               %s s\n' "$(median cmp -s "$work/a" "$work/b")"
