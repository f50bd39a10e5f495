#!/bin/sh
# Measures cache loading and search on a synthetic cache and prints the ratios
# the search is held to. Usage: bench/search_bench.sh [ROWS] [BUILD_DIR]
#   ROWS       rows of the generated cache (default 1000000); the database is
#              generated once into $TINTWISE_BENCH_DIR (default /tmp/tintwise-bench)
#   BUILD_DIR  a configured build directory (default build)
set -eu
rows=${1:-1000000}
build=${2:-build}
here=$(cd "$(dirname "$0")/.." && pwd)
cmake --build "$build" --target bench_search >/dev/null
out=$(mktemp)
trap 'rm -f "$out"' EXIT
TINTWISE_BENCH_ROWS=$rows "$build/bench/bench_search" --benchmark_out="$out" --benchmark_out_format=json \
  --benchmark_repetitions="${TINTWISE_BENCH_REPETITIONS:-3}" --benchmark_enable_random_interleaving=true \
  --benchmark_report_aggregates_only=true
python3 "$here/bench/search_ratios.py" "$out"
