#!/usr/bin/env bash
# Per-frame cost of grabbing and writing whole-screen frames at 1280x720 and 1920x1080: the recorder's
# CaptureFrame + WriteFrame on our writer, a bare BitBlt + GetDIBits + AVIStreamWrite loop on the platform
# writer, each writer alone on the same frames, and ffmpeg's x11grab writing rawvideo AVI. One run.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
source "$ROOT/tools/wine-env.sh"
export WINEPREFIX=$BUILD_DIR/wineprefix-bench
FRAMES=${FRAMES:-60}

LC_ALL=C cmake -S "$ROOT" -B "$BUILD_DIR/win" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake" >/dev/null
LC_ALL=C cmake --build "$BUILD_DIR/win" -j "$(nproc)" --target bench_grab >/dev/null
BENCH=$BUILD_DIR/win/tools/bench/bench_grab.exe
OUT=$(mktemp -d)

xvfb_pid=""
cleanup() {
    set +e
    wineserver -k >/dev/null 2>&1
    [[ -n $xvfb_pid ]] && kill "$xvfb_pid" >/dev/null 2>&1 && wait "$xvfb_pid" 2>/dev/null
    xvfb_pid=""
    rm -f "$OUT"/*.avi
}
trap 'cleanup; rm -rf "$OUT"' EXIT

for size in 1280x720 1920x1080; do
    start_private_display "$size"
    xvfb_pid=$XVFB_PID
    prepare_wineprefix
    echo "== $size"
    wine "$BENCH" "$FRAMES" "Z:${OUT//\//\\}\\" 2>/dev/null | tr -d '\r'
    # ffmpeg's own grabber on the same display, as far as it goes in the same number of frames.
    t0=$(date +%s.%N)
    cpu=$( { /usr/bin/time -f "%U %S" ffmpeg -v error -y -f x11grab -framerate 1000 -video_size "$size" \
        -i "$DISPLAY" -frames:v "$FRAMES" -c:v rawvideo -pix_fmt bgra "$OUT/x11grab.avi" ; } 2>&1 | tail -1)
    t1=$(date +%s.%N)
    awk -v t0="$t0" -v t1="$t1" -v cpu="$cpu" -v n="$FRAMES" 'BEGIN { split(cpu, c, " ");
        printf "%-44s %8.2f ms wall %8.2f ms cpu\n", "ffmpeg x11grab to rawvideo AVI", (t1 - t0) * 1000 / n,
        (c[1] + c[2]) * 1000 / n }'
    cleanup
done
