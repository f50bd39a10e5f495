#!/usr/bin/env bash
# Starts the demo site on its loopback port unless something already answers there,
# and writes its images once into <build dir>/demo-images, ready to drop on the window.
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${1:-build}"
port=8642
site="$dir/bin/tintwise-demosite"
if [[ ! -x "$site" ]]; then
  exit 0
fi
if [[ ! -d "$dir/demo-images" ]]; then
  "$site" --export-images "$dir/demo-images" >/dev/null
fi
echo "Demo images to drop on the window: $dir/demo-images"
if (exec 3<>/dev/tcp/127.0.0.1/$port) 2>/dev/null; then
  exit 0
fi
nohup "$site" --port "$port" >"$dir/demosite.log" 2>&1 &
for _ in $(seq 50); do
  (exec 3<>/dev/tcp/127.0.0.1/$port) 2>/dev/null && exit 0
  sleep 0.1
done
echo "The demo site did not start; see $dir/demosite.log" >&2
exit 1
