#!/bin/bash
# The main job: builds the program and runs a bundled sample G-code file through it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)" --target movantrix
JOB=$(mktemp -d /tmp/movantrix-job.XXXXXX)
cp build/movantrix "$JOB/"
mkdir -p "$JOB/GCODE"
cp samples/*.nc "$JOB/GCODE/"
# The controller stays on loopback: the default address is never contacted from here.
printf '[TCP-IP]\r\nADR IP=127.0.0.1\r\n' > "$JOB/movantrix.INI"
[ -n "${DISPLAY:-}" ] || export QT_QPA_PLATFORM=offscreen
(cd "$JOB" && ./movantrix "${1:-sample.nc}" "${2:-/S}" /H)
echo "Job folder: $JOB"
ls -l "$JOB/TMP"
