#!/bin/sh
# `make run`: builds Velkor and starts it under Wine, in the Wine prefix of
# its build folder (never ~/.wine).
#
# With a display ($DISPLAY set) Velkor opens on the user's desktop and this
# script ends when Velkor is closed. Without one (a headless machine) Velkor
# runs on a virtual display: the script waits for its window, takes a
# screenshot to build/velkor.png, closes Velkor and ends with 0.
#
# build/velkor.exe is always the 32-bit program. On a host whose kernel cannot
# run 32-bit programs, 32-bit Wine cannot either; the same sources built for
# x86_64 (build/x64/velkor.exe) run instead.
set -e
cd "$(dirname "$0")/.."
ROOT=$(pwd)
JOBS=$(nproc 2>/dev/null || echo 2)
ARCH=$(sh tools/wine-arch.sh)
SCREEN="-screen 0 1280x1024x24"
SHOT="$ROOT/build/velkor.png"

MODE=${1:-}
if [ "$ARCH" = i686 ]; then
    RUNDIR="$ROOT/build"
else
    RUNDIR="$ROOT/build/x64"
fi

# The build mode of build.sh makes build/ (the i686 program) only. The inner
# headless run (below) finds everything built already.
if [ "$MODE" != --headless ]; then
    sh tools/build.sh build
fi
if [ "$MODE" != --headless ] && [ "$ARCH" != i686 ]; then
    if [ ! -f "$RUNDIR/CMakeCache.txt" ]; then
        # The same configuration as the test build of build.sh, so both share it.
        cmake -S "$ROOT" -B "$RUNDIR" -DCMAKE_BUILD_TYPE=Release \
            -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-x86_64.cmake" -DVELKOR_TESTS=ON >/dev/null
    fi
    cmake --build "$RUNDIR" --target velkor velkor-echo velkor-demo -j "$JOBS"
fi
[ "$MODE" = --headless ] || echo "velkor: running $RUNDIR/velkor.exe ($ARCH) under Wine"

# ---------------------------------------------------------------------------
# Demonstration step. A scripted demonstration with the demo device hooks in
# here: it runs while Velkor is up and its window is shown, on the same display
# and Wine prefix, before the screenshot is taken. It gets the build folder and
# Velkor's Wine process id. Nothing else in this script needs to change.
demo_step() { # run folder, pid of the wine process running velkor.exe
    if [ -f "$ROOT/tools/demo.sh" ]; then
        sh "$ROOT/tools/demo.sh" "$1" "$2" || echo "velkor: the demonstration step failed"
    fi
}
# ---------------------------------------------------------------------------

# True once a top-level X window named "Velkor..." is mapped. `import` asks
# for a click when no such window exists, hence the time limit.
window_shown() {
    timeout 3 import -silent -window Velkor "$ROOT/build/.velkor-probe.png" >/dev/null 2>&1
}

# Runs inside the virtual display.
headless() {
    log="$ROOT/build/velkor-run.log"
    # A wineserver of this display (one of another display would show nothing).
    "$RUNDIR/wine-start.sh" >/dev/null 2>&1
    # Wine draws the title bar's buttons with Marlett, found only among the prefix's fonts.
    cp /usr/share/wine/fonts/marlett.ttf "$RUNDIR/wineprefix/drive_c/windows/Fonts/" 2>/dev/null || true
    cd "$ROOT/build"
    "$RUNDIR/wine-run.sh" "$RUNDIR/velkor.exe" >"$log" 2>&1 &
    pid=$!

    tries=0
    until window_shown; do
        tries=$((tries + 1))
        if ! kill -0 "$pid" 2>/dev/null || [ "$tries" -ge 40 ]; then
            echo "velkor: no window appeared (see $log)"
            "$RUNDIR/wine-stop.sh"
            return 1
        fi
        sleep 0.5
    done
    rm -f "$ROOT/build/.velkor-probe.png"
    sleep 1 # let it paint
    demo_step "$RUNDIR" "$pid"
    import -window root "$SHOT"
    echo "velkor: screenshot in $SHOT"

    # Close it as the window's close button would, so settings are stored.
    "$RUNDIR/wine-run.sh" taskkill /im velkor.exe >/dev/null 2>&1 || true
    waited=0
    while kill -0 "$pid" 2>/dev/null && [ "$waited" -lt 40 ]; do
        sleep 0.25
        waited=$((waited + 1))
    done
    "$RUNDIR/wine-stop.sh"
    return 0
}

if [ "$MODE" = --headless ]; then
    headless
    exit $?
fi

if [ -n "${DISPLAY:-}" ]; then
    if [ ! -f "$RUNDIR/wineprefix/.velkor-ready" ]; then
        "$RUNDIR/wine-start.sh" >/dev/null 2>&1
    fi
    cd "$ROOT/build"
    exec "$RUNDIR/wine-run.sh" "$RUNDIR/velkor.exe"
fi

exec xvfb-run -a -s "$SCREEN" sh "$ROOT/tools/run.sh" --headless
