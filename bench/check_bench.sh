#!/bin/sh
# Throughput of `tintwise-cli check` over a folder of photograph-like JPEGs:
# one job against two, and per picture against decoding alone (check/
# decode_only.c: the same libjpeg, full size, every file in one process).
# Two decode_only processes over the two halves of the folder show how far
# the machine itself lets two cores scale.
# Usage: bench/check_bench.sh [PICTURES] [BUILD_DIR] [ROWS]
#   PICTURES  JPEGs to make (default 1000), 1,000-1,600 px, made once with
#             ImageMagick into $TINTWISE_CHECK_BENCH_DIR (default
#             /tmp/tintwise-check-bench) from ten noisy plasma pictures,
#             each cropped, scaled and recoloured differently
#   BUILD_DIR a configured build directory (default build)
#   ROWS      entries of the synthetic database (default 25000)
# Needs ImageMagick (convert), a C compiler and the libjpeg headers. Prints the
# median of RUNS (default 3) paired runs; keep the machine otherwise idle.
set -eu
count=${1:-1000}
build=${2:-build}
rows=${3:-25000}
runs=${RUNS:-3}
work=${TINTWISE_CHECK_BENCH_DIR:-/tmp/tintwise-check-bench}
cmake --build "$build" --target tintwise-cli make_synthetic_cache >/dev/null
cli=$build/bin/tintwise-cli
[ -x "$cli" ] || cli=$(find "$build" -name tintwise-cli -type f -perm -u+x | head -n 1)
maker=$(find "$build" -name make_synthetic_cache -type f -perm -u+x | head -n 1)

mkdir -p "$work/bases" "$work/photos"
for b in 0 1 2 3 4 5 6 7 8 9; do
  [ -f "$work/bases/$b.jpg" ] ||
    convert -seed "$b" -size 2000x1500 plasma:fractal -blur 0x1.5 -attenuate 0.3 +noise Gaussian \
      -quality 92 "$work/bases/$b.jpg"
done
made=$(find "$work/photos" -name '*.jpg' | wc -l)
if [ "$made" -lt "$count" ]; then
  i=0
  while [ "$i" -lt "$count" ]; do
    # crop 60-100 %, width 1000-1600 px, brightness/saturation/hue 90-110 %
    echo "$i $((i % 10)) $((60 + (i * 7) % 41)) $((1000 + (i * 37) % 601)) $((90 + (i * 3) % 21)) $((90 + (i * 11) % 21)) $((90 + (i * 13) % 21)) $((i * 17 % 200)) $((i * 29 % 150))"
    i=$((i + 1))
  done | xargs -P "$(nproc)" -L 1 sh -c \
    '[ -f "$0/photos/$1.jpg" ] || convert "$0/bases/$2.jpg" -crop "$3%x$3%+$8+$9" +repage -resize "$4x" \
       -modulate "$5,$6,$7" -quality 85 "$0/photos/$1.jpg"' "$work"
fi
[ -f "$work/bench-$rows.db" ] || "$maker" "$work/bench-$rows.db" "$rows"

seconds() { # command... -> wall seconds on stdout
  start=$(date +%s.%N)
  "$@" >/dev/null 2>&1 || true
  end=$(date +%s.%N)
  echo "$end - $start" | bc
}
here=$(cd "$(dirname "$0")" && pwd)
cc -O2 -o "$work/decode_only" "$here/check/decode_only.c" -ljpeg
decode() { "$work/decode_only" "$work"/photos/*.jpg; }
half() { # the pictures whose number is even (0) or odd (1)
  for f in "$work"/photos/*.jpg; do n=${f##*/}; [ $((${n%.jpg} % 2)) -eq "$1" ] && echo "$f"; done
}
decode2() {
  half 0 | xargs "$work/decode_only" &
  half 1 | xargs "$work/decode_only"
  wait
}

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
one="" two="" dec="" dec2=""
r=0
while [ "$r" -lt "$runs" ]; do
  one="$one $(seconds "$cli" check --jobs 1 --db "$work/bench-$rows.db" "$work/photos")"
  two="$two $(seconds "$cli" check --jobs 2 --db "$work/bench-$rows.db" "$work/photos")"
  dec="$dec $(seconds decode)"
  dec2="$dec2 $(seconds decode2)"
  r=$((r + 1))
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
rows=$rows python3 - "$count" "$one" "$two" "$dec" "$dec2" <<'EOF'
import os, statistics, sys
rows = int(os.environ["rows"])
n = int(sys.argv[1])
one, two, dec, dec2 = (statistics.median(float(x) for x in a.split()) for a in sys.argv[2:6])
print(f"{n} pictures, {rows} entries, medians of paired runs (wall seconds): check --jobs 1 {one:.2f},"
      f" --jobs 2 {two:.2f}, decode {dec:.2f}, decode in two processes {dec2:.2f}")
print(f"per picture: check 1 job {1000 * one / n:.2f} ms, decode {1000 * dec / n:.2f} ms")
print(f"two jobs / one job speed-up: {one / two:.2f} (target >= 1.8; two decoding processes: {dec / dec2:.2f})")
print(f"check 1 job / decode per picture: {one / dec:.2f} (target <= 1.2)")
EOF
