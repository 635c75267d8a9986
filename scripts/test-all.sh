#!/usr/bin/env bash
# Sets everything up, builds the three targets and runs every test: natively,
# then the 32-bit and 64-bit Windows builds under Wine, then the native
# suites under the sanitizers.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

start=$(date +%s)
./scripts/setup.sh
./scripts/win-deps.sh i686
./scripts/win-deps.sh x86_64

echo "== format"
./scripts/check-format.sh

jobs=$(nproc 2>/dev/null || echo 2)
# Wine must not keep a server alive across ctest runs (it would inherit
# ctest's pipes); every test process starts and stops its own.
export WINEDEBUG=-all

for preset in native win32 win64; do
  echo "== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  if [ "$preset" = native ]; then
    # The committed generated sources must be what their generators write.
    echo "== generated sources"
    build/native/tools/make_terminology --check resources/terminology.rc
    for tool in make_base_table make_jpeg_tables make_lanczos_tables make_colour_tables; do
      python3 "tools/$tool.py" --check
    done
  fi
  echo "== $preset: tests"
  if [ "$preset" != native ]; then
    # Create the suite's Wine prefix before the tests start: two Wine
    # processes that both find no prefix race to create it, and one fails.
    WINEPREFIX="$top/build/$preset/wineprefix" wine cmd /c exit >/dev/null 2>&1 || true
    WINEPREFIX="$top/build/$preset/wineprefix" wineserver -w || true
  fi
  ctest --preset "$preset" -j "$jobs"
done

# Under the sanitizers: the suites that read outside files and host values
# (AddressSanitizer and UndefinedBehaviorSanitizer), and those that run
# threads (ThreadSanitizer).
sanitize() {
  local preset=$1 suites=$2
  echo "== $preset: configure and build ($suites)"
  cmake --preset "$preset" >/dev/null
  local targets=()
  for s in $suites; do targets+=("test_$s"); done
  cmake --build --preset "$preset" -j "$jobs" --target "${targets[@]}"
  echo "== $preset: tests"
  ctest --preset "$preset" -j "$jobs" -R "^(${suites// /|})\$"
}
sanitize asan "composite render pyramid presets export plugin host"
sanitize tsan "platform render pyramid plugin"

echo "== fuzzing the presets reader"
./scripts/fuzz.sh 60

echo "== all tests passed in $(( $(date +%s) - start )) s"
