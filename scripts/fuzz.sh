#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer)
# in build-fuzz and runs each for a bounded time from its committed seeds. Inputs found on
# the way go to a temporary corpus, never into the tree; any crash, sanitizer report, broken
# invariant, timeout or memory blow-up fails the run and leaves the input in build-fuzz/.
# FUZZ_SECONDS sets each target's time (default 30).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh clang libclang-rt-dev
seconds=${FUZZ_SECONDS:-30}
targets=(cmdline mapargs hexdump cellgeometry align)

launcher=()
command -v ccache > /dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQUILLET_FUZZ=ON -DQUILLET_WIDGETS=OFF "${launcher[@]}" > /dev/null
ninja -C build-fuzz "${targets[@]/#/fuzz_}"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for t in "${targets[@]}"; do
    mkdir -p "$work/$t"
    echo "== fuzz_$t: ${seconds}s"
    # The first directory receives new inputs; the seeds are only read.
    build-fuzz/fuzz/fuzz_"$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix=build-fuzz/ "$work/$t" fuzz/corpus/"$t" \
        > "$work/$t.log" 2>&1 || {
        tail -n 60 "$work/$t.log"
        echo "fuzz_$t failed; the input is in build-fuzz/"
        exit 1
    }
    grep -E '^#[0-9]+[[:space:]]+DONE|stat::number_of_executed_units' "$work/$t.log"
done
echo "All fuzz targets ran clean."
