#!/bin/sh
# inhome.sh HOME PROGRAM...: runs a test program with a home and XDG folders of its own, made
# empty for each run and kept afterwards to be looked at, so that no test reads or writes the
# user's settings, caches or runtime files.
home=$1
shift
rm -rf "$home" && mkdir -p "$home/.config" "$home/.cache" "$home/.local/share" \
    "$home/.local/state" "$home/runtime" && chmod 700 "$home/runtime" || exit 1
HOME=$home XDG_CONFIG_HOME=$home/.config XDG_CACHE_HOME=$home/.cache \
    XDG_DATA_HOME=$home/.local/share XDG_STATE_HOME=$home/.local/state \
    XDG_RUNTIME_DIR=$home/runtime exec "$@"
