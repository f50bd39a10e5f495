#!/usr/bin/env bash
# Makes the Debian package tintwise_<version>_amd64.deb in build-package/ (or
# the directory given): a release build for /usr, without tests or benchmarks,
# with Debian's build flags,
# packed by CPack with its library dependencies from dpkg-shlibdeps.
#
#   tools/make-package.sh [build dir]
# Prints the package's path.
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${1:-build-package}"
# Debian's hardening flags (fortified functions, stack protector, read-only
# relocations bound at start), as a Debian package is built with them.
export CFLAGS="$(dpkg-buildflags --get CFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
export CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
export LDFLAGS="$(dpkg-buildflags --get LDFLAGS) -Wl,-z,now"
# The build's messages go to stderr: stdout names the package only.
tools/build.sh "$dir" -DCMAKE_INSTALL_PREFIX=/usr -DBUILD_TESTING=OFF -DTINTWISE_BUILD_BENCH=OFF >&2
rm -f "$dir"/tintwise_*_amd64.deb
(cd "$dir" && cpack -G DEB >cpack.log 2>&1) || { cat "$dir/cpack.log" >&2; exit 1; }
ls "$PWD/$dir"/tintwise_*_amd64.deb
