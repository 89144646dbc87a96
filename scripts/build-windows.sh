#!/usr/bin/env bash
# Builds the Windows release on this Debian machine: VorlenSoftwareUpdate.exe, vorlen-cli.exe
# and the setup program VorlenSoftware_setup.exe, in build-windows/ (or BUILD_DIR).
# Unattended: needs no terminal and asks nothing. Installs what is missing first (as
# scripts/setup.sh does, without building the Linux programs); the image codecs are fetched and
# built once (scripts/windows-codecs.sh) into CODECS_DIR, by default a cache shared by every
# build directory: ~/.cache/vorlen/windows-codecs.
#   APP_VERSION=Test2 BUILD_DIR=build-windows-next bash scripts/build-windows.sh
# builds a setup program that stands for a newer release (the self-update test uses one).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$(realpath -m "${BUILD_DIR:-build-windows}")

PACKAGES_ONLY=1 bash scripts/setup.sh

export CCACHE_SLOPPINESS=time_macros CCACHE_BASEDIR="${CCACHE_BASEDIR:-$root}"
mkdir -p "$build"
started=$(date +%s)
codecs=$(realpath -m "${CODECS_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/vorlen/windows-codecs}")
mkdir -p "$codecs"
# Two builds at once (the test run's two setup programs) build the codecs once.
flock "$codecs/.lock" bash scripts/windows-codecs.sh "$codecs"

cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DVORLEN_WINDOWS_CODECS="$codecs" \
    -DVORLEN_APPLICATION_VERSION="${APP_VERSION:-Test}" >"$build/configure-output.txt"
cmake --build "$build" -j"${JOBS:-2}" >"$build/build-output.txt" 2>&1 \
    || { tail -40 "$build/build-output.txt"; exit 1; }

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
makensis -V2 -DVERSION="$version" -DLABEL="${APP_VERSION:-Test}" -DPROGRAMS="$build" \
    -DOUTFILE="$build/VorlenSoftware_setup.exe" packaging/windows/installer.nsi

echo "built in $(( $(date +%s) - started )) s:"
ls -l "$build/VorlenSoftwareUpdate.exe" "$build/vorlen-cli.exe" "$build/VorlenSoftware_setup.exe" | awk '{print "  " $5 " bytes  " $9}'
