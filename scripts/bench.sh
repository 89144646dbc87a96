#!/usr/bin/env bash
# Builds the benchmark driver (Release, in build-bench/) and runs the transfer benchmarks
# against Debian's lrzsz on the instrument emulator. Arguments go to bench/run_bench.py, e.g.
#   bash scripts/bench.sh --sizes 1M --modes unpaced --repeat 5     # a quick run
#   bash scripts/bench.sh                                           # 1 and 16 MiB, paced and unpaced (long)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BENCH_BUILD_DIR:-build-bench}
export CCACHE_SLOPPINESS=time_macros
cmake -S bench -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target zmodem_bench
exec python3 bench/run_bench.py --driver "$build/zmodem_bench" "$@"
