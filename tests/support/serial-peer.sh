#!/bin/sh
# The serial peer's pty pair: start|kill|stop <folder> <dosdevices> <velkor port> <peer port>. Each action
# leaves <folder>/<action>.done when done, since Wine starts Unix programs but cannot wait for them.
case "$1" in
start)
  rm -f "$2/ttyA" "$2/ttyB"
  socat pty,raw,echo=0,link="$2/ttyA" pty,raw,echo=0,link="$2/ttyB" </dev/null >"$2/socat.log" 2>&1 &
  echo $! > "$2/socat.pid"
  i=0; while [ ! -e "$2/ttyB" ] && [ $i -lt 200 ]; do sleep 0.05; i=$((i+1)); done
  ln -sfn "$2/ttyA" "$3/com$4"; ln -sfn "$2/ttyB" "$3/com$5";;
kill|stop)
  kill $(cat "$2/socat.pid") 2>/dev/null
  i=0; while [ -e "$2/ttyA" ] && [ $i -lt 100 ]; do sleep 0.05; i=$((i+1)); done
  if [ "$1" = stop ]; then rm -f "$3/com$4" "$3/com$5"; fi;;
esac
touch "$2/$1.done"
