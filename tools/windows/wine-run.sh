#!/bin/bash
# Runs a Windows program under Wine with the build's private prefix: the
# emulator CMake and ctest use for the cross build's programs.
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh" || exit 1
exec wine "$@"
