#!/usr/bin/env bash
# Installs the headless browser that shows how the exported HTML pages look
# (`chromium --headless --screenshot`, for docs/gallery.png). Not part of
# CI: the page's markup is checked there with tidy, its pictures with
# ImageMagick (both from setup.sh). Safe to run again.
set -euo pipefail
if [ "$(id -u)" -eq 0 ]; then SUDO=""; else SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
if ! command -v chromium >/dev/null 2>&1; then
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends chromium fonts-dejavu-core
fi
