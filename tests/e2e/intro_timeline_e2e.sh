#!/bin/bash
# The real program under its own Xvfb screen, windowed at 640x480, watched
# through screenshots: black right after Run, the logo at about 16 s, the
# opening scene after the fade-out, the wave scene about 33 s of music later,
# and Escape ending with status 0. (NORVALE_BIN and X11_PROBE name the programs.)
set -u
CASE="intro timeline"
. "$(dirname "$0")/lib.sh"

# NORVALE_E2E_SHOTS=dir keeps the screenshots for a person to look at.
on_cleanup() {
    [ -n "${NORVALE_E2E_SHOTS:-}" ] && cp "$WORK"/*.png "$NORVALE_E2E_SHOTS"/ 2>/dev/null
}

# Without the generated data there is nothing to look at (make test makes it).
if [ ! -f data/logo.tga ] || [ ! -f data/preview_kovi.mp3 ]; then
    echo "skipped: data/ has not been generated" >&2
    exit 77
fi

start_xvfb

# Screenshot of the render window into $WORK/$1.png.
shot() { import -silent -window "$WINDOW" "$WORK/$1.png" 2>/dev/null; }

# Mean (0..255) over the shot $1 shrunk to 160x120, after the operators that follow.
measure() {
    convert "$WORK/$1.png" -scale '160x120!' "${@:2}" -format '%[fx:int(255*mean)]' info: \
        2>/dev/null
}
brightness() { measure "$1" -colorspace Gray; }
# Share of pixels whose red beats blue by 40: the logo's orange letters.
reddish() { measure "$1" -fx 'r - b > 0.16 ? 1 : 0'; }
# Colourfulness (max - min channel) of the lower part: the waves' palettes.
colourful() { measure "$1" -crop 160x50+0+70 +repage -fx 'max(r, max(g, b)) - min(r, min(g, b))'; }
# Brightness of the band from 15 % to 25 % of the height: the wave scene's white horizon.
upper_band() { measure "$1" -crop 160x12+0+18 +repage -colorspace Gray; }

wait_until() { while [ $((SECONDS - RUN_AT)) -lt "$1" ]; do sleep 0.2; done; }

start_demo
wait_window Norvale 30
xdotool windowfocus --sync "$WINDOW"
# Focus starts on Run: width, height, then colour depth, aspect, brightness, Fullscreen.
xdotool key Tab Tab
xdotool type 640
xdotool key Tab
xdotool type 480
xdotool key Tab Tab Tab Tab space alt+r
wait_window Norvale 30 640x480
RUN_AT=$SECONDS

wait_until 2
shot black
[ "$(brightness black)" -le 1 ] || fail "not black 2 s after Run"

wait_until 16
shot logo
[ "$(brightness logo)" -ge 8 ] || fail "no logo 16 s after Run"
[ "$(reddish logo)" -ge 2 ] || fail "the logo shows no orange letters 16 s after Run"

# The fade-out ends about 22 s after Run plus the loading time; then scene 0 fades in.
wait_until 23
opening_scene() { shot scene0 && [ "$(brightness scene0)" -ge 10 ] && [ "$(reddish scene0)" -le 1 ]; }
wait_picture 90 opening_scene || fail "the opening scene never showed"
SCENE0_AT=$SECONDS

# The wave scene: coloured stripes under a white horizon band, which the
# opening scene never shows. It fades in when the music reaches its start.
wave_scene() { shot scene1 && [ "$(upper_band scene1)" -ge 150 ] && [ "$(colourful scene1)" -ge 6 ]; }
wait_picture $((SCENE0_AT - RUN_AT + 75)) wave_scene || fail "the wave scene never showed"
SCENE1_AT=$SECONDS
GAP=$((SCENE1_AT - SCENE0_AT))
[ $GAP -ge 25 ] && [ $GAP -le 50 ] || fail "the wave scene came $GAP s after the opening scene"

quit_with_escape "$WINDOW" 30
echo "ok (intro timeline: opening scene at $((SCENE0_AT - RUN_AT)) s, wave scene $GAP s later)"
