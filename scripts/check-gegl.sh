#!/usr/bin/env bash
# The GEGL operation gives the CLI's pixels: each case filters one input
# with the `gegl` command (quillfire:quillfire) and with `quillfire apply`
# and compares the two outputs with OpenImageIO. `gegl` saves PNG at 16 bits
# through floats, so PNG values may differ by less than half a step of the
# input's depth; EXR (32-bit float) must be equal.
#
#   scripts/check-gegl.sh [BUILD]      (default build/native, already built)
#
# Cases: 8-bit and 16-bit PNG, RGB and RGBA (and one gray with alpha), 32-bit float EXR, several glue
# modes, shapes and complexities, a crop at an odd offset (GEGL asks the
# operation for that region only) and GEGL_THREADS 1 and 2 on a picture
# large enough to be shared among threads. One case with another seed must
# differ, so the comparison cannot pass by comparing nothing.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build/native}" && pwd)
cli="$build/host/quillfire"
module="$build/gegl/quillfire-gegl.so"
for f in "$cli" "$module"; do
    [ -e "$f" ] || { echo "check-gegl: $f is missing (build the native preset)" >&2; exit 1; }
done
command -v gegl >/dev/null || { echo "check-gegl: no gegl command (scripts/setup.sh)" >&2; exit 1; }

# GEGL reads its own operations and ours from GEGL_PATH alone.
system_ops=$(pkg-config --variable=pluginsdir gegl-0.4 2>/dev/null || echo /usr/lib/x86_64-linux-gnu/gegl-0.4)
export GEGL_PATH="$build/gegl:$system_ops"
export GEGL_SWAP="$(mktemp -d)"
work=$(mktemp -d)
trap 'rm -rf "$work" "$GEGL_SWAP"' EXIT
cd "$work"

# Inputs: uniform noise in every channel, alpha included (fully transparent
# to opaque), so every glue mode meets every kind of source pixel.
oiiotool --pattern noise:type=uniform:min=0:max=1:seed=3 320x240 4 -d uint16 -o rgba16.png
oiiotool rgba16.png -d uint8 -o rgba8.png
oiiotool rgba16.png --ch R,G,B -d uint16 -o rgb16.png
oiiotool rgba16.png --ch R,G,B -d uint8 -o rgb8.png
oiiotool rgba16.png -d float -o rgbaf.exr
oiiotool rgba16.png --ch R,G,B -d float -o rgbf.exr
oiiotool --pattern noise:type=uniform:min=0:max=1:seed=7 640x480 4 -d uint8 -o big8.png
oiiotool rgba16.png --ch R,A -d uint16 -o grayalpha16.png

# Half a step of 8 and 16 bits, less a little: the allowance is "less than".
half8=0.00195
half16=0.0000076
failures=0
cases=0

# compare NAME OURS THEIRS TOLERANCE [EXPECT]: EXPECT "differ" for the
# negative control.
compare() {
    local name=$1 a=$2 b=$3 tol=$4 expect=${5:-equal} out
    cases=$((cases + 1))
    if out=$(oiiotool --iconfig oiio:UnassociatedAlpha 1 "$a" --iconfig oiio:UnassociatedAlpha 1 "$b" \
        --diff --fail "$tol" --failpercent 0 -v 2>&1); then
        result=equal
    else
        result=differ
    fi
    if [ "$result" = "$expect" ]; then
        echo "ok   $name"
    else
        echo "FAIL $name: expected $expect, got $result"
        echo "$out" | grep -iE "error|max|mean" | sed 's/^/     /'
        failures=$((failures + 1))
    fi
}

# run NAME INPUT EXT TOLERANCE THREADS "CLI FLAGS" "GEGL PROPERTIES" [CROP]
run() {
    local name=$1 input=$2 ext=$3 tol=$4 threads=$5 flags=$6 props=$7 crop=${8:-}
    local ours="$name-cli.$ext" theirs="$name-gegl.$ext"
    # shellcheck disable=SC2086
    "$cli" apply "$input" "$ours" $flags >/dev/null
    local chain=(quillfire:quillfire $props)
    if [ -n "$crop" ]; then
        read -r x y w h <<<"$crop"
        chain+=(crop "x=$x" "y=$y" "width=$w" "height=$h")
        oiiotool "$ours" --cut "${w}x${h}+${x}+${y}" -o "cut-$ours"
        ours="cut-$ours"
    fi
    GEGL_THREADS=$threads gegl "$input" -o "$theirs" -- "${chain[@]}" 2>"$name.log" ||
        { cat "$name.log" >&2; failures=$((failures + 1)); return; }
    if grep -q . "$name.log"; then
        echo "FAIL $name: gegl warned:"; sed 's/^/     /' "$name.log"
        failures=$((failures + 1))
        return
    fi
    compare "$name" "$theirs" "$ours" "$tol"
}

run rgb8-multiply rgb8.png png $half8 2 "--seed 11 --glue multiply" "seed=11 glue=multiply"
run rgba8-screen-circles rgba8.png png $half8 2 "--seed 5 --glue screen --shape circles --complexity 60" \
    "seed=5 glue=screen shape=circles complexity=60"
run rgb16-overlay-diamonds rgb16.png png $half16 2 "--seed 5 --glue overlay --shape diamonds --stripe-kind c" \
    "seed=5 glue=overlay shape=diamonds stripe-kind=c"
run rgba16-hardlight-c100 rgba16.png png $half16 2 "--seed -70000 --glue hard-light --complexity 100 --merge 1" \
    "seed=-70000 glue=hard-light complexity=100 merge=1"
run rgba8-procplus-tvs rgba8.png png $half8 2 "--seed 2047 --glue 2 --shape TVs --zoom 0 --warping 100" \
    "seed=2047 glue=procedural-plus shape=tvs zoom=0 warping=100"
run rgb8-contrastnegate rgb8.png png $half8 2 "--seed 3 --glue 69 --softness 100 --overlap 0 --hue 0" \
    "seed=3 glue=contrast-negate softness=100 overlap=0 hue=0"
run grayalpha16-overlay grayalpha16.png png $half16 2 "--seed 4 --glue overlay --complexity 40" \
    "seed=4 glue=overlay complexity=40"
run rgbaf-normal rgbaf.exr exr 0 2 "--seed 11" "seed=11"
run rgbf-octagons-c50 rgbf.exr exr 0 2 "--seed 8 --shape octagons --complexity 50 --color 100" \
    "seed=8 shape=octagons complexity=50 color=100"
run rgba8-crop rgba8.png png $half8 2 "--seed 11 --glue multiply --complexity 30" \
    "seed=11 glue=multiply complexity=30" "37 29 201 143"
run rgba16-crop rgba16.png png $half16 1 "--seed 12 --glue difference" "seed=12 glue=difference" \
    "37 29 201 143"
run big8-threads1 big8.png png $half8 1 "--seed 21 --glue soft-light --complexity 80" \
    "seed=21 glue=soft-light complexity=80"
run big8-threads2 big8.png png $half8 2 "--seed 21 --glue soft-light --complexity 80" \
    "seed=21 glue=soft-light complexity=80"
# The negative control: another seed must not pass.
"$cli" apply rgb8.png other-seed.png --seed 12 --glue multiply >/dev/null
compare other-seed-differs rgb8-multiply-gegl.png other-seed.png $half8 differ

echo "check-gegl: $((cases - failures)) of $cases cases as expected"
[ "$failures" -eq 0 ]
