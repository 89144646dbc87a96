#!/usr/bin/env bash
# Repeats the end-to-end firmware update (button, power-off box, OK, exit within 5 s) and
# prints how many runs passed, e.g. "18/20 passed".
#   bash scripts/repeat_e2e_update.sh [RUNS]        default 20
# With LOAD=1 a parallel build (without ccache, in build-load/) keeps both cores busy, as
# on a machine where other work runs. Logs of failed runs: build/e2e-repeat/run-N.log.
set -uo pipefail
cd "$(dirname "$0")/.."
runs=${1:-20}
out=build/e2e-repeat
mkdir -p "$out"

load_pid=
if [ "${LOAD:-0}" = 1 ]; then
    cmake -S . -B build-load -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
    # A session of its own, so that the whole build goes with it at the end.
    setsid bash -c 'while true; do
            cmake --build build-load --target clean
            CCACHE_DISABLE=1 cmake --build build-load -j2 --target vorlen_gui
        done' >/dev/null 2>&1 &
    load_pid=$!
    trap 'kill -- -$load_pid 2>/dev/null' EXIT
fi

# The application allows one instance per machine: a run whose window never appeared
# (another instance, perhaps another checkout's tests, held the lock) is tried again, and
# counted apart if it never starts.
run_once() {
    (cd tests/e2e && VORLEN_BUILD_DIR="$PWD/../../build" timeout 300 \
        python3 -m unittest test_editor.EditorTest.test_firmware_update_from_its_button_powers_off_and_quits) >"$1" 2>&1
}

passed=0
unstarted=0
for i in $(seq 1 "$runs"); do
    log="$out/run-$i.log"
    for attempt in 1 2 3; do
        run_once "$log" && break
        grep -q "the main window did not appear" "$log" || break
        sleep 10
    done
    if grep -q "^OK" "$log"; then
        passed=$((passed + 1))
        rm -f "$log"
        echo "run $i: passed"
    elif grep -q "the main window did not appear" "$log"; then
        unstarted=$((unstarted + 1))
        echo "run $i: never started (see $log)"
    else
        echo "run $i: FAILED (see $log)"
    fi
done
echo "$passed/$runs passed ($unstarted never started)"
[ "$passed" = "$runs" ]
