#!/usr/bin/env bash
# Builds the image codecs JUCE's graphics module needs on Windows (libpng, libjpeg-turbo) as
# static mingw libraries, from Debian's own source packages. Debian ships no mingw build of
# either, and its JUCE has the bundled copies removed.
#   scripts/windows-codecs.sh PREFIX
# Installs into PREFIX/{include,lib}; a PREFIX that already holds both is left as it is, so the
# download and the build happen once. The system's apt configuration is not
# touched: the source lists live in PREFIX's work directory.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
prefix=$(realpath -m "$1")
stamp="$prefix/.codecs-built"
[ -f "$stamp" ] && exit 0

work="$prefix/src"
rm -rf "$work"
mkdir -p "$work/lists/partial" "$work/cache/archives/partial"
cat >"$work/sources.list" <<'EOF'
deb-src http://deb.debian.org/debian bookworm main
deb-src http://deb.debian.org/debian-security bookworm-security main
EOF
apt_private=(-o Dir::Etc::SourceList="$work/sources.list" -o Dir::Etc::SourceParts=/nonexistent
             -o Dir::State::Lists="$work/lists" -o Dir::Cache="$work/cache" -o Debug::NoLocking=1
             -o APT::Sandbox::User=root)

echo "== fetching the sources of libpng1.6 and libjpeg-turbo"
apt-get -qq "${apt_private[@]}" update
cd "$work"
fetch() {
    local package=$1 version
    # Newest first: a mirror may list a security version whose files it no longer has (404).
    for version in $(apt-cache "${apt_private[@]}" showsrc "$package" | sed -n 's/^Version: //p' | sort -rV); do
        if apt-get -qq "${apt_private[@]}" source --download-only "$package=$version" >/dev/null 2>&1; then
            dpkg-source --no-check -x "${package}_${version#*:}.dsc" "$package" >/dev/null
            echo "   $package $version"
            return 0
        fi
    done
    echo "no version of $package could be fetched" >&2
    return 1
}
fetch libpng1.6
fetch libjpeg-turbo

toolchain="$root/cmake/mingw-w64-x86_64.cmake"
common=(-G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release
        -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_POLICY_DEFAULT_CMP0091=NEW)

echo "== building libpng"
cmake -S libpng1.6 -B build-png "${common[@]}" -Wno-dev -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF \
    -DPNG_EXECUTABLES=OFF -DZLIB_LIBRARY=/usr/x86_64-w64-mingw32/lib/libz.a \
    -DZLIB_INCLUDE_DIR=/usr/x86_64-w64-mingw32/include >/dev/null
cmake --build build-png -j2 >/dev/null
cmake --install build-png >/dev/null

echo "== building libjpeg-turbo"
cmake -S libjpeg-turbo -B build-jpeg "${common[@]}" -Wno-dev -DENABLE_SHARED=OFF -DENABLE_STATIC=ON \
    -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF >/dev/null
cmake --build build-jpeg -j2 >/dev/null
cmake --install build-jpeg >/dev/null
# JUCE reads the library's internals (JPEG_INTERNALS).
cp libjpeg-turbo/jpegint.h "$prefix/include/"

rm -rf "$work"
touch "$stamp"
