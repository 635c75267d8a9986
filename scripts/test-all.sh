#!/usr/bin/env bash
# Sets everything up, builds the three targets and runs every test: natively,
# then the 32-bit and 64-bit Windows builds under Wine, then the native
# suites under the sanitizers.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

start=$(date +%s)
# Each step's heading carries the seconds since the start, to see where the
# time goes.
step() { echo "== $* (at $(( $(date +%s) - start )) s)"; }
./scripts/setup.sh
./scripts/setup-psd-readers.sh
./scripts/win-deps.sh i686
./scripts/win-deps.sh x86_64

step "format"
./scripts/check-format.sh

jobs=$(nproc 2>/dev/null || echo 2)

# One virtual display for the dialog's tests, started when first needed.
display= xvfb_pid=
start_display() {
  [ -n "$display" ] && return
  local n=$(( 90 + RANDOM % 400 ))
  while [ -e "/tmp/.X${n}-lock" ]; do n=$(( n + 1 )); done
  Xvfb ":$n" -screen 0 1280x900x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  display=":$n"
  sleep 1
}
trap '[ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true' EXIT
# A screenshot of the dialog as the CLI opens it: build/<preset>/dialog.png.
shot_dialog() {
  local build="$top/build/$1" wine_build
  wine_build="Z:$(echo "$build" | tr / '\\')"
  convert -size 640x480 plasma:fractal -seed 3 "$build/dialog-input.png"
  WINEPREFIX="$build/wineprefix" DISPLAY=$display wine "$build/host/quillfire.exe" apply \
    "$wine_build\\dialog-input.png" "$wine_build\\dialog-output.png" --dialog >/dev/null 2>&1 &
  local pid=$!
  sleep 8
  DISPLAY=$display import -window root "$build/dialog.png" || true
  kill "$pid" 2>/dev/null || true
  WINEPREFIX="$build/wineprefix" wineserver -k 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}
# The full-disk cases of the platform and CLI suites mount a small tmpfs.
if [ "$(id -u)" != 0 ]; then
  echo "== note: not root, so the full-disk (tmpfs) tests are skipped"
fi
# Wine must not keep a server alive across ctest runs (it would inherit
# ctest's pipes); every test process starts and stops its own.
export WINEDEBUG=-all

for preset in native win32 win64; do
  step "$preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  if [ "$preset" = native ]; then
    # The committed generated sources must be what their generators write.
    step "generated sources"
    build/native/tools/make_terminology --check resources/terminology.rc
    for tool in make_base_table make_jpeg_tables make_lanczos_tables make_colour_tables make_border_gifs; do
      python3 "tools/$tool.py" --check
    done
  fi
  step "$preset: tests"
  if [ "$preset" != native ]; then
    # Create the suite's Wine prefix before the tests start: two Wine
    # processes that both find no prefix race to create it, and one fails.
    WINEPREFIX="$top/build/$preset/wineprefix" wine cmd /c exit >/dev/null 2>&1 || true
    WINEPREFIX="$top/build/$preset/wineprefix" wineserver -w || true
  fi
  ctest --preset "$preset" -j "$jobs"
  if [ "$preset" = native ]; then
    step "native: the GEGL operation against the CLI"
    ./scripts/check-gegl.sh build/native
    step "native: the CLI under address-space limits"
    ./scripts/memory-limit-sweep.sh --coarse build/native
  fi
  if [ "$preset" != native ]; then
    # The dialog's window, on the one virtual display (the other suites run
    # without a display, where the module shows no window). The screenshot
    # of the open dialog is kept beside the build.
    step "$preset: the dialog under Xvfb"
    start_display
    DISPLAY=$display QF_REQUIRE_DISPLAY=1 ctest --preset "$preset" -R '^ui_win32(_monkey)?$' --output-on-failure
    shot_dialog "$preset"
  fi
done

# The release files, made from the builds above, installed and used as a
# person would (installing needs root).
step "release files: package, install and check"
./scripts/package.sh
if [ "$(id -u)" = 0 ]; then
  ./scripts/check-package.sh
else
  echo "== note: not root, so the package is not installed and checked"
fi

# Under the sanitizers: the suites that read outside files and host values
# (AddressSanitizer and UndefinedBehaviorSanitizer), and those that run
# threads (ThreadSanitizer).
# Their presets compile at -O1 with line tables only (-g1): about half the
# build time of -O2 -g, and every report still names the file and line.
sanitize() {
  local preset=$1 suites=$2
  step "$preset: configure and build ($suites)"
  cmake --preset "$preset" >/dev/null
  local targets=()
  for s in $suites; do targets+=("test_$s"); done
  cmake --build --preset "$preset" -j "$jobs" --target "${targets[@]}"
  step "$preset: tests"
  ctest --preset "$preset" -j "$jobs" -R "^(${suites// /|})\$"
}
sanitize asan "composite render pyramid presets export ui plugin host"
# The CLI built with the sanitizers on a full disk, in every format, driven
# by the native CLI suite (any report fails it).
step "asan: the CLI on a full disk"
cmake --build --preset asan -j "$jobs" --target quillfire
QF_CLI="$top/build/asan/host/quillfire" ASAN_OPTIONS=exitcode=86 UBSAN_OPTIONS=exitcode=86 \
  build/native/tests/test_cli --gtest_filter='CliWrite.AFullDisk*'
sanitize tsan "platform render pyramid plugin"

step "fuzzing every reader of outside bytes"
./scripts/fuzz.sh 20

echo "== all tests passed in $(( $(date +%s) - start )) s"
