#!/usr/bin/env bash
# What holes cost, and that dense files pay nothing for knowing about them, against an older
# build of the same programs on the same files in the same run.
#
# Usage: bench/sparse.sh [BUILD_DIR [OLD_BUILD_DIR]]   (default: build-release; builds nothing)
#
# Makes, in a temporary folder removed at the end:
#   - two sparse 1 TiB files with the same 64 MiB of random data in each (four pieces of
#     16 MiB, at 0, 100 GiB, 700 GiB and the end), the second differing in one byte, near
#     the end of the piece at 700 GiB;
#   - two sparse 64 GiB files with 8 KiB of data each, differing in their last byte;
#   - two identical dense 1 GiB files of random bytes.
# Then reports, as the median of RUNS runs (default 5) of wall time:
#   - quillet-map on the 1 TiB pair (target: at most 2 s, and at least 100 x faster than the
#     old build), and the window on it from OK to the finish (bench/paint, target 3 s);
#   - quillet-map on the 64 GiB pair (target: at least 50 x faster than the old build);
#   - the dense pair warm: quillet-map against bench/plainread (target: at most 1.15 x);
#   - the dense pair cold, each run after evicting both files (bench/evict): quillet-map
#     against plainread (target: at most 1.1 x), with cmp for reference;
#   - quillet-map --dump of a 2 GiB cell of the 1 TiB pair holding the difference (target:
#     under 1 s), and its peak RSS against a 256-byte dump (memory bounded whatever the cell's size);
#   - the peak RSS of quillet-map on the 1 TiB pair against the dense 1 GiB pair.
# The old build reads every hole: on the 1 TiB pair it takes about 9 minutes, so by default
# its 1 TiB figure is the 64 GiB one times 16 (the runs are linear in the length: every byte
# of both files is read); OLD_TIB=1 measures it once instead. Exit status 0 when every target
# is met, 1 when one is missed, 2 on trouble.
set -euo pipefail

build=$(realpath "${1:-build-release}")
old=${2:+$(realpath "$2")}
runs=${RUNS:-5}
map="$build/bin/quillet-map"
paint="$build/bench/paint"
plain="$build/bench/plainread"
evict="$build/bench/evict"
export QT_QPA_PLATFORM=offscreen
for tool in "$map" "$paint" "$plain" "$evict" ${old:+"$old/bin/quillet-map"}; do
    [[ -x $tool ]] || { echo "sparse.sh: $tool not found; build it first" >&2; exit 2; }
done
[[ -x /usr/bin/time ]] || { echo "sparse.sh: needs /usr/bin/time (Debian package 'time')" >&2; exit 2; }

tmp=$(mktemp -d "${TMPDIR:-/tmp}/quillet-sparse.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
T=$((1 << 40))
G=$((1 << 30))
M=$((1 << 20))

# Writes the complement of the byte at offset $2 of file $1 in place.
flip_byte() {
    local byte
    byte=$(od -An -tu1 -j "$2" -N1 "$1" | tr -d ' ')
    printf "\\$(printf '%03o' $((255 - byte)))" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none
}

echo "making the files in $tmp ..."
truncate -s $T "$tmp/t1" "$tmp/t2"
for at in 0 $((100 * G)) $((700 * G)) $((T - 16 * M)); do
    head -c $((16 * M)) /dev/urandom >"$tmp/piece"
    for f in t1 t2; do
        dd if="$tmp/piece" of="$tmp/$f" bs=1M seek=$((at / M)) conv=notrunc status=none
    done
done
differ=$((700 * G + 16 * M - 5)) # the scan of its cell reads all 16 MiB of both
flip_byte "$tmp/t2" $differ
truncate -s $((64 * G)) "$tmp/s1" "$tmp/s2"
for f in s1 s2; do
    head -c 8192 /dev/urandom | dd of="$tmp/$f" bs=4096 seek=$((64 * G / 4096 - 2)) conv=notrunc status=none
done
head -c $G /dev/urandom >"$tmp/d1"
cp "$tmp/d1" "$tmp/d2"
sync

# Wall time in milliseconds of one run of the command, after running $1 (untimed).
one_ms() {
    local before=$1 start end
    shift
    $before
    start=${EPOCHREALTIME/./}
    "$@" >/dev/null || [[ $? -le 1 ]] || { echo "sparse.sh: '$*' failed" >&2; exit 2; }
    end=${EPOCHREALTIME/./}
    echo $(((end - start) / 1000))
}
median() { tr ' ' '\n' | grep . | sort -n | sed -n "$(((runs + 1) / 2))p"; }
# Median of $runs runs of the command; $1 is run before each.
median_ms() {
    local i times=""
    for ((i = 0; i < runs; ++i)); do times+="$(one_ms "$@") "; done
    echo "$times" | median
}
# Medians of several commands run in turns, so that a change in the machine's load falls on
# all of them alike: before, then one command per argument (split at blanks); prints one
# median per command.
medians_ms() {
    local before=$1 i j
    shift
    local -a times=()
    for ((i = 0; i < runs; ++i)); do
        for ((j = 1; j <= $#; ++j)); do
            # shellcheck disable=SC2086
            times[j]+="$(one_ms "$before" ${!j}) "
        done
    done
    for ((j = 1; j <= $#; ++j)); do echo "${times[j]}" | median; done
}
warm() { cat "$tmp/d1" "$tmp/d2" >/dev/null; }
cold() { "$evict" "$tmp/d1" "$tmp/d2"; }
none() { :; }
rss_kib() { /usr/bin/time -f %M -o "$tmp/rss" "$@" >/dev/null 2>&1 || true; tail -n 1 "$tmp/rss"; }
ratio() { echo "$1 / $2" | bc -l; }

verdict=0
check() { # description, condition
    if eval "$2"; then echo "  met:    $1"; else echo "  MISSED: $1"; verdict=1; fi
}

tib=$(median_ms none "$map" "$tmp/t1" "$tmp/t2")
window=$(for ((i = 0; i < runs; ++i)); do
    "$paint" --compare "$tmp/t1" "$tmp/t2" 1920x1080 2>/dev/null | cut -d' ' -f1
done | sort -n | sed -n "$(((runs + 1) / 2))p")
gib64=$(median_ms none "$map" "$tmp/s1" "$tmp/s2")
dense="$tmp/d1 $tmp/d2"
old_map=${old:+$old/bin/quillet-map}
read -r map_warm plain_warm old_warm < <(medians_ms warm "$map $dense" "$plain $dense" \
    ${old:+"$old_map $dense"} | xargs)
read -r map_cold plain_cold cmp_cold old_cold < <(medians_ms cold "$map $dense" "$plain $dense" \
    "cmp -s $dense" ${old:+"$old_map $dense"} | xargs)
cell_first=$((differ / (2 * G) * 2 * G))
cell="--dump=$cell_first:$((cell_first + 2 * G - 1))"
dump=$(median_ms none "$map" "$cell" "$tmp/t1" "$tmp/t2")
rss_dump=$(rss_kib "$map" "$cell" "$tmp/t1" "$tmp/t2")
rss_small=$(rss_kib "$map" "--dump=$((differ - 100)):$((differ + 155))" "$tmp/t1" "$tmp/t2")
rss_tib=$(rss_kib "$map" "$tmp/t1" "$tmp/t2")
rss_gib=$(rss_kib "$map" "$tmp/d1" "$tmp/d2")

echo "median of $runs runs, wall time; a shared machine, so figures vary with its load:"
echo "  1 TiB sparse pair, quillet-map            ${tib} ms"
echo "  1 TiB sparse pair, window from OK         ${window} ms"
echo "  64 GiB sparse pair, quillet-map           ${gib64} ms"
echo "  dense 1 GiB warm: quillet-map ${map_warm} ms, plain reader ${plain_warm} ms" \
    "($(printf %.2f "$(ratio "$map_warm" "$plain_warm")") x)"
echo "  dense 1 GiB cold: quillet-map ${map_cold} ms, plain reader ${plain_cold} ms" \
    "($(printf %.2f "$(ratio "$map_cold" "$plain_cold")") x), cmp -s ${cmp_cold} ms"
echo "  dump of a 2 GiB cell of the 1 TiB pair    ${dump} ms, peak RSS ${rss_dump} KiB" \
    "(a 256-byte dump: ${rss_small} KiB)"
echo "  peak RSS of quillet-map: 1 TiB sparse pair ${rss_tib} KiB, dense 1 GiB pair ${rss_gib} KiB"
check "1 TiB pair through quillet-map at most 2 s" "(( tib <= 2000 ))"
check "1 TiB pair through the window at most 3 s" "(( window <= 3000 ))"
check "dense warm at most 1.15 x the plain reader" "(( 100 * map_warm <= 115 * plain_warm ))"
check "dense cold at most 1.1 x the plain reader" "(( 10 * map_cold <= 11 * plain_cold ))"
check "dump of a 2 GiB cell under 1 s" "(( dump < 1000 ))"
check "dump's peak RSS within 8 MiB of a 256-byte dump" "(( rss_dump - rss_small <= 8192 ))"
check "peak RSS flat in file size (1 TiB within 8 MiB of 1 GiB)" "(( rss_tib - rss_gib <= 8192 ))"

if [[ -n $old ]]; then
    old64=$(runs=1 median_ms none "$old_map" "$tmp/s1" "$tmp/s2")
    if [[ ${OLD_TIB:-0} == 1 ]]; then
        old_tib=$(runs=1 median_ms none "$old_map" "$tmp/t1" "$tmp/t2")
        how="measured once"
    else
        old_tib=$((old64 * 16))
        how="64 GiB figure x 16"
    fi
    echo "the old build ($old), same files:"
    echo "  64 GiB sparse pair ${old64} ms (one run) = $(printf %.0f "$(ratio "$old64" "$gib64")") x the new"
    echo "  1 TiB sparse pair ${old_tib} ms ($how) = $(printf %.0f "$(ratio "$old_tib" "$tib")") x the new"
    echo "  dense 1 GiB warm ${old_warm} ms, cold ${old_cold} ms"
    check "64 GiB pair at least 50 x faster than the old build" "(( old64 >= 50 * gib64 ))"
    check "1 TiB pair at least 100 x faster than the old build" "(( old_tib >= 100 * tib ))"
    check "dense warm no slower than the old build (within 5 %)" "(( 100 * map_warm <= 105 * old_warm ))"
fi
exit $verdict
