#!/bin/sh
# The effectiveness benchmark in one command (see README.md beside this file).
# Usage: bench/effectiveness/run.sh [--kind photos|drawings|both] [--rows N[,N...]] [--confirm] [BUILD_DIR]
#   --kind     which pictures (default both: photographs and wallpapers, then
#              drawings flattened on white)
#   --rows     database sizes to run at, each grown with distractors cut from
#              other pictures (default 25000,1000000)
#   --confirm  also report the verdict confirmed by the stored entries'
#              pictures (the local files stand in for the site)
#   BUILD_DIR  a configured build directory (default build)
# The data sets are made once into $TINTWISE_EFFECTIVENESS_DIR/<kind> (default
# /tmp/tintwise-effectiveness); delete one to make it again.
set -eu
kinds="photos drawings"
rows="25000,1000000"
confirm=""
while [ $# -gt 0 ]; do
  case "$1" in
    --kind) kinds=$2; [ "$kinds" = both ] && kinds="photos drawings"; shift 2 ;;
    --rows) rows=$2; shift 2 ;;
    --confirm) confirm=--confirm; shift ;;
    -*) echo "run.sh: unknown option $1" >&2; exit 2 ;;
    *) break ;;
  esac
done
build=${1:-build}
here=$(cd "$(dirname "$0")" && pwd)
top=${TINTWISE_EFFECTIVENESS_DIR:-/tmp/tintwise-effectiveness}
jobs=$(nproc)
command -v convert >/dev/null && convert -version >/dev/null 2>&1 || {
  echo "run.sh: ImageMagick is needed (apt-get install imagemagick)" >&2
  exit 1
}
cmake --build "$build" --target tintwise-cli bench_effectiveness >/dev/null
for kind in $kinds; do
  case "$kind" in
    photos) debs="gnome-backgrounds mate-backgrounds ukui-wallpapers plasma-workspace-wallpapers sway-backgrounds
                  desktop-base python3-skimage lomiri-wallpapers" ;;
    drawings) debs="hedgewars-data pingus-data freedroidrpg-data" ;;
    *) echo "run.sh: unknown kind $kind" >&2; exit 2 ;;
  esac
  work=$top/$kind
  mkdir -p "$work/debs" "$work/root" "$work/bin"
  # The program computes the signatures, from a copy so that a rebuild during
  # the run cannot swap it.
  cp "$build/bin/tintwise-cli" "$work/bin/"
  if [ ! -f "$work/root/.unpacked" ]; then
    # shellcheck disable=SC2086  # a list of package names
    (cd "$work/debs" && apt-get download $debs)
    for deb in "$work"/debs/*.deb; do dpkg -x "$deb" "$work/root"; done
    touch "$work/root/.unpacked"
  fi
  if [ ! -f "$work/queries.tsv" ]; then
    python3 "$here/prepare.py" "$work/bin" "$work" "$jobs" "$kind"
  fi
  for n in $(echo "$rows" | tr ',' ' '); do
    echo
    echo "## $kind, $n rows"
    echo
    "$build/bench/bench_effectiveness" "$work" --rows "$n" --features "$work/features-$n.tsv" $confirm
    echo
    python3 "$here/tune.py" "$work/features-$n.tsv"
  done
done
