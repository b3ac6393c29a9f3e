#!/usr/bin/env bash
# Makes docs/recorder-window.png, the README's picture: the real Mirvox.exe under Wine on a private
# Xvfb (prefix of its own, Japanese locale), its window grabbed with ffmpeg's x11grab.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
MIRVOX_WINEPREFIX=${MIRVOX_WINEPREFIX:-$ROOT/build/screenshot-prefix}
source "$ROOT/tools/wine-env.sh"
out=${1:-$ROOT/docs/recorder-window.png}

"$ROOT/tools/install-deps.sh"
command -v xwininfo >/dev/null || { sudo=""; [[ $(id -u) -ne 0 ]] && sudo=sudo
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends x11-utils >/dev/null; }
LC_ALL=C cmake -S "$ROOT" -B "$BUILD_DIR/win" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake" >/dev/null
LC_ALL=C cmake --build "$BUILD_DIR/win" -j "$(nproc)" --target Mirvox >/dev/null

XVFB_PID="" mirvox_pid=""
cleanup() {
    set +e
    WINEPREFIX=$WINEPREFIX wineserver -k >/dev/null 2>&1
    [[ -n $mirvox_pid ]] && wait "$mirvox_pid" 2>/dev/null
    [[ -n $XVFB_PID ]] && kill "$XVFB_PID" && wait "$XVFB_PID" 2>/dev/null
}
trap cleanup EXIT
start_private_display 1280x720
prepare_wineprefix

(cd "$BUILD_DIR/win" && exec wine ./Mirvox.exe >/dev/null 2>&1) &
mirvox_pid=$!
# The dialog's X window carries its title; wait for it (bounded) and for its first paint.
geometry=""
for _ in $(seq 1 100); do
    id=$(xwininfo -root -tree 2>/dev/null | awk '/"Mirvox": \(/ && $0 !~ / 1x1\+/ {print $1; exit}')
    if [[ -n $id ]]; then
        geometry=$(xwininfo -id "$id" | awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
                   /Width:/ {w=$NF} /Height:/ {h=$NF} END {if (w > 100) print w "x" h "+" x "+" y}')
        [[ -n $geometry ]] && break
    fi
    sleep 0.2
done
[[ -n $geometry ]] || { echo "screenshot.sh: the recorder window did not appear" >&2; exit 1; }
sleep 1 # the animation and the controls finish their first paint
size=${geometry%%+*} offset=${geometry#*+}
ffmpeg -v error -y -f x11grab -video_size "$size" -i "$DISPLAY+${offset/+/,}" -frames:v 1 "$out"
echo "screenshot.sh: wrote $out ($size)"
