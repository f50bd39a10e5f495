#!/usr/bin/env bash
# Installs what is missing, builds, starts the demo site if needed, and starts Tintwise.
# A demo site started here stops when the window closes; one that was already
# running is left alone.
set -euo pipefail
cd "$(dirname "$0")"
tools/setup.sh
tools/build.sh build

pid_file=$(mktemp)
stop_our_site() {
  local pid
  pid=$(cat "$pid_file" 2>/dev/null || true)
  rm -f "$pid_file"
  # Only the process we started, and only while it is still the demo site.
  if [[ -n "$pid" ]] && grep -qa tintwise-demosite "/proc/$pid/cmdline" 2>/dev/null; then
    kill "$pid" 2>/dev/null || true
  fi
}
trap stop_our_site EXIT

if tools/start-demosite.sh build "$pid_file" && [[ ! -f build/bin/cache.db ]]; then
  # A first start gets the demo site's cache, so a dropped demo image is found at once.
  build/bin/tintwise-cli update >/dev/null 2>&1 || true
fi
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  cat <<'MSG'
No display is available, so the window cannot be shown here.
To see it on a virtual display and take a screenshot:
  Xvfb :99 -screen 0 1024x600x24 -nolisten tcp &
  DISPLAY=:99 build/bin/tintwise &
  sleep 2; DISPLAY=:99 import -window root tintwise.png
Or use the command-line front end: build/bin/tintwise-cli --help
MSG
  # The window will be started by hand, and needs the demo site: keep it.
  if [[ -s "$pid_file" ]]; then
    echo "The demo site keeps running for that (stop it with: kill $(cat "$pid_file"))."
    rm -f "$pid_file"
  fi
  exit 1
fi
build/bin/tintwise
