#!/usr/bin/env bash
# Checks that every C++ file of ours is formatted as .clang-format says
# (`--fix` formats them instead). The tables written by tools/make_*.py are
# left as their generators write them: their --check compares byte for byte.
set -euo pipefail
cd "$(dirname "$0")/.."

generated='^(render/base_table\.cpp|composite/colour_tables\.cpp|composite/picture/lanczos_tables\.cpp|export/jpeg_tables\.cpp|export/border_gifs\.cpp)$'
mapfile -t files < <(git ls-files --cached --others --exclude-standard '*.cpp' '*.h' | grep -Ev "$generated" | grep -v '^build/')

if [ "${1:-}" = --fix ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
if ! clang-format --dry-run -Werror "${files[@]}" 2>/tmp/qf-format.$$; then
  grep -E '^[^ ].*: error:' /tmp/qf-format.$$ | cut -d: -f1 | sort -u | sed 's/^/not formatted: /'
  rm -f /tmp/qf-format.$$
  echo "format check failed: run scripts/check-format.sh --fix" >&2
  exit 1
fi
rm -f /tmp/qf-format.$$
echo "format: ${#files[@]} files as .clang-format says"
