#!/usr/bin/env bash
# Takes docs/screenshot-aligned.png: the window's aligned comparison of a 256 MiB file and its
# copy with one byte inserted at 100 MiB, in a virtual X display, finished, the pointer resting
# on a cell after the insertion so that its tooltip shows the shift and both files' bytes.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" != "--inside" ]; then
    scripts/deps.sh xdotool imagemagick
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
    ninja -C build quillet
    exec xvfb-run --auto-servernum --server-args="-screen 0 1280x800x24" "$0" --inside
fi

scratch=$(mktemp -d)
# The picture shows the files' full names: a neutral folder, not this machine's.
images=/tmp/images
if [ -e "$images" ]; then
    echo "screenshot-aligned.sh: $images exists already; remove it first" >&2
    exit 1
fi
pid=""
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2> /dev/null
    rm -rf "$scratch" "$images"
}
trap cleanup EXIT

mkdir "$images"
head -c $((256 << 20)) /dev/urandom > "$images/old.img"
{
    head -c $((100 << 20)) "$images/old.img"
    printf 'Q'
    tail -c +$(((100 << 20) + 1)) "$images/old.img"
} > "$images/new.img"

# Polls up to 10 s for a window whose title is exactly $1; prints its id.
wait_window() {
    for _ in $(seq 100); do
        if id=$(xdotool search --onlyvisible --name "^$1\$" 2> /dev/null | head -1) &&
            [ -n "$id" ]; then
            echo "$id"
            return 0
        fi
        sleep 0.1
    done
    echo "screenshot-aligned.sh: no window '$1' appeared" >&2
    return 1
}

build/bin/quillet --align "$images/old.img" "$images/new.img" &
pid=$!
dialog=$(wait_window "Select files")
xdotool windowfocus --sync "$dialog" key Return
for _ in $(seq 100); do
    xdotool search --onlyvisible --name "^Select files\$" > /dev/null 2>&1 || break
    sleep 0.1
done
sleep 0.5
main=$(wait_window "Quillet Tavrel  1.00")
eval "$(xdotool getwindowgeometry --shell "$main")"
finished=""
for _ in $(seq 240); do
    import -window root -crop "${WIDTH}x$((HEIGHT - 40))+${X}+${Y}" "$scratch/map.png"
    white=$(convert "$scratch/map.png" -fill black +opaque white -format "%[fx:maxima]" info:)
    title=$(xdotool getwindowname "$main")
    if [ "$white" = 0 ] && [ "$title" = "Quillet Tavrel  1.00" ]; then
        finished=yes
        break
    fi
    sleep 0.5
done
if [ -z "$finished" ]; then
    echo "screenshot-aligned.sh: the comparison did not finish within two minutes" >&2
    exit 1
fi

# Rest the pointer on a sky-blue cell a few rows after the purple one, inside its corner.
sky=$(convert "$scratch/map.png" -depth 8 txt:- | grep -i '#60C8FF' | sed -n 2000p | cut -d: -f1) ||
    true
if [ -n "$sky" ]; then
    xdotool mousemove $((X + ${sky%,*} + 1)) $((Y + ${sky#*,} + 1))
    sleep 2.5 # the tooltip comes after one second of rest
else
    echo "screenshot-aligned.sh: no shifted cell found; the picture has no tooltip" >&2
fi

mkdir -p docs
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage docs/screenshot-aligned.png
echo "Saved docs/screenshot-aligned.png (${WIDTH}x${HEIGHT})"
