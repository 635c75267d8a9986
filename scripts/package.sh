#!/usr/bin/env bash
# Builds the release files into dist/:
#   Quillfire-<version>-windows.zip   both filter modules (stripped), the CLI
#                                     for 64-bit and 32-bit Windows, README.txt,
#                                     LICENSE.txt, THIRD-PARTY-NOTICES.txt
#   quillfire_<version>_amd64.deb     the Linux CLI with its module and image
#                                     library in /usr/lib/quillfire, a man page
#                                     and bash completion
#   quillfire-gegl_<version>_amd64.deb
#                                     the GEGL operation in GEGL's plug-in
#                                     folder
#   SHA256SUMS
# The version is values/version.h's. The same commit gives the same bytes
# wherever and whenever it is built: every time stamp is the commit's
# (SOURCE_DATE_EPOCH), file order and permissions are fixed, and the builds
# compile no folder of the machine in.
#
# It builds the native, win32 and win64 presets (a build that is current, as
# test-all.sh leaves it, is only checked), then strips, stages and archives.
# Needs dpkg-dev, zip, python3 and libgegl-dev (scripts/setup.sh installs them).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

version=$(sed -n 's/^#define QF_VERSION_TEXT "\(.*\)"$/\1/p' values/version.h)
if [[ ! $version =~ ^[0-9]+(\.[0-9]+)+$ ]]; then
  echo "package: cannot read the version from values/version.h" >&2
  exit 1
fi
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || true)
  if [ -z "$SOURCE_DATE_EPOCH" ]; then
    echo "package: no git commit to date the files: set SOURCE_DATE_EPOCH" >&2
    exit 1
  fi
fi
export SOURCE_DATE_EPOCH TZ=UTC LC_ALL=C.UTF-8
umask 022
jobs=$(nproc 2>/dev/null || echo 2)
maintainer="Tallowmere <quillfire@tallowmere.invalid>"

echo "== package: Quillfire $version (files dated $(date -u -d "@$SOURCE_DATE_EPOCH" '+%Y-%m-%d %H:%M:%S') UTC)"
build() {
  local preset=$1
  shift
  if [ ! -f "build/$preset/CMakeCache.txt" ]; then
    cmake --preset "$preset" >/dev/null
  fi
  cmake --build --preset "$preset" -j "$jobs" --target "$@"
}
build native quillfire quillfire_images quillfire_module make_completion quillfire_gegl
build win32 quillfire quillfire_module
build win64 quillfire quillfire_module

stage=$top/build/package
rm -rf "$stage"
mkdir -p "$stage" dist
rm -f "dist/Quillfire-$version-windows.zip" "dist/quillfire_${version}_amd64.deb" \
  "dist/quillfire-gegl_${version}_amd64.deb" dist/SHA256SUMS

# Every file gets the commit's time and plain permissions.
settle() {
  find "$1" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
}
# A text file for Windows: CRLF line ends.
crlf() { sed 's/$/\r/' "$1" >"$2"; }

# --- The Windows zip -------------------------------------------------------
win=$stage/zip/Quillfire-$version
mkdir -p "$win"
# strip rewrites the PE header's time stamp: from SOURCE_DATE_EPOCH when it
# is set, so 0 keeps it as the linker wrote it (none).
pe_strip() { SOURCE_DATE_EPOCH=0 "$1-w64-mingw32-strip" --strip-all -o "$3" "$2"; }
pe_strip i686 build/win32/plugin/Quillfire.8bf "$win/Quillfire.8bf"
pe_strip x86_64 build/win64/plugin/Quillfire64.8bf "$win/Quillfire64.8bf"
pe_strip x86_64 build/win64/host/quillfire.exe "$win/quillfire.exe"
pe_strip i686 build/win32/host/quillfire.exe "$win/quillfire32.exe"
sed "s/@VERSION@/$version/g" packaging/README.txt >"$stage/README.txt"
crlf "$stage/README.txt" "$win/README.txt"
crlf LICENSE "$win/LICENSE.txt"
crlf THIRD-PARTY-NOTICES.txt "$win/THIRD-PARTY-NOTICES.txt"
chmod 644 "$win"/*
settle "$stage/zip"
(
  cd "$stage/zip"
  # -X: no owner or extra time fields; -D: no folder entries; the names in
  # a fixed order.
  find "Quillfire-$version" -type f | sort | zip -q -X -D -9 "$top/dist/Quillfire-$version-windows.zip" -@
)

# --- The Debian packages ---------------------------------------------------
# As Debian's own packages strip: no debugging symbols, no compiler notes.
elf_strip() { strip --remove-section=.comment --remove-section=.note "$@"; }

# deb_doc ROOT PACKAGE COMMENT: the copyright file (COMMENT says whose code
# the files hold) and the changelog every package carries.
deb_doc() {
  local doc=$1/usr/share/doc/$2
  mkdir -p "$doc"
  {
    echo "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/"
    echo "Upstream-Name: Quillfire"
    echo "Comment: $3" | fold -s -w 72 | sed -e 's/ $//' -e '2,$s/^/ /'
    echo
    echo "Files: *"
    echo "Copyright: 2026 Tallowmere"
    echo "License: Expat"
    sed -e '1,/^$/d' -e 's/^$/./' -e 's/^/ /' LICENSE
  } >"$doc/copyright"
  {
    echo "$2 ($version) unstable; urgency=medium"
    echo
    echo "  * Quillfire $version."
    echo
    echo " -- $maintainer  $(date -u -R -d "@$SOURCE_DATE_EPOCH")"
  } | gzip -9n >"$doc/changelog.gz"
}

# deb_build ROOT PACKAGE: the control file (dependencies as dpkg-shlibdeps
# computes them from the libraries the package's ELF files need, the
# installed size as dpkg-gencontrol counts it, the description from stdin),
# the md5sums, and the archive in dist/. Prints the installed size.
deb_build() {
  local root=$1 package=$2 depends installed_size elf=()
  find "$root/usr/share" -type f -exec chmod 644 {} +
  while IFS= read -r f; do
    if [ "$(head -c 4 "$f")" = $'\x7fELF' ]; then elf+=("-e$f"); fi
  done < <(find "$root/usr" -type f | sort)
  rm -rf "$stage/shlibs"
  mkdir -p "$stage/shlibs/debian"
  printf 'Source: quillfire\n\nPackage: %s\nArchitecture: amd64\n' "$package" >"$stage/shlibs/debian/control"
  depends=$(cd "$stage/shlibs" && dpkg-shlibdeps -O "${elf[@]}" | sed -n 's/^shlibs:Depends=//p')
  if [ -z "$depends" ]; then
    echo "package: dpkg-shlibdeps found no dependencies for $package" >&2
    exit 1
  fi
  # Each file's KiB rounded up, 1 for each folder and link.
  installed_size=$(cd "$root" && find usr \( -type f -printf '%s\n' \) -o -printf '1\n' |
    awk '{ total += $1 > 1 ? int(($1 + 1023) / 1024) : 1 } END { print total }')
  mkdir -p "$root/DEBIAN"
  {
    echo "Package: $package"
    echo "Version: $version"
    echo "Architecture: amd64"
    echo "Maintainer: $maintainer"
    echo "Installed-Size: $installed_size"
    echo "Depends: $depends"
    echo "Section: graphics"
    echo "Priority: optional"
    cat
  } >"$root/DEBIAN/control"
  # dpkg --verify checks the installed files against these sums.
  (cd "$root" && find usr -type f | sort | xargs md5sum) >"$root/DEBIAN/md5sums"
  chmod 644 "$root/DEBIAN/control" "$root/DEBIAN/md5sums"
  find "$root" -type d -exec chmod 755 {} +
  settle "$root"
  dpkg-deb --root-owner-group -Zxz -z9 --build "$root" "dist/${package}_${version}_amd64.deb" >/dev/null
  echo "$installed_size"
}

# quillfire: the CLI, its module and image library together in a folder of
# their own (the program finds the two beside its real path), a link in
# /usr/bin, the man page from the CLI's --help and the bash completion from
# its tables.
root=$stage/deb
lib=$root/usr/lib/quillfire
mkdir -p "$root/usr/bin" "$lib" "$root/usr/share/man/man1" "$root/usr/share/bash-completion/completions"
elf_strip -o "$lib/quillfire" build/native/host/quillfire
for so in quillfire.so libquillfire_images.so; do
  elf_strip --strip-unneeded -o "$lib/$so" "build/native/host/$so"
done
chmod 755 "$lib/quillfire"
chmod 644 "$lib"/*.so
ln -s ../lib/quillfire/quillfire "$root/usr/bin/quillfire"
python3 packaging/make-manpage.py "$lib/quillfire" "$version" "$SOURCE_DATE_EPOCH" \
  | gzip -9n >"$root/usr/share/man/man1/quillfire.1.gz"
build/native/tools/make_completion >"$root/usr/share/bash-completion/completions/quillfire"
# Lintian's tags that do not apply, each with its reason.
if grep -qv '^\(#\|$\)' packaging/lintian-overrides; then
  mkdir -p "$root/usr/share/lintian/overrides"
  cp packaging/lintian-overrides "$root/usr/share/lintian/overrides/quillfire"
fi
deb_doc "$root" quillfire "The files of this package contain no code of others; the Windows files of the same version do, and /usr/share/doc/quillfire/THIRD-PARTY-NOTICES.txt lists it."
cp THIRD-PARTY-NOTICES.txt "$root/usr/share/doc/quillfire/THIRD-PARTY-NOTICES.txt"
installed_size=$(deb_build "$root" quillfire <<'DESCRIPTION'
Description: colourful patterns of soft-edged shapes glued onto pictures
 Quillfire synthesises a colourful pattern of overlapping soft-edged shapes
 with concentric stripes, warps and tints it, and glues it onto a picture
 through one of 69 blend modes, at 8, 16 and 32 bits per channel.
 .
 This package holds the quillfire command-line tool, which runs the Quillfire
 filter module on image files as an image editor would: it filters pictures,
 renders new ones, exports JPEG and layered PSD files and publishes presets
 as web pages.
DESCRIPTION
)

# quillfire-gegl: the GEGL operation quillfire:quillfire in GEGL's own
# plug-in folder, where the gegl command and the editors built on GEGL find
# it.
groot=$stage/deb-gegl
gegl_dir=/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/gegl-0.4
mkdir -p "$groot$gegl_dir"
elf_strip --strip-unneeded -o "$groot$gegl_dir/quillfire-gegl.so" build/native/gegl/quillfire-gegl.so
chmod 644 "$groot$gegl_dir/quillfire-gegl.so"
deb_doc "$groot" quillfire-gegl "The files of this package contain no code of others."
gegl_size=$(deb_build "$groot" quillfire-gegl <<'DESCRIPTION'
Description: Quillfire's patterns as a GEGL operation
 Quillfire synthesises a colourful pattern of overlapping soft-edged shapes
 with concentric stripes, warps and tints it, and glues it onto a picture
 through one of 69 blend modes.
 .
 This package holds the GEGL operation quillfire:quillfire, with the same
 settings and pixels as the quillfire command-line tool, for the gegl command
 and the image editors built on GEGL.
DESCRIPTION
)

files=("Quillfire-$version-windows.zip" "quillfire_${version}_amd64.deb" "quillfire-gegl_${version}_amd64.deb")
(cd dist && sha256sum "${files[@]}" >SHA256SUMS)
echo "== package: wrote"
(cd dist && ls -l "${files[@]}" SHA256SUMS)
echo "   installed sizes: quillfire $installed_size KiB, quillfire-gegl $gegl_size KiB"
