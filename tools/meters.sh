# Sourced by the scripts that run the monitor on simulated meters (demo.sh, screenshot-main-window.sh).
# Needs $build (the build folder). Keeps the helper processes in pids and the meters' terminals in ptys.

pids=()
ptys=()

stop_helpers() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
}

# start_meter FOLDER RATE: the meter simulator on a new pseudo-terminal, RATE boards a second; its output
# goes to a file in FOLDER.
start_meter() {
    local out pty
    out=$(mktemp "$1/meter.XXXXXX")
    "$build/bin/vur-meter-sim" --pty --rate "$2" >"$out" 2>/dev/null &
    pids+=($!)
    for _ in $(seq 50); do grep -q '^PTY ' "$out" && break; sleep 0.1; done
    pty=$(sed -n 's/^PTY //p' "$out" | head -n1)
    [[ -n "$pty" ]] || { echo "the meter simulator did not report its terminal" >&2; exit 1; }
    ptys+=("$pty")
}
