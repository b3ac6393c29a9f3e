#!/usr/bin/env bash
# The overall benchmark; prints figures, asserts nothing.
#  1. Per-frame cost of whole-screen grabbing and writing uncompressed at 1280x720 and 1920x1080
#     (tools/bench-grab.sh): the recorder's CaptureFrame + WriteFrame against the bare GDI loop and
#     against ffmpeg -f x11grab writing raw AVI on the same display, as ratios from one run.
#  2. Ticks: recordings through the real recorder window (whole screen, caption on, full frames) at
#     4, 30 and 60 fps for 60 s at 1280x720; frames in the file (ffprobe) per second of wall time
#     against the requested rate, and the recorder's peak working set.
# --quick: 20 frames per grab case and 5 s recordings, for trying the script out.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
source "$ROOT/tools/wine-env.sh"
export WINEPREFIX=$BUILD_DIR/wineprefix-bench

seconds=60
frames=60
if [[ ${1:-} == --quick ]]; then
    seconds=5
    frames=20
fi

"$ROOT/tools/install-deps.sh"
LC_ALL=C cmake -S "$ROOT" -B "$BUILD_DIR/win" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake" >/dev/null
LC_ALL=C cmake --build "$BUILD_DIR/win" -j "$(nproc)" --target bench_grab bench_recorder >/dev/null

echo "== Per-frame cost, uncompressed, $frames frames (wall and processor time per frame)"
grab=$(FRAMES=$frames "$ROOT/tools/bench-grab.sh")
echo "$grab"
echo
echo "Ratios (wall time per frame):"
awk '
    /^== / { size = $2 }
    /^platform bare loop/ { bare[size] = $(NF - 9) }
    /^CaptureFrame \+ WriteFrame/ { rec[size] = $(NF - 9) }
    /^ffmpeg x11grab/ { ff[size] = $(NF - 5); order[++n] = size }
    END {
        printf "%-10s %14s %14s %14s %16s %18s\n", "size", "recorder ms", "GDI loop ms", "x11grab ms",
               "recorder/GDI", "recorder/x11grab"
        for (i = 1; i <= n; ++i) {
            s = order[i]
            printf "%-10s %14.2f %14.2f %14.2f %16.2f %18.2f\n", s, rec[s], bare[s], ff[s], rec[s] / bare[s],
                   rec[s] / ff[s]
        }
    }' <<<"$grab"

# --- Ticks through the recorder window ---
out=$(mktemp -d)
xvfb_pid=""
cleanup() {
    set +e
    wineserver -k >/dev/null 2>&1
    [[ -n $xvfb_pid ]] && kill "$xvfb_pid" >/dev/null 2>&1 && wait "$xvfb_pid" 2>/dev/null
    rm -rf "$out"
}
trap cleanup EXIT

start_private_display 1280x720
xvfb_pid=$XVFB_PID
prepare_wineprefix

echo
echo "== Ticks through the recorder window: 1280x720, whole screen, caption on, full frames, ${seconds} s"
printf '%-14s %10s %8s %14s %16s %20s\n' "requested fps" "wall s" frames "achieved fps" "achieved/req" \
    "peak working set MiB"
bench=$BUILD_DIR/win/tools/bench/bench_recorder.exe
for fps in 4 30 60; do
    read -r wall idle peak < <(wine "$bench" "$fps" "$seconds" "$(winepath -w "$out")\\" </dev/null 2>/dev/null |
        tr -d '\r')
    avi=$out/bench-recorder.avi
    count=$(ffprobe -v error -select_streams v:0 -count_packets -show_entries stream=nb_read_packets -of csv=p=0 \
        "$avi")
    rm -f "$avi"
    awk -v fps="$fps" -v wall="$wall" -v n="$count" -v idle="$idle" -v peak="$peak" 'BEGIN {
        printf "%-14d %10.2f %8d %14.2f %16.3f %13.1f (idle %.1f)\n", fps, wall, n, n / wall, n / wall / fps,
               peak / 1048576, idle / 1048576 }'
done
