#!/bin/sh
# Gives the tests' Wine prefix a drive that fills up (a tmpfs, which needs
# root), or takes it away again. Without root the drive is not there and the
# tests that need it skip.
#   small-drive.sh mount|unmount <folder> <wine prefix> <letter> <size>
dir=$2
link="$3/dosdevices/$4:"
case $1 in
mount)
    mkdir -p "$dir"
    if mountpoint -q "$dir"; then umount "$dir"; fi
    if [ "$(id -u)" != 0 ] || ! mount -t tmpfs -o "size=$5" tmpfs "$dir"; then
        rm -f "$link"
        echo "no small drive $4: (it needs root)"
        exit 0
    fi
    ln -sfn "$dir" "$link"
    echo "small drive $4: of $5 is $dir"
    ;;
unmount)
    rm -f "$link"
    if mountpoint -q "$dir"; then umount "$dir"; fi
    ;;
esac
exit 0
