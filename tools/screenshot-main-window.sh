#!/usr/bin/env bash
# Takes a screenshot of the real main window on a virtual display: two devices on pseudo-terminals fed by
# the meter simulator at 20 boards a second, saved kiln, run and package numbers, an earlier package of the
# run on disk (so that the run and the package histograms differ), and no OPC console program (so that its
# two error texts stand on the charts). Everything lives in one temporary folder, printed first; nothing
# outside it is touched.
#
#   bash tools/screenshot-main-window.sh [out.png] [seconds to wait, default 15]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${VUR_BUILD_DIR:-$top/build}
out=$(realpath -m "${1:-main-window.png}")
wait_seconds=${2:-15}

for tool in xvfb-run import; do
    command -v "$tool" >/dev/null || { echo "missing $tool: run tools/install-deps.sh" >&2; exit 1; }
done
if [[ ! -x "$build/bin/vur" || ! -x "$build/bin/vur-meter-sim" ]]; then
    bash "$top/tools/build.sh" vur vur-meter-sim
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/vur-screenshot.XXXXXX")
mkdir -p "$work"/{tmp,home,cfg,records}
echo "Screenshot folder: $work (log: $work/tmp/vur.log)"

source "$top/tools/meters.sh"
trap stop_helpers EXIT

for _ in 1 2; do
    start_meter "$work/tmp" 20
done

python3 - "$work" "${ptys[@]}" <<'PY'
import os, random, statistics, sys
from xml.sax.saxutils import quoteattr
work, *ptys = sys.argv[1:]
records = os.path.join(work, "records")
values = {
    "output_directory": records + "/%Y/",
    "get_version_number": "FALSE",
    "get_motd": "FALSE",
    # No such program: the window reports the failed start, then the console's failure, on every chart.
    "opc_console_application": os.path.join(work, "no-opc-console"),
    "VODAze": "40 40 1180 720",
}
devices = [("a", "Planer #1", 3, 7, 12), ("b", "Moulder", 2, 41, 5)]
for (prefix, name, kiln, run, pkg), pty in zip(devices, ptys):
    values.update({
        prefix + "_device": pty,
        prefix + "_name": name,
        prefix + "_last_kiln": str(kiln),
        prefix + "_last_run": str(run),
        prefix + "_last_pkg": str(pkg),
        prefix + "_chart_redraw_ms": "500",
        prefix + "_export_image": "true" if prefix == "a" else "false",
    })
lines = ['<?xml version="1.0" encoding="UTF-8"?>', "", "<PROPERTIES>"]
lines += ['  <VALUE name=%s val=%s/>' % (quoteattr(k), quoteattr(v)) for k, v in values.items()]
lines += ["</PROPERTIES>"]
with open(os.path.join(work, "cfg", "DuvidudUvereverOzure.cfg"), "w", newline="") as f:
    f.write("\r\n".join(lines) + "\r\n")

# An earlier package of device a's run, drier than what the simulator sends: the import at start puts it in
# the run but not in the package.
import datetime
random.seed(7)
boards = [round(min(max(random.gauss(10.5, 1.0), 6.0), 26.0), 1) for _ in range(400)]
bins = [0] * 17
for v in boards:
    bins[min(max(int(v) - 8, 0), 16)] += 1
head = ",".join(["%04d" % len(boards)] + ["%04d" % b for b in bins] + ["000", "000", "%f" % statistics.stdev(boards),
                                                                      "%f" % statistics.mean(boards), "000"])
folder = os.path.join(records, str(datetime.date.today().year))
os.makedirs(folder, exist_ok=True)
with open(os.path.join(folder, "3_007011.mc"), "w", newline="") as f:
    f.write(head + "\r\n" + ",".join("%04.1f" % v for v in boards) + ",\r\n")
PY

export TMPDIR="$work/tmp" HOME="$work/home" VUR_CONFIG_DIR="$work/cfg"
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
    "$1" >"$2/tmp/vur.out" 2>&1 & app=$!
    sleep "$3"
    import -window root "$4"
    kill -TERM $app
    for _ in $(seq 100); do kill -0 $app 2>/dev/null || exit 0; sleep 0.1; done
    kill -KILL $app' _ "$build/bin/vur" "$work" "$wait_seconds" "$out"
echo "Screenshot: $out"
