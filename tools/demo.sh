#!/usr/bin/env bash
# Builds the monitor and starts it on a demonstration line: four meters on pseudo-terminals fed by the
# meter simulator, the OPC console stand-in as a simulated plant that starts a new package every minute,
# and a local web server with a message of the day. Everything lives in one demo folder, printed first.
# Closing the main window ends the demo and its helper programs.
#
#   bash tools/demo.sh [demo folder]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${VUR_BUILD_DIR:-$top/build}

bash "$top/tools/install-deps.sh"
bash "$top/tools/build.sh" vur vur-opc-sim vur-meter-sim

demo=${1:-$(mktemp -d "${TMPDIR:-/tmp}/vur-demo.XXXXXX")}
mkdir -p "$demo"/{tmp,home,cfg,records,web/vur/download}
demo=$(cd "$demo" && pwd)
echo "Demo folder: $demo"
echo "  configuration: $demo/cfg/DuvidudUvereverOzure.cfg"
echo "  log:           $demo/tmp/vur.log"
echo "  record files:  $demo/records/<device>/<year>/"
echo "  OPC output:    $demo/tmp/vad_odu_durodo.txt"

source "$top/tools/meters.sh"
trap stop_helpers EXIT

# Four meters, each on its own pseudo-terminal, at a planer's pace of about one board every two seconds.
for rate in 0.5 0.6 0.4 0.3; do
    start_meter "$demo/tmp" "$rate"
done

# The maker's web server, here on loopback: the listing offers this very version, the message greets.
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
echo '<a href="vur-1.0.0-2718-win64.zip">vur-1.0.0-2718-win64.zip</a>' > "$demo/web/vur/download/index.html"
echo "Welcome to the moisture monitor demonstration. Four simulated meters are running; a new package starts every minute." \
    > "$demo/web/vur/motd.txt"
python3 -m http.server --bind 127.0.0.1 "$port" --directory "$demo/web" >/dev/null 2>&1 &
pids+=($!)

cfg="$demo/cfg/DuvidudUvereverOzure.cfg"
if [[ ! -f "$cfg" ]]; then
    python3 - "$cfg" "$demo/records" "${ptys[@]}" <<'PY'
import sys
from xml.sax.saxutils import quoteattr
cfg, records, *ptys = sys.argv[1:]
values = {
    "output_directory": records + "/%Y/",
    "opc_url": "sim:?pkg_seconds=60&pkgs_per_run=5",
    "warn_board_threshold": "40",
    "VODAze": "40 40 1180 720",
}
names = ["Planer #1", "Planer #2", "Moulder", "Spare"]
for prefix, pty, name in zip("abcd", ptys, names):
    values[prefix + "_device"] = pty
    values[prefix + "_name"] = name
    values[prefix + "_output_directory"] = records + "/" + name.replace(" #", "") + "/%Y/"
    values[prefix + "_export_image"] = "true" if prefix == "a" else "false"
    values[prefix + "_show_quality"] = "true"
    values[prefix + "_show_trend"] = "true"
lines = ['<?xml version="1.0" encoding="UTF-8"?>', "", "<PROPERTIES>"]
lines += ['  <VALUE name=%s val=%s/>' % (quoteattr(k), quoteattr(v)) for k, v in values.items()]
lines += ["</PROPERTIES>"]
open(cfg, "w", newline="").write("\r\n".join(lines) + "\r\n")
PY
else
    # A demo folder used again: the meters have new terminals.
    for i in 0 1 2 3; do
        prefix=$(echo abcd | cut -c$((i + 1)))
        sed -i "s|name=\"${prefix}_device\" val=\"[^\"]*\"|name=\"${prefix}_device\" val=\"${ptys[$i]}\"|" "$cfg"
    done
fi

export TMPDIR="$demo/tmp" HOME="$demo/home" VUR_CONFIG_DIR="$demo/cfg" VUR_WEB_BASE_URL="http://127.0.0.1:$port"
if [[ -n "${DISPLAY:-}" ]]; then
    "$build/bin/vur" >"$demo/tmp/vur.out" 2>&1
else
    echo "No display: running on a virtual one; a screenshot is saved as $demo/screenshot.png after 20 s."
    # VUR_DEMO_SECONDS ends the demo by itself (an orderly quit, as the operating system asks for one)
    # that many seconds after the screenshot; without it the demo runs until stopped.
    xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
        "$1" >"$2/tmp/vur.out" 2>&1 & app=$!
        sleep 20; import -window root "$2/screenshot.png" || true
        if [[ -n "$3" ]]; then sleep "$3"; kill -TERM $app; fi
        wait $app' _ "$build/bin/vur" "$demo" "${VUR_DEMO_SECONDS:-}"
    [[ -s "$demo/screenshot.png" ]] || { echo "no screenshot was saved" >&2; exit 1; }
fi
echo "Demo ended; its files stay in $demo"
