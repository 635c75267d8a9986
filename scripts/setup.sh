#!/usr/bin/env bash
# Installs everything the three builds and their tests need, from Debian
# packages. Safe to run again: it only installs what is missing.
set -euo pipefail

if [ "$(id -u)" -eq 0 ]; then SUDO=""; else SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive

PACKAGES=(
  build-essential cmake ninja-build pkg-config git ca-certificates
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libjpeg-dev libjpeg-turbo-progs
  libopenimageio-dev openimageio-tools
  imagemagick libimage-exiftool-perl tidy
  clang libclang-rt-14-dev clang-format python3
  mingw-w64 g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  gcc-mingw-w64-i686-posix gcc-mingw-w64-x86-64-posix
  nasm dpkg-dev libstb-dev
  wine wine64 wine32:i386 xvfb x11-apps
  lintian zip unzip man-db bash-completion
  gegl libgegl-dev
)

need_update=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
  need_update=1
fi

# Source packages: the Windows builds compile libjpeg from Debian's source.
if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ /etc/apt/sources.list 2>/dev/null \
   && ! grep -rqs '^deb-src' /etc/apt/sources.list.d/ /etc/apt/sources.list 2>/dev/null; then
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    $SUDO sed -i 's/^Types: deb$/Types: deb deb-src/' /etc/apt/sources.list.d/debian.sources
  else
    codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
    echo "deb-src http://deb.debian.org/debian $codename main" | $SUDO tee /etc/apt/sources.list.d/quillfire-src.list >/dev/null
  fi
  need_update=1
fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -gt 0 ] || [ "$need_update" -eq 1 ]; then
  $SUDO apt-get update -q
fi
if [ "${#missing[@]}" -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
echo "setup: all dependencies present"
