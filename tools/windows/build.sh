#!/bin/bash
# Builds the Windows programs into build-windows/: run from anywhere in the
# project, as root on a fresh Debian 12 (installs what it needs). Makes or
# reuses the dependency prefix (build-deps.sh), configures with the MinGW-w64
# toolchain file, builds everything configured and packs the programs into
# the installer and the portable zip (package.sh). Extra arguments go to the
# CMake configure step.
#   TINTWISE_WINDOWS_BUILD_TYPE  Release (default) or RelWithDebInfo
#   TINTWISE_JOBS                parallel jobs (default: the processor count)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../.."
build=build-windows
started=$SECONDS

source tools/windows/packages.sh
tintwise_require_packages cmake ninja-build pkg-config \
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 \
  wine wine64 xvfb xauth

prefix=$(tools/windows/build-deps.sh)

# Cached find results name the libraries of one prefix: start afresh when
# the prefix changes.
if [ -f "$build/CMakeCache.txt" ] &&
   ! grep -qxF "TINTWISE_WINDOWS_DEPS_PREFIX:PATH=$prefix" "$build/CMakeCache.txt"; then
  rm -rf "$build/CMakeCache.txt" "$build/CMakeFiles"
fi
mkdir -p "$build"
cmake -S . -B "$build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/MinGW-w64.cmake" \
  -DTINTWISE_WINDOWS_DEPS_PREFIX="$prefix" \
  -DCMAKE_BUILD_TYPE="${TINTWISE_WINDOWS_BUILD_TYPE:-Release}" \
  "$@" >"$build/configure.log" 2>&1 || {
  tail -n 40 "$build/configure.log" >&2
  echo "Windows build: configure failed (log: $build/configure.log)" >&2
  exit 1
}

# The Wine prefix that ctest and test discovery use, made once.
TINTWISE_WINDOWS_BUILD_DIR=$PWD/$build source tools/windows/wine-env.sh

set +e
cmake --build "$build" -j "${TINTWISE_JOBS:-$(nproc)}" | grep -vE '^\[[0-9]+/[0-9]+\] '
status=${PIPESTATUS[0]}
set -e
if [ "$status" -ne 0 ]; then
  echo "Windows build: failed after $((SECONDS - started)) s" >&2
  exit "$status"
fi
echo "Windows build: done in $((SECONDS - started)) s: $(cd "$build" && ls bin/*.exe 2>/dev/null | tr '\n' ' ')"

TINTWISE_WINDOWS_BUILD_DIR=$build tools/windows/package.sh
