#!/usr/bin/env bash
# Renders the real window on a virtual display and saves it as
# doc/screenshot.png: a demo picture pasted from the clipboard as picture
# data (no file), its search result, the top row selected with the site's
# picture beside the query, and the colour swatches.
#   tools/screenshot.sh [build-dir]      (default: build)
# Needs Xvfb, xdotool, xclip and ImageMagick (tools/setup.sh installs them).
# The program runs from a scratch copy against a demo site of its own on a
# free port, so neither the build's program directory nor a demo site that
# is already running is touched.
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${1:-build}"
display_number="${TINTWISE_SCREENSHOT_DISPLAY:-99}"
out="doc/screenshot.png"

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

Xvfb ":$display_number" -screen 0 1024x600x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=":$display_number"
for _ in $(seq 50); do
  xdotool getmouselocation >/dev/null 2>&1 && break
  sleep 0.1
done

# A demo picture that is on the site, so it comes first; offered on the
# clipboard as PNG data, as an image editor or a browser's "copy image" does.
"$dir/bin/tintwise-demosite" --export-images "$scratch/images" >/dev/null
image="$(cd "$scratch/images" && ls 0035.* | head -1)"
convert "$scratch/images/$image[0]" "$scratch/clip.png"
xclip -quiet -selection clipboard -t image/png -i "$scratch/clip.png" &
clip_pid=$!

cp "$dir/bin/tintwise" "$scratch/tintwise"
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
eval "$(xdotool getwindowgeometry --shell "$window")"

# No window manager: the window is given the keyboard directly. Ctrl+V pastes.
xdotool mousemove $((X + WIDTH - 100)) $((Y + 100))
xdotool windowfocus --sync "$window"
sleep 0.5
xdotool key ctrl+v
sleep 3  # the search
# The top row: the list starts at the window's top left, under its header.
xdotool mousemove $((X + 80)) $((Y + 40)) click 1
sleep 3  # the site's page and picture

mkdir -p doc
import -window root "$scratch/root.png"
# No time stamps in the file, so an unchanged window gives an unchanged file.
convert "$scratch/root.png" -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage -strip \
  -define png:exclude-chunks=date,time "$out"
echo "Saved $out (${WIDTH}x${HEIGHT}, pasted demo image $image, top row selected)"
