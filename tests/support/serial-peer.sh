#!/bin/sh
# The serial peer's pty pair, mapped in $WINEPREFIX: start|kill|stop <folder> <velkor port> <peer port>. Each
# action leaves <folder>/<action>.done when done, since Wine starts Unix programs but cannot wait for them.
d="${WINEPREFIX:?}/dosdevices"
case "$1" in
start)
  rm -f "$2/ttyA" "$2/ttyB"
  socat pty,raw,echo=0,link="$2/ttyA" pty,raw,echo=0,link="$2/ttyB" </dev/null >"$2/socat.log" 2>&1 &
  echo $! > "$2/socat.pid"
  i=0; while [ ! -e "$2/ttyB" ] && [ $i -lt 200 ]; do sleep 0.05; i=$((i+1)); done
  ln -sfn "$2/ttyA" "$d/com$3"; ln -sfn "$2/ttyB" "$d/com$4";;
kill|stop)
  kill $(cat "$2/socat.pid") 2>/dev/null
  i=0; while [ -e "$2/ttyA" ] && [ $i -lt 100 ]; do sleep 0.05; i=$((i+1)); done
  if [ "$1" = stop ]; then rm -f "$d/com$3" "$d/com$4"; fi;;
esac
touch "$2/$1.done"
