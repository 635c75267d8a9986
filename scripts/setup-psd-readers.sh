#!/usr/bin/env bash
# Installs the PSD readers nobody here wrote that the export suite opens our
# PSD files with: GIMP (its console, in batch mode) from Debian, and the
# ag-psd reader from the npm registry into build/cache/node. OpenImageIO
# and ImageMagick come with setup.sh. Safe to run again: it only installs
# what is missing.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)

if [ "$(id -u)" -eq 0 ]; then SUDO=""; else SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive

missing=()
command -v gimp-console >/dev/null 2>&1 || missing+=(gimp)
command -v node >/dev/null 2>&1 || missing+=(nodejs)
command -v npm >/dev/null 2>&1 || missing+=(npm)
if [ "${#missing[@]}" -gt 0 ]; then
  echo "setup-psd-readers: installing ${missing[*]}"
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The version is pinned so that a new release cannot change what the tests
# read.
node_dir="$top/build/cache/node"
if [ ! -f "$node_dir/node_modules/ag-psd/package.json" ]; then
  echo "setup-psd-readers: installing ag-psd"
  mkdir -p "$node_dir"
  npm install --prefix "$node_dir" --no-audit --no-fund --loglevel=error ag-psd@31.0.2
fi
echo "setup-psd-readers: GIMP, node and ag-psd present"
