#!/usr/bin/env bash
# Whole-process CPU share of Sentello, of Debian's motion and of a bare GStreamer JPEG decoder,
# all three watching the same MJPEG stream served on 127.0.0.1 at 25 pictures a second, side
# by side, for a light and a heavy stream at 640x480 and 1280x720. CPU share is user + system
# time of all threads from /proc/PID/stat over the measuring time, in % of one core.
# Sentello runs on a private Xvfb with a private HOME; its display's share is shown apart.
#
# Then Sentello alone at rest: its camera (640x480) delivers pictures until the main window
# shows and then goes silent; the server still answers every connection with the stream's
# headers and never a picture, so Sentello keeps trying to reconnect. Measured once the
# silence has lasted a minute, when the attempts come at their longest spacing: its CPU share, its wake-ups a second (context switches,
# voluntary and involuntary, from /proc/PID/task/*/status: summed over the threads present at
# the end, one that appeared within the measuring time counted from zero; the switches of a
# thread that ended within it are not seen, so the threads that came and went are printed),
# the main thread's own wake-ups, where the program's timers wake it, and the reconnection
# attempts the server saw.
#
# Then runs the benchmarks of build/bench/sentello_bench with the display ones on that Xvfb.
#
# Usage: bench/cpu-vs-motion.sh [SECONDS]   (per measurement; default 60; needs a build in
#        build/ and the package motion; runs build/src/sentello or $SENTELLO_BINARY;
#        ONLY=idle runs only the measurement at rest)
set -euo pipefail

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
seconds=${1:-60}
settle=10
# A camera silent this long is tried at the longest spacing (every 30 s), as all night.
idle_settle=60
fps=25
# Seconds the silent camera delivers pictures, long enough for Sentello to start and show.
pictures_for=30
only=${ONLY:-}
sentello=${SENTELLO_BINARY:-$top/build/src/sentello}
bench=$top/build/bench/sentello_bench
driver_window='^Kameratreiber auswählen:$'
main_window='^Sentello Version'

[ -z "$only" ] || [ "$only" = idle ] || { echo "ONLY may be idle or unset, not $only" >&2; exit 1; }
tools=("$sentello" "$(command -v Xvfb || true)" "$(command -v xdotool || true)")
[ -n "$only" ] || tools+=("$(command -v motion || true)")
for tool in "${tools[@]}"; do
    [ -x "$tool" ] || { echo "missing: ${tool:-motion, Xvfb or xdotool}" >&2; exit 1; }
done

work=$(mktemp -d /tmp/cpu-vs-motion.XXXXXX)
started=()
stop() {
    kill "$1" 2>/dev/null || true
    wait "$1" 2>/dev/null || true
}
# The watchers first, then the stream server, which notes what each of them got.
stop_started() {
    local index
    for ((index = ${#started[@]} - 1; index > 0; --index)); do
        stop "${started[index]}"
    done
    [ ${#started[@]} -eq 0 ] || { sleep 1; stop "${started[0]}"; }
    started=()
}
finish() {
    stop_started
    [ -z "${xvfb:-}" ] || stop "$xvfb"
    rm -rf "$work"
}
trap finish EXIT

# Ticks of user and system time of a process and all its threads.
ticks() {
    local stat
    stat=$(cat "/proc/$1/stat") || { echo "process $1 is gone" >&2; exit 1; }
    stat=${stat##*) }
    # shellcheck disable=SC2086
    set -- $stat
    echo $((${12} + ${13}))
}

# Context switches of a thread (/proc/PID/task/TID); nothing when it has ended.
switches() {
    awk '/^(non)?voluntary_ctxt_switches:/ { sum += $2 } END { if (NR) print sum }' \
        "$1/status" 2>/dev/null || true
}

# Runs Sentello on the camera at the URL with a private HOME in the folder.
start_sentello() {  # folder url
    HOME="$1/home" XDG_CONFIG_HOME="$1/home/.config" \
        XDG_DATA_HOME="$1/home/.local/share" XDG_CACHE_HOME="$1/home/.cache" \
        QT_QPA_PLATFORM=xcb "$sentello" \
        --camera "souphttpsrc location=$2 user-agent=sentello ! multipartdemux ! jpegdec" \
        >"$1/sentello.log" 2>&1 </dev/null &
    started+=("$!")
}

render_pictures() {  # width height kind folder
    local size="width=$1,height=$2,framerate=$fps/1" box=$(($2 / 6))
    mkdir -p "$4"
    if [ "$3" = light ]; then
        gst-launch-1.0 -q videotestsrc pattern=ball num-buffers=250 ! "video/x-raw,$size" \
            ! jpegenc quality=85 ! multifilesink location="$4/%04d.jpg"
    else
        gst-launch-1.0 -q compositor name=mix sink_1::xpos=$(($1 / 2)) sink_1::ypos=$(($2 / 4)) \
            ! "video/x-raw,width=$1,height=$2" ! videoconvert ! jpegenc quality=85 \
            ! multifilesink location="$4/%04d.jpg" \
            videotestsrc pattern=smpte num-buffers=250 ! "video/x-raw,$size" ! mix.sink_0 \
            videotestsrc pattern=ball background-color=0x00000000 num-buffers=250 \
            ! "video/x-raw,format=BGRA,width=$box,height=$box,framerate=$fps/1" ! mix.sink_1
    fi
}

wait_for_file() {
    for _ in $(seq 100); do
        [ -s "$1" ] && return 0
        sleep 0.1
    done
    echo "timed out waiting for $1" >&2
    exit 1
}

# Presses Return on the camera choice, which takes the preselected first line, until the
# main window shows.
choose_first_source() {
    local window
    for _ in $(seq 60); do
        window=$(xdotool search --onlyvisible --name "$driver_window" 2>/dev/null | head -1) || true
        [ -n "$window" ] && break
        sleep 0.5
    done
    [ -n "$window" ] || { echo "the camera choice did not show" >&2; exit 1; }
    for _ in $(seq 30); do
        xdotool search --onlyvisible --name "$main_window" >/dev/null 2>&1 && return 0
        xdotool windowfocus "$window" key Return 2>/dev/null || true
        sleep 1
    done
    echo "Sentello's main window did not show" >&2
    exit 1
}

motion_config() {  # url width height folder
    # Debian's shipped settings (it compares 15 pictures a second) with the stream as camera,
    # nothing written and nothing served.
    cat <<CONFIG
daemon off
setup_mode off
log_file $4/motion.log
log_level 6
target_dir $4/target
netcam_url $1
width $2
height $3
framerate 15
text_left CAMERA1
text_right %Y-%m-%d\n%T-%q
emulate_motion off
threshold 1500
despeckle_filter EedDl
minimum_motion_frames 1
event_gap 60
pre_capture 3
post_capture 0
picture_output off
movie_output off
stream_port 0
webcontrol_port 0
CONFIG
}

display_number=$((90 + RANDOM % 100))
Xvfb ":$display_number" -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!
export DISPLAY=":$display_number"
for _ in $(seq 50); do
    xdotool getmouselocation >/dev/null 2>&1 && break
    sleep 0.1
done

rows=()
measure() {  # width height kind
    local folder="$work/$1x$2-$3" port url
    render_pictures "$1" "$2" "$3" "$folder/pictures"
    mkdir -p "$folder/home" "$folder/target"
    /usr/bin/python3 "$top/bench/mjpeg-server.py" "$folder/pictures" --port-file "$folder/port" \
        --fps "$fps" --lifetime $((seconds + settle + 60)) 2>"$folder/server.log" &
    started+=("$!")
    wait_for_file "$folder/port"
    port=$(cat "$folder/port")
    url="http://127.0.0.1:$port/"

    gst-launch-1.0 -q souphttpsrc location="$url" user-agent=bare-decoder ! multipartdemux \
        ! jpegdec ! fakesink sync=true >"$folder/decoder.log" 2>&1 &
    local decoder=$!
    started+=("$decoder")
    motion_config "$url" "$1" "$2" "$folder" >"$folder/motion.conf"
    motion -n -c "$folder/motion.conf" >"$folder/motion.out" 2>&1 &
    local motion=$!
    started+=("$motion")
    start_sentello "$folder" "$url"
    local program=${started[-1]}
    choose_first_source

    sleep "$settle"
    local pids=("$program" "$motion" "$decoder" "$xvfb") before=() after=() pid begin end
    begin=$(date +%s.%N)
    for pid in "${pids[@]}"; do before+=("$(ticks "$pid")"); done
    sleep "$seconds"
    for pid in "${pids[@]}"; do after+=("$(ticks "$pid")"); done
    end=$(date +%s.%N)
    stop_started

    rows+=("$(awk -v size="$1x$2" -v kind="$3" -v hz="$(getconf CLK_TCK)" \
        -v wall="$(echo "$end $begin" | awk '{print $1 - $2}')" \
        -v s="$((after[0] - before[0]))" -v m="$((after[1] - before[1]))" \
        -v d="$((after[2] - before[2]))" -v x="$((after[3] - before[3]))" 'BEGIN {
            share = 100 / hz / wall
            printf "| %-9s | %-6s | %15.2f | %8.1f | %6.1f | %12.1f | %4.1f |",
                size, kind, (m > 0 ? s / m : 0), s * share, m * share, d * share, x * share }')")
    echo "done: $1x$2 $3 (pictures sent: $(grep -o '[^ ]*: [0-9]* pictures sent' \
        "$folder/server.log" | tr '\n' ' '))" >&2
    grep -qi 'netcam.*\(error\|fail\)' "$folder/motion.log" &&
        echo "motion reported stream errors; see its log" >&2
    return 0
}

idle_row=""
idle_threads=""
measure_idle() {
    local folder="$work/idle" port url since
    render_pictures 640 480 light "$folder/pictures"
    mkdir -p "$folder/home"
    since=$SECONDS
    /usr/bin/python3 "$top/bench/mjpeg-server.py" "$folder/pictures" --port-file "$folder/port" \
        --fps "$fps" --silent-after "$pictures_for" \
        --lifetime $((pictures_for + idle_settle + seconds + 60)) 2>"$folder/server.log" &
    started+=("$!")
    wait_for_file "$folder/port"
    port=$(cat "$folder/port")
    url="http://127.0.0.1:$port/"
    start_sentello "$folder" "$url"
    local program=${started[-1]}
    choose_first_source
    [ $((SECONDS - since)) -lt "$pictures_for" ] ||
        { echo "Sentello's main window showed only after the camera went silent" >&2; exit 1; }
    sleep $((pictures_for + idle_settle - (SECONDS - since)))

    local -A before_switches=() after_switches=()
    local task tid count begin end ticks_before ticks_after tried_before tried_after
    local came=0 went=0 all=0 main
    begin=$(date +%s.%N)
    ticks_before=$(ticks "$program")
    for task in "/proc/$program/task/"*; do
        count=$(switches "$task")
        [ -z "$count" ] || before_switches[${task##*/}]=$count
    done
    tried_before=$(grep -c ': connection [0-9]*$' "$folder/server.log")
    sleep "$seconds"
    ticks_after=$(ticks "$program")
    for task in "/proc/$program/task/"*; do
        count=$(switches "$task")
        [ -z "$count" ] || after_switches[${task##*/}]=$count
    done
    tried_after=$(grep -c ': connection [0-9]*$' "$folder/server.log")
    end=$(date +%s.%N)
    stop_started

    for tid in "${!after_switches[@]}"; do
        if [ -n "${before_switches[$tid]:-}" ]; then
            all=$((all + after_switches[$tid] - before_switches[$tid]))
        else
            all=$((all + after_switches[$tid]))
            came=$((came + 1))
        fi
    done
    for tid in "${!before_switches[@]}"; do
        [ -n "${after_switches[$tid]:-}" ] || went=$((went + 1))
    done
    main=$((after_switches[$program] - before_switches[$program]))
    idle_row=$(awk -v hz="$(getconf CLK_TCK)" -v s="$((ticks_after - ticks_before))" \
        -v wall="$(echo "$end $begin" | awk '{print $1 - $2}')" -v all="$all" -v main="$main" \
        -v tried="$((tried_after - tried_before))" 'BEGIN {
            printf "| 640x480 | %10.2f | %24.1f | %22.1f | %23d |",
                s * 100 / hz / wall, all / wall, main / wall, tried }')
    idle_threads="${#before_switches[@]} threads at the start, ${#after_switches[@]} at the end;"
    idle_threads+=" $came appeared and $went ended within the measuring time"
    echo "done: idle (pictures sent: $(grep -o '[^ ]*: [0-9]* pictures sent' \
        "$folder/server.log" | head -1))" >&2
}

if [ -z "$only" ]; then
    for size in "640 480" "1280 720"; do
        for kind in light heavy; do
            # shellcheck disable=SC2086
            measure $size "$kind"
        done
    done
fi
measure_idle

echo
echo "Machine: $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) cores;" \
    "$seconds s per measurement"
echo "CPU share in % of one core (user + system time of all threads)"
if [ -z "$only" ]; then
    echo
    echo "$fps pictures a second, all three side by side:"
    echo
    echo "| camera    | stream | Sentello/Motion | Sentello | Motion | bare decoder | Xvfb |"
    echo "|-----------|--------|-----------------|----------|--------|--------------|------|"
    printf '%s\n' "${rows[@]}"
    echo
    echo "light: videotestsrc's ball on black; heavy: colour bars with a small moving ball;"
    echo "both JPEG quality 85. Xvfb is Sentello's display."
fi
echo
echo "At rest, a camera that sends nothing (after $idle_settle s of silence):"
echo
header="| idle    | Sentello % | wake-ups/s (all threads) | main thread wake-ups/s |"
header+=" reconnections in window |"
echo "$header"
echo "${header//[^|]/-}"
echo "$idle_row"
echo
echo "Wake-ups are context switches; those of threads that ended within the measuring time"
echo "are not counted. $idle_threads."

if [ -z "$only" ] && [ -x "$bench" ]; then
    echo
    QT_QPA_PLATFORM=xcb "$bench"
fi
