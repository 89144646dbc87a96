#!/usr/bin/env bash
# Sets up the machine (packages, an optimised build in build-release/) and starts the
# application. With no instrument on a USB serial port (and VORLEN_SERIAL_PORTS unset) it starts
# the bundled instrument emulator and a local update server first, and points the application at
# both. The build's own output goes to build-release/build-output.txt.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/demo_instrument.sh
trap stop_demo_instrument EXIT

mkdir -p build-release
echo "Building the application (optimised; the first build takes a few minutes)..."
if ! BUILD_TYPE=Release BUILD_DIR=build-release BUILD_TARGET=VorlenSoftwareUpdate CMAKE_OPTIONS=-DVORLEN_BUILD_TESTS=OFF \
        bash scripts/setup.sh > build-release/build-output.txt 2>&1; then
    tail -n 30 build-release/build-output.txt
    echo "The build failed; its whole output is in build-release/build-output.txt"
    exit 1
fi

if [ -z "${VORLEN_SERIAL_PORTS:-}" ] && ! ls /dev/ttyACM* /dev/ttyUSB* >/dev/null 2>&1; then
    demo=$(mktemp -d /tmp/vorlen-demo-XXXXXX)
    start_demo_instrument "$demo"
    echo "No instrument attached: using the instrument emulator and a local update server (files in $demo)."
fi

if [ -z "${DISPLAY:-}" ]; then
    start_virtual_display
    echo "No DISPLAY: the window is on the virtual display $DISPLAY; stop it with Ctrl-C."
fi

echo "Communication log: ${HOME}/.config/VorlenLog.txt"
./build-release/VorlenSoftwareUpdate
