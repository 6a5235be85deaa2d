#!/usr/bin/env bash
# Runs the plain suite in build/ again as on a machine unlike the developer's: German messages,
# Noto Sans Mono as the monospace font (which fontconfig calls dual-width) and a temporary folder
# with a long name. Run scripts/test.sh --quick (or the whole of it) first.
set -euo pipefail
cd "$(dirname "$0")/.."
[ -f build/CTestTestfile.cmake ] || { echo "no plain build in build/: run scripts/test.sh first" >&2; exit 2; }
scripts/deps.sh locales fonts-noto-mono
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
localedef -i de_DE -f UTF-8 "$scratch/de_DE.UTF-8" # no root needed, nothing of the system's changed
cat > "$scratch/fonts.conf" <<'CONF'
<?xml version="1.0"?><!DOCTYPE fontconfig SYSTEM "fonts.dtd"><fontconfig>
<include ignore_missing="yes">/etc/fonts/fonts.conf</include>
<alias binding="strong"><family>monospace</family><prefer><family>Noto Sans Mono</family></prefer></alias>
</fontconfig>
CONF
tmp="$scratch/a-temporary-folder-whose-name-is-as-long-as-some-users-have"
mkdir "$tmp"
export LOCPATH=$scratch LC_ALL=de_DE.UTF-8 LANG=de_DE.UTF-8 LANGUAGE=de FONTCONFIG_FILE=$scratch/fonts.conf TMPDIR=$tmp
# A pass that silently ran in English or in another font would prove nothing.
[[ $(ls "$tmp/missing" 2>&1) == *"nicht gefunden"* ]] ||
    { echo "the German messages are not in effect" >&2; exit 1; }
[ "$(fc-match -f '%{family}' monospace)" = "Noto Sans Mono" ] ||
    { echo "Noto Sans Mono is not the monospace font" >&2; exit 1; }
(cd build && ctest -j"$(nproc)" --output-on-failure)
echo "The suite passed abroad."
