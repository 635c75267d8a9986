#!/usr/bin/env bash
# Builds the third-party libraries of the Windows targets with the MinGW-w64
# toolchains, once per architecture, into build/cache/<arch>:
#   libjpeg     from Debian's libjpeg-turbo source package (static, no TurboJPEG)
#   GoogleTest  from the sources the googletest package ships in /usr/src
# Usage: scripts/win-deps.sh i686|x86_64
set -euo pipefail
arch=${1:?usage: win-deps.sh i686|x86_64}
top=$(cd "$(dirname "$0")/.." && pwd)
cache=$top/build/cache
prefix=$cache/$arch
stamp=$prefix/.complete
[ -f "$stamp" ] && exit 0

toolchain=$top/cmake/mingw-$arch.cmake
work=$cache/work-$arch
rm -rf "$work" "$prefix"
mkdir -p "$work" "$prefix"

# libjpeg-turbo source, fetched once and shared by both architectures.
src_root=$cache/src
if [ ! -d "$src_root/libjpeg-turbo" ]; then
  mkdir -p "$src_root/fetch"
  (cd "$src_root/fetch" && apt-get source -q --download-only libjpeg-turbo >/dev/null \
     && dpkg-source -x --no-check ./*.dsc libjpeg-turbo-src >/dev/null)
  mv "$src_root/fetch/libjpeg-turbo-src" "$src_root/libjpeg-turbo"
  rm -rf "$src_root/fetch"
fi

echo "win-deps: building libjpeg for $arch"
cmake -S "$src_root/libjpeg-turbo" -B "$work/jpeg" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_INSTALL_PREFIX="$prefix" -DENABLE_SHARED=OFF -DENABLE_STATIC=ON \
  -Wno-dev -DWITH_TURBOJPEG=OFF -DWITH_JPEG8=OFF -DCMAKE_POSITION_INDEPENDENT_CODE=ON >/dev/null
cmake --build "$work/jpeg" --target jpeg-static >/dev/null
mkdir -p "$prefix/lib" "$prefix/include"
cp "$work/jpeg/libjpeg.a" "$prefix/lib/libjpeg.a"
cp "$work/jpeg/jconfig.h" "$src_root/libjpeg-turbo/jpeglib.h" \
   "$src_root/libjpeg-turbo/jmorecfg.h" "$src_root/libjpeg-turbo/jerror.h" "$prefix/include/"

echo "win-deps: building GoogleTest for $arch"
cmake -S /usr/src/googletest -B "$work/gtest" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_INSTALL_PREFIX="$prefix" -Dgtest_disable_pthreads=OFF >/dev/null
cmake --build "$work/gtest" >/dev/null
cmake --install "$work/gtest" >/dev/null
[ -f "$prefix/lib/libgmock.a" ] || cp "$work"/gtest/lib/libgmock*.a "$prefix/lib/" 2>/dev/null || true
rm -rf "$work"
touch "$stamp"
echo "win-deps: $arch ready in $prefix"
