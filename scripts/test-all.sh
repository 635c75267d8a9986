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

jobs=$(nproc 2>/dev/null || echo 2)
# Wine must not keep a server alive across ctest runs (it would inherit
# ctest's pipes); every test process starts and stops its own.
export WINEDEBUG=-all

for preset in native win32 win64; do
  echo "== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  echo "== $preset: tests"
  ctest --preset "$preset" -j "$jobs"
done

for preset in asan tsan; do
  echo "== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  echo "== $preset: tests"
  ctest --preset "$preset" -j "$jobs"
done

echo "== all tests passed in $(( $(date +%s) - start )) s"
