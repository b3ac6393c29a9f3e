#!/usr/bin/env bash
# Benchmark of Mirvox's screen codec against ffmpeg's ZMBV encoder and uncompressed frames, on three
# reproducible 1280x720 scenes grabbed from a private Xvfb display: a still desktop, typing into a
# terminal, and a terminal scrolling without pause. Both encoders get the same frames and the same
# key-frame interval (10 s of video at 4 fps). Prints bytes and processor milliseconds per frame.
# BENCH_KEEP=folder keeps the grabbed scenes there (raw bgr0, 1280x720).
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
W=1280 H=720 FPS=4 FRAMES=${BENCH_FRAMES:-40}
KEY=$((10 * FPS))

packages=(xvfb xterm xdotool ffmpeg g++ zlib1g-dev fonts-dejavu-core python3)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    SUDO=""
    [[ $(id -u) -ne 0 ]] && SUDO="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update -qq
    $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

work=$(mktemp -d)
xvfb_pid="" term_pid=""
cleanup() {
    set +e
    [[ -n $term_pid ]] && kill "$term_pid" 2>/dev/null && wait "$term_pid" 2>/dev/null
    [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    [[ -n ${BENCH_KEEP:-} ]] && cp "$work"/*.raw "$BENCH_KEEP"/ 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

g++ -O2 -std=c++20 -I"$ROOT" "$ROOT/tools/bench/zmbv_bench.cpp" "$ROOT/codec/zmbv_encoder.cpp" \
    "$ROOT/codec/zmbv_scroll.cpp" -lz -o "$work/zmbv_bench"

mkfifo "$work/display"
Xvfb -displayfd 3 -screen 0 ${W}x${H}x24 -br -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb_pid=$!
read -r -t 30 display_number <"$work/display"
export DISPLAY=":$display_number"

# The scenes' texts: this repository's own sources, so every run shows the same characters.
text_file="$ROOT/codec/zmbv_encoder.cpp"
still_script="cat '$ROOT/recorder/avi_capture.cpp' | head -45; exec sleep 1000"
typing_script="head -20 '$ROOT/recorder/avi_capture.cpp'; exec python3 -c '
import sys, time
for ch in open(sys.argv[1]).read():
    sys.stdout.write(ch); sys.stdout.flush(); time.sleep(0.1)
time.sleep(1000)' '$text_file'"
# Twelve lines a second: three lines (45 pixels) between frames, within reach of a motion vector.
scroll_script="exec python3 -c '
import sys, time
lines = open(sys.argv[1]).read().splitlines()
i = 0
while True:
    print(lines[i % len(lines)]); sys.stdout.flush(); i += 1; time.sleep(1 / 12)' '$text_file'"

grab_scene() { # name script
    xterm -geometry 150x44+16+16 -fa 'DejaVu Sans Mono' -fs 10 -bg '#1e1e2e' -fg '#d0d0d0' \
        -e sh -c "$2" &
    term_pid=$!
    xdotool search --sync --onlyvisible --pid "$term_pid" >/dev/null
    sleep 1 # the terminal's first screenful settles
    ffmpeg -v error -y -f x11grab -framerate $FPS -video_size ${W}x${H} -i "$DISPLAY" -frames:v "$FRAMES" \
        -f rawvideo -pix_fmt bgr0 "$work/$1.raw"
    kill "$term_pid" 2>/dev/null && wait "$term_pid" 2>/dev/null || true
    term_pid=""
}

grab_scene still "$still_script"
grab_scene typing "$typing_script"
grab_scene scrolling "$scroll_script"

raw=$((W * H * 4))
printf '%-10s %7s | %12s | %12s %9s | %12s %9s | %11s %11s\n' scene frames "raw B/frame" \
    "ffmpeg B/fr" "ms/frame" "Mirvox B/fr" "ms/frame" "size/ffmpeg" "time/ffmpeg"
for scene in still typing scrolling; do
    in="$work/$scene.raw"
    frames=$(($(stat -c %s "$in") / raw))
    # ffmpeg: sizes from the packets it wrote, processor time from its own benchmark report.
    ff_ms=$(ffmpeg -hide_banner -loglevel info -nostats -benchmark -y -f rawvideo -pix_fmt bgr0 -s ${W}x${H} \
        -r $FPS -i "$in" -c:v zmbv -g $KEY -keyint_min $KEY -f avi "$work/$scene.avi" 2>&1 |
        sed -n 's/.*utime=\([0-9.]*\)s.*/\1/p' | awk '{print $1 * 1000}')
    ff_bytes=$(ffprobe -v error -select_streams v -show_entries packet=size -of csv=p=0 "$work/$scene.avi" |
        awk '{s += $1} END {print s}')
    read -r n our_bytes our_ms keys < <("$work/zmbv_bench" "$in" $W $H $KEY)
    awk -v s="$scene" -v n="$n" -v raw="$raw" -v fb="$ff_bytes" -v fm="$ff_ms" -v ob="$our_bytes" -v om="$our_ms" \
        'BEGIN { printf "%-10s %7d | %12d | %12.0f %9.1f | %12.0f %9.1f | %11.2f %11.2f\n",
                 s, n, raw, fb / n, fm / n, ob / n, om / n, ob / fb, om / fm
                 printf "%-10s %7s | %12s | %12s %9s | %12s %9s |\n", "", "", "1x",
                 sprintf("%.0fx", raw * n / fb), "", sprintf("%.0fx", raw * n / ob), "" }'
done
