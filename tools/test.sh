#!/bin/bash
# Installs what is needed, builds everything and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMVX_WERROR=ON
cmake --build build -j "$(nproc)"
# Tests that draw with OpenGL get an X server with Mesa's software renderer.
xvfb-run -a -s "-screen 0 1280x1024x24" ctest --test-dir build --output-on-failure -j 6 --timeout 300
