#!/usr/bin/env bash
# Sets everything up, builds the Linux target and filters the bundled sample
# picture with the CLI. Prints where the result is.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

./scripts/setup.sh >/dev/null
cmake --preset native >/dev/null
cmake --build --preset native -j "$(nproc 2>/dev/null || echo 2)" --target quillfire quillfire_module >/dev/null

cli=build/native/host/quillfire
mkdir -p out
"$cli" sample out/sample.png
"$cli" apply out/sample.png out/sample-quillfire.png --seed 1234 --shape circles --glue "soft light" "$@"
echo "Filtered picture: $top/out/sample-quillfire.png"
