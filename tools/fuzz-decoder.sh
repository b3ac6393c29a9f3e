#!/usr/bin/env bash
# Fuzzes the ZMBV decoder for a bounded time: builds tools/fuzz/zmbv_decoder_fuzz.cpp with clang's
# libFuzzer, ASan and UBSan into build/fuzz, seeds the corpus with frames from our encoder and runs
# for the given seconds (default 60). Not part of tools/test.sh. Inputs that fail are left in
# build/fuzz/findings; the corpus grows in build/fuzz/corpus from run to run.
#   tools/fuzz-decoder.sh [seconds]
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
OUT=$ROOT/build/fuzz
seconds=${1:-60}
mkdir -p "$OUT/corpus" "$OUT/seeds" "$OUT/findings"

common=(-std=c++20 -g -O1 -I"$ROOT" -fno-omit-frame-pointer)
clang++ "${common[@]}" -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
    "$ROOT/tools/fuzz/zmbv_decoder_fuzz.cpp" "$ROOT/codec/zmbv_decoder.cpp" -lz -o "$OUT/zmbv_decoder_fuzz"
clang++ "${common[@]}" "$ROOT/tools/fuzz/zmbv_decoder_seeds.cpp" "$ROOT/codec/zmbv_encoder.cpp" \
    "$ROOT/codec/zmbv_scroll.cpp" "$ROOT/codec/pixel_deflate.cpp" "$ROOT/codec/huffman_code.cpp" -lz -o "$OUT/zmbv_decoder_seeds"
"$OUT/zmbv_decoder_seeds" "$OUT/seeds"

# One process: the machine's cores are shared.
"$OUT/zmbv_decoder_fuzz" -max_total_time="$seconds" -max_len=20000 -print_final_stats=1 \
    -artifact_prefix="$OUT/findings/" "$OUT/corpus" "$OUT/seeds"
