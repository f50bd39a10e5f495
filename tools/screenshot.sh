#!/usr/bin/env bash
# Renders the real window on a virtual display with a search result showing
# and saves it as doc/screenshot.png.
#   tools/screenshot.sh [build-dir]      (default: build)
# Needs Xvfb, xdotool and ImageMagick (tools/setup.sh installs them). The
# program runs from a scratch copy with the demo site's prebuilt cache, so
# nothing in the build's own program directory is touched.
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${1:-build}"
display_number="${TINTWISE_SCREENSHOT_DISPLAY:-99}"
out="doc/screenshot.png"

if [[ ! -x "$dir/bin/tintwise" || ! -x "$dir/bin/tintwise-demosite" ]]; then
  tools/build.sh "$dir"
fi
for tool in Xvfb xdotool import convert curl; do
  command -v "$tool" >/dev/null || { echo "screenshot: $tool is missing (tools/setup.sh installs it)" >&2; exit 1; }
done
if [[ -e "/tmp/.X${display_number}-lock" ]]; then
  echo "screenshot: display :$display_number is in use; set TINTWISE_SCREENSHOT_DISPLAY to a free one" >&2
  exit 1
fi

scratch="$(mktemp -d)"
xvfb_pid=""
app_pid=""
cleanup() {
  [[ -n "$app_pid" ]] && kill "$app_pid" 2>/dev/null || true
  [[ -n "$xvfb_pid" ]] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT

Xvfb ":$display_number" -screen 0 1024x600x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=":$display_number"
for _ in $(seq 50); do
  xdotool getmouselocation >/dev/null 2>&1 && break
  sleep 0.1
done

tools/start-demosite.sh "$dir"
# The site builds its cache by crawling itself after it starts; the request
# waits until that is done.
curl -sSf --max-time 300 -o "$scratch/cache.db" "http://127.0.0.1:8642/mofu/cache.db"

# A demo picture to search for: one that is on the site, so it comes first.
"$dir/bin/tintwise-demosite" --export-images "$scratch/images" >/dev/null
image="$(cd "$scratch/images" && ls 0035.* | head -1)"

cp "$dir/bin/tintwise" "$scratch/tintwise"
"$scratch/tintwise" "$scratch/images/$image" >"$scratch/tintwise.out" 2>&1 &
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
sleep 3  # cache loading and the search

eval "$(xdotool getwindowgeometry --shell "$window")"
mkdir -p doc
import -window root "$scratch/root.png"
# No time stamps in the file, so an unchanged window gives an unchanged file.
convert "$scratch/root.png" -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage -strip \
  -define png:exclude-chunks=date,time "$out"
echo "Saved $out (${WIDTH}x${HEIGHT}, searched for demo image $image)"
