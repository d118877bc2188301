#!/bin/sh
# Runs every benchmark program of a build folder under Wine and prints their
# figures. Benchmarks report; they never fail the run.
#
# Usage: tools/bench.sh <build folder>   (`make bench` calls it for the test build)
# Needs a display: without one it runs itself again under xvfb-run.
set -u
DIR=${1:?usage: tools/bench.sh <build folder>}
DIR=$(cd "$DIR" && pwd)

if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24" sh "$0" "$DIR"
fi

if [ ! -x "$DIR/wine-run.sh" ]; then
    echo "bench: $DIR is not a configured build folder"
    exit 0
fi
found=0
for exe in "$DIR"/bench/*.exe; do
    [ -f "$exe" ] && found=1
done
if [ "$found" = 0 ]; then
    echo "bench: no benchmark programs in $DIR/bench (configure with -DVELKOR_TESTS=ON and build)"
    exit 0
fi

"$DIR/wine-start.sh" >/dev/null 2>&1 || echo "bench: the Wine prefix could not be prepared"
cd "$DIR"
for exe in bench/*.exe; do
    name=$(basename "$exe" .exe)
    echo "== $name"
    # Wine's own complaints go to stderr; the figures come on stdout.
    if ! "$DIR/wine-run.sh" "$exe" 2>/dev/null; then
        echo "   ($name ended with an error; its figures may be missing)"
    fi
done
"$DIR/wine-stop.sh" >/dev/null 2>&1
exit 0
