#!/bin/sh
# Fuzzes the .cmd codec natively with libFuzzer and AddressSanitizer.
# Usage: tests/fuzz/run_cmdcodec.sh [seconds]   (default 180)
# Builds into build/fuzz-cmdcodec; new inputs go to a working corpus there,
# the seeds in tests/fuzz/cmdcodec_corpus stay as they are.
set -e
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
OUT="$ROOT/build/fuzz-cmdcodec"
SECONDS_TO_RUN=${1:-180}
mkdir -p "$OUT/corpus" "$OUT/artifacts"
clang++ -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -I"$ROOT" "$ROOT/tests/fuzz/cmdcodec_fuzz.cpp" "$ROOT/commands/cmdcodec.cpp" \
    "$ROOT/commands/commandtext.cpp" -o "$OUT/cmdcodec_fuzz"
cp -n "$ROOT"/tests/fuzz/cmdcodec_corpus/* "$OUT/corpus/" 2>/dev/null || true
exec "$OUT/cmdcodec_fuzz" -max_total_time="$SECONDS_TO_RUN" -max_len=4096 -print_final_stats=1 \
    -artifact_prefix="$OUT/artifacts/" "$OUT/corpus"
