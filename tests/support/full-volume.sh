#!/bin/sh
# A small volume that fills up, as drive R: of the prefix: mount|unmount <folder>. Without the right to mount
# (not root) nothing is mapped and the tests that need R: skip themselves.
d="${WINEPREFIX:?}/dosdevices"
case "$1" in
mount)
  mkdir -p "$2"
  if mountpoint -q "$2" || mount -t tmpfs -o size=512k tmpfs "$2" 2>/dev/null; then
    ln -sfn "$2" "$d/r:"
  else
    echo "cannot mount a small tmpfs at $2: tests needing a full volume skip"
  fi;;
unmount)
  rm -f "$d/r:"
  if mountpoint -q "$2"; then umount "$2"; fi;;
esac
exit 0
