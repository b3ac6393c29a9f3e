#!/usr/bin/env bash
# Benchmark of Mirvox's screen codec against ffmpeg's ZMBV encoder and against lossless x264 (what a
# user would pick instead), on five reproducible 1280x720 scenes grabbed from a private Xvfb display:
# a still desktop, typing into a terminal, a terminal scrolling without pause, a video playing in a
# window over a desktop picture, and a document with pictures scrolled through in a viewer. Every
# encoder gets the same frames and the same key-frame interval (10 s of video at 4 fps). Prints bytes
# and processor milliseconds per frame (the median of BENCH_RUNS runs; Mirvox's wall time too, as it
# deflates large frames on two threads), and checks that ffmpeg decodes
# Mirvox's output to the grabbed colours.
# BENCH_KEEP=folder keeps the grabbed scenes there (raw bgr0, 1280x720).
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
W=1280 H=720 FPS=4 FRAMES=${BENCH_FRAMES:-40} RUNS=${BENCH_RUNS:-3}
KEY=$((10 * FPS))
source "$ROOT/tools/bench/scenes.sh"

"$ROOT/tools/install-deps.sh" xterm xdotool fonts-dejavu-core

work=$(mktemp -d)
xvfb_pid=""
cleanup() {
    set +e
    close_windows
    [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    [[ -n ${BENCH_KEEP:-} ]] && cp "$work"/*.raw "$BENCH_KEEP"/ 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

g++ -O2 -std=c++20 -I"$ROOT" "$ROOT/tools/bench/zmbv_bench.cpp" "$ROOT/codec/zmbv_encoder.cpp" \
    "$ROOT/codec/zmbv_scroll.cpp" "$ROOT/codec/pixel_deflate.cpp" "$ROOT/codec/huffman_code.cpp" "$ROOT/avi/opendml_writer.cpp" -lz -o "$work/zmbv_bench"

mkfifo "$work/display"
Xvfb -displayfd 3 -screen 0 ${W}x${H}x24 -br -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb_pid=$!
read -r -t 30 display_number <"$work/display"
export DISPLAY=":$display_number"

# The terminal scenes' texts: this repository's own sources, so every run shows the same characters.
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

# The desktop picture, a video and a document, all made by ffmpeg's own sources and filters.
make_media() {
    local font=/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf
    make_desktop_and_video
    # Three pages of text with a picture on each, grey between the pages as in a document viewer.
    local pictures=("mandelbrot=s=560x315:start_scale=0.3:start_x=-0.745:start_y=0.11"
                    "gradients=s=560x315:c0=0x264653:c1=0x2a9d8f:c2=0xe9c46a:c3=0xf4a261:nb_colors=4:seed=3,\
format=rgb24,noise=alls=12:allf=u"
                    "mandelbrot=s=560x315:start_scale=0.02:start_x=-1.2558:start_y=0.3819")
    local inputs=() chain="[0]" p top
    for p in 0 1 2; do
        top=$((16 + p * 1056))
        sed -n "$((1 + p * 30)),$((15 + p * 30))p" /usr/share/common-licenses/GPL-3 >"$work/text$p-a.txt"
        sed -n "$((16 + p * 30)),$((30 + p * 30))p" /usr/share/common-licenses/GPL-3 >"$work/text$p-b.txt"
        inputs+=(-f lavfi -i "${pictures[p]},trim=end_frame=1")
        chain+="drawbox=x=20:y=$top:w=760:h=1040:color=white:t=fill,"
        local text="drawtext=fontfile=$font:expansion=none:fontsize=14:line_spacing=6:x=60"
        chain+="$text:textfile=$work/text$p-a.txt:y=$((top + 40)),"
        chain+="$text:textfile=$work/text$p-b.txt:y=$((top + 715))[page$p];"
        chain+="[page$p][$((p + 1))]overlay=x=120:y=$((top + 370))"
        ((p < 2)) && chain+="[with$p];[with$p]"
    done
    ffmpeg -v error -y -f lavfi -i "color=c=0x8a8f98:s=800x3184,trim=end_frame=1" "${inputs[@]}" \
        -filter_complex "$chain" -frames:v 1 "$work/document.png"
    # The viewer's window scrolls 120 pixels a second in 5-pixel steps; lossless, so every shown
    # frame is the page moved by whole rows.
    ffmpeg -v error -y -loop 1 -framerate 24 -i "$work/document.png" -vf "crop=800:$H:0:'min(t*120,ih-oh)'" \
        -t 22 -pix_fmt bgr24 -c:v libx264rgb -qp 0 -preset veryfast "$work/document.mkv"
}

grab() { # name
    sleep 1 # the first picture settles
    ffmpeg -v error -y -f x11grab -framerate $FPS -video_size ${W}x${H} -i "$DISPLAY" -frames:v "$FRAMES" \
        -f rawvideo -pix_fmt bgr0 "$work/$1.raw"
    close_windows
}

grab_terminal_scene() { # name script
    open_window xterm -geometry 150x44+16+16 -fa 'DejaVu Sans Mono' -fs 10 -bg '#1e1e2e' -fg '#d0d0d0' \
        -e sh -c "$2"
    grab "$1"
}

make_media
grab_terminal_scene still "$still_script"
grab_terminal_scene typing "$typing_script"
grab_terminal_scene scrolling "$scroll_script"
show_video_scene
grab video
show_desktop
open_window ffplay -v error -noborder -left 240 -top 0 -loop 0 "$work/document.mkv"
grab document

median() { sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }

# ffmpeg's encoders: bytes from the packets written, processor time from its own benchmark report.
ffmpeg_run() { # scene output codec-options...
    local in="$work/$1.raw" out="$work/$2" run
    shift 2
    for ((run = 0; run < RUNS; run++)); do
        ffmpeg -hide_banner -loglevel info -nostats -benchmark -y -f rawvideo -pix_fmt bgr0 -s ${W}x${H} \
            -r $FPS -i "$in" "$@" -g $KEY -keyint_min $KEY "$out" 2>&1 |
            sed -n 's/.*utime=\([0-9.]*\)s.*/\1/p' | awk '{print $1 * 1000}'
    done | median
    ffprobe -v error -select_streams v -show_entries packet=size -of csv=p=0 "$out" | awk '{s += $1} END {print s}'
}

ours_run() { # scene
    local run
    for ((run = 0; run < RUNS; run++)); do
        "$work/zmbv_bench" "$work/$1.raw" $W $H $KEY "$work/$1-ours.avi"
    done | sort -n -k3 | awk '{line[NR] = $0} END {split(line[int((NR + 1) / 2)], f, " "); print f[3]; print f[2]; print f[5]}'
}

# The grabbed colours against what ffmpeg decodes from our file, frame by frame.
check_ours() { # scene
    local want got
    want=$(ffmpeg -v error -f rawvideo -pix_fmt bgr0 -s ${W}x${H} -i "$work/$1.raw" -pix_fmt bgr24 -f framemd5 - |
        grep -v '^#' | awk -F, '{print $NF}')
    got=$(ffmpeg -v error -i "$work/$1-ours.avi" -pix_fmt bgr24 -f framemd5 - | grep -v '^#' | awk -F, '{print $NF}')
    [[ -n $want && $want == "$got" ]] || echo "$1: ffmpeg does not decode Mirvox's stream to the grabbed frames" >&2
    [[ -n $want && $want == "$got" ]]
}

raw=$((W * H * 4))
printf '%-9s %6s | %21s | %15s | %15s | %15s | %9s %9s\n' "" "" "Mirvox" "ffmpeg zmbv" "x264 ultrafast" \
    "x264 veryfast" "Mirvox / zmbv"
printf '%-9s %6s | %9s %5s %5s | %9s %5s | %9s %5s | %9s %5s | %9s %9s\n' scene frames B/frame ms wall B/frame ms \
    B/frame ms B/frame ms size time
status=0
for scene in still typing scrolling video document; do
    frames=$(($(stat -c %s "$work/$scene.raw") / raw))
    { read -r our_ms; read -r our_bytes; read -r our_wall; } < <(ours_run $scene)
    check_ours $scene || status=1
    { read -r zmbv_ms; read -r zmbv_bytes; } < <(ffmpeg_run $scene zmbv.avi -c:v zmbv)
    { read -r fast_ms; read -r fast_bytes; } < <(ffmpeg_run $scene ultrafast.mkv -c:v libx264rgb -qp 0 -preset ultrafast)
    { read -r very_ms; read -r very_bytes; } < <(ffmpeg_run $scene veryfast.mkv -c:v libx264rgb -qp 0 -preset veryfast)
    awk -v s=$scene -v n=$frames -v ob="$our_bytes" -v om="$our_ms" -v ow="$our_wall" -v zb="$zmbv_bytes" -v zm="$zmbv_ms" \
        -v ub="$fast_bytes" -v um="$fast_ms" -v vb="$very_bytes" -v vm="$very_ms" \
        'BEGIN { printf "%-9s %6d | %9.0f %5.1f %5.1f | %9.0f %5.1f | %9.0f %5.1f | %9.0f %5.1f | %9.2f %9.2f\n",
                 s, n, ob / n, om / n, ow / n, zb / n, zm / n, ub / n, um / n, vb / n, vm / n, ob / zb, om / zm }'
done
echo "uncompressed: $raw B/frame; ms is processor time (Mirvox's wall time beside it), the median of $RUNS runs"
exit $status
