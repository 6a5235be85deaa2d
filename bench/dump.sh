#!/usr/bin/env bash
# How quillet-map --dump compares with a full comparison of the same files.
#
# Usage: bench/dump.sh [BUILD_DIR]   (default: build; builds nothing itself)
#
# Makes, in a temporary folder removed at the end, a 1 GiB file of random bytes and two
# copies of it: one that differs in its last byte, one that differs at byte 16. With the
# files in the page cache it reports the median wall time of 5 runs of
#   - quillet-map comparing each pair,
#   - quillet-map --dump=0:0x3FFFFFFF on each pair,
# and the median peak RSS of the whole-file dump against a dump of a 256-byte range. The
# time of quillet-map --version is shown too: starting a process is part of every figure.
# Targets: the whole-file dump at most 1.5 x the comparison; its peak RSS within 8 MiB of
# the 256-byte dump; the dump of the pair differing at byte 16 under a twentieth of the
# comparison. Exit status 0 when every target is met, 1 when one is missed, 2 on trouble.
set -euo pipefail

build=${1:-build}
map="$build/bin/quillet-map"
runs=5
size=$((1 << 30))

if [[ ! -x $map ]]; then
    echo "dump.sh: $map not found; build first" >&2
    exit 2
fi
if [[ ! -x /usr/bin/time ]]; then
    if [[ $(id -u) -eq 0 ]]; then
        apt-get install -y -qq time >/dev/null
    else
        echo "dump.sh: /usr/bin/time is missing (Debian package 'time')" >&2
        exit 2
    fi
fi

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
base="$tmp/base"
last="$tmp/last"
early="$tmp/early"

# Writes the complement of the byte at offset $2 of file $1 in place.
flip_byte() {
    local byte
    byte=$(od -An -tu1 -j "$2" -N1 "$1" | tr -d ' ')
    printf "\\$(printf '%03o' $((255 - byte)))" |
        dd of="$1" bs=1 seek="$2" conv=notrunc status=none
}

echo "making three files of $size bytes in $tmp ..."
head -c "$size" /dev/urandom >"$base"
cp "$base" "$last"
flip_byte "$last" $((size - 1))
cp "$base" "$early"
flip_byte "$early" 16
cat "$base" "$last" "$early" >/dev/null

# Median wall time in milliseconds of $runs runs of the command; the exit status must be $1.
median_ms() {
    local want=$1 i start end status
    shift
    local times=()
    for ((i = 0; i < runs; ++i)); do
        start=${EPOCHREALTIME/./}
        status=0
        "$@" >/dev/null || status=$?
        end=${EPOCHREALTIME/./}
        if [[ $status -ne $want ]]; then
            echo "dump.sh: '$*' exited with $status, not $want" >&2
            exit 2
        fi
        times+=($(((end - start) / 1000)))
    done
    printf '%s\n' "${times[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p"
}

# Median peak resident set in KiB of $runs runs of the command.
median_rss_kib() {
    local i
    local sizes=()
    for ((i = 0; i < runs; ++i)); do
        sizes+=($(/usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -n 1))
    done
    printf '%s\n' "${sizes[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p"
}

compare_last=$(median_ms 1 "$map" "$base" "$last")
dump_last=$(median_ms 0 "$map" --dump=0:0x3FFFFFFF "$base" "$last")
compare_early=$(median_ms 1 "$map" "$base" "$early")
dump_early=$(median_ms 0 "$map" --dump=0:0x3FFFFFFF "$base" "$early")
startup=$(median_ms 0 "$map" --version)
rss_whole=$(median_rss_kib "$map" --dump=0:0x3FFFFFFF "$base" "$last")
rss_small=$(median_rss_kib "$map" --dump=0x3FFFFF00:0x3FFFFFFF "$base" "$last")

verdict=0
check() { # description, condition
    if eval "$2"; then
        echo "  met:    $1"
    else
        echo "  MISSED: $1"
        verdict=1
    fi
}

echo "median of $runs runs, files in the page cache:"
echo "  differing in the last byte: comparison ${compare_last} ms, whole dump ${dump_last} ms"
echo "  differing at byte 16:       comparison ${compare_early} ms, whole dump ${dump_early} ms"
echo "  start-up alone (--version): ${startup} ms, part of every time above"
echo "  peak RSS: whole dump ${rss_whole} KiB, 256-byte dump ${rss_small} KiB"
check "whole dump <= 1.5 x comparison (last byte)" "(( 2 * dump_last <= 3 * compare_last ))"
check "whole dump RSS within 8 MiB of the 256-byte dump" \
    "(( rss_whole - rss_small <= 8 * 1024 ))"
check "dump at byte 16 < comparison / 20" "(( 20 * dump_early < compare_early ))"
exit $verdict
