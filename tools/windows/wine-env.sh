# Sourced by scripts and CI before running the Windows build's programs:
# a private Wine prefix under the build directory (made once, ~7 s), quiet
# Wine, and no Mono or Gecko installer prompts. A display is not set here:
# programs with a window run under xvfb-run.
#   TINTWISE_WINDOWS_BUILD_DIR  the build directory (default: build-windows
#                               in the project root)
#   TINTWISE_WINE_PREFIX        another prefix than the build's "wine" (a
#                               program with a window takes one of its own:
#                               a prefix's Wine server and desktop belong to
#                               the display of the program that started them)
tintwise_windows_build_dir=${TINTWISE_WINDOWS_BUILD_DIR:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/build-windows}
export WINEPREFIX="${TINTWISE_WINE_PREFIX:-$tintwise_windows_build_dir/wine}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -e "$WINEPREFIX/.tintwise-ready" ]; then
  mkdir -p "$tintwise_windows_build_dir"
  # Test programs may start in parallel: one of them makes the prefix.
  (
    flock 9
    if [ ! -e "$WINEPREFIX/.tintwise-ready" ]; then
      wineboot -i >/dev/null 2>&1 && wineserver -w && touch "$WINEPREFIX/.tintwise-ready"
    fi
  ) 9>"$WINEPREFIX.lock" || {
    echo "wine-env.sh: could not make the Wine prefix $WINEPREFIX" >&2
    unset tintwise_windows_build_dir
    return 1
  }
fi
unset tintwise_windows_build_dir
