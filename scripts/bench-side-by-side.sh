#!/usr/bin/env bash
# Side-by-side timing of our render against GEGL's cell noise, the free
# procedural pattern a user would otherwise pick, on the same size and file
# format. The two commands run in alternation (ours first, then GEGL's, one
# pair per round) so that a change in the machine's load hits both alike;
# the script prints every wall time, the median of each and the ratio
# ours / GEGL's (below 1.0: we are faster). Then, where our GEGL operation
# is built, the same pairing of quillfire:quillfire over a white input with
# cell-noise, both run by the gegl command.
#
#   scripts/bench-side-by-side.sh [--runs N] [--size WxH] [--cli PATH]
#                                 [--build DIR] [-- extra render options]
#
# Examples:
#   scripts/bench-side-by-side.sh
#   scripts/bench-side-by-side.sh -- --complexity 100
#
# GEGL is installed from Debian here when it is missing (never by the
# tests). Without --cli the CLI and the module are built in --build
# (default build/bench-native) with the native preset.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)

runs=5
size=4096x4096
cli=""
build="$top/build/bench-native"
extra=()
while [[ $# -gt 0 ]]; do
    case "$1" in
    --runs) runs="$2"; shift 2 ;;
    --size) size="$2"; shift 2 ;;
    --cli) cli="$2"; shift 2 ;;
    --build) build="$2"; shift 2 ;;
    --) shift; extra=("$@"); break ;;
    *) echo "unknown option: $1" >&2; exit 2 ;;
    esac
done
if ! [[ "$size" =~ ^([0-9]+)x([0-9]+)$ ]]; then
    echo "--size wants WxH, e.g. 4096x4096" >&2
    exit 2
fi
width=${BASH_REMATCH[1]}
height=${BASH_REMATCH[2]}
if ! [[ "$runs" =~ ^[1-9][0-9]*$ ]]; then
    echo "--runs wants a positive count" >&2
    exit 2
fi

if ! command -v gegl >/dev/null 2>&1; then
    echo "Installing GEGL from Debian..." >&2
    export DEBIAN_FRONTEND=noninteractive
    # Other installs may hold the package lock for a while: wait for it.
    apt=(apt-get -o DPkg::Lock::Timeout=600)
    "${apt[@]}" install -y gegl >/dev/null 2>&1 ||
        { "${apt[@]}" update >/dev/null && "${apt[@]}" install -y gegl >/dev/null; }
fi

if [[ -z "$cli" ]]; then
    cmake --preset native -B "$build" >/dev/null
    cmake --build "$build" -j2 --target quillfire quillfire_module >/dev/null
    cli="$build/host/quillfire"
    # Our GEGL operation too, where libgegl-dev is installed.
    cmake --build "$build" -j2 --target quillfire_gegl >/dev/null 2>&1 || true
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

ours=("$cli" render --size "$size" "${extra[@]}" "$work/ours.ppm")
theirs=(gegl -o "$work/gegl.ppm" -- cell-noise crop "width=$width" "height=$height")

# Wall time of one command in seconds; its output goes to a log, and a
# failure stops the benchmark with that log.
wall() {
    local log="$work/log" start end
    start=$(date +%s%N)
    if ! "$@" >"$log" 2>&1; then
        echo "failed: $*" >&2
        cat "$log" >&2
        exit 1
    fi
    end=$(date +%s%N)
    echo $(((end - start) / 1000000))
}

median() {
    printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END {
        if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# Times two commands (arrays named by $1 and $2, shown as $3 and $4) in
# alternation, one pair per round after one untimed pair (page cache,
# GEGL's plug-in scan, our module load), and prints each round, the medians
# and the ratio first / second.
pair() {
    local -n first=$1 second=$2
    local a b i mo mt firstTimes=() secondTimes=()
    wall "${first[@]}" >/dev/null
    wall "${second[@]}" >/dev/null
    for ((i = 1; i <= runs; ++i)); do
        a=$(wall "${first[@]}")
        b=$(wall "${second[@]}")
        firstTimes+=("$a")
        secondTimes+=("$b")
        printf 'round %d: %s %6d ms   %s %6d ms\n' "$i" "$3" "$a" "$4" "$b"
    done
    mo=$(median "${firstTimes[@]}")
    mt=$(median "${secondTimes[@]}")
    echo "median $3: $mo ms"
    echo "median $4: $mt ms"
    awk -v a="$mo" -v b="$mt" -v n="$3 / $4" 'BEGIN { printf "ratio %s: %.2f\n", n, a / b }'
}

echo "size $size, options: ${extra[*]:-(defaults)}"
pair ours theirs quillfire "gegl cell-noise"

# Our GEGL operation over a white input against cell-noise, both through
# the gegl command at the same size, in alternation as above. The white
# input is made inside GEGL (no file is read); the extra render options do
# not apply here (the operation's defaults). The module is taken from the
# CLI's build tree.
module_dir="$(dirname "$(dirname "$cli")")/gegl"
if [[ -e "$module_dir/quillfire-gegl.so" ]]; then
    system_ops=$(pkg-config --variable=pluginsdir gegl-0.4 2>/dev/null ||
        echo /usr/lib/x86_64-linux-gnu/gegl-0.4)
    op=(env GEGL_PATH="$module_dir:$system_ops" gegl -o "$work/op.ppm" -- color value=white
        crop "width=$width" "height=$height" quillfire:quillfire)
    cell=(env GEGL_PATH="$module_dir:$system_ops" "${theirs[@]}")
    echo "through gegl, size $size: white input + quillfire:quillfire against cell-noise"
    pair op cell quillfire:quillfire cell-noise
else
    echo "(no GEGL operation in $module_dir: build the quillfire_gegl target to compare it)"
fi
