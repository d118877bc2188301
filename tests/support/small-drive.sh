#!/bin/sh
# Gives the tests' Wine prefix a drive T: of 1 MiB that fills up (a tmpfs,
# which needs root), or takes it away again. Without root there is no T:
# and the tests that need it skip.
#   small-drive.sh mount|unmount <folder> <wine prefix>
dir=$2
link="$3/dosdevices/t:"
case $1 in
mount)
    mkdir -p "$dir"
    if mountpoint -q "$dir"; then umount "$dir"; fi
    if [ "$(id -u)" != 0 ] || ! mount -t tmpfs -o size=1m tmpfs "$dir"; then
        rm -f "$link"
        echo "no small drive T: (it needs root)"
        exit 0
    fi
    ln -sfn "$dir" "$link"
    echo "small drive T: is $dir"
    ;;
unmount)
    rm -f "$link"
    if mountpoint -q "$dir"; then umount "$dir"; fi
    ;;
esac
exit 0
