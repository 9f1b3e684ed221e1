#!/usr/bin/env bash
# The README's run command: set up, build, and run the program's main job on a bundled sample.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/tools/setup-deps.sh"
bash "$here/tools/build.sh" build -DCMAKE_BUILD_TYPE=Release -DMIRELCON_TESTS=OFF
"$here/build/app/mirelcon"
