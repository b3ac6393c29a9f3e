#!/usr/bin/env bash
# The one test command: installs what is missing, builds both builds, starts a private Xvfb and
# Wine prefix, runs every test through CTest and ends only what it started.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
source "$ROOT/tools/wine-env.sh"

"$ROOT/tools/install-deps.sh"

jobs=$(nproc)
LC_ALL=C cmake -S "$ROOT" -B "$BUILD_DIR/native" -DMIRVOX_NATIVE=ON >/dev/null
LC_ALL=C cmake --build "$BUILD_DIR/native" -j "$jobs" --target pure_tests
# The 32-bit build holds only the codec driver and the program that plays files through it.
LC_ALL=C cmake -S "$ROOT" -B "$BUILD_DIR/win32" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-i686.cmake" \
      -DMIRVOX_CODEC_ONLY=ON >/dev/null
LC_ALL=C cmake --build "$BUILD_DIR/win32" -j "$jobs"
reader32=$BUILD_DIR/win32/tests/helpers/vfw_reader_helper.exe
[[ -n ${MIRVOX_NO_32BIT:-} ]] && reader32=""
LC_ALL=C cmake -S "$ROOT" -B "$BUILD_DIR/win" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake" \
      -DMIRVOX_NATIVE_TEST_EXE="$BUILD_DIR/native/pure_tests" \
      -DMIRVOX_READER32_EXE="$reader32" -DWINE_EXECUTABLE="$(command -v wine)" >/dev/null
LC_ALL=C cmake --build "$BUILD_DIR/win" -j "$jobs"

XVFB_PID=""
cleanup() {
    set +e
    WINEPREFIX=$WINEPREFIX wineserver -k >/dev/null 2>&1
    [[ -n $XVFB_PID ]] && kill "$XVFB_PID" >/dev/null 2>&1 && wait "$XVFB_PID" 2>/dev/null
}
trap cleanup EXIT

start_private_display 1280x720

prepare_wineprefix
# A persistent server, and Wine's background services started here with no terminal: started from
# inside a test they would inherit CTest's output pipe and keep it open.
wineserver -p >/dev/null 2>&1
wine cmd /c exit >/dev/null 2>&1 </dev/null

# CTest's summary line is held back and printed last, after its timing, its failure list and the
# clean-up.
summary_file=$(mktemp)
set +e
ctest --test-dir "$BUILD_DIR/win" --output-on-failure "$@" 2>&1 | while IFS= read -r line; do
    if [[ $line =~ tests\ passed,.*tests\ failed\ out\ of ]]; then
        printf '%s\n' "$line" >"$summary_file"
    else
        printf '%s\n' "$line"
    fi
done
status=${PIPESTATUS[0]}
trap - EXIT
cleanup
cat "$summary_file"
rm -f "$summary_file"
exit "$status"
