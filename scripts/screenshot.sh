#!/usr/bin/env bash
# Takes docs/screenshot.png: the window on two disk images in a virtual X display, the
# comparison finished and the pointer resting on a differing cell so that its tooltip shows.
# --aligned takes docs/screenshot-aligned.png instead: the aligned comparison of a 256 MiB file
# and its copy with one byte inserted at 100 MiB, the pointer on a cell after the insertion so
# that its tooltip shows the shift and both files' bytes.
set -euo pipefail
cd "$(dirname "$0")/.."
aligned=""
[ "${1:-}" = "--aligned" ] && aligned=yes && shift
if [ "${1:-}" != "--inside" ]; then
    scripts/deps.sh xdotool imagemagick
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
    ninja -C build quillet
    exec xvfb-run --auto-servernum --server-args="-screen 0 1280x800x24" "$0" \
        ${aligned:+--aligned} --inside
fi

# Everything below runs inside the virtual display.
scratch=$(mktemp -d)
# The picture shows the files' full names: a neutral folder, not this machine's.
images=/tmp/images
if [ -e "$images" ]; then
    echo "screenshot.sh: $images exists already; remove it first" >&2
    exit 1
fi
pid=""
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2> /dev/null
    rm -rf "$scratch" "$images"
}
trap cleanup EXIT

mkdir "$images"
if [ -n "$aligned" ]; then
    head -c $((256 << 20)) /dev/urandom > "$images/old.img"
    {
        head -c $((100 << 20)) "$images/old.img"
        printf 'Q'
        tail -c +$(((100 << 20) + 1)) "$images/old.img"
    } > "$images/new.img"
else
    # Two 48 MiB disk images: the newer has a few changed places and one more MiB at its end.
    head -c $((48 << 20)) < <(yes "Quillet Tavrel sample disk image") > "$images/old.img"
    cp "$images/old.img" "$images/new.img"
    for at in 3000000 3010000 17000000 29500000 29600000 41000000; do
        printf 'changed' | dd of="$images/new.img" bs=1 seek="$at" conv=notrunc status=none
    done
    head -c $((1 << 20)) /dev/zero >> "$images/new.img"
fi

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
    echo "screenshot.sh: no window '$1' appeared" >&2
    return 1
}

build/bin/quillet ${aligned:+--align} "$images/old.img" "$images/new.img" &
pid=$!
dialog=$(wait_window "Select files")
xdotool windowfocus --sync "$dialog" key Return
for _ in $(seq 100); do
    xdotool search --onlyvisible --name "^Select files\$" > /dev/null 2>&1 || break
    sleep 0.1
done
# Finished: the title is the program's name again (it shows the progress while the
# comparison runs) and no cell of the map is white (not compared yet). The map is the
# window less the status strip at its bottom.
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
    echo "screenshot.sh: the comparison did not finish within two minutes" >&2
    exit 1
fi

# Rest the pointer on the first light red cell, or a sky-blue one some rows after the insertion,
# a little inside its corner.
if [ -n "$aligned" ]; then
    cell=$(convert "$scratch/map.png" -depth 8 txt:- | grep -i '#60C8FF' | sed -n 2000p |
        cut -d: -f1) || true
    out=docs/screenshot-aligned.png
else
    cell=$(convert "$scratch/map.png" -depth 8 txt:- | grep -m1 -i '#FF8080' | cut -d: -f1) ||
        true
    out=docs/screenshot.png
fi
if [ -n "$cell" ]; then
    xdotool mousemove $((X + ${cell%,*} + 1)) $((Y + ${cell#*,} + 1))
    sleep 2.5 # the tooltip comes after one second of rest
else
    echo "screenshot.sh: no cell to rest on found; the picture has no tooltip" >&2
fi

mkdir -p docs
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$out"
echo "Saved $out (${WIDTH}x${HEIGHT})"
