#!/usr/bin/env bash
# Sets up the machine (packages, build) and starts the application. With no instrument on a USB
# serial port (and VORLEN_SERIAL_PORTS unset) it starts the bundled instrument emulator and a
# local update server first, and points the application at both.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; wait 2>/dev/null || true; }
trap cleanup EXIT

if [ -z "${VORLEN_SERIAL_PORTS:-}" ] && ! ls /dev/ttyACM* /dev/ttyUSB* >/dev/null 2>&1; then
    demo=$(mktemp -d /tmp/vorlen-demo-XXXXXX)
    echo "No instrument attached: using the instrument emulator and a local update server ($demo)."
    python3 tools/update_server/make_update_content.py --out "$demo/server" >/dev/null
    python3 tools/update_server/update_server.py --root "$demo/server" --log "$demo/requests.log" > "$demo/server.out" &
    pids+=("$!")
    python3 tools/instrument_emulator/vorlen_emulator.py --port "$demo/port" --workdir "$demo/instrument" > "$demo/emulator.out" &
    pids+=("$!")
    for _ in $(seq 100); do
        grep -q READY "$demo/server.out" && grep -q READY "$demo/emulator.out" && break
        sleep 0.1
    done
    base=$(awk '/^READY/ {print $2}' "$demo/server.out")
    export VORLEN_FIRMWARE_BASE_URL="${base}last/" VORLEN_APPLICATION_BASE_URL="${base}vorlensoftware/"
    export VORLEN_SERIAL_PORTS="$demo/port"
fi

if [ -z "${DISPLAY:-}" ]; then
    echo "No DISPLAY: running the window on a virtual display (Xvfb :77); close it with Ctrl-C."
    Xvfb :77 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    pids+=("$!")
    export DISPLAY=:77
    sleep 0.5
fi

./build/VorlenSoftwareUpdate
echo "Communication log: ${HOME}/.config/VorlenLog.txt"
