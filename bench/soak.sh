#!/usr/bin/env bash
# Resources of Sentello over many clips and reconnections of its camera: the real program, on a
# private Xvfb with a private HOME, watches a network camera served on 127.0.0.1 whose every
# picture differs from the one before, in recording mode with the shortest clips (3 s and 2
# more), no wait after a clip and a lead of 1 s, so that it records clip after clip. Then the
# camera is stopped until Sentello has lost it and started again until it is back, over and
# over. Prints the resident memory (VmRSS), open descriptors (/proc/PID/fd) and threads
# (/proc/PID/task) every ten clips and after every reconnection, and their growth per hundred
# clips and per reconnection, counted after a warm-up. Finished clips are removed as it goes.
#
# Usage: bench/soak.sh [CLIP_SECONDS [RECONNECTIONS]]   (default 240 s of clips, then 15
#        reconnections: about eight minutes; runs build/src/sentello or $SENTELLO_BINARY)
#
# wait_for evaluates its condition when it waits, so the variables in it are used there.
# shellcheck disable=SC2016,SC2034
set -euo pipefail

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
clip_seconds=${1:-240}
reconnections=${2:-15}
warmup_clips=5
sentello=${SENTELLO_BINARY:-$top/build/src/sentello}
driver_window='^Kameratreiber auswählen:$'
main_window='^Sentello Version'
record_mode_check_box=(524 12)

for tool in "$sentello" "$(command -v Xvfb)" "$(command -v xdotool)"; do
    [ -x "$tool" ] || { echo "missing: ${tool:-Xvfb or xdotool}" >&2; exit 1; }
done
[ "$reconnections" -ge 2 ] || { echo "at least two reconnections" >&2; exit 1; }

work=$(mktemp -d /tmp/sentello-soak.XXXXXX)
home=$work/home
server=
program=
xvfb=
stop() {
    [ -n "$1" ] || return 0
    kill "$1" 2>/dev/null || true
    wait "$1" 2>/dev/null || true
}
finish() {
    stop "$program"
    stop "$server"
    stop "$xvfb"
    rm -rf "$work"
}
trap finish EXIT

fail() {
    echo "$1; Sentello's error output:" >&2
    tail -20 "$work/sentello.log" >&2 || true
    exit 1
}

# Waits up to $2 seconds for the command $1 to succeed.
wait_for() {
    local deadline=$((SECONDS + $2))
    until eval "$1"; do
        [ "$SECONDS" -lt "$deadline" ] || fail "timed out waiting for: $1"
        sleep 0.2
    done
}

start_camera() {  # [port]
    rm -f "$work/port"
    /usr/bin/python3 "$top/bench/mjpeg-server.py" "$work/pictures" --port-file "$work/port" \
        --port "${1:-0}" --lifetime 36000 2>>"$work/server.log" &
    server=$!
    wait_for '[ -s "$work/port" ]' 10
}

stop_camera() {
    stop "$server"
    server=
}

log_file() {
    find "$home/Sentello" -name Sentello.log 2>/dev/null | head -1
}

# Lines of the event log of this kind.
events() {
    local log
    log=$(log_file)
    [ -n "$log" ] || { echo 0; return; }
    grep -c "	$1" "$log" || true
}

# Resident kB, open descriptors, threads.
sample() {
    echo "$(awk '/^VmRSS:/ {print $2}' "/proc/$program/status")" \
        "$(find "/proc/$program/fd" -mindepth 1 -maxdepth 1 | wc -l)" \
        "$(find "/proc/$program/task" -mindepth 1 -maxdepth 1 | wc -l)"
}

row() {  # label count rss fds threads
    printf '| %-14s | %6d | %8.1f | %11d | %7d |\n' "$1" "$2" \
        "$(echo "$3" | awk '{print $1 / 1024}')" "$4" "$5"
}

header() {
    echo "| $1 | count  | RSS (MB) | descriptors | threads |"
    echo "|----------------|--------|----------|-------------|---------|"
}

growth() {  # what per count before after
    awk -v what="$1" -v per="$2" -v count="$3" -v before="$4" -v after="$5" 'BEGIN {
        split(before, b); split(after, a)
        printf "growth per %s: RSS %+.2f MB, descriptors %+.2f, threads %+.2f\n", what,
            (a[1] - b[1]) / 1024 * per / count, (a[2] - b[2]) * per / count,
            (a[3] - b[3]) * per / count }'
}

remove_finished_clips() {
    find "$home" -maxdepth 1 -name 'Video_Sentello_*.avi' -printf '%T@ %p\n' | sort -n |
        head -n -2 | cut -d' ' -f2- | xargs -r rm -f
}

# Snow: every picture differs from the one before.
mkdir -p "$work/pictures" "$home"
gst-launch-1.0 -q videotestsrc pattern=snow num-buffers=50 \
    ! video/x-raw,width=160,height=120,framerate=25/1 ! jpegenc quality=85 \
    ! multifilesink location="$work/pictures/%04d.jpg"
start_camera
port=$(cat "$work/port")

mkdir -p "$home/Sentello"
display_number=$((90 + RANDOM % 100))
Xvfb ":$display_number" -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!
export DISPLAY=":$display_number"
wait_for 'xdotool getmouselocation >/dev/null 2>&1' 10

# The settings go where this program looks for them: its folder's path with "/" as "_".
settings_folder="$home/Sentello/$(dirname "$(readlink -f "$sentello")" | tr / _)"
mkdir -p "$settings_folder"
printf '[Optionen]\r\nvideolaenge = 3\r\nwarten = 0\r\n[Erweitert]\r\nvorlauf = 1\r\n' \
    >"$settings_folder/Sentello.prefs"

HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share" \
    XDG_CACHE_HOME="$home/.cache" QT_QPA_PLATFORM=xcb "$sentello" \
    --camera "http://127.0.0.1:$port/" >"$work/sentello.log" 2>&1 </dev/null &
program=$!

# Return on the camera choice takes its first line.
wait_for 'xdotool search --onlyvisible --name "$driver_window" >/dev/null 2>&1' 60
choose() {
    xdotool search --onlyvisible --name "$main_window" >/dev/null 2>&1 && return 0
    xdotool windowfocus "$(xdotool search --onlyvisible --name "$driver_window" | head -1)" \
        key Return 2>/dev/null || true
    sleep 1
    return 1
}
wait_for choose 60
window=$(xdotool search --onlyvisible --name "$main_window" | head -1)
xdotool mousemove --window "$window" "${record_mode_check_box[@]}" click 1

echo "Machine: $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) cores; clips of 5 s with a" \
    "lead of 1 s, camera of 160x120 at 25 pictures a second"
echo
header "clips         "
wait_for '[ "$(events "Video fertig")" -ge "$warmup_clips" ]' 120
clips_before=$(events "Video fertig")
before=$(sample)
# shellcheck disable=SC2086
row "warm" "$clips_before" $before
next=$((clips_before + 10))
end=$((SECONDS + clip_seconds))
while [ "$SECONDS" -lt "$end" ]; do
    kill -0 "$program" 2>/dev/null || fail "Sentello ended"
    clips=$(events "Video fertig")
    if [ "$clips" -ge "$next" ]; then
        # shellcheck disable=SC2046
        row "" "$clips" $(sample)
        next=$((next + 10))
        remove_finished_clips
    fi
    sleep 1
done
clips=$(events "Video fertig")
after=$(sample)
# shellcheck disable=SC2086
row "end" "$clips" $after
[ "$clips" -gt "$clips_before" ] || fail "no clip was finished"
growth "hundred clips" 100 "$((clips - clips_before))" "$before" "$after"
echo "$(events "Video fehlgeschlagen") clips failed"

echo
header "reconnections "
reconnect() {
    local lost back
    lost=$(events "Kamera verloren")
    back=$(events "Kamera wieder da")
    stop_camera
    wait_for '[ "$(events "Kamera verloren")" -gt "$lost" ]' 60
    start_camera "$port"
    wait_for '[ "$(events "Kamera wieder da")" -gt "$back" ]' 60
    remove_finished_clips
}
reconnect
before=$(sample)
# shellcheck disable=SC2086
row "warm" 1 $before
for ((done = 2; done <= reconnections; ++done)); do
    reconnect
    after=$(sample)
    # shellcheck disable=SC2086
    row "" "$done" $after
done
growth "reconnection" 1 "$((reconnections - 1))" "$before" "$after"
echo "$(events "Video fertig") clips in all"
