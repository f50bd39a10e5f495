# Sourced by the Windows build scripts: installs the Debian packages they need
# that are missing (one apt-get run; the lists are refreshed only then).
tintwise_require_packages() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$' ||
      missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages (run as root to install them): ${missing[*]}" >&2
    return 1
  fi
  apt-get -o DPkg::Lock::Timeout=300 -qq update
  DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=300 -qq install -y \
    --no-install-recommends "${missing[@]}" >/dev/null
}
