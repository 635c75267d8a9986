#!/usr/bin/env bash
# Fuzzes the presets reader (and the JPEG decoding beneath it) with libFuzzer.
# Usage: scripts/fuzz.sh [seconds]   (default 60)
# Configures build/fuzz with clang, builds the fuzz target with AddressSanitizer
# and UndefinedBehaviorSanitizer, seeds the corpus with files our own writer
# makes, and runs the fuzzer for the given time. Exits non-zero when the
# fuzzer finds a crash, a leak, a time-out or undefined behaviour; the input
# that caused it is left in build/fuzz/artifacts.
set -euo pipefail
seconds=${1:-60}
top=$(cd "$(dirname "$0")/.." && pwd)
build=$top/build/fuzz
instrument="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"

cmake -S "$top" -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_C_FLAGS="$instrument" -DCMAKE_CXX_FLAGS="$instrument" \
  -DQF_FUZZ=ON -DQF_WERROR=OFF -DQF_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j2 --target presets_reader_fuzz presets_seed_writer

corpus=$build/corpus
artifacts=$build/artifacts
mkdir -p "$corpus" "$artifacts"
"$build/fuzz/presets_seed_writer" "$corpus"

echo "fuzz: running the presets reader for $seconds s"
"$build/fuzz/presets_reader_fuzz" "$corpus" \
  -max_total_time="$seconds" -max_len=60000 -timeout=10 -rss_limit_mb=2048 \
  -artifact_prefix="$artifacts/" -print_final_stats=1
