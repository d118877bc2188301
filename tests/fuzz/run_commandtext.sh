#!/bin/sh
# Fuzzes the command text forms and hex helpers natively with libFuzzer and
# AddressSanitizer/UBSan. Usage: run_commandtext.sh [seconds] [jobs]
# The committed seeds stay as they are; new inputs go to a working corpus
# under build/fuzz-commandtext, and crashes there as crash-* files.
set -eu
seconds="${1:-300}"
jobs="${2:-1}"
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
work="$root/build/fuzz-commandtext"
mkdir -p "$work/corpus"
clang++ -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -funsigned-char -I"$root" \
    "$here/commandtext_fuzz.cpp" "$root/commands/commandtext.cpp" -o "$work/commandtext_fuzz"
# The program's char is signed on MinGW; fuzz that form too.
clang++ -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -fsigned-char -I"$root" \
    "$here/commandtext_fuzz.cpp" "$root/commands/commandtext.cpp" -o "$work/commandtext_fuzz_signed"
cd "$work"
half=$((seconds / 2))
for exe in commandtext_fuzz_signed commandtext_fuzz; do
    "./$exe" -max_total_time="$half" -max_len=400 -jobs="$jobs" -workers="$jobs" \
        -print_final_stats=1 corpus "$here/commandtext_corpus"
done
