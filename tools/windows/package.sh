#!/bin/bash
# Packs the Windows build (build.sh runs this last) into build-windows/:
#   Tintwise-<version>-win64-setup.exe  the per-user installer (installer.nsi)
#   Tintwise-<version>-win64.zip        the portable copy
# Both carry the same files: the programs built (tintwise.exe once the window
# exists), README.txt, COPYRIGHT.txt and LIBRARIES.txt (the libraries linked
# in and their licences), texts with CR LF line ends.
#   TINTWISE_WINDOWS_BUILD_DIR  the build directory (default: build-windows)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../.."
build=$(cd "${TINTWISE_WINDOWS_BUILD_DIR:-build-windows}" && pwd)
started=$SECONDS

# The licences of the statically linked libraries come from the copyright
# files of Debian's binary packages built from the same sources.
source tools/windows/packages.sh
readonly LIBRARY_PACKAGES=(
  "libjpeg-turbo libjpeg62-turbo"
  "libpng1.6 libpng16-16"
  "giflib libgif7"
  "libwebp libwebp7"
  "sqlite3 libsqlite3-0"
  "zlib libz-mingw-w64-dev"
  "MinGW-w64 runtime and winpthreads mingw-w64-common"
  "GCC runtime (libstdc++, libgcc) gcc-mingw-w64-base"
)
tintwise_require_packages nsis python3 libjpeg62-turbo libpng16-16 libgif7 libwebp7 \
  libsqlite3-0 libz-mingw-w64-dev mingw-w64-common gcc-mingw-w64-base

cache_value() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
version=$(cache_value CMAKE_PROJECT_VERSION)
prefix=$(cache_value TINTWISE_WINDOWS_DEPS_PREFIX)
if [ -z "$version" ] || [ ! -f "$build/bin/tintwise-cli.exe" ]; then
  echo "package.sh: no Windows build in $build (run tools/windows/build.sh)" >&2
  exit 1
fi
name=Tintwise-$version-win64
stage=$build/package/$name
rm -rf "$build/package"
mkdir -p "$stage"

for program in tintwise-cli.exe tintwise.exe; do
  [ -f "$build/bin/$program" ] || continue
  x86_64-w64-mingw32-strip -o "$stage/$program" "$build/bin/$program"
done

# Text in LF (or CR LF) to CR LF, for Notepad of older Windows.
crlf() { sed -e 's/\r$//' -e 's/$/\r/'; }
crlf <README.md >"$stage/README.txt"
crlf <data/copyright >"$stage/COPYRIGHT.txt"
{
  echo "Libraries linked into the Tintwise programs, built from Debian 12's"
  echo "source packages, and their licences (Debian's copyright files)."
  echo
  if [ -f "$prefix/versions.txt" ]; then
    echo "Versions built:"
    grep -v '^googletest=' "$prefix/versions.txt" | sed 's/^/  /'
    echo
  fi
  for entry in "${LIBRARY_PACKAGES[@]}"; do
    package=${entry##* }
    printf '%s\n' "======================================================================"
    printf '%s (licence text from Debian package %s %s)\n' "${entry% *}" "$package" \
      "$(dpkg-query -W -f='${Version}' "$package")"
    printf '%s\n\n' "======================================================================"
    cat "/usr/share/doc/$package/copyright"
    echo
  done
} | crlf >"$stage/LIBRARIES.txt"

setup=$build/$name-setup.exe
zip=$build/$name.zip
rm -f "$setup" "$zip"
makensis -V2 -DVERSION="$version" -DSTAGE="$stage" -DOUTFILE="$setup" \
  tools/windows/installer.nsi >"$build/package.log" 2>&1 || {
  tail -n 30 "$build/package.log" >&2
  echo "package.sh: the installer did not build (log: $build/package.log)" >&2
  exit 1
}

# The zip holds one folder named after the release, so that unpacking it
# gives the program a folder of its own to keep its files in.
python3 - "$build/package" "$name" "$zip" <<'EOF'
import os, sys, zipfile
root, name, target = sys.argv[1:]
with zipfile.ZipFile(target + ".part", "w", zipfile.ZIP_DEFLATED, compresslevel=9) as archive:
    for file in sorted(os.listdir(os.path.join(root, name))):
        archive.write(os.path.join(root, name, file), name + "/" + file)
os.replace(target + ".part", target)
EOF

echo "Windows packages: done in $((SECONDS - started)) s: $setup ($(stat -c %s "$setup") bytes)," \
  "$zip ($(stat -c %s "$zip") bytes)"
