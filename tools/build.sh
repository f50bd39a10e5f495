#!/usr/bin/env bash
# Configures and builds into build/ (or the directory given), with Ninja.
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${1:-build}"
shift || true
if [[ ! -f "$dir/build.ninja" ]]; then
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
fi
cmake --build "$dir" -- -j"$(nproc)" | grep -vE '^\[[0-9]+/[0-9]+\] ' || true
test "${PIPESTATUS[0]}" -eq 0
