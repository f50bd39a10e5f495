#!/bin/sh
# The signature as whole processes, against decoder-only tools, and its peak
# memory and page faults. Usage: bench/signature_bench.sh [BUILD_DIR]
#   BUILD_DIR  a configured build directory (default build)
# Pictures are generated once into $TINTWISE_BENCH_DIR (default
# /tmp/tintwise-bench); TINTWISE_BENCH_PAIRS sets the paired runs (default 15).
# Needs ImageMagick (convert), djpeg/cjpeg/jpegtran (libjpeg-turbo-progs) and
# pngtopnm (netpbm); the last two are installed here when missing.
set -eu
build=${1:-build}
here=$(cd "$(dirname "$0")/.." && pwd)
dir=${TINTWISE_BENCH_DIR:-/tmp/tintwise-bench}
mkdir -p "$dir/program"
if ! command -v djpeg >/dev/null || ! command -v pngtopnm >/dev/null; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends libjpeg-turbo-progs netpbm >/dev/null
fi
cmake --build "$build" --target tintwise-cli bench_signature_only >/dev/null

# A photo-like 4000 x 3000 picture: smooth fractal clouds with grain, 4:2:0 at quality 92.
if [ ! -f "$dir/photo.jpg" ]; then
  convert -size 4000x3000 -seed 7 plasma:fractal -blur 0x2 -attenuate 0.4 +noise Gaussian \
    -quality 92 -sampling-factor 2x2 "$dir/photo.jpg"
fi
[ -f "$dir/photo-progressive.jpg" ] || jpegtran -progressive -outfile "$dir/photo-progressive.jpg" "$dir/photo.jpg"
[ -f "$dir/photo.png" ] || convert "$dir/photo.jpg" -resize 1920x1080! -depth 8 "$dir/photo.png"
[ -f "$dir/photo-interlaced.png" ] || convert "$dir/photo.png" -interlace PNG "$dir/photo-interlaced.png"
# Pictures near the limit, written as a stream (never held whole): 200 megapixels.
if [ ! -f "$dir/large.jpg" ]; then
  python3 "$here/bench/signature_pictures.py" ppm 16000 12500 | cjpeg -quality 92 -sample 2x2 -outfile "$dir/large.jpg"
fi
[ -f "$dir/large.png" ] || python3 "$here/bench/signature_pictures.py" png 16000 12500 > "$dir/large.png"

python3 "$here/bench/signature_processes.py" "$build/bin/tintwise-cli" "$dir" "${TINTWISE_BENCH_PAIRS:-15}"
