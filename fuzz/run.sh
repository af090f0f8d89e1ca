#!/usr/bin/env bash
# Builds the fuzzer with clang (preset "fuzz") and runs it for SECONDS
# (default 60) from the seed corpus in fuzz/corpus. New inputs go to
# build/fuzz/corpus, a crashing input to build/fuzz/artifacts; the script
# fails when the fuzzer finds a fault.
set -euo pipefail

cd "$(dirname "$0")/.."
seconds="${1:-60}"

cmake --preset fuzz
cmake --build --preset fuzz -j2 --target depman_fuzz

mkdir -p build/fuzz/corpus build/fuzz/artifacts
./build/fuzz/fuzz/depman_fuzz \
  -max_total_time="$seconds" \
  -max_len=4096 \
  -timeout=60 \
  -print_final_stats=1 \
  -artifact_prefix=build/fuzz/artifacts/ \
  build/fuzz/corpus fuzz/corpus
