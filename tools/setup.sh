#!/usr/bin/env bash
# Installs the Debian packages the project needs, if any are missing.
# Quiet and quick when everything is present. Pass --ci to skip the packages
# only the real window and screenshots need.
set -euo pipefail

packages=(build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-translations-l10n
  libcurl4-openssl-dev libjpeg62-turbo-dev libpng-dev libgif-dev libwebp-dev libsqlite3-dev
  libcpp-httplib-dev libssl-dev libgtest-dev libbenchmark-dev sqlite3
  time
  fonts-ipafont-gothic xdg-utils)
# --- Desktop integration and the Debian package (install rules, tools/package-check.sh) ---
# Needed by the build (icons' SVG, manual pages) and by CI's package check, so
# ./test.sh's set-up installs them too.
packages+=(qt6-svg-dev scdoc dpkg-dev lintian desktop-file-utils appstream bash-completion)
# --- end of the desktop integration block ---
if [[ "${1:-}" != "--ci" ]]; then
  packages+=(xvfb xauth xdotool imagemagick xclip)
fi
if [[ "${TINTWISE_FUZZ:-}" == 1 ]]; then
  packages+=(clang libclang-rt-dev)
fi

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$package")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[[ $(id -u) -eq 0 ]] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive

# Another package manager (an automatic update in the background) may hold
# the package locks: wait for it, saying so, rather than fail at once.
lock_wait_seconds=${TINTWISE_LOCK_WAIT:-300}
locks=(/var/lib/dpkg/lock-frontend /var/lib/dpkg/lock /var/lib/apt/lists/lock /var/cache/apt/archives/lock)

# Prints the processes holding a package lock; nothing when none does.
lock_holders() {
  local pids
  pids=$($sudo fuser "${locks[@]}" 2>/dev/null | tr -s ' ' '\n' | grep -E '^[0-9]+$' | sort -u || true)
  for pid in $pids; do
    printf '%s (%s) ' "$pid" "$(cat "/proc/$pid/comm" 2>/dev/null || echo '?')"
  done
}

wait_for_package_locks() {
  command -v fuser >/dev/null || return 0  # apt-get's own timeout still waits
  local waited=0 holders
  holders=$(lock_holders)
  [[ -z "$holders" ]] && return 0
  echo "Another package manager holds the package lock: ${holders}"
  echo "Waiting up to ${lock_wait_seconds} s for it to finish (Ctrl-C stops)..."
  while [[ -n "$holders" && $waited -lt $lock_wait_seconds ]]; do
    sleep 5
    waited=$((waited + 5))
    holders=$(lock_holders)
  done
  if [[ -n "$holders" ]]; then
    echo "The package lock is still held by ${holders}after ${waited} s; try again when it has finished." >&2
    exit 1
  fi
  echo "The package lock is free again after ${waited} s."
}

apt_options=(-o "DPkg::Lock::Timeout=${lock_wait_seconds}")
wait_for_package_locks
$sudo apt-get "${apt_options[@]}" update -qq
wait_for_package_locks
$sudo apt-get "${apt_options[@]}" install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
