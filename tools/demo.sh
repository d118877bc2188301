#!/bin/sh
# The scripted demonstration: Velkor talking to the demo device.
#
# Usage: tools/demo.sh <build folder> [wine pid of a Velkor already running]
#
# Presets the connect string \\.\pipe\velkor-echo in the registry of the build
# folder's Wine prefix, starts the demo device velkor-echo.exe and velkor.exe,
# and drives Velkor's window from a separate program (velkor-demo.exe): two
# commands into the list, open the device, send both, receive the echoed
# answers, save the log, close the device. Then prints the saved log and
# writes a screenshot to build/velkor.png.
#
# On its own it also ends Velkor, the demo device and the Wine server again.
# Given the pid of a Velkor that is already running (the hook in run.sh), it
# ends that one first (its connect string is only read at start) and leaves
# its own Velkor running for the caller to take its picture and close it.
# Without a display it runs itself on a virtual one.
set -u
DIR=$(cd "${1:?usage: tools/demo.sh <build folder> [pid]}" && pwd)
RUNNING=${2:-}
ROOT=$(cd "$(dirname "$0")/.." && pwd)
SHOT="$ROOT/build/velkor.png"
# The log is saved where a Windows user's file would be: the shared
# documents folder on the prefix's drive C:, not the build folder (Z:).
SAVED_WIN='C:\users\Public\Documents\velkor-demo.msg'
SAVED="$DIR/wineprefix/drive_c/users/Public/Documents/velkor-demo.msg"

if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24" sh "$0" "$@"
fi
for exe in velkor.exe velkor-echo.exe velkor-demo.exe; do
    if [ ! -f "$DIR/$exe" ]; then
        echo "demo: $DIR/$exe is missing (build the folder first)"
        exit 1
    fi
done

RUN="$DIR/wine-run.sh"

if [ -n "$RUNNING" ]; then
    "$RUN" "$DIR/velkor-demo.exe" quit >/dev/null 2>&1
else
    # A wineserver of this display, and a prepared prefix.
    "$DIR/wine-start.sh" >/dev/null 2>&1
fi
"$RUN" reg add 'HKLM\Software\Talmeck\Velkor' /v connectstring /t REG_SZ /d '\\.\pipe\velkor-echo' /f \
    >/dev/null 2>&1 || echo "demo: the connect string could not be preset"

mkdir -p "$ROOT/build" "$(dirname "$SAVED")"
cd "$ROOT/build"
"$RUN" "$DIR/velkor-echo.exe" >"$ROOT/build/velkor-echo.log" 2>&1 &
echo_pid=$!
"$RUN" "$DIR/velkor.exe" >"$ROOT/build/velkor-demo-run.log" 2>&1 &
velkor_pid=$!

status=0
if "$RUN" "$DIR/velkor-demo.exe" run "$SAVED_WIN" 2>&1 | tr -d '\r'; then
    :
else
    status=1
fi
# The pipeline's status is tr's; the driver's own verdict is in the saved log.
if ! grep -q "Empfangsroutine wurde beendet" "$SAVED" 2>/dev/null && [ ! -s "$SAVED" ]; then
    status=1
fi
sleep 0.5 # let the last lines paint
import -window root "$SHOT" && echo "demo: screenshot in $SHOT"

if [ -z "$RUNNING" ]; then
    "$RUN" "$DIR/velkor-demo.exe" quit >/dev/null 2>&1
    kill "$echo_pid" 2>/dev/null
    wait "$velkor_pid" 2>/dev/null
    "$DIR/wine-stop.sh"
fi
if [ "$status" != 0 ]; then
    echo "demo: the demonstration did not complete (see $ROOT/build/velkor-demo-run.log)"
fi
exit "$status"
