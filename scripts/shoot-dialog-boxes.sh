#!/usr/bin/env bash
# Photographs the boxes around the settings dialog as the Windows build shows
# them under Wine (about, information, the Open dialog's picture panel, the
# PSD size, the progress window of a large export, a refusal) and puts the
# pictures together as docs/dialog-boxes.png. The window suite's box tests
# hold still at each box (QF_DIALOG_SHOTS); this script photographs the
# virtual display meanwhile. Not part of CI: run it by hand after a change
# to a box, look at the result, and commit it.
#   ./scripts/shoot-dialog-boxes.sh [win32|win64]   (the build must exist)
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-win32}
build=build/$preset
shots=$build/dialog-boxes
rm -rf "$shots"
mkdir -p "$shots"

# The suite's Wine prefix, made before the tests start (as .ci/run does).
WINEPREFIX="$PWD/$build/wineprefix" wine cmd /c exit >/dev/null 2>&1 || true
WINEPREFIX="$PWD/$build/wineprefix" wineserver -w || true

n=$(( 90 + RANDOM % 400 ))
while [ -e "/tmp/.X${n}-lock" ]; do n=$(( n + 1 )); done
Xvfb ":$n" -screen 0 1280x900x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true' EXIT
sleep 1

export DISPLAY=":$n" WINEDEBUG=-all QF_DIALOG_SHOTS=2500 GTEST_FILTER='DialogBoxes.*'
ctest --preset "$preset" -R '^ui_win32$' -V 2>&1 | while IFS= read -r line; do
  case "$line" in
    *"SHOT "*)
      name=${line##*SHOT }
      name=${name%$'\r'}
      sleep 0.5
      import -window root "$shots/$name.png"
      # Only the windows, without the empty display around them.
      convert "$shots/$name.png" -trim +repage "$shots/$name.png"
      echo "photographed $name"
      ;;
    *"tests passed"* | *"tests failed"*) echo "$line" ;;
  esac
done

order=(about info open psd-size progress refusal)
pictures=()
for name in "${order[@]}"; do
  [ -f "$shots/$name.png" ] && pictures+=("$shots/$name.png")
done
[ ${#pictures[@]} -gt 0 ] || { echo "no pictures taken" >&2; exit 1; }
montage "${pictures[@]}" -tile 3x -geometry '+12+12' -background white docs/dialog-boxes.png
echo "docs/dialog-boxes.png: ${#pictures[@]} boxes"
