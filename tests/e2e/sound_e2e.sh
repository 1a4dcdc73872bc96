#!/bin/bash
# The demo played through a PulseAudio server of the test's own, windowed at
# 640x480 under Xvfb:
#   sound_e2e.sh server         the null sink's monitor, recorded from Run to
#                               62 s into the scenes, holds the jingle and the
#                               soundtrack sample for sample at one offset each,
#                               with no gap; the soundtrack starts with scene 0
#                               within what viewers accept; closing the window
#                               leaves no stream of ours on the server (2 min)
#   sound_e2e.sh lost           the server hangs 10 s into the scenes and is
#                               restarted 30 s later: told once on stderr, the
#                               demo goes on drawing without a busy thread and
#                               closes cleanly; heard again, in step (1.5 min)
#   sound_e2e.sh close_stalled  the server hangs during the logo; closing the
#                               window still ends the program at once (40 s)
#   sound_e2e.sh sync           the whole demo on PulseAudio, then PipeWire: the
#                               logo and scenes in step with the sound (9 min)
#   sound_e2e.sh soak           four plays, Loop on: in step, memory and files
#                               flat (16 min, `make soak`)
# What a desktop does to the stream, each in part of one play, every scene
# entry after the event in step (and the loss and return told once where
# the stream was given up, else nothing told):
#   sound_e2e.sh pipewire48k    PipeWire's graph at 48 kHz: scenes 0 and 1
#   sound_e2e.sh stall S        PulseAudio stopped for S s across scene 1's
#                               entry: scene 2 (a 3 s stall gives the stream up)
#   sound_e2e.sh quantum        PipeWire's cycle forced to 256, then 2048: scene 1
#   sound_e2e.sh move SERVER    the stream moved to a second null sink (48 kHz,
#                               the recording moved with it): scene 1
#   sound_e2e.sh busy SERVER    two busy loops beside the demo: scenes 0 and 1
# NORVALE_BIN, X11_PROBE and SOUND_PROBE name the programs.
set -u
CASE=$1
. "$(dirname "$0")/lib.sh"
RUN_AT=0
export NORVALE_FRAME_TIMES="$WORK/frames"  # "wall scene music" a frame the scenes show

if [ ! -f data/introeffectmx.mp3 ] || [ ! -f data/preview_kovi.mp3 ]; then
    echo "skipped: data/ has not been generated" >&2
    exit 77
fi

on_cleanup() {
    [ -n "${RECORDER_PID:-}" ] && kill "$RECORDER_PID" 2>/dev/null && wait "$RECORDER_PID"
    for p in ${BUSY_PIDS:-}; do kill "$p" 2>/dev/null; done
    return 0
}

start_recorder() { "$SOUND_PROBE" record "${1:-norvale_sink}.monitor" "$WORK/rec.raw" & RECORDER_PID=$!; }
stop_recorder() { kill "$RECORDER_PID"; wait "$RECORDER_PID" || fail "the recorder failed"; RECORDER_PID=""; }

now() { date +%s.%N; }

# The recording's start as its reads within 3 s of wall second $1 date it:
# a PipeWire graph's clock runs apart from the wall's by up to a millisecond
# a second, so one start for the whole recording would not do.
start_near() {
    local s
    s=$(cat "$WORK/rec.raw.start")
    awk -v at="$1" -v s="$s" '$1 > at - s - 3 && $1 < at - s + 3 { print $2 }' "$WORK/rec.raw.starts" |
        median %.4f "$s"
}

# The logo's red falls (and rises) linearly with its fade: the wall-clock
# second where a line through the watched means between 10 % and 70 % of the
# full logo meets zero, for the fade-out ($2 = out) or the fade-in ($2 = in).
fade_edge() {
    awk -v edge="$2" 'BEGIN { n = 0 }
        { t[n] = $1; r[n] = $2; if ($2 > top) top = $2; n++ }
        END {
            for (i = 0; i < n; i++) if (r[i] >= 0.9 * top) { if (first == "") first = i; last = i }
            for (i = 0; i < n; i++) {
                if (edge == "out" && i <= last || edge == "in" && i >= first) continue
                if (edge == "out" && r[i] < 0.05 * top) break  # black: the scenes follow
                if (r[i] < 0.1 * top || r[i] > 0.7 * top) continue
                x = t[i] - t[0]  # small numbers: the sums keep their precision
                m++; sx += x; sy += r[i]; sxx += x * x; sxy += x * r[i]
            }
            if (m < 5) { print "none"; exit }
            slope = (sxy - sx * sy / m) / (sxx - sx * sx / m)
            printf "%.4f\n", t[0] - (sy - slope * sx) / m / slope
        }' "$1"
}

# CPU ticks used by the demo's sound threads (the server output's, SDL's).
sound_cpu() {
    local total=0 t n=0
    for t in /proc/"$DEMO_PID"/task/*; do
        case $(cat "$t/comm" 2>/dev/null) in
        NorvaleSound | SDLAudio* | PulseHotplug)
            total=$((total + $(awk '{ print $14 + $15 }' "$t/stat"))) n=$((n + 1)) ;;
        esac
    done
    echo "$total"
    [ "$n" -gt 0 ]
}

# Fails unless the demo's sound threads use under a fifth of a core over $1 s.
not_spinning() {
    local before after hz
    hz=$(getconf CLK_TCK)
    before=$(sound_cpu) || fail "no sound thread of the demo's to watch"
    sleep "$1"
    after=$(sound_cpu) || fail "no sound thread of the demo's to watch"
    echo "sound threads used $((after - before)) ticks of $((hz * $1)) over $1 s"
    [ $((after - before)) -le $((hz * $1 / 5)) ] || fail "a sound thread spins after the loss"
}

# Lines of ours on the server: streams that play into its sinks.
our_streams() { pactl list short sink-inputs | grep -c . ; }

lost_lines() { grep -c "lost the sound output" "$WORK/err"; }
back_lines() { grep -c "^norvale: the sound output is back" "$WORK/err"; }
# The median of the numbers read, in format $1 (whole by default), else $2.
median() {
    sort -n | awk -v f="${1:-%.0f}" -v none="${2:-none}" '{ v[NR] = $1 }
        END { if (NR) printf f "\n", v[int((NR + 1) / 2)]; else print none }'
}
# Prints offset $2 (ms) of point $1; OUT_OF_STEP lists those past 20 ms.
offset() {
    echo "sync offset $1: $2 ms"
    [ "$2" != none ] && [ "${2#-}" -le 20 ] || OUT_OF_STEP="${OUT_OF_STEP:-} $1"
}

# The frame times, each with its play and its number in its scene entry.
numbered() { awk 'BEGIN { s = -1 } { if ($2 != s) { n = 0; k += $2 == 0 } s = $2; print $0, k, ++n }' "$NORVALE_FRAME_TIMES"; }
played() { [ "$(numbered 2>/dev/null | tail -n1 | cut -d' ' -f4)" -ge "$1" ] 2>/dev/null; }

# The median (ms) of the music second of the frames $1 picks (awk, of wall w,
# scene s, play k, number n) less the one heard, second $2 heard at wall $3.
lag_ms() {
    numbered | awk -v a="$2" -v p="$3" '{ w = $1; s = $2; k = $4; n = $5 } '"$1"' {
        printf "%.2f\n", ($3 - a - (w - p)) * 1000 }' | median
}

# The median (ms) from the latest present to each change the watch saw (file
# $1) in scene $2's frames 2 to 40.
seen_ms() {
    numbered | awk -v want="$2" 'NR == FNR { if ($2 == want && $5 >= 2 && $5 <= 40) p[m++] = $1; next }
        m && $1 >= p[0] && $1 <= p[m - 1] { while (i + 1 < m && p[i + 1] <= $1) i++
            printf "%.2f\n", ($1 - p[i]) * 1000 }' - "$1" | median
}

# Scene 0 fades in from black, a change every frame: the mean time between
# the changes seen from 0.5 to 2.5 s after the logo's fade-out, in seconds.
scene_frame() {
    awk -v from="$FADE_OUT" '$1 > from + 0.5 && $1 < from + 2.5 {
            if (m++ == 0) t0 = $1
            t1 = $1
        }
        END { if (m < 3) print "none"; else printf "%.4f\n", (t1 - t0) / (m - 1) }' "$1"
}

# Watches the render window's colour from Run until scene 0 is under way
# ($1 s; or takes what a watch already running into file $2 saw by then),
# then finds the logo's fade edges FADE_IN and FADE_OUT (wall seconds) and
# scene 0's frame interval FRAME.
watch_intro() {
    RUN_WALL=$(awk -v n="$(now)" -v d=$((SECONDS - RUN_AT)) 'BEGIN { printf "%.2f", n - d }')
    if [ -n "${2:-}" ]; then sleep "$1" && sed '$d' "$2"; else "$X11_PROBE" watch "$WINDOW" "$1"; fi \
        >"$WORK/means"
    FADE_OUT=$(fade_edge "$WORK/means" out)
    FADE_IN=$(fade_edge "$WORK/means" in)
    FRAME=$(scene_frame "$WORK/means")
    [ -n "${E2E_OUT:-}" ] && mkdir -p "$E2E_OUT" && cp "$WORK/means" "$E2E_OUT/$CASE.means"
    [ "$FADE_OUT" != none ] && [ "$FADE_IN" != none ] && [ "$FRAME" != none ] ||
        fail "the logo's fades or the opening scene were not seen"
    awk -v i="$FADE_IN" -v o="$FADE_OUT" -v r="$RUN_WALL" 'BEGIN {
        printf "logo rises %.2f s after Run, its fade-out ends %.2f s after Run\n", i - r, o - r
        exit !(i - r > 3 && i - r < 10 && o - i > 15 && o - i < 60) }' ||
        fail "the logo's fades are not where they should be"
}

case_server() {
    start_pulse
    start_recorder
    run_demo once
    # The logo fades out about 22 s after Run plus the loading time.
    watch_intro 45
    pactl list sink-inputs | grep -E 'Latency' | sed 's/^\s*/server reports: /'
    # The soundtrack's first 62 s.
    while awk -v a="$(now)" -v b="$FADE_OUT" 'BEGIN { exit !(a < b + 62) }'; do sleep 0.5; done
    stop_recorder
    [ "$(our_streams)" = 1 ] || fail "expected one stream of ours on the server while playing"
    "$X11_PROBE" close "$WINDOW"
    wait_exit 30
    [ "$STATUS" = 0 ] || fail "exit status $STATUS after closing the window"
    sleep 0.5
    [ "$(our_streams)" = 0 ] || fail "a stream is left on the server after the window closed"

    local result start jingle music covered
    result=$("$SOUND_PROBE" align data/introeffectmx.mp3 data/preview_kovi.mp3 "$WORK/rec.raw") ||
        { [ -n "${E2E_OUT:-}" ] && cp "$WORK/rec.raw" "$E2E_OUT/$CASE.raw"; false; } ||
        fail "the recording is not the jingle and soundtrack as decoded: $result"
    echo "recording: $result"
    read -r _ jingle _ music _ covered _ < <(echo "$result")
    start=$(cat "$WORK/rec.raw.start")
    # Sound minus picture, in ms: positive when the sound comes late. Scene 0
    # starts black, so its first frame cannot be told from the end of the
    # logo's fade-out; it is on screen one frame (FRAME) after that.
    awk -v s="$start" -v j="$jingle" -v m="$music" -v fi="$FADE_IN" -v fo="$FADE_OUT" \
        -v f="$FRAME" -v c="$covered" 'BEGIN {
            lag = (s + m - fo - f) * 1000
            printf "soundtrack starts %.0f ms after scene 0 shows (frame %.0f ms; fade-out end %.0f ms before the sound); jingle %.0f ms after the logo starts rising; %.1f s of soundtrack recorded\n",
                lag, f * 1000, (s + m - fo) * 1000, (s + j - fi) * 1000, c
            exit !(lag >= -45 && lag <= 125 && c >= 60)
        }' || fail "the soundtrack is out of step with scene 0, or too little was recorded"
}

# Waits until the clock passes FADE_OUT + $1 s.
wait_scene_time() {
    while awk -v a="$(now)" -v b="$FADE_OUT" -v d="$1" 'BEGIN { exit !(a < b + d) }'; do
        kill -0 "$DEMO_PID" 2>/dev/null || fail "norvale ended before scene time $1 s"
        sleep 0.5
    done
}

case_lost() {
    start_pulse
    run_demo once
    watch_intro 45
    wait_scene_time 10
    kill -STOP "$PULSE_PID"  # a server that hangs: no more requests for audio
    not_spinning 5
    # Scene 1 reads the music position about 33 s into the scenes.
    while [ "$(lost_lines)" = 0 ] &&
        awk -v a="$(now)" -v b="$FADE_OUT" 'BEGIN { exit !(a < b + 45) }'; do
        sleep 0.5
    done
    [ "$(lost_lines)" = 1 ] || fail "the hung server was not told on stderr by scene 1"
    echo "told $(awk -v a="$(now)" -v b="$FADE_OUT" 'BEGIN { printf "%.0f", a - b }') s into the scenes"
    local a b
    a=$(import -silent -window "$WINDOW" png:- | md5sum)
    sleep 1
    b=$(import -silent -window "$WINDOW" png:- | md5sum)
    [ "$a" != "$b" ] || fail "the picture stood still after the sound was lost"
    wait_scene_time 40
    stop_pulse  # restarted: the demo finds the new server and plays on
    start_pulse
    local start at
    wait_picture $(($(since_run) + 10)) grep -q "^norvale: the sound output is back" "$WORK/err" ||
        fail "the sound's return was not told on stderr within 10 s"
    start_recorder
    not_spinning 8
    stop_recorder
    "$X11_PROBE" close "$WINDOW"
    wait_exit 15
    echo "closed $((SECONDS - RUN_AT)) s after Run; stderr: $(cat "$WORK/err")"
    start=$(cat "$WORK/rec.raw.start")
    at=$(awk -v p="$start" '$1 >= p { print $3 - ($1 - p); exit }' "$NORVALE_FRAME_TIMES")
    at=$("$SOUND_PROBE" locate data/preview_kovi.mp3 "$WORK/rec.raw" "$at") ||
        fail "the restarted server did not play the soundtrack where the picture is: $at"
    offset "pulse restart" "$(lag_ms "w >= $start && w <= $start + 8" "$at" "$start")"
    [ "$STATUS" = 0 ] || fail "exit status $STATUS, expected 0"
    [ "$(lost_lines)" = 1 ] || fail "the loss was told $(lost_lines) times"
    [ "$(back_lines)" = 1 ] || fail "the return was told $(back_lines) times"
    [ "$(our_streams)" = 0 ] || fail "a stream of ours is on the restarted server"
    [ -z "${OUT_OF_STEP:-}" ] || fail "the sound after the restart is out of step with the picture"
}

# The whole demo on each server in turn, watched and recorded throughout.
case_sync() {
    local server result jingle music start s seen
    for server in pulse pipewire; do
        start_$server
        start_recorder
        run_demo once
        "$X11_PROBE" watch "$WINDOW" 600 >"$WORK/seen" 2>/dev/null &
        WATCH_PID=$!
        watch_intro 45 "$WORK/seen"
        wait_exit 300  # the scenes run about 211 s
        [ "$STATUS" = 0 ] || fail "exit status $STATUS at the demo's end on $server"
        stop_recorder
        kill "$WATCH_PID" 2>/dev/null; wait "$WATCH_PID"
        result=$("$SOUND_PROBE" align data/introeffectmx.mp3 data/preview_kovi.mp3 "$WORK/rec.raw") ||
            { [ -n "${E2E_OUT:-}" ] && cp "$WORK/rec.raw" "$E2E_OUT/$CASE-$server.raw"; false; } ||
            fail "on $server the recording is not the jingle and soundtrack as decoded: $result$(
                [ $server = pipewire ] && pipewire_misses)"
        echo "$server recording: $result$([ $server = pipewire ] && pipewire_misses)"
        read -r _ jingle _ music _ < <(echo "$result")
        offset "$server logo" "$(awk -v a="$(start_near "$FADE_IN")" -v j="$jingle" -v f="$FADE_IN" 'BEGIN {
            printf "%.0f", (a + j - f) * 1000 }')"
        for s in 0 1 2 3 4; do
            start=$(start_near "$(numbered | awk -v s=$s '$2 == s { print $1; exit }')")
            offset "$server scene$s" "$(lag_ms "s == $s && n >= 2 && n <= 40" "-$music" "$start")"
            seen=$(seen_ms "$WORK/seen" $s)
            echo "$server scene$s: shown $seen ms after its present (median)"
            [ "$seen" != none ] && [ "$seen" -le 15 ] || fail "scene $s's frames are not dated as shown"
        done
        stop_$server
        kill "$XVFB_PID" && wait "$XVFB_PID"
    done
    [ -z "${OUT_OF_STEP:-}" ] || fail "the sound is out of step with the picture:$OUT_OF_STEP"
}

# The offset (point $1) of play $2's entry into scene $3, located in 6 s of
# the recording from 6 s after its second frame on.
entry_offset() {
    local w m f p e at o
    read -r w m < <(numbered | awk "\$4 == $2 && \$2 == $3 && \$5 == 2 { print \$1, \$3; exit }")
    read -r f p e < <(awk -v a="$(start_near "${w:-0}")" -v w="${w:-0}" -v m="${m:-0}" 'BEGIN {
        f = int((w + 6 - a) * 44100 + 0.5); p = a + f / 44100
        printf "%d %.4f %.4f\n", f, p, m - (w - p) }')
    dd if="$WORK/rec.raw" of="$WORK/piece.raw" bs=4 skip="${f:-0}" count=264600 status=none
    at=$("$SOUND_PROBE" locate data/preview_kovi.mp3 "$WORK/piece.raw" "${e:-0}") &&
        o=$(lag_ms "k == $2 && s == $3 && n >= 2 && n <= 40" "$at" "${p:-0}") ||
        { o=none; [ -n "${E2E_OUT:-}" ] && mkdir -p "$E2E_OUT" && cp "$WORK/piece.raw" "$E2E_OUT/$CASE-$3.raw"; }
    offset "$1" "$o"
}

# Memory and open files at each play's start; each scene entry located in 6 s
# of the recording from 6 s after its second frame on (the first play's jingle
# rings into scene 0 for about 5 s).
case_soak() {
    local k s
    start_pulse
    start_recorder
    run_demo loop
    for k in 1 2 3 4 5; do  # the fifth play's start ends the fourth
        wait_picture 1300 played $k || fail "play $k had not started $(since_run) s after Run"
        echo "play $k starts: $(awk '/VmRSS/ { print $2 }' "/proc/$DEMO_PID/status") kB resident," \
            "$(ls "/proc/$DEMO_PID/fd" | wc -l) open files" | tee -a "$WORK/rows"
    done
    "$X11_PROBE" close "$WINDOW"
    wait_exit 30
    [ "$STATUS" = 0 ] || fail "exit status $STATUS after closing the window"
    stop_recorder
    for k in 1 2 3 4; do
        for s in 0 1 2 3 4; do entry_offset "pulse loop$k scene$s" "$k" "$s"; done
    done
    awk 'NR == 2 { r = $4; f = $7 } END { printf "from play 2 to %d: %+d kB resident, %+d open files\n",
        $2, $4 - r, $7 - f; exit !($4 - r <= 2048 && $7 <= f) }' "$WORK/rows" || fail "memory or open files grow from play to play"
    [ -z "${OUT_OF_STEP:-}" ] || fail "the sound is out of step with the picture:$OUT_OF_STEP"
}

case_close_stalled() {
    start_pulse
    run_demo once
    sleep 8  # the jingle starts 5 s after Run
    [ "$(our_streams)" = 1 ] || fail "no stream of ours on the server"
    kill -STOP "$PULSE_PID"
    sleep 3  # the output lets a stream go after 2 s without a request
    "$X11_PROBE" close "$WINDOW"
    wait_exit 15
    [ "$STATUS" = 0 ] || fail "exit status $STATUS after closing the window"
    [ "$(lost_lines)" = 1 ] || fail "the hung server was not told once on stderr"
    kill -CONT "$PULSE_PID"
    sleep 1
    [ "$(our_streams)" = 0 ] || fail "a stream is left on the server"
}

# One play on server $1 (pulse, pipewire, or pipewire48k: its graph at
# 48 kHz) with event $2 (a function, given the server) at $3 s into the
# scenes, recorded until the entries of scenes $4... can be located; each
# offset named "<server> <case> sceneN". $LOSSES: how many times the loss and
# the return are to be told (0: none).
play_desktop() {
    local server=$1 event=$2 at=$3 s until steal
    shift 3
    steal=$(awk '/^cpu / { print $9 }' /proc/stat)
    # A recording resampled on its way is located by least squares.
    if [ "$server" = pipewire48k ]; then start_pipewire 48000 && export SOUND_PROBE_RESAMPLED=1
    else start_$server; fi
    start_recorder
    run_demo once
    watch_intro 45
    wait_scene_time "$at"
    echo "$event at $(awk -v a="$(now)" -v b="$FADE_OUT" 'BEGIN { printf "%.1f", a - b }') s into the scenes"
    "$event" "$server"
    # Scene s starts SceneStartOffsets units of 0.96 s in; its piece ends 12 s
    # later; a stall holds the music back by its length.
    until=$(awk -v s="${*: -1}" -v d="${STALL:-0}" 'BEGIN { split("0 34 66 98 162", u)
        printf "%.0f", u[s + 1] * 0.96 + 14 + d }')
    wait_scene_time "$until"
    stop_recorder
    "$X11_PROBE" close "$WINDOW"
    wait_exit 30
    [ "$STATUS" = 0 ] || fail "exit status $STATUS after closing the window"
    for s in "$@"; do entry_offset "$server $CASE${STALL:-} scene$s" 1 "$s"; done
    case $server in pipewire*) echo "on $server$(pipewire_misses)" ;; esac
    echo "stderr: $(cat "$WORK/err"); $(awk -v s="$steal" '/^cpu / { print $9 - s }' /proc/stat) ticks stolen"
    [ "$(lost_lines)" = "${LOSSES:-0}" ] && [ "$(back_lines)" = "${LOSSES:-0}" ] ||
        fail "the loss was told $(lost_lines) times and the return $(back_lines), expected ${LOSSES:-0}"
    [ -z "${OUT_OF_STEP:-}" ] || fail "the sound is out of step with the picture:$OUT_OF_STEP"
    echo "case cost $SECONDS s"
}

nothing() { :; }
stop_server() { kill -STOP "$PULSE_PID"; sleep "$STALL"; kill -CONT "$PULSE_PID"; }
force_quantum() {
    pw-metadata -n settings 0 clock.force-quantum 256 >/dev/null || fail "pw-metadata failed"
    sleep 4
    pw-metadata -n settings 0 clock.force-quantum 2048 >/dev/null
}
# Recorded from the second sink on: only the entries after the move count.
move_stream() {
    pactl load-module module-null-sink sink_name=other_sink rate=48000 channels=2 format=s16le \
        sink_properties=node.latency=4096/48000 >/dev/null || fail "no second sink on $1"
    stop_recorder
    start_recorder other_sink
    export SOUND_PROBE_RESAMPLED=1
    sleep 1
    pactl move-sink-input "$(pactl list short sink-inputs | awk 'NR == 1 { print $1 }')" other_sink ||
        fail "the stream could not be moved on $1"
}

case_pipewire48k() { play_desktop pipewire48k nothing 0 0 1; }
# Stopped across scene 1's entry (32.6 s into the scenes).
case_stall() {
    STALL=$2
    LOSSES=$(awk -v d="$STALL" 'BEGIN { print (d > 2.5) }')
    play_desktop pulse stop_server "$(awk -v d="$STALL" 'BEGIN { print 32.6 - d / 2 }')" 2
}
case_quantum() { play_desktop pipewire force_quantum 23 1; }
case_move() { play_desktop "$2" move_stream 25 1; }
case_busy() {
    local i
    for i in 1 2; do
        bash -c 'while :; do :; done' &
        BUSY_PIDS="${BUSY_PIDS:-} $!"
    done
    play_desktop "$2" nothing 0 0 1
}

declare -F "case_$CASE" >/dev/null || fail "unknown case"
"case_$CASE" "$@"
echo "ok ($CASE)"
