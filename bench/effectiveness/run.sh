#!/bin/sh
# The effectiveness benchmark in one command (see README.md beside this file).
# Usage: bench/effectiveness/run.sh [BUILD_DIR]
#   BUILD_DIR  a configured build directory (default build)
# The data set is made once into $TINTWISE_EFFECTIVENESS_DIR (default
# /tmp/tintwise-effectiveness); delete it to make it again.
set -eu
build=${1:-build}
here=$(cd "$(dirname "$0")" && pwd)
work=${TINTWISE_EFFECTIVENESS_DIR:-/tmp/tintwise-effectiveness}
jobs=$(nproc)
command -v convert >/dev/null && convert -version >/dev/null 2>&1 || {
  echo "run.sh: ImageMagick is needed (apt-get install imagemagick)" >&2
  exit 1
}
cmake --build "$build" --target tintwise-cli bench_effectiveness >/dev/null
mkdir -p "$work/debs" "$work/root" "$work/bin"
# The program computes the signatures, from a copy so that a rebuild during
# the run cannot swap it.
cp "$build/bin/tintwise-cli" "$work/bin/"
if [ ! -f "$work/root/.unpacked" ]; then
  (cd "$work/debs" && apt-get download gnome-backgrounds mate-backgrounds ukui-wallpapers \
    plasma-workspace-wallpapers sway-backgrounds desktop-base python3-skimage lomiri-wallpapers)
  for deb in "$work"/debs/*.deb; do dpkg -x "$deb" "$work/root"; done
  touch "$work/root/.unpacked"
fi
if [ ! -f "$work/queries.tsv" ]; then
  python3 "$here/prepare.py" "$work/bin" "$work" "$jobs"
fi
"$build/bench/bench_effectiveness" "$work" "$work/features.tsv"
echo
python3 "$here/tune.py" "$work/features.tsv" --curve
