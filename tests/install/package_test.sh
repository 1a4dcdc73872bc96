#!/usr/bin/env bash
# The Debian packages as a user gets them: norvale and norvale-data built
# with CPack, lintian-clean (pedantic: any tag not overridden fails),
# extracted into a scratch root, the menu entry, metadata and man pages
# checked, the installed renderer run from another folder (finding the
# installed data) and from share/norvale, the installed demo's dialog shown;
# as root, both installed and removed again with apt (exit 77 when that
# could not be tried). Also `make install`'s route (a DESTDIR staging under
# another prefix), and programs that find no data or dialog template beside
# themselves.
#   NORVALE_BUILD: the build folder (CPackConfig.cmake); NORVALE_SOURCE: the tree.
set -euo pipefail
build=${NORVALE_BUILD:?}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# Mean of a picture's channels, 0..1.
mean() { convert "$1" -format '%[fx:mean]' info:; }
at_least() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a >= b) }'; }

cpack --config "$build/CPackConfig.cmake" -B "$work/pkg" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/pkg/norvale_*_amd64.deb) || fail "no norvale_<version>_amd64.deb"
data_deb=$(ls "$work"/pkg/norvale-data_*_all.deb) || fail "no norvale-data_<version>_all.deb"
version=$(dpkg-deb -f "$deb" Version)
depends=$(dpkg-deb -f "$deb" Depends)
for lib in "norvale-data (= $version)" libsdl2 libgtk-3 libjpeg62-turbo libmpg123 libpng16 \
    libmp3lame libebur128 libc6; do
    [[ $depends == *"$lib"* ]] || fail "Depends lacks $lib (shlibdeps?): $depends"
done
[ "$(dpkg-deb -f "$data_deb" Version)" = "$version" ] || fail "norvale-data is not at $version"
# Any tag, down to pedantic ones, fails; what is overridden says why in the package.
command -v lintian >/dev/null || fail "lintian is not installed (scripts/install-deps)"
lintian -I --pedantic --fail-on error,warning,info,pedantic "$deb" "$data_deb" \
    >"$work/lintian.log" 2>&1 || { cat "$work/lintian.log"; fail "lintian"; }
root=$work/root
dpkg-deb -x "$data_deb" "$root"
dpkg-deb -x "$deb" "$root"
share=$root/usr/share

desktop=$share/applications/org.norvale.Norvale.desktop
grep -qx 'Path=/usr/share/norvale' "$desktop" || fail "menu entry does not start in share/norvale"
grep -qx 'Exec=/usr/games/norvale' "$desktop" || fail "menu entry runs the wrong program"
for size in 16 32 48 64 128 256; do
    [ -s "$share/icons/hicolor/${size}x$size/apps/org.norvale.Norvale.png" ] || fail "icon $size"
done
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$desktop" || fail "desktop-file-validate"
fi
if command -v appstreamcli >/dev/null; then
    out=$(appstreamcli validate --no-net "$share/metainfo/org.norvale.Norvale.metainfo.xml" 2>&1) ||
        fail "appstreamcli validate: $out"
fi

# Every option --help names is in the renderer's man page.
render=$root/usr/bin/norvale-render
page=$(zcat "$share/man/man1/norvale-render.1.gz" | sed 's/\\-/-/g')
for option in $("$render" --help | grep -o -- '--[a-z-]*' | sort -u); do
    grep -q -- "$option" <<<"$page" || fail "man page lacks $option"
done
for page in man6/norvale.6.gz man1/norvale-datagen.1.gz; do
    [ -s "$share/man/$page" ] || fail "no man page $page"
done
# The generator takes no option for a folder name: nothing is written.
status=0
(cd "$work" && "$root/usr/bin/norvale-datagen" --halp 2>/dev/null) || status=$?
[ "$status" -eq 2 ] || fail "norvale-datagen --halp is not refused with status 2"
[ ! -e "$work/--halp" ] || fail "norvale-datagen --halp wrote a folder"

# The installed renderer from a folder without data/ reads the installed
# data and says so: pictures and sound. From share/norvale it reads ./data:
# --brightness -1 halving the same picture.
cd "$work"
"$render" --size 160x90 --fps 5 --skip-intro --from 4 --to 7 --png "$work/frames" \
    --wav "$work/sound.wav" 2>"$work/render.log" || { cat "$work/render.log"; fail "render"; }
grep -qF "reading data from $share/norvale/data" "$work/render.log" ||
    { cat "$work/render.log"; fail "the renderer does not say it reads the installed data"; }
cd "$share/norvale"
"$render" --size 160x90 --fps 5 --skip-intro --from 5 --to 5.1 --brightness -1 \
    --png "$work/dark" 2>"$work/render.log" || { cat "$work/render.log"; fail "dark render"; }
! grep -q "reading data from" "$work/render.log" || fail "./data is not read first"
cd "$work"
[ "$(ls frames | wc -l)" -eq 15 ] || fail "expected 15 frames, got $(ls frames | wc -l)"
for f in frames/frame000020.png frames/frame000027.png frames/frame000034.png; do
    at_least "$(mean "$f")" 0.05 || fail "$f is black"
done
rms=$(sox sound.wav -n stat 2>&1 | awk '/RMS +amplitude/ { print $3 }')
at_least "$rms" 0.01 || fail "the soundtrack is silent (RMS $rms)"
ratio=$(awk -v d="$(mean dark/frame000025.png)" -v b="$(mean frames/frame000025.png)" \
    'BEGIN { print d / b }')
at_least "$ratio" 0.45 && ! at_least "$ratio" 0.55 ||
    fail "--brightness -1 should halve the picture (ratio $ratio)"

# make install's route: PREFIX and DESTDIR, the menu entry naming the prefix.
DESTDIR=$work/staged cmake --install "$build" --prefix /opt/nv >/dev/null
grep -qx 'Path=/opt/nv/share/norvale' "$work/staged/opt/nv/share/applications/org.norvale.Norvale.desktop" ||
    fail "make install: menu entry does not name the prefix"
[ -s "$work/staged/opt/nv/share/norvale/data/heightmap.jpg" ] || fail "make install: no data"

# A renderer with no data folder anywhere stops before rendering and says
# where it looked; --data chooses one, and each file missing there is named
# once (the height map is read three times).
mkdir -p lonely empty
cp "$render" lonely/norvale-render
status=0
lonely/norvale-render --size 32x18 --to 1 --png "$work/none" 2>"$work/render.log" || status=$?
[ "$status" -eq 2 ] && grep -q "looked in ./data, $work/share/norvale/data" "$work/render.log" &&
    [ ! -e "$work/none" ] || { cat "$work/render.log"; fail "no data folder: status $status"; }
lonely/norvale-render --data empty --size 32x18 --fps 5 --skip-intro --to 0.2 --null \
    2>"$work/render.log" || { cat "$work/render.log"; fail "render with an empty --data"; }
for file in font.jpg heightmap.jpg preview_kovi.mp3; do
    [ "$(grep -c "empty/$file: No such file" "$work/render.log")" -eq 1 ] ||
        { cat "$work/render.log"; fail "$file not named once"; }
done

# apt installs both (norvale alone would not go in without its data) and
# removes both, leaving none of their files. Only as root, and never over a
# norvale already installed on this machine.
purge() { apt-get purge -y -o DPkg::Lock::Timeout=300 norvale norvale-data >"$work/purge.log" 2>&1; }
apt_skipped=$([ "$(id -u)" -eq 0 ] || echo "not root")
dpkg-query -W norvale norvale-data >/dev/null 2>&1 && apt_skipped="a norvale is installed here"
if [ -z "$apt_skipped" ]; then
    trap 'purge; rm -rf "$work"' EXIT
    apt-get install -y -o DPkg::Lock::Timeout=300 "$data_deb" "$deb" >"$work/apt.log" 2>&1 ||
        { cat "$work/apt.log"; fail "apt-get install"; }
    (cd "$work" && /usr/bin/norvale-render --size 32x18 --fps 5 --skip-intro --to 0.4 \
        --png "$work/apt" 2>"$work/render.log") ||
        { cat "$work/render.log"; fail "the apt-installed renderer"; }
    grep -qF "reading data from /usr/share/norvale/data" "$work/render.log" || fail "apt: data"
    purge || { cat "$work/purge.log"; fail "apt-get purge"; }
    ! dpkg-query -W norvale norvale-data >/dev/null 2>&1 && [ ! -e /usr/share/norvale ] &&
        [ ! -e /usr/games/norvale ] && [ ! -e /usr/share/doc/norvale-data ] ||
        fail "apt-get purge left norvale behind"
    trap 'rm -rf "$work"' EXIT
fi
finish() { [ -z "$apt_skipped" ] || { echo "install: SKIPPED apt: $apt_skipped"; exit 77; }; }

# The installed demo finds its dialog template and data beside itself, away
# from the source tree and from any working directory that holds them; a
# program outside its build tree and not installed reads res/ where it runs.
command -v Xvfb >/dev/null && command -v xdotool >/dev/null || { finish; exit 0; }
# From here on the e2e helpers (an X server of our own, the program started
# in the background, its window awaited), which test as they go.
set +e
on_cleanup() { rm -rf "$work"; }
CASE=install
. "${NORVALE_SOURCE:?}/tests/e2e/lib.sh"
start_xvfb 1024x768
NORVALE_BIN=$root/usr/games/norvale
start_demo
wait_window Norvale 20
grep -qF "reading data from $share/norvale/data" "$WORK/err" ||
    fail "the installed norvale does not say it reads the installed data"
kill "$DEMO_PID" && wait "$DEMO_PID" 2>/dev/null
DEMO_PID=""
cp "$build/norvale" lonely/norvale
NORVALE_BIN=$work/lonely/norvale
cd "$NORVALE_SOURCE" && start_demo && cd "$work" || fail "cannot start norvale in the source tree"
wait_window Norvale 20
echo "install: packages $(basename "$deb") and $(basename "$data_deb"), Depends: $depends"
finish
