#!/usr/bin/env bash
# Checks that the Windows build's signature of every kind of picture is the
# Linux build's, value for value: JPEG (4:2:0, 4:4:4, 4:2:2, progressive,
# grey, restart markers), PNG (8- and 16-bit, interlaced), GIF (plain and
# interlaced), BMP and WebP (lossy and lossless), made from one generated
# picture by Debian's own converters.
#   tools/windows/signature-check.sh [LINUX_BUILD_DIR] [WINDOWS_BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/../.."
linux="$(realpath "${1:-build}")/bin/tintwise-cli"
windows_build="$(realpath "${2:-build-windows}")"
windows="$windows_build/bin/tintwise-cli.exe"

need=()
for tool in cjpeg:libjpeg-turbo-progs pnmtopng:netpbm cwebp:webp; do
  command -v "${tool%%:*}" >/dev/null || need+=("${tool#*:}")
done
if [[ ${#need[@]} -gt 0 ]]; then
  sudo=""
  [[ $(id -u) -eq 0 ]] || sudo="sudo"
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
    -o DPkg::Lock::Timeout=300 "${need[@]}" >/dev/null
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A 301 x 211 picture with smooth gradients and sharp edges, so that every
# block, chroma layout and filter has something to round.
python3 - "$work/source.ppm" <<'PY'
import sys
w, h = 301, 211
rows = bytearray()
for y in range(h):
    for x in range(w):
        r = (x * 255) // (w - 1)
        g = (y * 255) // (h - 1)
        b = 255 if (x // 17 + y // 13) % 2 else (x * y) % 256
        rows += bytes((r, g, b))
open(sys.argv[1], "wb").write(b"P6\n%d %d\n255\n" % (w, h) + rows)
# The same at 16 bits a sample, with low bytes that 8 bits cannot hold.
deep = bytearray()
for i, v in enumerate(rows):
    deep += ((v << 8) | ((i * 37) & 0xFF)).to_bytes(2, "big")
open(sys.argv[1].replace(".ppm", "16.ppm"), "wb").write(b"P6\n%d %d\n65535\n" % (w, h) + deep)
PY
src="$work/source.ppm"
cjpeg -quality 90 "$src" > "$work/420.jpg"
cjpeg -quality 90 -sample 1x1 "$src" > "$work/444.jpg"
cjpeg -quality 90 -sample 2x1 "$src" > "$work/422.jpg"
cjpeg -quality 90 -progressive "$src" > "$work/progressive.jpg"
cjpeg -quality 90 -grayscale "$src" > "$work/grey.jpg"
cjpeg -quality 90 -restart 1 "$src" > "$work/restart.jpg"
pnmtopng "$src" > "$work/plain.png" 2>/dev/null
pnmtopng "$work/source16.ppm" > "$work/16bit.png" 2>/dev/null
pnmtopng -interlace "$src" > "$work/interlaced.png" 2>/dev/null
pnmquant 256 "$src" 2>/dev/null > "$work/256.ppm"
ppmtogif "$work/256.ppm" > "$work/plain.gif" 2>/dev/null
ppmtogif -interlace "$work/256.ppm" > "$work/interlaced.gif" 2>/dev/null
ppmtobmp "$src" > "$work/plain.bmp" 2>/dev/null
pnmtopng "$src" 2>/dev/null > "$work/webp-source.png"
cwebp -quiet -q 80 "$work/webp-source.png" -o "$work/lossy.webp"
cwebp -quiet -lossless "$work/webp-source.png" -o "$work/lossless.webp"
rm -f "$work/256.ppm" "$work/webp-source.png"

pictures=()
for file in "$work"/*; do [[ "$file" == *.ppm ]] || pictures+=("$(basename "$file")"); done
( cd "$work" && "$linux" signature "${pictures[@]}" ) | cut -f1 > "$work/linux.txt"
# shellcheck source=tools/windows/wine-env.sh
TINTWISE_WINDOWS_BUILD_DIR="$windows_build" source tools/windows/wine-env.sh
( cd "$work" && wine "$windows" signature "${pictures[@]}" ) | tr -d '\r' | cut -f1 > "$work/windows.txt"
if ! diff <(paste <(printf '%s\n' "${pictures[@]}") "$work/linux.txt") \
          <(paste <(printf '%s\n' "${pictures[@]}") "$work/windows.txt"); then
  echo "signature-check: the Windows build's signatures differ from the Linux build's" >&2
  exit 1
fi
if grep -q error "$work/linux.txt" || [[ $(grep -c '^\([0-9]*,\)\{27\}$' "$work/linux.txt") -ne ${#pictures[@]} ]]; then
  echo "signature-check: a picture did not read" >&2
  exit 1
fi
echo "signature-check: ${#pictures[@]} pictures, the same 27 values on Linux and Windows"
