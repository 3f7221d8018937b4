#!/usr/bin/env bash
# The demo: builds setup.exe and ZunHV5Un.exe (win64, which Wine runs here), lays out the sample
# driver package with setup.exe beside its INF, and in a fresh Wine prefix in Windows 98 mode, with
# traces of an older installation, runs setup.exe and then ZunHV5Un.exe, showing after each what
# changed in the Windows directory and the registry, and the exit code. Installs what a fresh Debian
# machine lacks.
#
# With a usable $DISPLAY the restart prompts appear there and wait for you; without one they come
# up on a virtual display, are answered "Restart Later", and are saved as screenshots.
#
# ZUN_BUILD_DIR (default build/win64) and ZUN_DEMO_DIR (default build/demo) choose the folders.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/machine.sh

ensure_build_tools
ensure_wine_tools

build_dir=${ZUN_BUILD_DIR:-build/win64}
demo_dir=${ZUN_DEMO_DIR:-build/demo}

echo "== Building the win64 preset in $build_dir"
configure_and_build win64 "$build_dir"

rm -rf "$demo_dir"
mkdir -p "$demo_dir/package"
cp "$build_dir/setup/setup.exe" "$build_dir/uninstall/ZunHV5Un.exe" package/zunmouse.inf package/zunmouse.vxd \
  "$demo_dir/package/"
echo "== The package, as a user receives it: $demo_dir/package"
ls -l "$demo_dir/package" | tail -n +2 | awk '{ printf "   %8d  %s\n", $5, $9 }'

python3 scripts/demo_wine.py "$demo_dir"
