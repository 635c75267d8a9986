#!/usr/bin/env bash
# Documents past 2^31 pixels end to end, and how time and memory grow with
# the size: renders an 8-bit gray document with the CLI at each size, then
# applies the filter to that file, and prints per run the seconds and the
# peak resident memory. Then checks the pixels of the largest:
#   - its top-left 1000 x 1000 pixels equal the 1000 x 1000 render (the
#     pattern is anchored at the filter rectangle's corner whatever its size);
#   - the far corner (the last 256 x 256 pixels) holds the pattern, not a
#     blank nor a copy of the pixels 2^31 or 2^32 samples earlier, where an
#     offset computed in 32 bits would have put them;
#   - the apply of the largest changed its far corner.
# Not part of CI: the largest size takes minutes and several GB of disk.
#
# Usage: scripts/big-document.sh [FOLDER] [SIZES...]
#        (default build/big; sizes 1000x1000 4000x4000 16000x16000 50000x45000)
# Needs the native build (build/native/host/quillfire).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cli=$top/build/native/host/quillfire
folder=${1:-$top/build/big}
shift || true
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(1000x1000 4000x4000 16000x16000 50000x45000)
[ -x "$cli" ] || { echo "big-document: build the native CLI first ($cli)"; exit 1; }
mkdir -p "$folder"

# Runs the CLI and prints its wall-clock and processor seconds (the
# latter tell more on a busy machine) and its peak resident memory.
measure() { # label args...
  local label=$1
  shift
  local stats=$folder/time.txt
  if ! /usr/bin/time -f '%e %U %S %M' -o "$stats" "$cli" "$@" >/dev/null; then
    echo "big-document: $label failed"
    exit 1
  fi
  read -r seconds user system kb <"$stats"
  printf '  %-26s %8.1f s %8.1f s processor %8d MB peak\n' "$label" "$seconds" \
    "$(awk -v u="$user" -v s="$system" 'BEGIN { print u + s }')" $((kb / 1024))
}

echo "big-document: render and apply, 8-bit gray"
for size in "${sizes[@]}"; do
  measure "render $size" render --size "$size" --gray --seed 5 --zoom 30 "$folder/render-$size.pgm"
  measure "apply $size" apply "$folder/render-$size.pgm" "$folder/apply-$size.pgm" --seed 9 \
    --glue difference
done

largest=${sizes[-1]}
python3 - "$folder" "$largest" "${sizes[0]}" <<'EOF'
import sys

folder, largest, smallest = sys.argv[1], sys.argv[2], sys.argv[3]

def opened(path):
    f = open(path, "rb")
    fields = []
    while len(fields) < 4:
        line = f.readline()
        if not line.startswith(b"#"):
            fields += line.split()
    assert fields[0] == b"P5", path + " is not an 8-bit gray PGM"
    return f, int(fields[1]), int(fields[2]), f.tell()

def block(path, left, top, w, h):
    f, width, height, start = opened(path)
    rows = []
    for y in range(top, top + h):
        f.seek(start + y * width + left)
        rows.append(f.read(w))
    return b"".join(rows)

def at_offset(path, offset, w, h):
    # The w x h block whose first sample is `offset` samples into the image.
    f, width, height, start = opened(path)
    return block(path, offset % width, offset // width, w, h) if offset >= 0 else None

render = f"{folder}/render-{largest}.pgm"
apply_ = f"{folder}/apply-{largest}.pgm"
_, W, H, _ = opened(render)
failed = []
_, w0, h0, _ = opened(f"{folder}/render-{smallest}.pgm")
if block(render, 0, 0, w0, h0) != block(f"{folder}/render-{smallest}.pgm", 0, 0, w0, h0):
    failed.append(f"the top-left {w0} x {h0} of the {largest} render differs from the {smallest} render")
n = 256
corner = block(render, W - n, H - n, n, n)
if len(set(corner)) < 2:
    failed.append("the far corner of the render is blank")
far = (H - n) * W + (W - n)
for wrap in (1 << 31, 1 << 32):
    if far - wrap >= 0 and (far - wrap) % W + n <= W:
        if at_offset(render, far - wrap, n, n) == corner:
            failed.append(f"the far corner repeats the pixels {wrap} samples earlier")
if block(apply_, W - n, H - n, n, n) == corner:
    failed.append("the apply left the far corner unchanged")
print(f"big-document: {W} x {H} = {W * H} pixels ({W * H / (1 << 31):.2f} x 2^31)")
for f in failed:
    print("big-document: " + f)
sys.exit(1 if failed else 0)
EOF
echo "big-document: the far corner holds the pattern"
