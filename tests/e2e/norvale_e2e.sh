#!/bin/bash
# One end-to-end case of the real program under its own Xvfb screen:
#   norvale_e2e.sh CASE   (NORVALE_BIN and X11_PROBE name the two programs;
#                          screenshots of failures go to E2E_OUT)
# Waits are generous: the intro may play for about 25 seconds before the
# main loop, which alone looks at Escape, starts.
set -u
CASE=$1
. "$(dirname "$0")/lib.sh"

expect_status() {
    [ "$STATUS" = "$1" ] || fail "exit status $STATUS, expected $1"
}

expect_no_window() {
    [ -z "$(shown Norvale)" ] || fail "a Norvale window is still shown"
}

focus() { xdotool windowfocus --sync "$1"; }

# The dialog, shown and focused; its window id in DIALOG.
open_dialog() {
    start_xvfb
    start_demo
    wait_window Norvale 30
    DIALOG=$WINDOW
    focus "$DIALOG"
}

# Focus starts on Run; Tab twice reaches the width field, whose text is
# selected on focus, so typing replaces it.
type_size() {
    xdotool key Tab Tab
    xdotool type "$1"
    xdotool key Tab
    xdotool type "$2"
}

# The PRIMARY selection once it equals $1 (a focused field selects its text).
wait_primary() {
    local text=""
    for _ in $(seq 30); do
        text=$("$X11_PROBE" primary 2>/dev/null)
        [ "$text" = "$1" ] && return 0
        sleep 0.1
    done
    fail "field shows '$text', expected '$1'"
}

# Waits until the window $1 shows anything but black.
wait_drawn() {
    local deadline=$((SECONDS + $2)) max
    while [ $SECONDS -lt $deadline ]; do
        max=$(import -silent -window "$1" png:- 2>/dev/null | convert - -format '%[max]' info: 2>/dev/null)
        [ -n "$max" ] && [ "${max%.*}" -gt 0 ] && return 0
        sleep 1
    done
    fail "window stayed black for $2 s"
}

# Runs windowed at 640x480; the render window in WINDOW and LINE.
run_windowed() {
    open_dialog
    type_size 640 480
    xdotool key Tab Tab Tab Tab space  # colour depth, aspect, brightness, Fullscreen
    xdotool key alt+r
    wait_window Norvale 30 640x480
}

case_dialog_fields() {
    open_dialog
    local x y w h
    read -r _ x y w h < <(shown Norvale)
    [ $((x + w / 2 - 960)) -ge -2 ] && [ $((x + w / 2 - 960)) -le 2 ] || fail "not centred: $x $w"
    [ $((y + h / 2 - 540)) -ge -2 ] && [ $((y + h / 2 - 540)) -le 2 ] || fail "not centred: $y $h"
    xdotool key Tab  # Run -> Exit
    for expected in 1920 1080 32 16:9 0.00; do
        xdotool key Tab
        wait_primary "$expected"
    done
    xdotool key Escape
    wait_exit 10
    expect_status 0
}

case_exit_button() {
    open_dialog
    xdotool key alt+x
    wait_exit 10
    expect_status 0
    expect_no_window
}

case_escape_key() {
    open_dialog
    xdotool key Escape
    wait_exit 10
    expect_status 0
    expect_no_window
}

case_close_box() {
    open_dialog
    "$X11_PROBE" close "$DIALOG"
    sleep 1
    kill -0 "$DEMO_PID" 2>/dev/null || fail "the close box ended the program"
    [ -n "$(shown Norvale)" ] || fail "the close box closed the dialog"
    focus "$DIALOG"
    xdotool key alt+x
    wait_exit 10
    expect_status 0
}

case_invalid_value() {
    open_dialog
    type_size 0 480
    xdotool key alt+r
    local deadline=$((SECONDS + 10)) box=""
    while [ -z "$box" ] && [ $SECONDS -lt $deadline ]; do
        box=$(shown Norvale | awk -v d="$DIALOG" '$1 != d { print $1 }' | head -n1)
        sleep 0.2
    done
    [ -n "$box" ] || fail "no message about the width"
    [ -n "$(shown Norvale | awk -v d="$DIALOG" '$1 == d')" ] || fail "the dialog closed"
    [ -z "$(shown Norvale | awk '$4 == 640 || $2 == 0')" ] || fail "a render window opened"
    focus "$box"
    xdotool key Return
    sleep 0.5
    focus "$DIALOG"
    xdotool key Escape
    wait_exit 10
    expect_status 0
}

case_run_windowed() {
    run_windowed
    [ "$(echo "$LINE" | cut -d' ' -f2,3)" = "0 0" ] || fail "window not at 0,0: $LINE"
    wait_drawn "$WINDOW" 60
    quit_with_escape "$WINDOW" 90
    expect_no_window
}

case_close_window() {
    run_windowed
    "$X11_PROBE" close "$WINDOW"
    wait_exit 90
    expect_status 0
    expect_no_window
}

case_alt_f4() {
    run_windowed
    focus "$WINDOW"
    xdotool keydown alt keydown F4
    wait_exit 90
    xdotool keyup F4 keyup alt
    expect_status 0
}

case_run_fullscreen() {
    open_dialog
    xdotool key alt+r
    sleep 1  # the dialog itself is gone before the render window shows
    wait_window Norvale 30 1920x1080
    quit_with_escape "$WINDOW" 90
    expect_no_window
}

# A 20 ms tap, far shorter than a full-screen frame on llvmpipe, once the
# main loop runs (the intro ignores Escape): the press is kept for the next frame.
case_escape_tap() {
    open_dialog
    xdotool key alt+r
    RUN_AT=$SECONDS
    sleep 1
    wait_window Norvale 30 1920x1080
    wait_picture 45 false
    xdotool windowfocus --sync "$WINDOW"
    xdotool keydown Escape sleep 0.02 keyup Escape
    wait_exit 30
    expect_status 0
}

# Leaves through exit() while the display mode is changed: the exit
# handler puts the desktop back and the status stays 0.
case_alt_f4_fullscreen() {
    open_dialog
    xdotool key alt+r
    sleep 1
    wait_window Norvale 30 1920x1080
    focus "$WINDOW"
    xdotool keydown alt keydown F4
    wait_exit 90
    xdotool keyup F4 keyup alt
    expect_status 0
}

# 800x600 is not a mode of this screen: the question comes up.
ask_mode() {
    open_dialog
    type_size 800 600
    xdotool key alt+r
    wait_window 'Mode Not Supported' 30
    focus "$WINDOW"
}

case_mode_refused_no() {
    ask_mode
    xdotool key Escape  # No
    wait_window ERROR 10
    focus "$WINDOW"
    xdotool key Return
    wait_exit 10
    expect_status 0
    expect_no_window
}

case_mode_refused_yes() {
    ask_mode
    xdotool key Return  # Yes
    wait_window Norvale 30 800x600
    [ "$(echo "$LINE" | cut -d' ' -f2,3)" = "0 0" ] || fail "window not at 0,0: $LINE"
    "$X11_PROBE" close "$WINDOW"
    wait_exit 90
    expect_status 0
}

case_no_display() {
    env -u DISPLAY -u WAYLAND_DISPLAY "$NORVALE_BIN" >"$WORK/out" 2>"$WORK/err" &
    DEMO_PID=$!
    wait_exit 20
    expect_status 100
    grep -q "undefined" "$WORK/err" || fail "no 'undefined' message on stderr"
    grep -q "no display: DISPLAY and WAYLAND_DISPLAY are unset" "$WORK/err" ||
        fail "no line saying there is no display"
}

declare -F "case_$CASE" >/dev/null || fail "unknown case"
"case_$CASE"
echo "ok ($CASE)"
