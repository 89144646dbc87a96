# Sourced by the scripts that start the application without a real instrument.
# start_demo_instrument DIR [emulator arguments...] starts a local update server with the demo
# content and the instrument emulator in DIR, exports the application's variables to both, and
# adds their process ids to demo_pids. stop_demo_instrument ends them.

demo_pids=()
demo_source_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

start_demo_instrument() {
    local dir=$1
    shift
    local tools="$demo_source_dir/tools"
    mkdir -p "$dir"
    python3 "$tools/update_server/make_update_content.py" --out "$dir/server" >/dev/null
    python3 "$tools/update_server/update_server.py" --root "$dir/server" --log "$dir/requests.log" > "$dir/server.out" 2>&1 &
    demo_pids+=("$!")
    python3 "$tools/instrument_emulator/vorlen_emulator.py" --port "$dir/port" --workdir "$dir/instrument" "$@" \
        > "$dir/emulator.out" 2>&1 &
    demo_pids+=("$!")
    for _ in $(seq 150); do
        grep -q READY "$dir/server.out" && grep -q READY "$dir/emulator.out" && break
        sleep 0.1
    done
    if ! grep -q READY "$dir/server.out" || ! grep -q READY "$dir/emulator.out"; then
        echo "The instrument emulator or the update server did not start; see $dir/*.out" >&2
        return 1
    fi
    local base
    base=$(awk '/^READY/ {print $2}' "$dir/server.out")
    export VORLEN_FIRMWARE_BASE_URL="${base}last/" VORLEN_APPLICATION_BASE_URL="${base}vorlensoftware/"
    export VORLEN_SERIAL_PORTS="$dir/port"
}

# A virtual display for machines without one; sets DISPLAY and adds the server to demo_pids.
start_virtual_display() {
    local geometry=${1:-1280x1024}
    local numberfile
    numberfile=$(mktemp)
    Xvfb -displayfd 3 -screen 0 "${geometry}x24" -nolisten tcp 3>"$numberfile" >/dev/null 2>&1 &
    demo_pids+=("$!")
    for _ in $(seq 100); do
        [ -s "$numberfile" ] && break
        sleep 0.05
    done
    export DISPLAY=":$(head -n1 "$numberfile")"
    rm -f "$numberfile"
}

stop_demo_instrument() {
    local p
    for p in "${demo_pids[@]}"; do kill "$p" 2>/dev/null || true; done
    for p in "${demo_pids[@]}"; do wait "$p" 2>/dev/null || true; done
    demo_pids=()
}
