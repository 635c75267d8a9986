#!/usr/bin/env bash
# Fuzzes every reader of outside bytes with libFuzzer: the presets reader
# (and the JPEG decoding beneath it), the JPEG decoding of presets pictures
# alone, settings descriptors fed to the module by our own host, and the
# property list and terminology readers of the resource tests, and the
# dialog's script reader with the dialog model playing what it read.
#
# Usage: scripts/fuzz.sh [seconds per target]   (default 60)
#        scripts/fuzz.sh --long [hours]          (default 3 hours in all; 0.5 is half an hour)
#        scripts/fuzz.sh --merge                 (re-minimise fuzz/corpus only)
#
# Every target starts from the corpus kept in the repository,
# fuzz/corpus/<kind>/, together with seeds our own writers make afresh. A
# short run (what CI does) works on a copy in build/fuzz/corpus and leaves
# the repository's corpus alone. The long mode grows the copy for its share
# of the time per target, then merges it into fuzz/corpus/<kind>/ with
# libFuzzer's set-cover merge, which keeps the fewest inputs that cover
# what all of them cover; commit what it leaves there.
#
# Configures build/fuzz with clang, builds the targets with AddressSanitizer
# and UndefinedBehaviorSanitizer, prints per target the executions, the
# edges covered by the starting corpus and at the end, and the corpus size,
# and exits non-zero when a target finds a crash, a leak, a time-out or
# undefined behaviour; the input that caused it is left in
# build/fuzz/artifacts.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$top/build/fuzz
kept=$top/fuzz/corpus
targets=(presets_reader_fuzz jpeg_picture_fuzz descriptor_fuzz property_list_fuzz dialog_script_fuzz)
declare -A kind=([presets_reader_fuzz]=presets [jpeg_picture_fuzz]=jpeg
                 [descriptor_fuzz]=descriptor [property_list_fuzz]=property
                 [dialog_script_fuzz]=dialog)
# Targets run side by side, one per processor; each runs its full time.
parallel=$(nproc 2>/dev/null || echo 2)
rounds=$(( (${#targets[@]} + parallel - 1) / parallel ))
mode=short
case "${1:-}" in
--long)
  mode=long
  seconds=$(awk -v h="${2:-3}" -v n=$rounds 'BEGIN { printf "%d", h * 3600 / n }')
  ;;
--merge)
  mode=merge
  seconds=0
  ;;
*)
  seconds=${1:-60}
  ;;
esac
# Limits shared by the runs and the merges: an input larger than max_len is
# cut, so the kept corpus stays small.
limits=(-max_len=60000 -timeout=10 -rss_limit_mb=2048)
instrument="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"

cmake -S "$top" -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_C_FLAGS="$instrument" -DCMAKE_CXX_FLAGS="$instrument" \
  -DQF_FUZZ=ON -DQF_WERROR=OFF -DQF_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j2 --target "${targets[@]}" presets_seed_writer

artifacts=$build/artifacts
mkdir -p "$artifacts"
# The working corpora: fresh seeds, then the kept corpus over them.
rm -rf "$build/corpus"
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
for t in "${targets[@]}"; do
  k=${kind[$t]}
  mkdir -p "$kept/$k"
  cp -f "$kept/$k"/* "$build/corpus/$k/" 2>/dev/null || true
done

# The coverage libFuzzer reports: "cov:" of the first INITED line and of the
# last line of the log.
initedEdges() { sed -n 's/.*INITED cov: \([0-9]*\).*/\1/p' "$1" | head -1; }
finalEdges() { grep -o 'cov: [0-9]*' "$1" | tail -1 | cut -d' ' -f2; }
count() { find "$1" -type f | wc -l; }
size() { du -sk "$1" | cut -f1; }

# Re-minimises the kept corpus of one target from what it and the working
# copy hold. The old folder is replaced only once the merge has succeeded.
merge() { # target
  local t=$1 k=${kind[$1]} fresh
  fresh=$build/merged/$k
  rm -rf "$fresh"
  mkdir -p "$fresh"
  # The fewest inputs that cover what all of them cover (a greedy set
  # cover), then any input that still adds a feature over those: some
  # targets' coverage depends a little on the order inputs run in.
  if ! { "$build/fuzz/$t" -set_cover_merge=1 "${limits[@]}" "$fresh" "$kept/$k" "$build/corpus/$k" &&
         "$build/fuzz/$t" -merge=1 "${limits[@]}" "$fresh" "$kept/$k" "$build/corpus/$k"; } \
       >"$build/$t.merge.log" 2>&1; then
    rm -rf "$fresh"
    tail -20 "$build/$t.merge.log"
    echo "fuzz: merging the corpus of $t failed; see $build/$t.merge.log"
    exit 1
  fi
  rm -rf "$kept/$k"
  mv "$fresh" "$kept/$k"
}

# One target's run, and in the long mode its merge. Its line of the
# summary goes to build/fuzz/<target>.summary, what a failure printed to
# <target>.out; a target that leaves no summary has failed.
runTarget() { # target
  local t=$1 k=${kind[$1]} log=$build/$1.log status=0 execs line
  "$build/fuzz/$t" "$build/corpus/$k" "${limits[@]}" -max_total_time="$seconds" \
    -artifact_prefix="$artifacts/$t-" -print_final_stats=1 >"$log" 2>&1 || status=$?
  if [ "$status" != 0 ]; then
    tail -40 "$log"
    echo "fuzz: $t failed (status $status); see $log and $artifacts"
    return 1
  fi
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  line="  $t: ${execs:-?} executions in $seconds s, edges $(initedEdges "$log") at start"
  line+=" and $(finalEdges "$log") at the end"
  if [ "$mode" = long ]; then
    merge "$t"
    line+=", kept corpus $(count "$kept/$k") files, $(size "$kept/$k") KiB"
  fi
  echo "$line" >"$build/$t.summary"
}

summary=""
if [ "$mode" = merge ]; then
  for t in "${targets[@]}"; do
    k=${kind[$t]}
    merge "$t"
    summary+="  $t: kept corpus $(count "$kept/$k") files, $(size "$kept/$k") KiB"$'\n'
  done
else
  for t in "${targets[@]}"; do
    rm -f "$build/$t.summary" "$build/$t.out"
    while [ "$(jobs -rp | wc -l)" -ge "$parallel" ]; do wait -n || true; done
    echo "fuzz: running $t for $seconds s"
    ( runTarget "$t" >"$build/$t.out" 2>&1 ) &
  done
  wait || true
  failed=0
  for t in "${targets[@]}"; do
    if [ -f "$build/$t.summary" ]; then
      summary+="$(cat "$build/$t.summary")"$'\n'
      continue
    fi
    failed=1
    if [ -s "$build/$t.out" ]; then
      cat "$build/$t.out"
    else
      echo "fuzz: $t ended without its summary; see $build/$t.log"
    fi
  done
  [ "$failed" = 0 ] || exit 1
fi
echo "fuzz: every target ran clean"
printf '%s' "$summary"
