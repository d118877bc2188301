#!/bin/sh
# Prints the Windows architecture whose programs this host's Wine can run:
# i686 when the kernel executes 32-bit Linux programs (32-bit Wine works),
# x86_64 otherwise (some kernels boot with 32-bit emulation switched off).
if [ -x /usr/lib/wine/wine ] && timeout 20 /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
    echo i686
else
    echo x86_64
fi
