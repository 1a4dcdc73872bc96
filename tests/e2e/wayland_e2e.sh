#!/bin/bash
# The program on a headless sway of its own, driven as a user would:
#   wayland_e2e.sh native_CASE|xwayland_CASE   (SDL on Wayland itself, or
#   through Xwayland as on a normal desktop; GTK's dialog is native in both)
# Screenshots of the output stay in E2E_SHOTS when it is set.
set -u
CASE=$1
. "$(dirname "$0")/lib.sh"
command -v sway >/dev/null && command -v grim >/dev/null || exit 77

start_wl_demo() {
    local x=(-u DISPLAY)
    KIND=xdg_shell  # the render window's kind in sway's tree
    if [[ $CASE == xwayland_* ]]; then
        [[ $XWAYLAND_DISPLAY == :* ]] || fail "sway started no Xwayland: $(grep -i xwayland "$WORK/sway.log")"
        x=(DISPLAY="$XWAYLAND_DISPLAY") KIND=xwayland
    fi
    "${SETPRIV[@]}" env "${x[@]}" HOME="$WORK" \
        XDG_RUNTIME_DIR="$WORK/wl" "$NORVALE_BIN" >"$WORK/out" 2>"$WORK/err" &
    DEMO_PID=$!
}

# Waits up to $2 s for a window whose sway line matches $1; the line in LINE.
wait_wl_window() {
    local deadline=$((SECONDS + $2))
    while [ $SECONDS -lt $deadline ]; do
        kill -0 "$DEMO_PID" 2>/dev/null || fail "norvale ended while waiting for '$1'"
        LINE=$(sway_windows | grep -E "$1" | head -n1)
        [ -n "$LINE" ] && return 0
        sleep 0.2
    done
    fail "no window '$1' after $2 s: $(sway_windows)"
}

# The output's picture (in logical pixels) as $1.png.
shot() {
    as_user grim -s 1 - >"$WORK/$1.png" || fail "no screenshot"
    [ -z "${E2E_SHOTS:-}" ] || { mkdir -p "$E2E_SHOTS" && cp "$WORK/$1.png" "$E2E_SHOTS/${CASE}_$1.png"; }
}

# The render window's content size "W H", then the bounding box "w h x y"
# of its pixels in $1.png that meet the fx condition $2 (0 0 0 0 for none),
# in BOX.
BOX=""
measure() {
    local w h x y
    LINE=$(sway_windows | grep '^Norvale|' | head -n1)
    IFS='x,' read -r w h x y <<<"$(cut -d'|' -f3,4 <<<"$LINE" | tr '|' ',')"
    BOX="$w $h $(convert "$WORK/$1.png" -crop "${w}x$h+$x+$y" +repage -scale 25% -fx "$2" -bordercolor black -border 1 \
        -format '%[fx:mean] %@' info: 2>/dev/null | tr 'x+' '  ' |
        awk '{ print ($1 > 0 ? $2 * 4 " " $3 * 4 " " $4 * 4 - 4 " " $5 * 4 - 4 : "0 0 0 0") }')"
}

# The logo's orange is centred in the window and half its width: the intro
# fills the window, not a corner of it.
logo_centred() {
    shot intro && measure intro 'r - b > 0.3' && awk '{ dx = $5 + $3 / 2 - $1 / 2; dy = $6 + $4 / 2 - $2 / 2
        exit !($3 * 2 >= $1 && dx * dx * 100 <= $1 * $1 && dy * dy * 100 <= $2 * $2) }' <<<"$BOX"
}

# A scene's grey lines across most of the window (neither the logo nor its
# dark blue ground is grey).
scene_fills() {
    shot scene && measure scene 'max(r, max(g, b)) > 0.06 && abs(r - b) < 0.03' &&
        awk '{ exit !($3 * 100 >= $1 * 85 && $4 * 10 >= $2 * 6) }' <<<"$BOX"
}

# The dialog at $1x$2 (its own size when not given), Fullscreen as $3; Run.
run_dialog() {
    start_wl_demo
    wait_wl_window '^Norvale\|xdg_shell' 30
    shot dialog
    [ -n "$1" ] && keys Tab Tab "$1" Tab "$2" Tab Tab Tab Tab
    [ "$3" = off ] && keys space
    keys alt+r
    RUN_AT=$SECONDS
}

expect_sway_alive() { kill -0 "$SWAY_PID" 2>/dev/null || fail "sway ended: $(tail -n3 "$WORK/sway.log")"; }

# A windowed 640x480 run that sway tiles: the intro and a scene fill the
# tile; Escape ends with status 0.
case_run() {
    start_sway
    run_dialog 640 480 off
    wait_wl_window "^Norvale\\|$KIND\\|" 30
    wait_picture 40 logo_centred || fail "the intro does not fill the window: $BOX"
    wait_picture 70 scene_fills || fail "the scene does not fill the window: $BOX"
    keys "down Escape"
    wait_exit 30
    keys "up Escape"
    [ "$STATUS" = 0 ] || fail "exit status $STATUS after Escape"
}

# At scale 2 the dialog offers the output's own size, full screen is taken
# without a question and the picture fills the output; closing ends with 0.
case_hidpi() {
    start_sway 2
    run_dialog "" "" on
    wait_wl_window "^Norvale\\|$KIND\\|.*\\|1$" 30
    wait_picture 40 logo_centred || fail "the intro does not fill the output: $BOX"
    as_user swaymsg '[title="^Norvale$"] kill' >/dev/null
    wait_exit 30
    [ "$STATUS" = 0 ] || fail "exit status $STATUS after closing"
}

# 1000x700 is no mode of the output, emulated or real: the question.
ask_mode() {
    start_sway
    run_dialog 1000 700 on
    wait_wl_window '^Mode Not Supported\|' 30
    shot question
}

case_mode_no() {
    ask_mode
    keys Escape
    wait_wl_window '^ERROR\|' 10
    keys Return
    wait_exit 10
    [ "$STATUS" = 0 ] || fail "exit status $STATUS after No"
    sleep 1
    expect_sway_alive
}

case_mode_yes() {
    ask_mode
    keys Return
    wait_wl_window "^Norvale\\|$KIND\\|.*\\|0$" 30
    wait_picture 40 logo_centred || fail "the intro does not fill the window: $BOX"
    as_user swaymsg '[title="^Norvale$"] kill' >/dev/null
    wait_exit 30
    [ "$STATUS" = 0 ] || fail "exit status $STATUS after closing"
    expect_sway_alive
}

declare -F "case_${CASE#*_}" >/dev/null || fail "unknown case"
"case_${CASE#*_}"
echo "ok ($CASE)"
