#!/usr/bin/env bash
# Installs what is missing, then builds and runs the whole suite three ways: a plain build,
# AddressSanitizer + UndefinedBehaviorSanitizer over every test, and ThreadSanitizer over the
# core's tests. Any failure or sanitizer report fails the run.
# --quick runs the plain build alone.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
jobs=$(nproc)

run_suite() { # dir, cmake options..., then ctest label filter in $label
    local dir=$1
    shift
    cmake -S . -B "$dir" -G Ninja "$@" > /dev/null
    ninja -C "$dir"
    (cd "$dir" && ctest -j"$jobs" --output-on-failure ${label:+-L "$label"})
}

label="" run_suite build -DCMAKE_BUILD_TYPE=RelWithDebInfo
[ "${1:-}" = "--quick" ] && exit 0
label="" run_suite build-asan -DCMAKE_BUILD_TYPE=Debug -DQUILLET_SANITIZE=address,undefined
label=core run_suite build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLET_SANITIZE=thread \
    -DQUILLET_WIDGETS=OFF
echo "All three suites passed."
