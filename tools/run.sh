#!/usr/bin/env bash
# Builds Mirvox and starts it under Wine on your display, with the same locale and prefix
# conventions as the tests (a private prefix under build/).
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
source "$ROOT/tools/wine-env.sh"

if [[ -z ${DISPLAY:-} ]]; then
    echo "run.sh: no display (DISPLAY is not set). Start an X server or run: xvfb-run tools/run.sh" >&2
    exit 2
fi

"$ROOT/tools/install-deps.sh"
LC_ALL=C cmake -S "$ROOT" -B "$BUILD_DIR/win" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake" >/dev/null
LC_ALL=C cmake --build "$BUILD_DIR/win" -j "$(nproc)" --target Mirvox

prepare_wineprefix
# The read-me is looked up next to where the program runs.
cd "$BUILD_DIR/win"
exec wine ./Mirvox.exe
