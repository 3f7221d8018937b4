#!/usr/bin/env bash
# Runs one fuzz target under libFuzzer for a while:
#   scripts/fuzz.sh registry_fuzz|module_path_fuzz SECONDS
# It builds the fuzz preset (in build/fuzz, or $ZUN_FUZZ_BUILD_DIR), reads the committed corpus
# tests/fuzz/corpus/TARGET, writes the inputs it finds to BUILD/corpus/TARGET, and saves an input
# that fails as BUILD/artifacts/TARGET-crash-*; replay one with BUILD/tests/fuzz/TARGET FILE.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/machine.sh

target=${1:?usage: scripts/fuzz.sh registry_fuzz|module_path_fuzz SECONDS}
seconds=${2:?usage: scripts/fuzz.sh registry_fuzz|module_path_fuzz SECONDS}
build=${ZUN_FUZZ_BUILD_DIR:-build/fuzz}

ensure_build_tools
cmake --preset fuzz -B "$build" >/dev/null
cmake --build "$build" -j "$(nproc)" --target "$target"
mkdir -p "$build/corpus/$target" "$build/artifacts"
exec "$build/tests/fuzz/$target" -max_total_time="$seconds" -max_len=1024 -print_final_stats=1 \
  -artifact_prefix="$build/artifacts/$target-" "$build/corpus/$target" "tests/fuzz/corpus/$target"
