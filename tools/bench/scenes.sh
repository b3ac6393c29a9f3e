# Sourced by the benchmarks: reproducible pictures for a private Xvfb display, all made by ffmpeg's
# own sources and filters, and windows that show them. Expects W, H and a scratch folder in $work;
# open_window records the PIDs it started in window_pids, close_windows ends exactly those.
window_pids=()

# ffplay shows pictures through SDL: no sound device, and no GL on Xvfb.
export SDL_AUDIODRIVER=dummy SDL_RENDER_DRIVER=software

make_desktop_and_video() {
    ffmpeg -v error -y -f lavfi -i "gradients=s=${W}x$H:c0=0x1d3557:c1=0x457b9d:c2=0xa8dadc:c3=0xe76f51:\
nb_colors=4:seed=7,format=rgb24,noise=alls=8:allf=u" -frames:v 1 "$work/desktop.png"
    # ffplay showing a looping still image decodes and draws it without pause, half a core of the two;
    # shown as ten minutes of a frame every five seconds (lossless), it costs what a desktop picture costs.
    ffmpeg -v error -y -loop 1 -framerate 0.2 -i "$work/desktop.png" -t 600 -c:v libx264rgb -qp 0 \
        -preset ultrafast -pix_fmt bgr24 "$work/desktop.mkv"
    # A zoom into the Mandelbrot set, through a lossy codec as a downloaded video would be.
    ffmpeg -v error -y -f lavfi -i "mandelbrot=s=640x360:rate=25:start_scale=2:end_scale=0.001:end_pts=400" \
        -t 10 -c:v libx264 -crf 20 -preset veryfast -pix_fmt yuv420p "$work/video.mp4"
}

open_window() { # command...: starts a program and waits until its window is on the screen
    "$@" >/dev/null 2>&1 &
    window_pids+=($!)
    timeout 30 xdotool search --sync --onlyvisible --pid "$!" >/dev/null
}

close_windows() {
    local pid
    for pid in "${window_pids[@]}"; do
        kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null || true
    done
    window_pids=()
}

show_desktop() {
    open_window ffplay -v error -noborder -left 0 -top 0 -x "$W" -y "$H" -loop 0 "$work/desktop.mkv"
}

# A video playing in a window in the middle of the desktop picture, looping.
show_video_scene() {
    show_desktop
    open_window ffplay -v error -an -noborder -left $(((W - 640) / 2)) -top $(((H - 360) / 2)) -loop 0 \
        "$work/video.mp4"
}
