#!/usr/bin/env bash
# Installs every Debian package the project needs (quietly, only what is missing), then
# configures and builds into build/. Safe to run again and again.
# BUILD_TYPE (Debug), BUILD_DIR (build), BUILD_TARGET (all) and CMAKE_OPTIONS choose another build;
# PACKAGES_ONLY=1 stops after the packages.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
    build-essential cmake ninja-build ccache pkg-config
    juce-modules-source
    libgtest-dev libgmock-dev
    libcurl4-openssl-dev libfreetype-dev libfontconfig1-dev libx11-dev libxrandr-dev
    libxinerama-dev libxcursor-dev libxext-dev libxrender-dev libasound2-dev
    g++-mingw-w64-x86-64-posix
    clang libclang-rt-14-dev
    python3
    lrzsz busybox dash util-linux
    xvfb xdotool imagemagick x11-utils
    dpkg-dev fakeroot lintian desktop-file-utils man-db
    # The Windows build (scripts/build-windows.sh), its setup program and its run under Wine.
    libz-mingw-w64-dev nsis wine wine64 fonts-wine openssl
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update -qq
    # Recommends would pull in plug-in SDKs this application never uses.
    $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
[ "${PACKAGES_ONLY:-0}" = 1 ] && exit 0

export CCACHE_SLOPPINESS=time_macros
build_dir=${BUILD_DIR:-build}
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-Debug}" ${CMAKE_OPTIONS:-} >/dev/null
cmake --build "$build_dir" -j"$(nproc)" ${BUILD_TARGET:+--target "$BUILD_TARGET"}
