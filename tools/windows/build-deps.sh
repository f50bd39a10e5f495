#!/bin/bash
# Cross-builds the libraries the Windows programs link, as static libraries
# for x86_64-w64-mingw32, from Debian's own source packages (Debian's patches
# applied) into a prefix. The prefix is keyed by a hash of this script, the
# toolchain file, the pinned versions and the compiler, and reused while they
# stay the same; a stamp written last marks it complete.
#
#   tools/windows/build-deps.sh      prints the prefix on standard output
#                                    (progress goes to standard error)
#   TINTWISE_WINDOWS_DEPS            cache root (~/.cache/tintwise/windows-deps)
#   TINTWISE_JOBS                    parallel jobs (default: the processor count)
#
# Runs as root on Debian 12 (installs the packages it needs); nothing is
# downloaded from outside Debian's archive.
set -euo pipefail
# Progress on standard error: standard output carries only the prefix.
exec 3>&1 1>&2

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
toolchain=$root/cmake/MinGW-w64.cmake

# Source packages, exactly the versions Debian 12's point release offers;
# apt-get verifies them against the signed archive index. (The security
# suite's libpng1.6 1.6.39-2+deb12u6 is listed but its files were not on the
# mirror: raise this pin once they are.)
readonly SOURCES=(
  libjpeg-turbo=1:2.1.5-2
  libpng1.6=1.6.39-2+deb12u5
  giflib=5.2.1-2.5+deb12u1
  libwebp=1.2.4-0.2+deb12u1
  sqlite3=3.40.1-2+deb12u2
  googletest=1.12.1-0.2
  cpp-httplib=0.11.4+ds-1+deb12u1
)
readonly TRIPLET=x86_64-w64-mingw32
readonly CC=$TRIPLET-gcc-posix
readonly AR=$TRIPLET-gcc-ar-posix
readonly CFLAGS_WIN="-O2 -g0 -Wa,-muse-unaligned-vector-move"
jobs=${TINTWISE_JOBS:-$(nproc)}

source "$here/packages.sh"
tintwise_require_packages ca-certificates dpkg-dev make cmake ninja-build pkg-config \
  tcl nasm gcc g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix \
  binutils-mingw-w64-x86-64 libz-mingw-w64-dev

zlib_version=$(dpkg-query -W -f='${Version}' libz-mingw-w64-dev)
key=$( {
  cat "${BASH_SOURCE[0]}" "$toolchain"
  printf '%s\n' "${SOURCES[@]}" "zlib $zlib_version"
  "$TRIPLET-g++-posix" --version | head -n 1
  nasm -v
} | sha256sum | cut -c1-16)
cache=${TINTWISE_WINDOWS_DEPS:-$HOME/.cache/tintwise/windows-deps}
prefix=$cache/$key
stamp=$prefix/.complete
mkdir -p "$cache"

# One build per key at a time; a second caller waits and then reuses it.
exec 8>"$cache/$key.lock"
flock 8
if [ -e "$stamp" ]; then
  echo "Windows libraries: reusing $prefix"
  echo "$prefix" >&3
  exit 0
fi

work=$cache/$key.work
rm -rf "$prefix" "$work"
mkdir -p "$prefix"/{include,lib/pkgconfig} "$work"/{apt/lists/partial,src,logs}
started=$(date +%s)

# Runs one step with its output in a log; on failure shows the log's tail.
step() {
  local name=$1 log=$work/logs/$1.log t0=$SECONDS
  shift
  printf '  %-14s' "$name"
  # Not an "if" condition: there errexit would be off inside the step.
  set +e
  ( set -euo pipefail; "$@" ) >"$log" 2>&1
  local rc=$?
  set -e
  if [ "$rc" -ne 0 ]; then
    printf 'FAILED (log: %s)\n' "$log"
    tail -n 40 "$log" >&2
    exit 1
  fi
  printf '%4d s\n' $((SECONDS - t0))
}

# A deb-src line for each suite of this release that the system's own
# sources name (one-line .list files or deb822 .sources files), so the
# private lists come from the same mirror the system trusts.
system_sources() {
  local codename f
  codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
  {
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
      if [ -e "$f" ]; then cat "$f"; fi
    done |
      awk '$1 == "deb" {
             opts = ""; i = 2
             if ($2 ~ /^\[/) { while (i <= NF && $i !~ /\]$/) { opts = opts " " $i; i++ }
                               opts = opts " " $i; i++ }
             sb = "-"; n = split(opts, o, /[][ ]+/)
             for (k = 1; k <= n; k++) if (o[k] ~ /^signed-by=/) { sb = substr(o[k], 11) }
             print $i, $(i + 1), sb
           }'
    for f in /etc/apt/sources.list.d/*.sources; do
      [ -e "$f" ] || continue
      awk 'function flush() {
             if (types ~ /(^| )deb( |$)/ && enabled != "no") {
               nu = split(uris, U, " "); ns = split(suites, S, " ")
               for (a = 1; a <= nu; a++) for (b = 1; b <= ns; b++) print U[a], S[b], (sb == "" ? "-" : sb)
             }
             types = uris = suites = sb = enabled = ""
           }
           /^#/ { next }
           /^[ \t]*$/ { flush(); next }
           /^[ \t]/ { next }   # a continued field (an inline key) is not a path
           {
             field = tolower($1); sub(/:$/, "", field); $1 = ""; sub(/^ +/, "")
             if (field == "types") types = $0
             else if (field == "uris") uris = $0
             else if (field == "suites") suites = $0
             else if (field == "enabled") enabled = tolower($0)
             else if (field == "signed-by" && $0 ~ /^\//) sb = $0
           }
           END { flush() }' "$f"
    done
  } | awk -v c="$codename" '$2 == c || index($2, c "-") == 1' | sort -u |
    while read -r uri suite sb; do
      if [ "$sb" = "-" ]; then
        echo "deb-src $uri $suite main"
      else
        echo "deb-src [signed-by=$sb] $uri $suite main"
      fi
    done
}

fetch_sources() {
  local apt_opts=(-o "Dir::Etc::SourceList=$work/apt/sources.list"
                  -o Dir::Etc::SourceParts=/dev/null
                  -o "Dir::State::Lists=$work/apt/lists"
                  -o Dir::Cache::pkgcache= -o Dir::Cache::srcpkgcache=)
  system_sources >"$work/apt/sources.list"
  cat "$work/apt/sources.list"
  [ -s "$work/apt/sources.list" ] || { echo "no Debian sources found in /etc/apt"; return 1; }
  apt-get "${apt_opts[@]}" update
  cd "$work/src"
  apt-get "${apt_opts[@]}" source --download-only "${SOURCES[@]}"
  local entry name dsc
  for entry in "${SOURCES[@]}"; do
    name=${entry%%=*}
    dsc=$(ls "${name}"_*.dsc)
    dpkg-source -x "$dsc" "$name"
  done
}

# zlib is Debian's binary package; copied in so that the prefix alone is the
# find root and libpng and the programs take the static libz.a.
install_zlib() {
  cp /usr/$TRIPLET/include/zlib.h /usr/$TRIPLET/include/zconf.h "$prefix/include/"
  cp /usr/$TRIPLET/lib/libz.a "$prefix/lib/"
  cat >"$prefix/lib/pkgconfig/zlib.pc" <<EOF
prefix=$prefix
libdir=\${prefix}/lib
includedir=\${prefix}/include
Name: zlib
Description: zlib compression library
Version: ${zlib_version%%+*}
Libs: -L\${libdir} -lz
Cflags: -I\${includedir}
EOF
}

cmake_build() {
  local name=$1
  shift
  cmake -S "$work/src/$name" -B "$work/build/$name" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DTINTWISE_WINDOWS_DEPS_PREFIX="$prefix" \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DCMAKE_INSTALL_LIBDIR=lib \
    -DCMAKE_INSTALL_INCLUDEDIR=include \
    -DBUILD_SHARED_LIBS=OFF \
    "$@"
  cmake --build "$work/build/$name" -j "$jobs"
  cmake --install "$work/build/$name"
}

build_jpeg() {
  # Its relative install directories would land beside the source.
  cmake_build libjpeg-turbo -DENABLE_SHARED=OFF -DENABLE_STATIC=ON \
    -DWITH_SIMD=ON -DREQUIRE_SIMD=ON -DWITH_TURBOJPEG=OFF \
    -DCMAKE_ASM_NASM_COMPILER=nasm \
    -DCMAKE_INSTALL_LIBDIR="$prefix/lib" -DCMAKE_INSTALL_INCLUDEDIR="$prefix/include" \
    -DCMAKE_INSTALL_BINDIR="$prefix/bin" -DCMAKE_INSTALL_DATAROOTDIR="$prefix/share" \
    -DCMAKE_INSTALL_DOCDIR="$prefix/share/doc" -DCMAKE_INSTALL_MANDIR="$prefix/share/man"
}

build_png() {
  cmake_build libpng1.6 -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF \
    -DPNG_EXECUTABLES=OFF \
    -DZLIB_LIBRARY="$prefix/lib/libz.a" -DZLIB_INCLUDE_DIR="$prefix/include"
}

# giflib has only a Makefile for Unix: compile its library sources directly.
build_gif() {
  local src=$work/src/giflib obj=$work/build/giflib f
  mkdir -p "$obj"
  for f in dgif_lib egif_lib gifalloc gif_err gif_font gif_hash openbsd-reallocarray quantize; do
    $CC $CFLAGS_WIN -Wall -c "$src/$f.c" -I"$src" -o "$obj/$f.o"
  done
  $AR rcs "$prefix/lib/libgif.a" "$obj"/*.o
  cp "$src/gif_lib.h" "$prefix/include/"
}

build_webp() {
  cmake_build libwebp -DWEBP_ENABLE_SIMD=ON -DWEBP_BUILD_ANIM_UTILS=OFF \
    -DWEBP_BUILD_CWEBP=OFF -DWEBP_BUILD_DWEBP=OFF -DWEBP_BUILD_GIF2WEBP=OFF \
    -DWEBP_BUILD_IMG2WEBP=OFF -DWEBP_BUILD_VWEBP=OFF -DWEBP_BUILD_WEBPINFO=OFF \
    -DWEBP_BUILD_WEBPMUX=OFF -DWEBP_BUILD_EXTRAS=OFF
}

# Debian's tree is SQLite's full source: the amalgamation is generated with
# the build machine's compiler and tclsh, then cross-compiled. The options
# are those of Debian's build that change behaviour (thread-safe, secure
# delete, URI file names, limits); no optional extensions.
build_sqlite() {
  local src=$work/src/sqlite3 gen=$work/build/sqlite3-gen obj=$work/build/sqlite3
  mkdir -p "$gen" "$obj"
  (cd "$gen" && "$src/configure" --disable-tcl --disable-readline && make -j "$jobs" sqlite3.c)
  $CC $CFLAGS_WIN -fno-strict-aliasing \
    -DSQLITE_THREADSAFE=1 -DSQLITE_SECURE_DELETE -DSQLITE_USE_URI=1 \
    -DSQLITE_LIKE_DOESNT_MATCH_BLOBS -DSQLITE_MAX_SCHEMA_RETRY=25 \
    -DSQLITE_MAX_VARIABLE_NUMBER=250000 \
    -c "$gen/sqlite3.c" -o "$obj/sqlite3.o"
  $AR rcs "$prefix/lib/libsqlite3.a" "$obj/sqlite3.o"
  cp "$gen/sqlite3.h" "$gen/sqlite3ext.h" "$prefix/include/"
  local version
  version=$(sed -n 's/^#define SQLITE_VERSION *"\(.*\)"/\1/p' "$gen/sqlite3.h")
  cat >"$prefix/lib/pkgconfig/sqlite3.pc" <<EOF
prefix=$prefix
libdir=\${prefix}/lib
includedir=\${prefix}/include
Name: SQLite
Description: SQL database engine
Version: $version
Libs: -L\${libdir} -lsqlite3
Cflags: -I\${includedir}
EOF
}

# The tests' loopback servers use cpp-httplib as a header only (no TLS on
# Windows); the .pc file names the Winsock library it needs.
install_httplib() {
  cp "$work/src/cpp-httplib/httplib.h" "$prefix/include/"
  local version
  version=$(sed -n 's/^#define CPPHTTPLIB_VERSION "\(.*\)"/\1/p' "$prefix/include/httplib.h")
  [ -n "$version" ]
  cat >"$prefix/lib/pkgconfig/cpp-httplib.pc" <<EOF
prefix=$prefix
includedir=\${prefix}/include
Name: cpp-httplib
Description: HTTP server and client library (header only)
Version: $version
Libs: -lws2_32
Cflags: -I\${includedir}
EOF
}

build_gtest() {
  cmake_build googletest -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON
}

# Static libraries only: an import library or DLL here would be linked
# instead and make the programs need it at run time.
check_prefix() {
  # The libraries' own programs, scripts and manuals are not needed here.
  rm -rf "$prefix/bin" "$prefix/share"
  local stray
  stray=$(find "$prefix" \( -name '*.dll' -o -name '*.dll.a' \) -print)
  [ -z "$stray" ] || { echo "not static: $stray"; return 1; }
  ls -l "$prefix/lib"/*.a
}

echo "Windows libraries: building into $prefix (logs in $work/logs)"
step fetch fetch_sources
step zlib install_zlib
step libjpeg-turbo build_jpeg
step libpng build_png
step giflib build_gif
step libwebp build_webp
step sqlite3 build_sqlite
step googletest build_gtest
step cpp-httplib install_httplib
step check check_prefix
printf '%s\n' "${SOURCES[@]}" "libz-mingw-w64-dev=$zlib_version" >"$prefix/versions.txt"
touch "$stamp"
rm -rf "$work"
echo "Windows libraries: done in $(($(date +%s) - started)) s, $(du -sh "$prefix" | cut -f1)"
echo "$prefix" >&3
