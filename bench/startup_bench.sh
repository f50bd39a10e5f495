#!/bin/sh
# Start-up of the window with a large cache: runs bench_startup a few times on
# a copy of a synthetic cache and prints each run's figures.
# Usage: bench/startup_bench.sh [ROWS] [BUILD_DIR] [RUNS]
#   ROWS       rows of the synthetic cache (default 1000000), generated once
#              into $TINTWISE_BENCH_DIR (default /tmp/tintwise-bench)
#   BUILD_DIR  a configured build directory with the window (default build)
#   RUNS       runs (default 3)
set -eu
rows=${1:-1000000}
build=${2:-build}
runs=${3:-3}
here=$(cd "$(dirname "$0")/.." && pwd)
cmake --build "$build" --target bench_startup make_synthetic_cache >/dev/null
cache="${TINTWISE_BENCH_DIR:-/tmp/tintwise-bench}/rows-$rows/cache.db"
if [ ! -f "$cache" ]; then
  mkdir -p "$(dirname "$cache")"
  "$build/bench/make_synthetic_cache" "$cache" "$rows"
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$cache" "$work/cache.db"
cp "$here/fuzz/corpus/fuzz_image_jpeg/site" "$work/query.jpg"
# The page cache holds the file, as it does for a user starting the program again.
cat "$work/cache.db" >/dev/null
i=1
while [ "$i" -le "$runs" ]; do
  echo "run $i:"
  QT_QPA_PLATFORM=offscreen "$build/bench/bench_startup" "$work" "$work/query.jpg" 2>/dev/null
  i=$((i + 1))
done
