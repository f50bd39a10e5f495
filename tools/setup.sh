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
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
