#!/usr/bin/env bash
# Checks the release files in dist/ as a user meets them (scripts/package.sh
# writes them):
#   the .debs: installed with apt, the installed CLI run from a folder of its
#   own (--version, sample, apply, export to PSD), its man page found, its
#   bash completion loaded and asked for a glue name, lintian's verdict (no
#   error, no warning that packaging/lintian-overrides does not explain),
#   the GEGL operation found by the gegl command in GEGL's own folder and
#   giving the CLI's pixels; then both removed, leaving none of their files
#   behind;
#   the zip: tested, unpacked into a fresh folder, and both Windows CLIs run
#   from there under Wine, each loading the filter module of its own width
#   from beside itself.
# Installs and removes a package: run it as root (CI does).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
version=$(sed -n 's/^#define QF_VERSION_TEXT "\(.*\)"$/\1/p' "$top/values/version.h")
deb="$top/dist/quillfire_${version}_amd64.deb"
gegl_deb="$top/dist/quillfire-gegl_${version}_amd64.deb"
zip="$top/dist/Quillfire-$version-windows.zip"
for f in "$deb" "$gegl_deb" "$zip" "$top/dist/SHA256SUMS"; do
  [ -f "$f" ] || { echo "check-package: $f is missing (run scripts/package.sh)" >&2; exit 1; }
done
[ "$(id -u)" = 0 ] || { echo "check-package: installs a package, so it runs as root" >&2; exit 1; }
fail() { echo "check-package: $*" >&2; exit 1; }
(cd "$top/dist" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match the files"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export DEBIAN_FRONTEND=noninteractive

# --- The Debian package ------------------------------------------------------
packages=(quillfire quillfire-gegl)
# A copy left installed by an earlier run would hide what this one installs.
for p in "${packages[@]}"; do
  if dpkg -s "$p" >/dev/null 2>&1; then apt-get purge -y -qq "$p" >/dev/null; fi
done
apt-get install -y -qq --no-install-recommends "$deb" "$gegl_deb" >/dev/null
for p in "${packages[@]}"; do
  dpkg-query -W -f '${Version} ${Status}\n' "$p" | grep -qx "$version install ok installed" ||
    fail "$p is not installed at version $version"
  dpkg -L "$p" >>"$work/files"
done

mkdir "$work/run"
cd "$work/run"
[ "$(command -v quillfire)" = /usr/bin/quillfire ] || fail "quillfire is not /usr/bin/quillfire"
out=$(quillfire --version)
echo "$out" | grep -q "^quillfire $version\$" || fail "--version says: $out"
echo "$out" | grep -q '^commit [0-9a-f]\{12\}' || fail "--version names no commit: $out"
quillfire sample sample.png
quillfire apply sample.png applied.png --seed 5 --glue multiply
quillfire export sample.png x.psd --seed 5
[ "$(head -c 4 x.psd)" = 8BPS ] || fail "export x.psd wrote no PSD file"
# The filter must have changed the picture: the two files decode differently.
python3 - sample.png applied.png <<'PY' || fail "apply left the sample as it was"
import sys, zlib
def pixels(name):
    data, at, idat = open(name, "rb").read(), 8, b""
    while at < len(data):
        n = int.from_bytes(data[at:at + 4], "big")
        if data[at + 4:at + 8] == b"IDAT":
            idat += data[at + 8:at + 8 + n]
        at += 12 + n
    return zlib.decompress(idat)
a, b = pixels(sys.argv[1]), pixels(sys.argv[2])
sys.exit(0 if len(a) == len(b) and a != b else 1)
PY
# The GEGL operation from GEGL's own folder (no GEGL_PATH) gives the CLI's
# pixels, within half a step of 8 bits (gegl writes PNG at 16 bits).
env -u GEGL_PATH GEGL_SWAP="$work/run" gegl sample.png -o gegl.png -- quillfire:quillfire seed=5 \
  glue=multiply 2>gegl.log || fail "gegl could not run quillfire:quillfire: $(cat gegl.log)"
[ ! -s gegl.log ] || fail "gegl warned: $(cat gegl.log)"
oiiotool applied.png gegl.png --diff --fail 0.00195 --failpercent 0 >/dev/null ||
  fail "the GEGL operation's pixels are not the CLI's"
[ "$(man -w quillfire)" = /usr/share/man/man1/quillfire.1.gz ] || fail "man -w quillfire: $(man -w quillfire 2>&1)"
# The completion as bash loads it on demand: a glue name completes.
completed=$(bash -c '
  source /usr/share/bash-completion/bash_completion
  _completion_loader quillfire
  COMP_WORDS=(quillfire apply in.png out.png --glue hard-l)
  COMP_CWORD=5
  "$(complete -p quillfire | sed -n "s/.*-F \([^ ]*\) .*/\1/p")" quillfire hard-l --glue
  echo "${COMPREPLY[*]}"')
[ "$completed" = hard-light ] || fail "the completion of --glue hard-l gives '$completed'"
# Lintian's verdict on both packages.
lintian --fail-on error,warning "$deb" "$gegl_deb" ||
  fail "lintian: errors or warnings without a reason in packaging/lintian-overrides"

cd "$top"
apt-get purge -y -qq "${packages[@]}" >/dev/null
for p in "${packages[@]}"; do
  ! dpkg -s "$p" >/dev/null 2>&1 || fail "$p is still installed"
done
# Every file and link is gone; a folder may stay only if another package
# owns it.
while IFS= read -r path; do
  [ "$path" = /. ] && continue
  if [ -d "$path" ] && [ ! -L "$path" ]; then
    dpkg -S "$path" >/dev/null 2>&1 || fail "$path is left behind"
  elif [ -e "$path" ] || [ -L "$path" ]; then
    fail "$path is left behind"
  fi
done <"$work/files"
[ ! -e /usr/lib/quillfire ] || fail "/usr/lib/quillfire is left behind"

# --- The Windows zip ---------------------------------------------------------
unzip -tq "$zip" >/dev/null || fail "unzip -t $zip fails"
mkdir "$work/zip"
unzip -q "$zip" -d "$work/zip"
folder="$work/zip/Quillfire-$version"
for f in Quillfire.8bf Quillfire64.8bf quillfire.exe quillfire32.exe README.txt LICENSE.txt \
  THIRD-PARTY-NOTICES.txt; do
  [ -f "$folder/$f" ] || fail "the zip has no $f"
done
# One Wine prefix for both widths; the test suites' prefix when there is one.
export WINEDEBUG=-all
export WINEPREFIX=${QF_WINEPREFIX:-$top/build/win64/wineprefix}
[ -d "$WINEPREFIX" ] || WINEPREFIX=$work/wineprefix
cd "$folder"
for exe in quillfire.exe quillfire32.exe; do
  out=$(wine "$exe" --version | tr -d '\r')
  echo "$out" | grep -q "^quillfire $version\$" || fail "$exe --version says: $out"
  # A render needs the module beside the program: the width's own .8bf.
  wine "$exe" render --size 96x64 --seed 3 "render-$exe.png" >/dev/null ||
    fail "$exe could not render with its module"
  [ "$(head -c 4 "render-$exe.png" | tail -c 3)" = PNG ] || fail "$exe wrote no PNG"
done
# Both widths paint the same pixels.
cmp -s render-quillfire.exe.png render-quillfire32.exe.png ||
  fail "the 32-bit and 64-bit modules render different pictures"
wineserver -w 2>/dev/null || true
echo "check-package: the .debs install, runs, completes and removes cleanly; the zip's CLIs load both modules under Wine"
