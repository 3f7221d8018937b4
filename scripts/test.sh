#!/usr/bin/env bash
# Builds every preset and runs every test suite. Installs what a fresh Debian machine lacks.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/machine.sh

ensure_build_tools
ensure_wine_tools
ensure_japanese_locale

status=0
for preset in host win32 win64 fuzz; do
  echo "== $preset: build"
  configure_and_build "$preset"
done
for preset in host win32 win64 fuzz; do
  echo "== $preset: test"
  ctest --preset "$preset" -j "$(nproc)" || status=1
done
exit $status
