#!/usr/bin/env bash
# Makes the Debian package and checks it without installing it system-wide:
# lintian, the file layout, the desktop entry and the AppStream metadata, then
# the unpacked programs themselves (dpkg-deb -x into a temporary root) with
# HOME and the XDG directories in a temporary directory: tintwise-cli
# --version, a search (and check, when the program has it) of a fixture
# picture against a fixture cache, the bash completion, and the window
# started offscreen long enough to load.
#
#   tools/package-check.sh [build dir]     (default build-package)
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${1:-build-package}"

fail() {
  echo "package-check: $*" >&2
  exit 1
}
step() { echo "package-check: $*"; }

deb=$(tools/make-package.sh "$dir")
version=$(sed -n 's/^project(Tintwise VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[[ -n "$version" ]] || fail "no version in CMakeLists.txt"
[[ "$(basename "$deb")" == "tintwise_${version}_amd64.deb" ]] || fail "unexpected package name $deb"
step "made $deb"

# The control data: the version, library dependencies found by dpkg-shlibdeps,
# a synopsis and an extended description.
[[ "$(dpkg-deb -f "$deb" Version)" == "$version" ]] || fail "package version is not $version"
depends=$(dpkg-deb -f "$deb" Depends)
for library in libqt6widgets6 libsqlite3-0 libcurl4 libwebp7 libc6; do
  [[ "$depends" == *"$library"* ]] || fail "Depends lacks $library: $depends"
done
[[ $(dpkg-deb -f "$deb" Description | wc -l) -ge 5 ]] || fail "the description has no extended part"

step "lintian"
# Errors fail the check; warnings are shown (root also gets a note about itself).
status=0
report=$(lintian --fail-on error "$deb" 2>&1) || status=$?
[[ -z "$report" ]] || sed 's/^/  /' <<<"$report"
[[ $status -eq 0 ]] || fail "lintian found errors"

work=$(mktemp -d)
window_pid=""
cleanup() {
  [[ -z "$window_pid" ]] || kill "$window_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
root="$work/root"
dpkg-deb -x "$deb" "$root"

step "file layout"
expected=(usr/bin/tintwise usr/bin/tintwise-cli usr/libexec/tintwise/tintwise-demosite
  usr/share/applications/tintwise.desktop
  usr/share/icons/hicolor/scalable/apps/tintwise.svg
  usr/share/man/man1/tintwise.1.gz usr/share/man/man1/tintwise-cli.1.gz
  usr/share/bash-completion/completions/tintwise-cli
  usr/share/doc/tintwise/copyright usr/share/doc/tintwise/changelog.gz)
for size in 16 22 24 32 48 64 128 256; do
  expected+=("usr/share/icons/hicolor/${size}x${size}/apps/tintwise.png")
done
for file in "${expected[@]}"; do
  [[ -s "$root/$file" ]] || fail "missing from the package: /$file"
done
for size in 16 22 24 32 48 64 128 256; do
  png="$root/usr/share/icons/hicolor/${size}x${size}/apps/tintwise.png"
  # The PNG header's width and height (IHDR, bytes 16-23, big-endian).
  read -r w1 w2 w3 w4 h1 h2 h3 h4 < <(od -An -tu1 -j16 -N8 "$png")
  [[ $(((w1 << 24) | (w2 << 16) | (w3 << 8) | w4)) -eq $size && $(((h1 << 24) | (h2 << 16) | (h3 << 8) | h4)) -eq $size ]] ||
    fail "$png is not ${size}x${size}"
done
grep -q "<svg" "$root/usr/share/icons/hicolor/scalable/apps/tintwise.svg" || fail "the scalable icon is not SVG"
for page in tintwise tintwise-cli; do
  zcat "$root/usr/share/man/man1/$page.1.gz" | grep -q "^\.TH \"$page\" \"1\"" || fail "manual page $page(1) has no header"
done

step "desktop entry and AppStream metadata"
desktop="$root/usr/share/applications/tintwise.desktop"
desktop-file-validate "$desktop" | grep -v ': hint: ' || true
desktop-file-validate "$desktop" >/dev/null || fail "desktop-file-validate found errors"
grep -qx 'Exec=tintwise %f' "$desktop" || fail "the desktop entry does not pass a file"
grep -qx 'MimeType=image/jpeg;image/png;image/gif;image/bmp;image/webp;' "$desktop" || fail "MimeType list"
metainfo=$(ls "$root"/usr/share/metainfo/*.metainfo.xml)
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate failed"
grep -q "<release version=\"$version\"" "$metainfo" || fail "the metainfo release is not $version"

step "the unpacked programs, with HOME and XDG directories in $work/home"
export HOME="$work/home" XDG_DATA_HOME="$work/home/.local/share" XDG_CONFIG_HOME="$work/home/.config"
export XDG_CACHE_HOME="$work/home/.cache" XDG_RUNTIME_DIR="$work/runtime" XDG_DATA_DIRS="$root/usr/share"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
cli="$root/usr/bin/tintwise-cli"
data="$XDG_DATA_HOME/tintwise"

out=$("$cli" --version)
echo "$out" | sed 's/^/  /'
[[ "$(head -n1 <<<"$out")" == "tintwise-cli $version" ]] || fail "--version does not say $version"
[[ "$out" == *"files: $data (the user's data directory)"* ]] || fail "--version does not name $data"
[[ "$("$cli" --print-dir)" == "$data" && -d "$data" ]] || fail "--print-dir is not $data, or it was not made"

# The fixture: the demo site's pictures, and a cache of their signatures.
"$root/usr/libexec/tintwise/tintwise-demosite" --export-images "$work/pictures" >/dev/null
mapfile -t pictures < <(find "$work/pictures" -type f | sort)
[[ ${#pictures[@]} -ge 3 ]] || fail "the demo site exported too few pictures"
{
  echo -n "create table TintwiseCache(id, title, name, good, bad, adult"
  for i in $(seq 0 26); do echo -n ", c$i"; done
  echo ", image_file_name);"
  id=0
  "$cli" signature "${pictures[@]}" | while IFS=$'\t' read -r values path; do
    id=$((id + 1))
    echo "insert into TintwiseCache values($id, 'fixture $id', 'package-check', 0, 0, 0, ${values%,}, 'f$id');"
  done
} | sqlite3 "$data/cache.db"
query="${pictures[1]}"
out=$("$cli" search "$query" 2>/dev/null)
[[ "$(head -n1 <<<"$out")" == $'0000\t2\tfixture 2\tpackage-check' ]] || fail "search did not find the fixture first: $out"
step "search found the fixture picture first"
if "$cli" --help | grep -qE '^  check( |$)'; then
  out=$("$cli" check "$query" 2>/dev/null) || fail "check failed"
  IFS=$'\t' read -r verdict _ id _ <<<"$(head -n1 <<<"$out")"
  [[ "$verdict" == posted && "$id" == 2 ]] || fail "check did not call the fixture posted: $out"
  step "check called the fixture posted"
fi
[[ -f "$data/log.txt" ]] || fail "no log.txt in $data"

# The completion offers the commands the program lists in its --help.
completions=$(PATH="$root/usr/bin:$PATH" bash -c '
  source /usr/share/bash-completion/bash_completion
  source "$1"
  COMP_WORDS=(tintwise-cli ""); COMP_CWORD=1; COMP_LINE="tintwise-cli "; COMP_POINT=${#COMP_LINE}
  _tintwise_cli tintwise-cli "" tintwise-cli
  echo "${COMPREPLY[*]}"' _ "$root/usr/share/bash-completion/completions/tintwise-cli")
for command in search update generate signature; do
  [[ " $completions " == *" $command "* ]] || fail "the completion does not offer $command: $completions"
done

step "the window, offscreen"
rm "$data/log.txt"  # the window makes it again where it keeps its files
QT_QPA_PLATFORM=offscreen "$root/usr/bin/tintwise" "$query" >"$work/window.log" 2>&1 &
window_pid=$!
sleep 5
kill -0 "$window_pid" 2>/dev/null || fail "the window ended early: $(cat "$work/window.log")"
kill "$window_pid"
wait "$window_pid" 2>/dev/null || true
window_pid=""
# It wrote into the user data directory, never beside itself.
[[ -z "$(find "$root/usr/bin" -type f ! -name 'tintwise*')" ]] || fail "files written into the package's bin directory"
[[ -f "$data/log.txt" ]] || fail "the window did not open its log in $data"
step "all checks passed"
