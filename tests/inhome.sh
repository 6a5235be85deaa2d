#!/bin/sh
# inhome.sh HOME PROGRAM...: runs a test program in a home of its own, emptied for each run and
# kept afterwards to be looked at, so that no test touches the user's settings or caches.
h=$1
shift
rm -rf "$h" && mkdir -p "$h/.config" "$h/.cache" "$h/.local/share" "$h/.local/state" "$h/run" &&
    chmod 700 "$h/run" || exit 1
HOME=$h XDG_CONFIG_HOME=$h/.config XDG_CACHE_HOME=$h/.cache XDG_DATA_HOME=$h/.local/share \
    XDG_STATE_HOME=$h/.local/state XDG_RUNTIME_DIR=$h/run exec "$@"
