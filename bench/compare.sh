#!/usr/bin/env bash
# Speed and memory of the comparison. Makes two identical 1 GiB files and reports, as medians of
# RUNS runs (default 7) taken in turns so that the machine's load falls on every program alike,
# with the load average beside each figure:
#   - warm (both files in the page cache): quillet-map against a plain reader of both files
#     (bench/plainread, target: at most 0.8 x), against both files mapped and compared with
#     memcmp a MiB at a time (bench/mapcmp, target: at most 1.1 x), and cmp -s;
#   - the same pair in the window, from OK to the finish (bench/paint, target: at most 1.1 x
#     quillet-map), when the widgets were built;
#   - cold (both files evicted with POSIX_FADV_DONTNEED before each run, bench/evict): quillet-map
#     against the plain reader and, given an older build, against that (target: at most 1.05 x);
#   - two sparse 1 TiB files holding 16 MiB of data at two places (target: no slower than the
#     older build, or under 0.1 s without one);
#   - peak RSS of quillet-map on the dense pair, on two sparse 16 GiB files and on two dense
#     4 GiB files of zeros (target: 16 GiB within 2 MiB of 1 GiB, and 4 GiB within 2 MiB of 1 GiB);
#   - --quiet and --first on a pair differing at byte 16.
# Usage: bench/compare.sh [BUILD_DIR [OLD_BUILD_DIR]] (Release or RelWithDebInfo builds).
# Exit status 0 when every target is met, 1 when one is missed, 2 on trouble.
set -euo pipefail
build=$(realpath "${1:-build}")
old=${2:+$(realpath "$2")}
runs=${RUNS:-7}
map="$build/bin/quillet-map" plain="$build/bench/plainread" mapcmp="$build/bench/mapcmp"
evict="$build/bench/evict" paint="$build/bench/paint"
for tool in "$map" "$plain" "$mapcmp" "$evict" ${old:+"$old/bin/quillet-map"}; do
    [[ -x $tool ]] || { echo "compare.sh: $tool not found; build it first" >&2; exit 2; }
done
[[ -x /usr/bin/time ]] || { echo "compare.sh: needs /usr/bin/time (apt-get install time)" >&2; exit 2; }
export QT_QPA_PLATFORM=offscreen
work=$(mktemp -d "${TMPDIR:-/tmp}/quillet-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

head -c $((1 << 30)) /dev/urandom >"$work/a"
cp "$work/a" "$work/b"
truncate -s 1T "$work/t1" "$work/t2"
for at in 0 700; do
    head -c $((16 << 20)) /dev/urandom >"$work/piece"
    for f in t1 t2; do dd if="$work/piece" of="$work/$f" bs=1M seek=$((at << 10)) conv=notrunc status=none; done
done
sync

# Milliseconds of one run of the command (exit status 0 or 1).
one_ms() {
    local start end
    start=${EPOCHREALTIME/./}
    "$@" >/dev/null 2>&1 || [[ $? -le 1 ]] || { echo "compare.sh: '$*' failed" >&2; exit 2; }
    end=${EPOCHREALTIME/./}
    echo $(((end - start) / 1000))
}
# Medians of the commands (one per argument, split at blanks), run in turns; $before runs
# untimed before each run. Prints the medians on one line.
medians() {
    local i j
    local -a times=()
    for ((i = 0; i < runs; ++i)); do
        for ((j = 1; j <= $#; ++j)); do
            $before
            # shellcheck disable=SC2086
            times[j]+="$(one_ms ${!j}) "
        done
    done
    for ((j = 1; j <= $#; ++j)); do
        echo "${times[j]}" | tr ' ' '\n' | grep . | sort -n | sed -n "$(((runs + 1) / 2))p"
    done | xargs
}
window_ms() { "$paint" --compare "$work/a" "$work/b" 2>/dev/null | cut -d' ' -f1; }
load() { cut -d' ' -f1-3 /proc/loadavg; }
warm() { cat "$work/a" "$work/b" >/dev/null; }
cold() { "$evict" "$work/a" "$work/b"; }
none() { :; }
rss() { /usr/bin/time -f %M -o "$work/rss" "$map" "$@" >/dev/null 2>&1 || true; tail -n 1 "$work/rss"; }
verdict=0
check() { # what, condition
    if (("$2")); then echo "  met:    $1"; else echo "  MISSED: $1"; verdict=1; fi
}
pair="$work/a $work/b"
old_map=${old:+$old/bin/quillet-map}

before=warm
l=$(load)
read -r t_map t_plain t_mapcmp t_cmp t_old < <(medians "$map $pair" "$plain $pair" \
    "$mapcmp $pair" "cmp -s $pair" ${old:+"$old_map $pair"})
echo "two identical 1 GiB files, warm, median of $runs (load $l):"
echo "  quillet-map ${t_map} ms, plain reader ${t_plain} ms, mmap+memcmp ${t_mapcmp} ms," \
    "cmp -s ${t_cmp} ms${old:+, old build ${t_old} ms}"
check "warm at most 0.8 x the plain reader" "10 * t_map <= 8 * t_plain"
check "warm at most 1.1 x mmap+memcmp" "10 * t_map <= 11 * t_mapcmp"
if [[ -x $paint ]]; then
    l=$(load)
    w_window="" w_map=""
    for ((i = 0; i < runs; ++i)); do
        warm
        w_window+="$(window_ms) "
        warm
        w_map+="$(one_ms "$map" "$work/a" "$work/b") "
    done
    median() { tr ' ' '\n' | grep . | sort -n | sed -n "$(((runs + 1) / 2))p"; }
    t_window=$(echo "$w_window" | median) t_map2=$(echo "$w_map" | median)
    echo "  the window, from OK to the finish: ${t_window} ms against quillet-map ${t_map2} ms" \
        "in turns with it (load $l)"
    check "window at most 1.1 x quillet-map" "10 * t_window <= 11 * t_map2"
fi

before=cold
l=$(load)
read -r c_map c_plain c_old < <(medians "$map $pair" "$plain $pair" ${old:+"$old_map $pair"})
echo "the same pair cold, median of $runs (load $l):"
echo "  quillet-map ${c_map} ms, plain reader ${c_plain} ms${old:+, old build ${c_old} ms}"
[[ -z $old ]] || check "cold at most 1.05 x the old build" "100 * c_map <= 105 * c_old"

before=none
l=$(load)
read -r s_map s_old < <(medians "$map $work/t1 $work/t2" ${old:+"$old_map $work/t1 $work/t2"})
echo "two sparse 1 TiB files, 16 MiB of data at 0 and at 700 GiB: quillet-map ${s_map} ms${old:+, old build ${s_old} ms} (load $l)"
if [[ -n $old ]]; then
    check "sparse 1 TiB no slower than the old build (within 5 %)" "100 * s_map <= 105 * s_old"
else
    check "sparse 1 TiB under 0.1 s" "s_map < 100"
fi

truncate -s 16G "$work/s1" "$work/s2"
head -c $((4 << 30)) /dev/zero >"$work/z1"
cp "$work/z1" "$work/z2"
rss_1g=$(rss "$work/a" "$work/b")
rss_16g=$(rss "$work/s1" "$work/s2")
rss_4g=$(rss "$work/z1" "$work/z2")
rm -f "$work/z1" "$work/z2"
echo "peak RSS of quillet-map: dense 1 GiB ${rss_1g} KiB, sparse 16 GiB ${rss_16g} KiB," \
    "dense 4 GiB ${rss_4g} KiB (RSS counts the touched pages of the mapped windows)"
check "sparse 16 GiB within 2 MiB of 1 GiB" "rss_16g - rss_1g <= 2048"
check "dense 4 GiB within 2 MiB of 1 GiB" "rss_4g - rss_1g <= 2048"

# The same pair made to differ at byte 16: --quiet and --first stop at the first block.
printf '%b' "\\x$(printf '%02x' $((0x$(od -An -tx1 -j16 -N1 "$work/a" | tr -d ' ') ^ 1)))" |
    dd of="$work/b" bs=1 seek=16 conv=notrunc status=none
before=warm
read -r q_map f_map q_cmp < <(medians "$map -s $pair" "$map --first $pair" "cmp -s $pair")
echo "two 1 GiB files differing at byte 16: quillet-map -s ${q_map} ms, --first ${f_map} ms," \
    "cmp -s ${q_cmp} ms"
exit $verdict
