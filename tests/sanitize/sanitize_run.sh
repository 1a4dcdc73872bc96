#!/bin/bash
# Builds norvale-render with the sanitizers in the build directory given
# (configured once, rebuilt incrementally), then renders the whole demo at a
# tiny size. Any sanitizer report, leaks included, fails the test. Run from
# the repository root, after the data has been generated.
set -euo pipefail
asan=${1:-build/asan}
here=$(cd "$(dirname "$0")" && pwd)

if [ ! -f "$asan/build.ninja" ]; then
    cmake -S . -B "$asan" -G Ninja -DNORVALE_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug \
        -DCMAKE_CXX_FLAGS=-O1 >/dev/null
fi
cmake --build "$asan" --target norvale-render
cc -shared -fPIC -O1 -o "$asan/keep_loaded.so" "$here/keep_loaded.c"

# The sanitizer runtime must come first; the shim keeps the GL driver loaded.
runtime=$(ldd "$asan/norvale-render" | awk '/libasan/ { print $3 }')
log="$asan/sanitize_run.log"
status=0
LD_PRELOAD="$runtime $asan/keep_loaded.so" \
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:exitcode=66 \
    LSAN_OPTIONS="suppressions=$here/lsan.supp:print_suppressions=0" \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$asan/norvale-render" --size 96x64 --fps 3 --demo-plus \
    --frame-log "$asan/sanitize_frames.csv" 2>"$log" || status=$?
if [ "$status" -ne 0 ] || grep -Eq 'Sanitizer|runtime error' "$log"; then
    cat "$log"
    echo "sanitizer run failed (status $status)"
    exit 1
fi
echo "whole demo ran clean under ASan, UBSan and LSan: $(wc -l <"$asan/sanitize_frames.csv") frame-log rows"
