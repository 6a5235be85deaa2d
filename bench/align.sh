#!/usr/bin/env bash
# The aligned comparison against the plain one, on the same files, page cache warm.
#
# Usage: bench/align.sh [BUILD_DIR]   (default: build-release; builds nothing)
#
# Makes, in a temporary folder removed at the end, from one seeded 1 GiB file of random bytes
# (the same bytes on every run, so the outcome can be checked exactly):
#   - an identical copy;
#   - a copy with 5 MiB rewritten in place at 300 MiB;
#   - a copy with 1 byte inserted at 100 MiB;
#   - a copy with 4 KiB deleted at 512 MiB and the 10 MiB at 100 MiB moved to 900 MiB;
#   - an unrelated 1 GiB file;
#   - a copy with one byte changed in every 2 KiB (more segments than an alignment keeps);
#   - two sparse 1 TiB files with the same 64 MiB of data in four 16 MiB pieces (at 0, 100 GiB,
#     700 GiB and the end), the second with 1 MiB inserted just before its second piece.
# Then reports, as the median of RUNS runs (default 5) of wall time, each pair through the plain
# comparison (CCompareJob at quillet-map's block size) and the aligned one, run in turns so that
# a change in the machine's load falls on both; the speed of the chunker alone; the bytes the
# 1 TiB pair had read; and the peak RSS of every aligned run. Checks each outcome against the
# edits made and each figure against its target. Exit status 0 when every target is met, 1 when
# one is missed, 2 on trouble.
#
# A plain comparison that maps its files stops at the first bytes of a page that differs, so it
# hardly reads a pair that differs everywhere (50 to 60 ms for 1 GiB), while an aligned one must
# read every byte to prove shifted bytes equal or to chunk unrelated ones: no aligned comparison
# can come near that. Each pair is therefore also shown against the plain comparison of the
# identical pair, the cost of reading and comparing every byte, and the pairs with a shift or
# with nothing in common are held to their targets against that.
set -euo pipefail

build=$(realpath "${1:-build-release}")
runs=${RUNS:-5}
run="$build/bench/alignrun"
[[ -x $run ]] || { echo "align.sh: $run not found; build it first" >&2; exit 2; }
[[ -x /usr/bin/time ]] || { echo "align.sh: needs /usr/bin/time (Debian package 'time')" >&2; exit 2; }
tmp=$(mktemp -d "${TMPDIR:-/tmp}/quillet-align.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
M=$((1 << 20))
G=$((1 << 30))
T=$((1 << 40))

# Bytes $2.. of file $1: [from, from + count).
piece() { dd if="$1" iflag=skip_bytes,count_bytes skip="$2" count="$3" bs=4M status=none; }

echo "making the files in $tmp ..."
"$run" random 1 $G >"$tmp/base"
cp "$tmp/base" "$tmp/same"
cp "$tmp/base" "$tmp/inplace"
"$run" random 2 $((5 * M)) | dd of="$tmp/inplace" bs=1M seek=300 conv=notrunc status=none
# The inserted byte differs from the one it goes before, so its place is exact.
byte=$(od -An -tu1 -j $((100 * M)) -N1 "$tmp/base" | tr -d ' ')
{
    piece "$tmp/base" 0 $((100 * M))
    # shellcheck disable=SC2059 # the byte is made by the format on purpose
    printf "\\$(printf '%03o' $((255 - byte)))"
    piece "$tmp/base" $((100 * M)) $((G - 100 * M))
} >"$tmp/inserted"
# File 2: A [0, 100M) B [110M, 512M) C [512M + 4K, 910M + 4K) X [100M, 110M) E [910M + 4K, 1G).
{
    piece "$tmp/base" 0 $((100 * M))
    piece "$tmp/base" $((110 * M)) $((402 * M))
    piece "$tmp/base" $((512 * M + 4096)) $((398 * M))
    piece "$tmp/base" $((100 * M)) $((10 * M))
    piece "$tmp/base" $((910 * M + 4096)) $((G - 910 * M - 4096))
} >"$tmp/moved"
"$run" random 3 $G >"$tmp/unrelated"
cp "$tmp/base" "$tmp/spoilt"
"$run" spoil "$tmp/spoilt" 2048
truncate -s $T "$tmp/t1"
truncate -s $((T + M)) "$tmp/t2"
for at in 0 $((100 * G)) $((700 * G)) $((T - 16 * M)); do
    "$run" random $((at / M + 10)) $((16 * M)) >"$tmp/piece"
    dd if="$tmp/piece" of="$tmp/t1" bs=1M seek=$((at / M)) conv=notrunc status=none
    dd if="$tmp/piece" of="$tmp/t2" bs=1M seek=$((at / M + (at > 0))) conv=notrunc status=none
done
"$run" random 9 $M | dd of="$tmp/t2" bs=1M seek=$((100 * G / M)) conv=notrunc status=none
sync

verdict=0
check() { # description, 1 or 0
    if (($2)); then echo "  met:    $1"; else echo "  MISSED: $1"; verdict=1; fi
}
holds() { echo "$1" | bc -l; } # 1 when the comparison holds
median() { tr ' ' '\n' | grep . | sort -g | sed -n "$(((runs + 1) / 2))p"; }
# The wall time a run printed first; the whole output is read, so that no run dies of SIGPIPE.
ms() { "$run" "$@" | sed -n '1s/^ms=\([0-9.]*\).*/\1/p'; }
# Medians of the plain and the aligned run on one pair, in turns, each after warming the pair.
pair_ms() {
    local i plain="" aligned=""
    for ((i = 0; i < runs; ++i)); do
        cat "$1" "$2" >/dev/null
        plain+="$(ms plain "$1" "$2") "
        aligned+="$(ms align "$1" "$2") "
    done
    echo "$(echo "$plain" | median) $(echo "$aligned" | median)"
}
# The aligned run's segments as "kind first1+length1 first2+length2" lines, and its peak RSS.
segments() { "$run" align "$1" "$2" | tail -n +2 | cut -d' ' -f1-3; }
peak_kib() { /usr/bin/time -f %M "$run" align "$1" "$2" 2>&1 >/dev/null | tail -n 1; }
ratio() { printf %.2f "$(echo "$1 / $2" | bc -l)"; }
peak=0
# name, file 2, target ratio ('' for none), expected segments ('' for any), and "identical" to
# hold the target against the identical pair's plain comparison
report() {
    local name=$1 two=$2 target=$3 expected=$4 against=${5:-} plain aligned got rss yardstick
    read -r plain aligned < <(pair_ms "$tmp/base" "$two")
    [[ -n ${same_ms:-} ]] || same_ms=$plain # the first pair is the identical one
    got=$(segments "$tmp/base" "$two")
    rss=$(peak_kib "$tmp/base" "$two")
    peak=$((rss > peak ? rss : peak))
    echo "$name: plain ${plain} ms, aligned ${aligned} ms ($(ratio "$aligned" "$plain") x;" \
        "$(ratio "$aligned" "${same_ms:-$plain}") x the identical pair's plain comparison)," \
        "$(echo "$got" | wc -l) segments, peak RSS ${rss} KiB"
    yardstick=$plain
    [[ $against != identical ]] || yardstick=$same_ms
    [[ -z $target ]] || check "$name at most $target x the plain comparison${against:+ of the identical pair}" \
        "$(holds "$aligned <= $target * $yardstick")"
    [[ -z $expected ]] || check "$name: the segments as the edits were made" \
        "$([[ $got == "$expected" ]] && echo 1 || echo 0)"
}

echo "median of $runs runs, wall time, page cache warm; a shared machine, so figures vary with its load:"
report "identical 1 GiB" "$tmp/same" 1.05 "equal 0+1073741824 0+1073741824"
report "5 MiB rewritten in place" "$tmp/inplace" 1.05 "equal 0+314572800 0+314572800
different 314572800+5242880 314572800+5242880
equal 319815680+753926144 319815680+753926144"
report "1 byte inserted at 100 MiB" "$tmp/inserted" 1.3 "equal 0+104857600 0+104857600
inserted 104857600+0 104857600+1
equal 104857600+968884224 104857601+968884224" identical
report "4 KiB deleted, 10 MiB moved" "$tmp/moved" 1.3 "equal 0+104857600 0+104857600
moved 104857600+10485760 943718400+10485760
equal 115343360+421527552 104857600+421527552
deleted 536870912+4096 526385152+0
equal 536875008+417333248 526385152+417333248
equal 954208256+119533568 954204160+119533568" identical
report "unrelated 1 GiB" "$tmp/unrelated" 2.5 "different 0+1073741824 0+1073741824" identical
report "a byte changed in every 2 KiB" "$tmp/spoilt" "" ""

chunk=()
for ((i = 0; i < runs; ++i)); do chunk+=("$("$run" chunk "$tmp/base" | sed 's/.*GB\/s=//')"); done
chunk_gbs=$(printf '%s ' "${chunk[@]}" | median)
echo "chunking alone, in memory: ${chunk_gbs} GB/s"
check "chunking at least 1 GB/s on one core" "$(holds "$chunk_gbs >= 1")"

tib=()
for ((i = 0; i < runs; ++i)); do tib+=("$(ms align "$tmp/t1" "$tmp/t2")"); done
tib_ms=$(printf '%s ' "${tib[@]}" | median)
out=$("$run" align "$tmp/t1" "$tmp/t2")
read_bytes=$(echo "$out" | sed -n '1s/.*read=\([0-9]*\).*/\1/p')
got=$(echo "$out" | tail -n +2 | cut -d' ' -f1-3)
rss=$(peak_kib "$tmp/t1" "$tmp/t2")
peak=$((rss > peak ? rss : peak))
echo "1 TiB sparse pair, 1 MiB inserted: ${tib_ms} ms, $read_bytes bytes read," \
    "$(echo "$got" | wc -l) segments, peak RSS ${rss} KiB"
check "1 TiB pair under 2 s" "$(holds "$tib_ms < 2000")"
expected="equal 0+107374182400 0+107374182400
inserted 107374182400+0 107374182400+1048576
equal 107374182400+992137445376 107375230976+992137445376"
check "1 TiB pair: the insertion found" "$([[ $got == "$expected" ]] && echo 1 || echo 0)"
check "1 TiB pair: no hole read (at most 4 x its 129 MiB of data)" \
    "$((read_bytes <= 4 * 129 * M))"
echo "peak RSS of the aligned runs: $peak KiB"
check "peak memory at most 128 MiB" "$((peak <= 131072))"
exit $verdict
