#!/usr/bin/env bash
# Builds the unit, integration and GUI tests with a sanitizer and runs them.
#   bash scripts/sanitize.sh thread    ThreadSanitizer, in build-tsan/
#   bash scripts/sanitize.sh address   AddressSanitizer + UBSan, in build-asan/; also runs the
#                                      end-to-end ending tests against the sanitized application
#   bash scripts/sanitize.sh           both
# A gtest filter can be passed in GTEST_FILTER; SKIP_E2E=1 leaves the end-to-end part out. Exits non-zero when a test fails or a
# sanitizer reports anything (every report fails the run).
set -euo pipefail
cd "$(dirname "$0")/.."
export CCACHE_SLOPPINESS=time_macros

kinds=("$@")
[ ${#kinds[@]} -gt 0 ] || kinds=(thread address)

configure_and_build() {
    local dir=$1 flags=$2
    shift 2
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
        -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_C_FLAGS="$flags" \
        -DCMAKE_EXE_LINKER_FLAGS="$flags" >/dev/null
    cmake --build "$dir" -j2 --target unit_tests integration_tests gui_tests "$@"
}

run_tests() {
    local dir=$1 failed=0
    for t in unit_tests integration_tests gui_tests; do
        echo "== $dir/tests/$t"
        "$dir/tests/$t" --gtest_filter="${GTEST_FILTER:-*}" >"$dir/$t.log" 2>&1 || failed=1
        grep -E "^\[  (PASSED|FAILED) |^\[==========\] .* ran" "$dir/$t.log" || true
        if grep -qE "WARNING: ThreadSanitizer|ERROR: AddressSanitizer|runtime error:|ERROR: LeakSanitizer" "$dir/$t.log"; then
            echo "   sanitizer reports in $dir/$t.log:"
            grep -E "WARNING: ThreadSanitizer|ERROR: AddressSanitizer|runtime error:|ERROR: LeakSanitizer" "$dir/$t.log" | sort | uniq -c | head
            failed=1
        fi
    done
    return $failed
}

status=0
for kind in "${kinds[@]}"; do
    case $kind in
        thread)
            configure_and_build build-tsan "-fsanitize=thread -O1 -fno-omit-frame-pointer"
            TSAN_OPTIONS="second_deadlock_stack=1 history_size=4 suppressions=$PWD/scripts/tsan.supp" \
                run_tests build-tsan || status=1
            ;;
        address)
            configure_and_build build-asan "-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer" \
                VorlenSoftwareUpdate
            # JUCE's leak detector covers its own objects; LeakSanitizer would add the
            # process-wide singletons that live until exit.
            export ASAN_OPTIONS="detect_leaks=0 abort_on_error=0"
            export UBSAN_OPTIONS="print_stacktrace=1"
            run_tests build-asan || status=1
            [ "${SKIP_E2E:-0}" = 1 ] && continue
            echo "== end-to-end ending tests against build-asan/VorlenSoftwareUpdate"
            log=build-asan/e2e_ending.log
            rm -f build-asan/asan-app.*
            (cd tests/e2e && ASAN_OPTIONS="$ASAN_OPTIONS log_path=$PWD/../../build-asan/asan-app" \
                VORLEN_BUILD_DIR="$PWD/../../build-asan" python3 -m unittest test_ending test_editor) >"$log" 2>&1 || status=1
            tail -3 "$log"
            if ls build-asan/asan-app.* >/dev/null 2>&1; then
                echo "   sanitizer reports from the application:"; head -20 build-asan/asan-app.*
                status=1
            fi
            ;;
        *)
            echo "unknown sanitizer: $kind (thread or address)" >&2
            exit 2
            ;;
    esac
done
exit $status
