#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, if any is missing, together with
# any further packages named on the command line (scripts/deps.sh imagemagick).
set -euo pipefail
packages=(cmake ninja-build g++ qt6-base-dev libgl-dev libpng-dev xvfb xauth librsvg2-bin groff-base nlohmann-json3-dev libxxhash-dev "$@")
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Missing packages: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
    command -v sudo > /dev/null || { echo "Install them as root with apt-get." >&2; exit 1; }
    sudo="sudo"
fi
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
