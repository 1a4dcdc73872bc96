#!/bin/bash
# The rooms of src/ point one way: a file includes from its own room and the
# rooms below it, never from one above. Usage: include_order.sh SRC ROOM...
# with the rooms top first, as CMakeLists.txt lists them in NORVALE_ROOMS.
# Every folder of src/ needs a place in that list, every include between
# rooms names its room ("room/file.h"), and only app/ and platform/ may
# include SDL, GTK, EGL or libpulse.
src=$1
shift
declare -A rank
for room in "$@"; do rank[$room]=${#rank[@]}; done
failures=0
fail() {
    echo "$1"
    failures=$((failures + 1))
}

for dir in "$src"/*/; do
    room=$(basename "$dir")
    [[ -n ${rank[$room]+set} ]] || fail "src/$room/ has no place in the room order ($*)"
done
while IFS= read -r hit; do
    file=${hit%%:*}
    rest=${hit#*:}
    line=${rest%%:*}
    text=${rest#*:}
    from=${file#"$src"/}
    from=${from%%/*}
    where="src/${file#"$src"/}:$line"
    if [[ $text =~ \"([a-z_]+)/[^/\"]+\" ]]; then
        to=${BASH_REMATCH[1]}
        if [[ -z ${rank[$to]+set} ]]; then
            fail "$where: includes from $to/, which is no room"
        elif ((rank[$to] < rank[$from])); then
            fail "$where: $from/ includes from $to/, a room above it ($*)"
        fi
    elif [[ $text =~ \" ]]; then
        fail "$where: an include that names no room: $text"
    elif [[ $from != app && $from != platform && $text =~ \<(SDL|gtk/|EGL/|pulse/) ]]; then
        fail "$where: $from/ includes a platform header: $text"
    fi
done < <(grep -Hn -E '^[[:space:]]*#[[:space:]]*include' "$src"/*/*)

if ((failures > 0)); then
    echo "$failures include(s) against the room order"
    exit 1
fi
echo "every include between the ${#rank[@]} rooms of src/ points down: $*"
