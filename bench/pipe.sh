#!/usr/bin/env bash
# quillet-map reading standard input: `cat a | quillet-map - b` against `cat a | cmp - b` on two
# 1 GiB files that differ in their last byte, page cache warm, so both read everything. Prints
# the median wall time of each pipeline and the peak RSS of quillet-map and of cmp, with a
# plain reader of both (256 KiB reads) as the yardstick; then the same pair made to differ at
# byte 16 under -s, where quillet-map must stop at once.
# Usage: bench/pipe.sh [BUILD_DIR] (a Release build is best).
set -euo pipefail
build=$(realpath "${1:-build}")
map="$build/bin/quillet-map"
plain="$build/bench/plainread"
runs=${RUNS:-7}
[ -x "$map" ] && [ -x "$plain" ] || { echo "build quillet-map and plainread in $build first" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (apt-get install time)" >&2; exit 2; }
work=$(mktemp -d "${TMPDIR:-/tmp}/quillet-pipe.XXXXXX")
trap 'rm -rf "$work"' EXIT

head -c $((1 << 30)) /dev/urandom > "$work/a"
cp "$work/a" "$work/b"
last=$(tail -c 1 "$work/a" | od -An -tu1 | tr -d ' ')
printf "\\$(printf %o $(((last + 1) % 256)))" |
    dd of="$work/b" bs=1 seek=$(((1 << 30) - 1)) conv=notrunc status=none
cat "$work/a" "$work/b" > /dev/null

median() { # command string: median wall seconds over $runs runs of it in bash
    local times=() t0 t1
    for _ in $(seq "$runs"); do
        t0=$(date +%s.%N)
        bash -c "$1" > /dev/null || [ $? -le 1 ]
        t1=$(date +%s.%N)
        times+=("$(echo "$t1 - $t0" | bc -l)")
    done
    printf '%s\n' "${times[@]}" | sort -g | awk '{ v[NR] = $1 } END { printf "%.3f", v[int((NR + 1) / 2)] }'
}
rss() { # the peak RSS in KiB of the reader in: cat a | READER... - b
    cat "$work/a" | /usr/bin/time -f %M "$@" - "$work/b" 2>&1 > /dev/null | tail -1
}

printf 'two 1 GiB files differing in their last byte, read from a pipe, median of %d runs:\n' "$runs"
printf '  cat a | quillet-map - b   %s s, peak RSS %s KiB\n' \
    "$(median "cat '$work/a' | '$map' - '$work/b'")" "$(rss "$map")"
printf '  cat a | cmp - b           %s s, peak RSS %s KiB\n' \
    "$(median "cat '$work/a' | cmp - '$work/b'")" "$(rss cmp)"
printf '  cat a | plainread - b     %s s (reads both, compares nothing)\n' \
    "$(median "cat '$work/a' | '$plain' /dev/stdin '$work/b'")"

printf '\x01' | dd of="$work/b" bs=1 seek=16 conv=notrunc status=none
[ "$(head -c 17 "$work/a" | tail -c 1 | od -An -tx1)" != " 01" ] ||
    printf '\x02' | dd of="$work/b" bs=1 seek=16 conv=notrunc status=none
printf 'the same pair differing at byte 16, median of %d runs:\n' "$runs"
printf '  cat a | quillet-map -s - b  %s s\n' "$(median "cat '$work/a' | '$map' -s - '$work/b'")"
printf '  cat a | cmp -s - b          %s s\n' "$(median "cat '$work/a' | cmp -s - '$work/b'")"
