#!/usr/bin/env bash
# Builds the .deb from a Release build in build-release/, after validating the desktop entry
# and the AppStream metadata as installed, then unpacks the package into a scratch root and
# runs the scanner from there on the sample pair. Any failure fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh desktop-file-utils appstream dpkg-dev file

launcher=()
command -v ccache > /dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
# -O2 as Debian's own packages are built (dpkg-buildflags); GCC 12's -O3 also warns falsely
# (-Wrestrict) inside std::string's operator+.
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" "${launcher[@]}" > /dev/null
ninja -C build-release quillet quillet-map quillet_icons

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
DESTDIR="$scratch/stage" cmake --install build-release --prefix /usr > /dev/null
desktop-file-validate "$scratch"/stage/usr/share/applications/*.desktop
appstreamcli validate --no-net "$scratch"/stage/usr/share/metainfo/*.metainfo.xml

rm -f build-release/quillet_*.deb # a stale one would be picked up below
(cd build-release && cpack -G DEB)
deb=$(ls build-release/quillet_*.deb)
dpkg-deb --field "$deb" Package Version Depends
dpkg -x "$deb" "$scratch/root"
bin="$scratch/root/usr/bin"
file "$bin/quillet" "$bin/quillet-map"

"$bin/quillet-map" --version
status=0
out=$("$bin/quillet-map" samples/primary.bin samples/secondary.bin) || status=$?
echo "$out"
if [ "$status" -ne 1 ] || ! grep -q '^different 0x' <<< "$out"; then
    echo "package.sh: the packaged quillet-map gave status $status on the sample pair," \
         "expected 1 and a 'different' range" >&2
    exit 1
fi
echo "Package built and checked: $deb"
