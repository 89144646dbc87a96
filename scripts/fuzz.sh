#!/usr/bin/env bash
# Runs each fuzz target for longer than the test run does.
#   bash scripts/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]
# Default 300 s each, all targets (get_header, data_subpacket, file_info, shell_answer,
# shell_parsers, version_document). The clang build lives in $FUZZ_BUILD_DIR (default
# build-fuzz); its corpus grows from run to run, and any crashing input is kept in its
# artifacts/ folder. With FUZZ_RUNS=N a target also stops after N executions. Exits non-zero
# if any target failed.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-300}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(get_header data_subpacket file_info shell_answer shell_parsers version_document)
build=${FUZZ_BUILD_DIR:-build-fuzz}

export CCACHE_SLOPPINESS=time_macros
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S tests/fuzz -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ "${launcher[@]}" >/dev/null
cmake --build "$build"

failed=0
for t in "${targets[@]}"; do
    max_len=4096
    [ "$t" = data_subpacket ] && max_len=20000
    [ "$t" = version_document ] || [ "$t" = shell_parsers ] && max_len=1024
    log="$build/fuzz_$t.log"
    echo "== fuzz_$t for ${seconds}s (log: $log)"
    if "$build/fuzz_$t" -max_total_time="$seconds" ${FUZZ_RUNS:+-runs="$FUZZ_RUNS"} -timeout=10 \
        -max_len="$max_len" -print_final_stats=1 -artifact_prefix="$build/artifacts/$t-" \
        "$build/corpus/$t" "$build/seeds/$t" >"$log" 2>&1; then
        result=ok
    else
        result=FAILED
        failed=1
    fi
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    final=$(grep -E '(DONE|INITED) +cov:' "$log" | tail -1 | grep -oE 'cov: [0-9]+ ft: [0-9]+ corp: [^ ]+')
    echo "   $result: ${execs:-?} runs, ${final:-no coverage line}"
    [ $result = ok ] || grep -E "fuzz check failed|ERROR:|SUMMARY:" "$log" | head -5 | sed 's/^/   /'
done
exit $failed
