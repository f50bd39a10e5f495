#!/bin/bash
# Checks the Windows packages that package.sh made, under Wine, in a fresh
# private prefix of their own (so that the suite's prefix stays untouched and
# "nothing left" compares with a clean start):
#   - the installer installs silently, per user, without administrator;
#     its files, marker, uninstall entry (and, with the window, Start-menu
#     entry and "Open with" keys) are there;
#   - the installed tintwise-cli.exe keeps its files in %LOCALAPPDATA%\Tintwise
#     and searches the cache there;
#   - the portable zip, unpacked into a writable folder, keeps them beside it;
#   - the uninstaller removes every file and key it added, keeps the user's
#     %LOCALAPPDATA%\Tintwise and other programs' associations.
#   TINTWISE_WINDOWS_BUILD_DIR  the build directory (default: build-windows)
set -euo pipefail
trap 'echo "package-test.sh: stopped by a failing command at line $LINENO" >&2' ERR
cd "$(dirname "${BASH_SOURCE[0]}")/../.."
root=$PWD
build=$(cd "${TINTWISE_WINDOWS_BUILD_DIR:-build-windows}" && pwd)
started=$SECONDS

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$build/CMakeCache.txt")
name=Tintwise-$version-win64
setup=$build/$name-setup.exe
zip=$build/$name.zip
for file in "$setup" "$zip"; do
  [ -f "$file" ] || { echo "package-test.sh: $file is missing (run tools/windows/build.sh)" >&2; exit 1; }
done

work=$build/package-test
rm -rf "$work"
mkdir -p "$work"
TINTWISE_WINDOWS_BUILD_DIR=$work source "$root/tools/windows/wine-env.sh"
# No Linux menu entries from the Start-menu shortcut.
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d"

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
pass() { echo "ok:   $*"; }
check() {  # check DESCRIPTION COMMAND...
  local what=$1
  shift
  if "$@" >/dev/null 2>&1; then pass "$what"; else fail "$what"; fi
}
absent() {  # absent DESCRIPTION COMMAND...: the command fails
  local what=$1
  shift
  if "$@" >/dev/null 2>&1; then fail "$what"; else pass "$what"; fi
}
# Runs a Windows program; standard output without CRs.
win() { wine "$@" 2>>"$work/wine.log" | tr -d '\r'; }
key_exists() { wine reg query "$1" >/dev/null 2>&1; }
value_of() { wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$2 *REG_[A-Z_]* *//p"; }

# A path on C: as the Linux side sees it.
unix_path() {
  local below_c=${1#[Cc]:\\}
  echo "$WINEPREFIX/drive_c/${below_c//\\//}"
}
local_win=$(win cmd /c echo '%LOCALAPPDATA%')
local_unix=$(unix_path "$local_win")
data_win="$local_win\\Tintwise"
data_unix=$local_unix/Tintwise
install_win="$local_win\\Programs\\Tintwise"
install_unix=$local_unix/Programs/Tintwise
classes='HKCU\Software\Classes'
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tintwise'
types=(.jpg .jpeg .png .gif .bmp .webp)
with_window=0
python3 -c 'import sys, zipfile; sys.exit(0 if any(n.endswith("/tintwise.exe") for n in zipfile.ZipFile(sys.argv[1]).namelist()) else 1)' "$zip" &&
  with_window=1

# The user chose a default for .png and another program is offered for it:
# both must outlive the uninstaller.
wine reg add "$classes\\.png" /ve /d pngfile /f >/dev/null 2>&1
wine reg add "$classes\\.png\\OpenWithList\\other.exe" /f >/dev/null 2>&1

# What is there before: files of the profile (Temp aside) and the keys
# this installer writes below.
snapshot() {
  (cd "$WINEPREFIX/drive_c" && find users -path '*/Temp' -prune -o -print | grep -v "^${data_unix#"$WINEPREFIX/drive_c/"}" | sort) || true
  for key in "$classes" "$uninstall_key" 'HKCU\Software\Tintwise'; do
    wine reg query "$key" /s 2>/dev/null | tr -d '\r' || true
  done
}
snapshot >"$work/before.txt"

# The installer asks for no administrator.
check "the installer runs as the invoking user" grep -aq 'level="asInvoker"' "$setup"

t0=$SECONDS
wine "$setup" /S 2>>"$work/wine.log"
wineserver -w
echo "installed in $((SECONDS - t0)) s"

for file in tintwise-cli.exe README.txt COPYRIGHT.txt LIBRARIES.txt installed.txt uninstall.exe; do
  check "installed $file" test -s "$install_unix/$file"
done
check "README.txt has CR LF line ends" grep -q $'\r$' "$install_unix/README.txt"
check "uninstall entry: version $version" test "$(value_of "$uninstall_key" DisplayVersion)" = "$version"
check "uninstall entry: the uninstaller" test "$(value_of "$uninstall_key" UninstallString)" = "\"$install_win\\uninstall.exe\""
shortcut="$(unix_path "$(win cmd /c echo '%APPDATA%')")/Microsoft/Windows/Start Menu/Programs/Tintwise.lnk"
if [ "$with_window" = 1 ]; then
  check "installed tintwise.exe" test -s "$install_unix/tintwise.exe"
  check "Start-menu entry" test -s "$shortcut"
  check "Open with: the application" key_exists "$classes\\Applications\\tintwise.exe\\shell\\open\\command"
  check "Open with: the program's type" key_exists "$classes\\Tintwise.Picture\\shell\\open\\command"
  for type in "${types[@]}"; do
    check "Open with: $type list" key_exists "$classes\\$type\\OpenWithList\\tintwise.exe"
    check "Open with: $type type" wine reg query "$classes\\$type\\OpenWithProgids" /v Tintwise.Picture
    check "Open with: $type supported" wine reg query "$classes\\Applications\\tintwise.exe\\SupportedTypes" /v "$type"
  done
else
  absent "no Start-menu entry without the window" test -e "$shortcut"
  absent "no Open with without the window" key_exists "$classes\\Applications\\tintwise.exe"
fi

# The installed copy: its files in %LOCALAPPDATA%\Tintwise.
cli="$install_win\\tintwise-cli.exe"
output=$(win "$cli" --version)
echo "$output" | sed 's/^/      /'
check "installed --version names the user's data directory" \
  grep -qxF "files: $data_win (the user's data directory)" <<<"$output"
check "installed --print-dir is %LOCALAPPDATA%\\Tintwise" test "$(win "$cli" --print-dir)" = "$data_win"
# A real run leaves the user's log there, which the uninstaller must keep.
python3 - "$work/drive-c-picture.bmp" <<'EOF'
import struct, sys
w, h = 4, 4
row = bytes([0, 128, 255] * w)
pixels = row * h
header = b"BM" + struct.pack("<IHHI", 54 + len(pixels), 0, 0, 54)
info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
open(sys.argv[1], "wb").write(header + info + pixels)
EOF
cp "$work/drive-c-picture.bmp" "$WINEPREFIX/drive_c/picture.bmp"
signature=$(win "$cli" signature 'C:\picture.bmp')
check "installed signature of a picture" grep -q 'picture.bmp' <<<"$signature"
# A cache in the user's data directory, as an update would leave it: the
# picture's own signature under id 42 and a far one; the installed copy
# searches it and ranks 42 first at difference 0.
python3 - "$data_unix/cache.db" "${signature%%$'\t'*}" <<'EOF2'
import sqlite3, sys
path, values = sys.argv[1], [int(v) for v in sys.argv[2].rstrip(",").split(",")]
assert len(values) == 27, values
db = sqlite3.connect(path)
columns = ", ".join("c%d" % i for i in range(27))
db.execute("create table TintwiseCache(id, title, name, good, bad, adult, %s, image_file_name)" % columns)
for row_id, row in ((42, values), (7, [255 - v for v in values])):
    db.execute("insert into TintwiseCache values(?, ?, 'poster', 0, 0, 0, %s, 'f')" % ", ".join("?" * 27),
               [row_id, "row%d" % row_id] + row)
db.commit()
db.close()
EOF2
search=$(win "$cli" search 'C:\picture.bmp')
echo "$search" | sed 's/^/      /'
check "the installed copy searches the cache in %LOCALAPPDATA%\\Tintwise" \
  test "$(head -n 1 <<<"$search")" = $'0000\t42\trow42\tposter'
check "and lists every row" test "$(wc -l <<<"$search")" = 2
check "the installed copy wrote its log to %LOCALAPPDATA%\\Tintwise" test -f "$data_unix/log.txt"
absent "the installed copy wrote nothing beside itself" test -e "$install_unix/log.txt"

# The portable copy: unpacked into a writable folder, its files beside it.
python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' "$zip" "$WINEPREFIX/drive_c/portable"
portable_win="C:\\portable\\$name"
output=$(win "$portable_win\\tintwise-cli.exe" --version)
echo "$output" | sed 's/^/      /'
check "portable --version: beside the program" grep -qxF "files: $portable_win (beside the program)" <<<"$output"
check "portable --print-dir is its own folder" test "$(win "$portable_win\\tintwise-cli.exe" --print-dir)" = "$portable_win"
check "portable signature of a picture" grep -q 'picture.bmp' <<<"$(win "$portable_win\\tintwise-cli.exe" signature 'C:\picture.bmp')"
check "the portable copy wrote its log beside itself" test -f "$WINEPREFIX/drive_c/portable/$name/log.txt"
check "portable texts have CR LF line ends" grep -q $'\r$' "$WINEPREFIX/drive_c/portable/$name/COPYRIGHT.txt"
rm -rf "$WINEPREFIX/drive_c/portable" "$WINEPREFIX/drive_c/picture.bmp"

t0=$SECONDS
wine "$install_win\\uninstall.exe" /S 2>>"$work/wine.log"
wineserver -w
echo "uninstalled in $((SECONDS - t0)) s"

absent "the installation folder is gone" test -e "$install_unix"
absent "the uninstall entry is gone" key_exists "$uninstall_key"
absent "no Start-menu entry is left" test -e "$shortcut"
snapshot >"$work/after.txt"
if diff -u "$work/before.txt" "$work/after.txt" >"$work/left.diff"; then
  pass "nothing of the installation is left (files, keys)"
else
  fail "left after uninstalling (see $work/left.diff):"
  sed 's/^/      /' "$work/left.diff" >&2
fi
check "the user's %LOCALAPPDATA%\\Tintwise stays" test -f "$data_unix/log.txt"
check "the user's default for .png stays" grep -q 'REG_SZ *pngfile' <<<"$(wine reg query "$classes\\.png" /ve 2>/dev/null)"
check "another program's Open with entry stays" key_exists "$classes\\.png\\OpenWithList\\other.exe"

if [ "$failures" -ne 0 ]; then
  echo "Windows package test: $failures failed after $((SECONDS - started)) s" >&2
  exit 1
fi
echo "Windows package test: passed in $((SECONDS - started)) s"
