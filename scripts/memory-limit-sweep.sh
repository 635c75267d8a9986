#!/usr/bin/env bash
# The CLI under an address-space limit (ulimit -v): every run must end by
# itself, with status 0 and its picture, or status 1 and a message, never
# hang nor die of a signal, and leave no temporary behind. Near the room the
# image library needs (about 415 MB), loading it used to abort the program
# or hang it for ever.
#
#   scripts/memory-limit-sweep.sh [--coarse] [BUILD]   (default build/native, already built)
#
# Full: `render --size 8000x8000` to BMP (a 192 MB document; the library is
# loaded to write it) at every 25 MB from 300 MB to 1000 MB, each run given
# 180 s. --coarse (for CI): a 2000 x 2000 render at eight limits from 300 MB
# to 1000 MB, each run given 60 s.
# Prints one line per limit: the limit, the status, the seconds and the
# message.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
coarse=0
if [ "${1:-}" = --coarse ]; then
    coarse=1
    shift
fi
build=$(cd "${1:-$top/build/native}" && pwd)
cli="$build/host/quillfire"
[ -x "$cli" ] || { echo "memory-limit-sweep: $cli is missing (build the native preset)" >&2; exit 1; }

if [ "$coarse" = 1 ]; then
    size=2000x2000 allowed=60 limits="300 400 450 500 550 600 800 1000"
else
    size=8000x8000 allowed=180 limits=$(seq 300 25 1000)
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

failures=0
printf '%-8s %-6s %-8s %s\n' "limit" "status" "seconds" "message"
for mb in $limits; do
    out="$work/out.bmp"
    rm -f "$out"
    start=$(date +%s%N)
    set +e
    # timeout asks politely first: a run that ignores that is killed.
    (ulimit -v $((mb * 1024)) && exec timeout -k 10 "$allowed" "$cli" render --size "$size" "$out") \
        >/dev/null 2>"$work/err"
    status=$?
    set -e
    tenths=$((($(date +%s%N) - start) / 100000000))
    message=$(tr '\n' ' ' <"$work/err" | sed 's/ *$//; s|'"$work"'/||g')
    verdict=""
    case $status in
        0) [ -s "$out" ] || verdict="status 0 without a picture" ;;
        1) [ -n "$message" ] || verdict="status 1 without a message" ;;
        124 | 137) verdict="did not end within $allowed s" ;;
        *) verdict="ended with status $status" ;;
    esac
    left=$(find "$work" -name '.qf-*' | wc -l)
    if [ "$left" != 0 ]; then
        verdict="${verdict:+$verdict; }left $left temporaries"
        find "$work" -name '.qf-*' -delete
    fi
    printf '%-8s %-6s %-8s %s\n' "${mb} MB" "$status" "$((tenths / 10)).$((tenths % 10))" "$message"
    if [ -n "$verdict" ]; then
        echo "memory-limit-sweep: at ${mb} MB: $verdict" >&2
        failures=$((failures + 1))
    fi
done
if [ "$failures" != 0 ]; then
    echo "memory-limit-sweep: $failures of the runs failed" >&2
    exit 1
fi
