#!/usr/bin/env bash
# Starts the demo site on its loopback port unless something already answers there,
# and writes its images once into <build dir>/demo-images, ready to drop on the window.
#
#   tools/start-demosite.sh [build dir] [pid file]
# When it starts the site and a pid file is named, the site's process id is
# written there (a site found running is not ours to stop, so nothing is written).
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${1:-build}"
pid_file="${2:-}"
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
site_pid=$!
for _ in $(seq 50); do
  if (exec 3<>/dev/tcp/127.0.0.1/$port) 2>/dev/null; then
    [[ -z "$pid_file" ]] || echo "$site_pid" >"$pid_file"
    exit 0
  fi
  kill -0 "$site_pid" 2>/dev/null || break
  sleep 0.1
done
kill "$site_pid" 2>/dev/null || true
echo "The demo site did not start; see $dir/demosite.log" >&2
exit 1
