#!/usr/bin/env bash
# Builds the optimised application in build-release/ (no tests) and its Debian package there:
#   build-release/vorlen-software-update_<version>_<arch>.deb
set -euo pipefail
cd "$(dirname "$0")/.."
mkdir -p build-release
BUILD_TYPE=Release BUILD_DIR=build-release CMAKE_OPTIONS=-DVORLEN_BUILD_TESTS=OFF \
    bash scripts/setup.sh > build-release/build-output.txt 2>&1 \
    || { tail -n 30 build-release/build-output.txt; exit 1; }
(cd build-release && cpack -G DEB > cpack-output.txt 2>&1) || { cat build-release/cpack-output.txt; exit 1; }
ls build-release/vorlen-software-update_*.deb
