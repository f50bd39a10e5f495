#!/usr/bin/env bash
# Renders the real window on a virtual display and saves it as
# doc/screenshot.png: a demo picture pasted from the clipboard as picture
# data (no file), its search result, the top row selected with the site's
# picture beside the query, and the colour swatches.
#   tools/screenshot.sh [options] [build-dir]      (default: build)
#     --scale F      QT_SCALE_FACTOR for the window (1, 1.5, 2...; default 1):
#                    a display scaled to F x 100 %; the virtual screen grows
#                    with it
#     --font-dpi N   QT_FONT_DPI for the window (default: Qt's, 96): a
#                    desktop whose text setting is N / 96 x 100 %
#     --maximised    the window made as large as the screen (there is no
#                    window manager to maximise it; this is what one does)
#     --screen WxH   the virtual screen's size in logical pixels (default
#                    1280x800, a small laptop's)
#     --out FILE     where to save it (default doc/screenshot.png)
#     --picture N    the demo site's picture to paste, by number (default 35;
#                    7 has hard edges, to judge sharpness by)
# Needs Xvfb, xdotool, xclip and ImageMagick (tools/setup.sh installs them).
# The program runs from a scratch copy against a demo site of its own on a
# free port, so neither the build's program directory nor a demo site that
# is already running is touched.
set -euo pipefail
cd "$(dirname "$0")/.."
scale=1
font_dpi=""
maximised=0
screen=1280x800
out="doc/screenshot.png"
picture=35
dir=build
while [[ $# -gt 0 ]]; do
  case "$1" in
    --scale) scale="$2"; shift 2 ;;
    --font-dpi) font_dpi="$2"; shift 2 ;;
    --maximised|--maximized) maximised=1; shift ;;
    --screen) screen="$2"; shift 2 ;;
    --out) out="$2"; shift 2 ;;
    --picture) picture="$2"; shift 2 ;;
    -h|--help) sed -n '2,/^set -euo/p' "$0" | sed '$d'; exit 0 ;;
    -*) echo "screenshot: unknown option $1" >&2; exit 2 ;;
    *) dir="$1"; shift ;;
  esac
done
[[ "$scale" =~ ^[0-9]+(\.[0-9]+)?$ ]] || { echo "screenshot: --scale takes a number, not $scale" >&2; exit 2; }
[[ -z "$font_dpi" || "$font_dpi" =~ ^[0-9]+$ ]] || { echo "screenshot: --font-dpi takes a number, not $font_dpi" >&2; exit 2; }
[[ "$picture" =~ ^[0-9]+$ ]] || { echo "screenshot: --picture takes a number, not $picture" >&2; exit 2; }
[[ "$screen" =~ ^[0-9]+x[0-9]+$ ]] || { echo "screenshot: --screen takes WxH, not $screen" >&2; exit 2; }
# Logical pixels to the virtual screen's device pixels.
device() { awk -v v="$1" -v s="$scale" 'BEGIN { printf "%d", v * s + 0.5 }'; }
screen_width="$(device "${screen%x*}")"
screen_height="$(device "${screen#*x}")"
display_number="${TINTWISE_SCREENSHOT_DISPLAY:-99}"

if [[ ! -x "$dir/bin/tintwise" || ! -x "$dir/bin/tintwise-demosite" ]]; then
  tools/build.sh "$dir"
fi
for tool in Xvfb xdotool xclip import convert curl; do
  command -v "$tool" >/dev/null || { echo "screenshot: $tool is missing (tools/setup.sh installs it)" >&2; exit 1; }
done
if [[ -e "/tmp/.X${display_number}-lock" ]]; then
  echo "screenshot: display :$display_number is in use; set TINTWISE_SCREENSHOT_DISPLAY to a free one" >&2
  exit 1
fi

scratch="$(mktemp -d)"
xvfb_pid=""
site_pid=""
clip_pid=""
app_pid=""
cleanup() {
  for pid in "$app_pid" "$clip_pid" "$site_pid" "$xvfb_pid"; do
    [[ -n "$pid" ]] && kill "$pid" 2>/dev/null || true
  done
  rm -rf "$scratch"
}
trap cleanup EXIT

port=""
for candidate in $(seq 18642 18700); do
  if ! (exec 3<>"/dev/tcp/127.0.0.1/$candidate") 2>/dev/null; then
    port=$candidate
    break
  fi
done
[[ -n "$port" ]] || { echo "screenshot: no free port for the demo site" >&2; exit 1; }
host="127.0.0.1:$port"
"$dir/bin/tintwise-demosite" --port "$port" >"$scratch/demosite.log" 2>&1 &
site_pid=$!
# The site builds its cache by crawling itself after it starts; the request
# waits until that is done.
for _ in $(seq 50); do
  (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
  sleep 0.1
done
curl -sSf --max-time 300 -o "$scratch/cache.db" "http://$host/mofu/cache.db"

Xvfb ":$display_number" -screen 0 "${screen_width}x${screen_height}x24" -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=":$display_number"
for _ in $(seq 50); do
  xdotool getmouselocation >/dev/null 2>&1 && break
  sleep 0.1
done

# A demo picture that is on the site, so it comes first; offered on the
# clipboard as PNG data, as an image editor or a browser's "copy image" does.
"$dir/bin/tintwise-demosite" --export-images "$scratch/images" >/dev/null
image="$(cd "$scratch/images" && ls "$(printf %04d "$((10#$picture))")".* 2>/dev/null | head -1 || true)"
[[ -n "$image" ]] || { echo "screenshot: the demo site has no picture $picture" >&2; exit 2; }
convert "$scratch/images/$image[0]" "$scratch/clip.png"
xclip -quiet -selection clipboard -t image/png -i "$scratch/clip.png" &
clip_pid=$!

cp "$dir/bin/tintwise" "$scratch/tintwise"
env QT_SCALE_FACTOR="$scale" QT_ENABLE_HIGHDPI_SCALING=1 ${font_dpi:+QT_FONT_DPI=$font_dpi} \
  "$scratch/tintwise" --site-host "$host" --cache-host "$host" >"$scratch/tintwise.out" 2>&1 &
app_pid=$!

window=""
for _ in $(seq 100); do
  window="$(xdotool search --name 'Ver 0.07' 2>/dev/null | head -1 || true)"
  [[ -n "$window" ]] && break
  sleep 0.1
done
if [[ -z "$window" ]]; then
  echo "screenshot: the window did not appear; see $scratch/tintwise.out" >&2
  cat "$scratch/tintwise.out" >&2
  exit 1
fi
sleep 2  # cache loading
if [[ "$maximised" == 1 ]]; then
  xdotool windowmove --sync "$window" 0 0
  xdotool windowsize --sync "$window" "$screen_width" "$screen_height"
  sleep 1
fi
eval "$(xdotool getwindowgeometry --shell "$window")"

# No window manager: the window is given the keyboard directly. Ctrl+V pastes.
xdotool mousemove $((X + WIDTH - 100)) $((Y + 100))
xdotool windowfocus --sync "$window"
sleep 0.5
xdotool key ctrl+v
sleep 3  # the search
# The top row: the list starts near the window's top left, under its header;
# both grow with the text (at 96 dpi the row's middle is 40 logical pixels
# down), and all of it with the scale.
row_middle="$(awk -v d="${font_dpi:-96}" 'BEGIN { printf "%d", 12 + 28 * d / 96 + 0.5 }')"
xdotool mousemove $((X + $(device 80))) $((Y + $(device "$row_middle"))) click 1
sleep 3  # the site's page and picture

mkdir -p "$(dirname "$out")"
import -window root "$scratch/root.png"
# No time stamps in the file, so an unchanged window gives an unchanged file.
convert "$scratch/root.png" -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage -strip \
  -define png:exclude-chunks=date,time "$out"
echo "Saved $out (${WIDTH}x${HEIGHT} at scale $scale$([[ $maximised == 1 ]] && echo ', maximised'), pasted demo image $image, top row selected)"
