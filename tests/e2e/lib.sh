# Helpers the e2e scripts share: a scratch folder, an X server of their own,
# the program started in the background, and waits for its windows and its
# end. Source it after setting CASE, the name failures are reported under.
# NORVALE_BIN and X11_PROBE name the program and the window probe; with
# E2E_OUT set, a failure keeps a screenshot there. A script may define
# on_cleanup, which runs first when the script ends.
WORK=$(mktemp -d)
XVFB_PID=""
DEMO_PID=""
PULSE_PID=""
PIPEWIRE_PIDS=""
SWAY_PID=""
KEYS_PID=""
STATUS=""

# Asks process $1 to end; kills it when it has not after 5 s (a hung program).
end_process() {
    kill "$1" 2>/dev/null || return 0
    for _ in $(seq 50); do
        kill -0 "$1" 2>/dev/null || break
        sleep 0.1
    done
    kill -9 "$1" 2>/dev/null
    wait "$1" 2>/dev/null
}

cleanup() {
    declare -F on_cleanup >/dev/null && on_cleanup
    [ -n "$DEMO_PID" ] && end_process "$DEMO_PID"
    [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null && wait "$XVFB_PID" 2>/dev/null
    stop_pulse
    stop_pipewire
    [ -n "$SWAY_PID" ] && kill "$SWAY_PID" $KEYS_PID 2>/dev/null && wait "$SWAY_PID" 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT

# Shown top-level windows titled exactly $1: "id x y width height" lines.
shown() { "$X11_PROBE" find "$1"; }

# Reports, keeps a screenshot of the failure in $E2E_OUT, and ends the case.
fail() {
    echo "FAIL ($CASE): $*" >&2
    [ -s "$WORK/err" ] && sed 's/^/  norvale stderr: /' "$WORK/err" >&2
    [ -s "$WORK/xvfb.log" ] && sed 's/^/  xvfb: /' "$WORK/xvfb.log" >&2
    if [ -n "${DISPLAY:-}" ] && [ -n "${E2E_OUT:-}" ]; then
        mkdir -p "$E2E_OUT"
        import -silent -window root "$E2E_OUT/$CASE.png" 2>/dev/null &&
            echo "  screen: $E2E_OUT/$CASE.png" >&2
        for title in Norvale "Mode Not Supported" ERROR; do
            shown "$title" | sed "s/^/  shown '$title': /" >&2
        done
    fi
    exit 1
}

# A display of our own, with a screen of $1 (default 1920x1080). Other X
# servers on this machine may come and go on the low numbers, so take a
# random high one and make sure it is ours. -noreset: otherwise the server
# resets when the readiness probe leaves, and refuses the program's first
# connection while it does.
start_xvfb() {
    local n
    for _ in $(seq 10); do
        n=$((200 + RANDOM % 700))
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
        Xvfb ":$n" -screen 0 "${1:-1920x1080}x24" -nolisten tcp -noreset 2>"$WORK/xvfb.log" &
        XVFB_PID=$!
        export DISPLAY=":$n"
        for _ in $(seq 50); do
            kill -0 "$XVFB_PID" 2>/dev/null || break
            shown Norvale >/dev/null 2>&1 && return 0
            sleep 0.1
        done
        kill "$XVFB_PID" 2>/dev/null && wait "$XVFB_PID" 2>/dev/null
        XVFB_PID=""
    done
    fail "no X server could be started"
}

# A PulseAudio server of our own (root or not, no session bus, no other
# daemon assumed) with one null sink, norvale_sink, at the demo's format;
# its monitor is what was played. Clients of this shell find it through
# PULSE_SERVER; SDL is told to use it.
start_pulse() {
    mkdir -p -m 700 "$WORK/pulse"
    export XDG_RUNTIME_DIR="$WORK/pulse" PULSE_RUNTIME_PATH="$WORK/pulse/run" \
        PULSE_STATE_PATH="$WORK/pulse/state" PULSE_SERVER="unix:$WORK/pulse/run/native" \
        SDL_AUDIODRIVER=pulse
    HOME="$WORK/pulse" pulseaudio --daemonize=no --exit-idle-time=-1 -n --use-pid-file=no \
        --log-target=stderr \
        --load="module-native-protocol-unix auth-anonymous=1" \
        --load="module-null-sink sink_name=norvale_sink rate=44100 format=s16le channels=2" \
        2>>"$WORK/pulse.log" &
    PULSE_PID=$!
    for _ in $(seq 50); do
        pactl info >/dev/null 2>&1 && return 0
        kill -0 "$PULSE_PID" 2>/dev/null || break
        sleep 0.1
    done
    sed 's/^/  pulseaudio: /' "$WORK/pulse.log" >&2
    fail "no PulseAudio server could be started"
}

# Ends the server, also a stopped one.
stop_pulse() {
    [ -n "$PULSE_PID" ] || return 0
    kill -CONT "$PULSE_PID" 2>/dev/null
    kill "$PULSE_PID" 2>/dev/null && wait "$PULSE_PID" 2>/dev/null
    PULSE_PID=""
}

# The same through PipeWire (pipewire, wireplumber and pipewire-pulse on a bus
# of their own), its graph at the demo's rate so that nothing is resampled,
# or at rate $1 (a desktop's 48000: the demo's stream resampled).
start_pipewire() {
    local d="$WORK/pw" p rate=${1:-44100}
    mkdir -p "$d/.config/pipewire/pipewire.conf.d"
    echo "context.properties = { default.clock.rate = $rate default.clock.allowed-rates = [ $rate ] }" \
        >"$d/.config/pipewire/pipewire.conf.d/rate.conf"
    export XDG_RUNTIME_DIR="$d" PULSE_RUNTIME_PATH="$d/pulse" PULSE_SERVER="unix:$d/pulse/native" \
        SDL_AUDIODRIVER=pulse
    for p in "dbus-daemon --session --nofork --address=unix:path=$d/dbus" pipewire wireplumber \
        pipewire-pulse; do
        HOME="$d" DBUS_SESSION_BUS_ADDRESS="unix:path=$d/dbus" PIPEWIRE_DEBUG=3 $p 2>>"$d.log" &
        PIPEWIRE_PIDS="$! $PIPEWIRE_PIDS"
        sleep 0.5
    done
    for _ in $(seq 50); do
        pactl load-module module-null-sink sink_name=norvale_sink rate="$rate" channels=2 format=s16le \
            >/dev/null 2>&1 && pactl set-default-sink norvale_sink && return 0
        sleep 0.1
    done
    fail "no PipeWire server could be started: $(cat "$d.log")"
}

# What PipeWire logged of its own graph: its processes off the CPU past a
# cycle lose sound that no client could have kept.
pipewire_misses() { echo " (PipeWire's graph missed $(grep -c 'client too slow' "$WORK/pw.log") cycles)"; }

stop_pipewire() { for p in $PIPEWIRE_PIDS; do kill "$p" 2>/dev/null && wait "$p" 2>/dev/null; done; PIPEWIRE_PIDS=""; }

start_demo() {
    "$NORVALE_BIN" >"$WORK/out" 2>"$WORK/err" &
    DEMO_PID=$!
}

# Waits up to $2 seconds for a shown window titled $1 (and, when given, of
# size $3); its line in LINE, its id in WINDOW.
wait_window() {
    local deadline=$((SECONDS + $2))
    while [ $SECONDS -lt $deadline ]; do
        kill -0 "$DEMO_PID" 2>/dev/null || fail "norvale ended while waiting for '$1'"
        LINE=$(shown "$1" | awk -v size="${3:-}" 'size == "" || $4 "x" $5 == size' | head -n1)
        WINDOW=${LINE%% *}
        [ -n "$LINE" ] && return 0
        sleep 0.2
    done
    fail "no window '$1' ${3:-} after $2 s"
}

# Whole seconds since Run was pressed (RUN_AT, in SECONDS).
since_run() { echo $((SECONDS - RUN_AT)); }

# Runs "${@:2}" (a look at the picture) every half second until it succeeds,
# at most until $1 seconds after Run; false when the time is up. The program
# ending first is a failure.
wait_picture() {
    local until=$1
    shift
    while [ $((SECONDS - RUN_AT)) -lt "$until" ]; do
        kill -0 "$DEMO_PID" 2>/dev/null || fail "norvale ended at $(since_run) s after Run"
        "$@" && return 0
        sleep 0.5
    done
    return 1
}

# Ends the program with Escape held down over window $1 (the main loop looks
# at the key once a frame, which may take long) and waits up to $2 seconds
# for it to end with status 0.
quit_with_escape() {
    xdotool windowfocus --sync "$1"
    xdotool keydown Escape
    wait_exit "$2"
    xdotool keyup Escape
    [ "$STATUS" = 0 ] || fail "exit status $STATUS after Escape, expected 0"
}

# Waits up to $1 seconds for the program to end; its exit status in STATUS.
wait_exit() {
    local deadline=$((SECONDS + $1))
    while kill -0 "$DEMO_PID" 2>/dev/null; do
        [ $SECONDS -ge $deadline ] && fail "still running after $1 s"
        sleep 0.2
    done
    wait "$DEMO_PID"
    STATUS=$?
    DEMO_PID=""
}

# Fills the dialog (640x480, Fullscreen off, Loop as $1) and presses Run; the
# render window in WINDOW, the moment of Run in RUN_AT.
run_demo() {
    start_xvfb 1280x1024
    start_demo
    wait_window Norvale 60
    xdotool windowfocus --sync "$WINDOW"
    xdotool key Tab Tab  # Run, Exit, then the width field, its text selected
    xdotool type 640
    xdotool key Tab
    xdotool type 480
    xdotool key Tab Tab Tab Tab space  # colour depth, aspect, brightness: Fullscreen off
    [ "$1" = loop ] && xdotool key Tab space
    xdotool key alt+r
    RUN_AT=$SECONDS
    wait_window Norvale 30 640x480
}

# A headless sway of our own (output 1280x720 at scale ${1:-1}) with Xwayland
# on XWAYLAND_DISPLAY and the key client wl_keys (WL_KEYS) reading fd 7.
# sway will not run as root: it, its clients and the program run as the
# system user norvale-e2e, made here when missing (Xwayland refuses clients
# of a user id without an account). Ends the case as skipped when sway
# cannot start.
WL_USER=norvale-e2e
SETPRIV=(setpriv --reuid=$WL_USER --regid=$WL_USER --init-groups)
as_user() { "${SETPRIV[@]}" env HOME="$WORK" XDG_RUNTIME_DIR="$WORK/wl" "$@"; }
start_sway() {
    id $WL_USER >/dev/null 2>&1 || useradd -r -M -d /nonexistent -s /usr/sbin/nologin $WL_USER || exit 77
    mkdir -m 700 "$WORK/wl" && chown $WL_USER "$WORK" "$WORK/wl" || exit 77
    printf 'output HEADLESS-1 resolution 1280x720 scale %s bg #203040 solid_color\nxwayland enable\nexec echo $DISPLAY >%s\n' \
        "${1:-1}" "$WORK/display" >"$WORK/sway.conf"
    # Started as one command, so that $! is sway itself and not a subshell.
    "${SETPRIV[@]}" env HOME="$WORK" XDG_RUNTIME_DIR="$WORK/wl" \
        WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 sway -c "$WORK/sway.conf" \
        >"$WORK/sway.log" 2>&1 &
    SWAY_PID=$!
    for _ in $(seq 100); do
        grep -q : "$WORK/display" 2>/dev/null && break
        kill -0 $SWAY_PID 2>/dev/null || { sed 's/^/  sway: /' "$WORK/sway.log" >&2; exit 77; }
        sleep 0.1
    done
    export WAYLAND_DISPLAY=$(cd "$WORK/wl" && ls wayland-? | head -n1) SWAYSOCK=$(ls "$WORK"/wl/sway-ipc.*)
    XWAYLAND_DISPLAY=$(cat "$WORK/display")
    mkfifo "$WORK/keys"
    "${SETPRIV[@]}" env XDG_RUNTIME_DIR="$WORK/wl" "$WL_KEYS" \
        <"$WORK/keys" >>"$WORK/sway.log" 2>&1 &
    KEYS_PID=$!
    exec 7>"$WORK/keys"
}

# Keys through wl_keys, one a line: [down |up ][alt+|shift+]KEYSYM; a
# number is typed digit by digit.
keys() { for k in "$@"; do [[ $k =~ ^[0-9]+$ ]] && grep -o . <<<"$k" >&7 || echo "$k" >&7; done; }

# sway's windows: "title|shell|widthxheight|x,y|fullscreen" lines.
sway_windows() {
    as_user swaymsg -t get_tree | jq -r '..|objects|select(.pid?)|
        "\(.name)|\(.shell)|\(.rect.width)x\(.rect.height)|\(.rect.x),\(.rect.y)|\(.fullscreen_mode)"'
}
