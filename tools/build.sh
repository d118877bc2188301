#!/bin/sh
# Configures and builds Velkor; with "test" also runs every test under Wine on
# a virtual display, with "bench" runs the benchmarks, with "dist" makes the
# release package build/velkor-<version>-win32.zip.
#
# build/velkor.exe is always the shipped 32-bit program. The tests run the
# same sources built for the architecture this host's Wine can execute:
# in build/ itself when 32-bit Wine works, else in build/x64/.
set -e
cd "$(dirname "$0")/.."
ROOT=$(pwd)
MODE=${1:-build}
JOBS=$(nproc 2>/dev/null || echo 2)
ARCH=$(sh tools/wine-arch.sh)

configure() { # dir arch tests
    if [ ! -f "$1/CMakeCache.txt" ]; then
        cmake -S "$ROOT" -B "$1" -DCMAKE_BUILD_TYPE=Release \
            -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-$2.cmake" -DVELKOR_TESTS="$3" >/dev/null
    fi
}

if [ "$ARCH" = i686 ]; then
    TESTDIR=build
    configure build i686 ON
    cmake --build build -j "$JOBS"
else
    TESTDIR=build/x64
    configure build i686 OFF
    cmake --build build -j "$JOBS"
    if [ "$MODE" = test ] || [ "$MODE" = bench ]; then
        configure build/x64 x86_64 ON
        cmake --build build/x64 -j "$JOBS"
    fi
fi
# The tests check the package, so it is made before them.
if [ "$MODE" = test ] || [ "$MODE" = dist ]; then
    cmake --build build -j "$JOBS" --target dist
fi
echo "velkor: built build/velkor.exe (i686); tests run the $ARCH build in $TESTDIR"

case "$MODE" in
test)
    cd "$TESTDIR"
    exec xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure --timeout 900
    ;;
bench)
    exec xvfb-run -a -s "-screen 0 1280x1024x24" sh "$ROOT/tools/bench.sh" "$ROOT/$TESTDIR"
    ;;
esac
