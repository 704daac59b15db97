#!/bin/bash
# The main job: a bundled sample G-code file through the whole road — read, convert, upload,
# init, execute — against the controller simulator on a loopback address, then a short summary.
# Usage: tools/run-job.sh [--keep] [file in samples/] [mode word: /S (default), /T or /X]
#   --keep  keep the job's program folder (the summary says where it is)
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
KEEP=0
if [ "${1:-}" = "--keep" ]; then KEEP=1; shift; fi
FILE=${1:-sample.nc}
MODE=${2:-/S}
[ -f "samples/$FILE" ] || { echo "no such sample: samples/$FILE" >&2; exit 2; }

bash tools/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target movantrix >/dev/null

JOB=$(mktemp -d /tmp/movantrix-job.XXXXXX)
SIM_PID=""
cleanup() {
  if [ -n "$SIM_PID" ]; then kill "$SIM_PID" 2>/dev/null || true; wait "$SIM_PID" 2>/dev/null || true; fi
  if [ "$KEEP" = 0 ]; then rm -rf "$JOB"; fi
}
trap cleanup EXIT

cp build/movantrix "$JOB/"
mkdir -p "$JOB/GCODE" "$JOB/controller"
cp "samples/$FILE" "$JOB/GCODE/"

# The controller is the simulator on a free loopback address: the default address is never
# contacted, and another job or test on the machine keeps its own address.
ADDR=""
for n in $(seq 77 250) $(seq 2 76); do
  candidate=127.0.0.$n
  "$ROOT/sim/kvxsim" --address "$candidate" --model Q --root "$JOB/controller" --time-scale 0.05 \
    --exit-with-parent >"$JOB/sim.out" 2>"$JOB/sim.err" &
  SIM_PID=$!
  for _ in $(seq 200); do
    grep -q '^ready' "$JOB/sim.out" 2>/dev/null && break
    kill -0 "$SIM_PID" 2>/dev/null || break
    sleep 0.1
  done
  if grep -q '^ready' "$JOB/sim.out" 2>/dev/null; then ADDR=$candidate; break; fi
  kill "$SIM_PID" 2>/dev/null || true
  wait "$SIM_PID" 2>/dev/null || true
  SIM_PID=""
done
[ -n "$ADDR" ] || { echo "controller simulator did not start:" >&2; cat "$JOB/sim.err" >&2; exit 1; }
printf '[TCP-IP]\r\nADR IP=%s\r\n' "$ADDR" > "$JOB/movantrix.INI"

[ -n "${DISPLAY:-}" ] || export QT_QPA_PLATFORM=offscreen
status=0
(cd "$JOB" && ./movantrix "$FILE" "$MODE" /H) >"$JOB/program.out" 2>"$JOB/program.err" || status=$?

# What the program did, as the files and the controller show it.
/usr/bin/python3 - "$ADDR" "$JOB" "$FILE" "$MODE" "$status" "$KEEP" <<'PY'
import collections, json, os, socket, sys
addr, job, name, mode, status, keep = sys.argv[1:7]

def ask(cmd):
    with socket.create_connection((addr, 5099), timeout=5) as s:
        s.sendall((json.dumps(cmd) + "\n").encode())
        data = b""
        while not data.endswith(b"\n"):
            chunk = s.recv(1 << 20)
            if not chunk:
                break
            data += chunk
    return json.loads(data)

def lines(path):
    try:
        with open(path, "rb") as f:
            return [l for l in f.read().decode("latin-1").splitlines() if l.strip()]
    except OSError:
        return None

# The SCT mode keeps the lines it converted in GCODE/TMP.GCODE; the others convert the file read.
converted = lines(os.path.join(job, "GCODE", "TMP.GCODE"))
if converted is None:
    converted = lines(os.path.join(job, "GCODE", name)) or []
uploaded = []
for folder in ("Scripts", "Trajectories"):
    path = os.path.join(job, "controller", "Public", folder)
    if os.path.isdir(path):
        uploaded += sorted(os.listdir(path))
pvt = sum(1 for f in uploaded if f.upper().endswith(".PVT"))
requests = [e.get("request", "").strip() for e in ask({"cmd": "request_log"}).get("entries", [])]
names = [r.split("(", 1)[0] for r in requests if r]
# The main window's position and output poll runs all along; the job's own calls are the rest.
POLL = {"GPIODigitalGet", "GroupPositionCurrentGet", "GroupStatusGet"}
polls = sum(1 for n in names if n in POLL)
job_calls = collections.Counter(n for n in names if n not in POLL)
order = list(dict.fromkeys(n for n in names if n not in POLL))
position = ask({"cmd": "positions", "group": "GROUP1"}).get("positions") or []
code = int(status)

print("Job %s %s: %s" % (name, mode, "done" if code == 0 else "FAILED"))
print("  G-code lines converted : %d" % len(converted))
print("  files uploaded         : %d (%d script, %d PVT)" % (len(uploaded), len(uploaded) - pvt, pvt))
shown = ", ".join("%s %d" % (n, job_calls[n]) for n in order[:8]) + (", ..." if len(order) > 8 else "")
print("  controller requests    : %d (%d polling; %s)" % (len(requests), polls, shown or "no job calls"))
print("  final position GROUP1  : %s" % "  ".join("%.3f" % v for v in position))
print("  exit status            : %d" % code)
err = lines(os.path.join(job, "program.err")) or []
if code != 0 and err:
    print("  program said           : " + err[-1][:200])
if keep == "1":
    print("  program folder kept    : %s" % job)
PY
exit $status
