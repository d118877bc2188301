#!/bin/sh
# Installs what building and testing Velkor needs on a Debian 12 machine.
# Idempotent: packages already present are left alone and nothing is asked.
set -e

SUDO=
if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi

PKGS="make cmake g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686 \
g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64 \
wine wine32:i386 xvfb xauth socat googletest imagemagick fonts-wine clang"

missing=
for p in $PKGS; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done
if [ -z "$missing" ]; then
    exit 0
fi

echo "velkor setup: installing$missing"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends $missing >/dev/null
