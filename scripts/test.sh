#!/usr/bin/env bash
# Sets up the machine (packages, build) and runs every test, ending with ctest's summary.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cd build
ctest -j"$(nproc)" --output-on-failure --timeout 600
