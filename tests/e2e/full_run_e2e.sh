#!/bin/bash
# The whole demo under its own Xvfb screen, windowed at 640x480, with Loop
# ticked: the audio written by SDL's disk driver holds the whole soundtrack,
# the first scene plays again about 237 s after Run, and Escape then ends the
# program with status 0. (Loop clear ends the program where this one starts
# again: the end step's tests cover that choice.)
# NORVALE_BIN and X11_PROBE name the two programs; pictures go to E2E_OUT when set.
# The case takes about 4.5 minutes.
set -u
CASE=$1
. "$(dirname "$0")/lib.sh"
RUN_AT=0
RGB=""
RATE=44100

# Keeps the screen as $E2E_OUT/$CASE$1.png when E2E_OUT is set.
keep_screen() {
    [ -n "${DISPLAY:-}" ] && [ -n "${E2E_OUT:-}" ] || return 0
    mkdir -p "$E2E_OUT"
    import -silent -window root "$E2E_OUT/$CASE$1.png" 2>/dev/null &&
        echo "  screen: $E2E_OUT/$CASE$1.png" >&2
}

# Mean red, green and blue of the render window, 0..255 each.
mean_rgb() {
    import -silent -window "$WINDOW" png:- 2>/dev/null |
        convert - -format '%[fx:int(mean.r*255)] %[fx:int(mean.g*255)] %[fx:int(mean.b*255)]' info:
}

# Loudness of each second of 16-bit stereo audio in $1 (format $2), in dB,
# silence as -90, one value per line.
loudness() {
    ffmpeg -v error $2 -i "$1" -ac 2 -ar $RATE -f s16le - |
        ffmpeg -v error -f s16le -ar $RATE -ac 2 -i - -af \
            "asetnsamples=n=$RATE,astats=metadata=1:reset=1,ametadata=mode=print:key=lavfi.astats.Overall.RMS_level:file=-" \
            -f null - |
        awk -F= '/RMS_level/ { v = ($2 == "-inf" || $2 < -90) ? -90 : $2; print v }'
}

# Finds where the soundtrack's loudness curve $2 best matches inside the
# written one $1: "offset seconds-covered correlation".
match_soundtrack() {
    awk 'NR == FNR { w[n++] = $1; next } { s[m++] = $1 }
        END {
            best = -2
            for (o = 0; o + 60 < n; ++o) {
                len = (n - o < m) ? n - o : m
                sx = sy = sxx = syy = sxy = 0
                for (k = 0; k < len; ++k) {
                    x = w[o + k]; y = s[k]
                    sx += x; sy += y; sxx += x * x; syy += y * y; sxy += x * y
                }
                vx = sxx - sx * sx / len; vy = syy - sy * sy / len
                if (vx <= 0 || vy <= 0) continue
                r = (sxy - sx * sy / len) / sqrt(vx * vy)
                if (r > best) { best = r; at = o; cover = len }
            }
            printf "%d %d %.3f\n", at, cover, best
        }' "$1" "$2"
}

# True when the render window's mean colour (in RGB) passes the awk test $1
# on r, g and b.
colour_is() {
    RGB=$(mean_rgb)
    [ -n "$RGB" ] && echo "$RGB" | awk "{ r = \$1; g = \$2; b = \$3; exit !($1) }"
}

# Waits until $1 s after Run for a mean colour passing the test $2.
wait_colour() {
    wait_picture "$1" colour_is "$2" || fail "no picture with $2 by $1 s after Run (last $RGB)"
}

case_full_run() {
    export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$WORK/audio.raw"
    run_demo loop
    sleep 200
    # The closing scene's orange, then the black of its fade and of the end.
    wait_colour 290 'r > b + 2'
    wait_colour 300 'r + g + b < 3'
    # The first scene fades in again: a cool grey picture, not the orange one.
    wait_colour 315 'r + g + b > 6'
    local back=$((SECONDS - RUN_AT))
    sleep 6
    local rgb
    keep_screen _after_loop
    rgb=$(mean_rgb)
    echo "looped $back s after Run; 6 s later the picture's mean colour is $rgb"
    echo "$rgb" | awk '{ exit !($1 + $2 + $3 > 30 && $3 >= $1) }' ||
        fail "after the loop the picture ($rgb) is not the first scene's"
    # The end comes 8 counter units after the last scene; the disk driver paces
    # itself by sleeping, so under load the demo runs a little slower.
    [ $back -ge 222 ] && [ $back -le 300 ] || fail "looped $back s after Run, expected about 237"
    quit_with_escape "$WINDOW" 60
    [ -s "$WORK/audio.raw" ] || fail "no audio was written"
    loudness "$WORK/audio.raw" "-f s16le -ar $RATE -ac 2" >"$WORK/written.db"
    loudness data/preview_kovi.mp3 "" >"$WORK/soundtrack.db"
    local offset cover r audible
    read -r offset cover r < <(match_soundtrack "$WORK/written.db" "$WORK/soundtrack.db")
    audible=$(awk '$1 > -60 { last = NR } END { print last }' "$WORK/soundtrack.db")
    echo "soundtrack found at $offset s of the written audio, correlation $r; $cover s of it" \
        "compared (audible to $audible s)"
    awk -v r="$r" 'BEGIN { exit !(r >= 0.9) }' || fail "written audio does not follow the soundtrack"
    [ "$cover" -ge "$audible" ] || fail "only $cover s of the soundtrack were played"
}

declare -F "case_$CASE" >/dev/null || fail "unknown case"
"case_$CASE"
echo "ok ($CASE)"
