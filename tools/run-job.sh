#!/bin/bash
# The main job: a bundled sample G-code file through the whole road — read, convert, upload,
# init, execute — against the controller simulator on a loopback address.
# Usage: tools/run-job.sh [file in samples/] [mode word: /S (default), /T or /X]
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
bash tools/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)" --target movantrix

FILE=${1:-sample.nc}
MODE=${2:-/S}
JOB=$(mktemp -d /tmp/movantrix-job.XXXXXX)
ADDR=127.0.0.77
cp build/movantrix "$JOB/"
mkdir -p "$JOB/GCODE" "$JOB/controller"
cp "samples/$FILE" "$JOB/GCODE/"
# The controller is the simulator on loopback: the default address is never contacted.
printf '[TCP-IP]\r\nADR IP=%s\r\n' "$ADDR" > "$JOB/movantrix.INI"

coproc SIM { exec "$ROOT/sim/kvxsim" --address "$ADDR" --model Q --root "$JOB/controller" --time-scale 0.05 --exit-with-parent; }
trap 'kill "$SIM_PID" 2>/dev/null || true' EXIT
read -r -t 20 line <&"${SIM[0]}" || true
[ "${line:-}" = "ready" ] || { echo "controller simulator did not start" >&2; exit 1; }

[ -n "${DISPLAY:-}" ] || export QT_QPA_PLATFORM=offscreen
status=0
(cd "$JOB" && ./movantrix "$FILE" "$MODE" /H) || status=$?
# What the controller saw: the job's calls and where the group ended.
/usr/bin/python3 - "$ADDR" <<'PY'
import json, socket, sys
def ask(cmd):
    with socket.create_connection((sys.argv[1], 5099), timeout=5) as s:
        s.sendall((json.dumps(cmd) + "\n").encode())
        data = b""
        while not data.endswith(b"\n"):
            chunk = s.recv(65536)
            if not chunk: break
            data += chunk
    return json.loads(data)
log = ask({"cmd": "request_log"}).get("entries", [])
keys = ("KillAll", "GroupInitialize", "GroupHomeSearch", "TCLScriptExecuteAndWait")
print("Controller requests of the job:")
for e in log:
    r = e.get("request", "") if isinstance(e, dict) else str(e)
    if r.startswith(keys): print("  " + r.strip())
print("GROUP1 position:", ask({"cmd": "positions", "group": "GROUP1"}).get("positions"))
PY
echo "Program folder: $JOB (exit $status)"
echo "Generated files:"; ls -l "$JOB/TMP"
echo "On the controller:"; ls -l "$JOB/controller/Public/Scripts" "$JOB/controller/Public/Trajectories"
exit $status
