#!/usr/bin/env bash
# Installs what is missing, builds, starts the demo site if needed, and starts Tintwise.
set -euo pipefail
cd "$(dirname "$0")"
tools/setup.sh
tools/build.sh build
if tools/start-demosite.sh build && [[ ! -f build/bin/cache.db ]]; then
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
  exit 1
fi
exec build/bin/tintwise
