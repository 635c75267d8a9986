#!/usr/bin/env bash
# Fuzzes every reader of outside bytes with libFuzzer: the presets reader
# (and the JPEG decoding beneath it), the JPEG decoding of presets pictures
# alone, settings descriptors fed to the module by our own host, and the
# property list and terminology readers of the resource tests, and the
# dialog's script reader with the dialog model playing what it read.
#
# Usage: scripts/fuzz.sh [seconds per target]   (default 60)
#        scripts/fuzz.sh --long [hours]          (default 3 hours in all)
# Configures build/fuzz with clang, builds the targets with AddressSanitizer
# and UndefinedBehaviorSanitizer, seeds each corpus with what our own
# writers make, and runs each target for its share of the time; the corpora
# in build/fuzz/corpus grow from run to run. Prints the executions of each
# target and exits non-zero when a target finds a crash, a leak, a time-out
# or undefined behaviour; the input that caused it is left in
# build/fuzz/artifacts.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$top/build/fuzz
targets=(presets_reader_fuzz jpeg_picture_fuzz descriptor_fuzz property_list_fuzz dialog_script_fuzz)
if [ "${1:-}" = "--long" ]; then
  seconds=$(( ${2:-3} * 3600 / ${#targets[@]} ))
else
  seconds=${1:-60}
fi
instrument="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"

cmake -S "$top" -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_C_FLAGS="$instrument" -DCMAKE_CXX_FLAGS="$instrument" \
  -DQF_FUZZ=ON -DQF_WERROR=OFF -DQF_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j2 --target "${targets[@]}" presets_seed_writer

artifacts=$build/artifacts
mkdir -p "$artifacts"
seed() { # folder [kind]
  mkdir -p "$build/corpus/$1"
  "$build/fuzz/presets_seed_writer" "$build/corpus/$1" ${2:+"$2"} >/dev/null
}
seed presets
seed jpeg jpeg
seed descriptor descriptor
seed property property
# The dialog's scripts: a few hand-written sequences to start from.
mkdir -p "$build/corpus/dialog"
printf 'press 200 75\nmove 2000 75\nrelease 0 0\ntype 7 250\ntimer\nok\n' >"$build/corpus/dialog/drag"
printf 'select 26 68\ncommand 36\ncommand 23\ncommand 52\ncommand 33\npress 600 200\nmove 500 100\nrelease 1 1\ncancel\n' >"$build/corpus/dialog/commands"
printf 'press 313 462\nrelease 313 462\nfile x\npress 350 500 ctrl\nrelease 350 500\ncommand 22\n' >"$build/corpus/dialog/dots"

declare -A corpus=([presets_reader_fuzz]=presets [jpeg_picture_fuzz]=jpeg
                   [descriptor_fuzz]=descriptor [property_list_fuzz]=property
                   [dialog_script_fuzz]=dialog)
summary=""
for t in "${targets[@]}"; do
  echo "fuzz: running $t for $seconds s"
  log=$build/$t.log
  status=0
  "$build/fuzz/$t" "$build/corpus/${corpus[$t]}" \
    -max_total_time="$seconds" -max_len=60000 -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$artifacts/$t-" -print_final_stats=1 >"$log" 2>&1 || status=$?
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  summary+="  $t: ${execs:-?} executions in $seconds s"$'\n'
  if [ "$status" != 0 ]; then
    tail -40 "$log"
    echo "fuzz: $t failed (status $status); see $log and $artifacts"
    exit 1
  fi
done
echo "fuzz: every target ran clean"
printf '%s' "$summary"
