#!/usr/bin/env bash
# The README's run command: set up, build, and convert the bundled sample text TM to TMX.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/tools/setup-deps.sh"
bash "$here/tools/build.sh" build -DCMAKE_BUILD_TYPE=Release -DMIRELCON_TESTS=OFF
mkdir -p "$here/build/sample"
# No display is needed: with a file to convert and no display, the program runs in the terminal.
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$here/build/app/mirelcon" "$here/samples/sample.txt" "$here/build/sample/"
echo "Written: $here/build/sample/sample.tmx"
