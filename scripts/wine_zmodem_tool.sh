#!/usr/bin/env bash
# Builds tools/zmodem_tool for Windows with mingw (JUCE's core module, the transfer engine and
# the Windows serial port) and runs it under Wine against the instrument emulator, whose
# pseudo-terminal is the Wine prefix's COM9 (a dosdevices link):
#   1. send a file from a folder whose name no ANSI code page spells;
#   2. receive every preset, among them one with such a name and one named AUX.mz, into such a
#      folder: AUX.mz is refused with the file error and skipped, every other preset arrives
#      byte for byte, and the tool's exit status says the receive failed.
# Needs wine64 and libz-mingw-w64-dev (bash scripts/setup.sh installs them).
#   scripts/wine_zmodem_tool.sh [BUILD_DIR]        (default build-windows/zmodem-tool/)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
out=$(realpath -m "${1:-$root/build-windows/zmodem-tool}")
mkdir -p "$out/obj"

cxx="x86_64-w64-mingw32-g++-posix"
command -v ccache >/dev/null && cxx="ccache $cxx"
export CCACHE_SLOPPINESS=time_macros
wine=/usr/lib/wine/wine64
server=/usr/lib/wine/wineserver64
[ -x "$wine" ] || { echo "wine64 is not installed (bash scripts/setup.sh installs it)"; exit 2; }

juce=/usr/share/juce/modules
defines=(-DJUCE_GLOBAL_MODULE_SETTINGS_INCLUDED=1 -DJUCE_STANDALONE_APPLICATION=1 -DJUCE_USE_CURL=0
         -DJUCE_WEB_BROWSER=0 -DJUCE_DISPLAY_SPLASH_SCREEN=0 -DJUCE_REPORT_APP_USAGE=0 -DJUCE_INCLUDE_ZLIB_CODE=0)

# The engine reaches the GUI module only through the task listener's pointer to a component;
# the fuzz build's stand-in for that header serves here too (Debian's JUCE has no libpng or
# libjpeg for mingw, so the GUI modules do not build).
echo "== building zmodem_tool.exe"
$cxx -std=c++17 -O1 -w -Wa,-mbig-obj -isystem "$juce" "${defines[@]}" -c "$juce/juce_core/juce_core.cpp" -o "$out/obj/juce_core.o"
for source in zmodem/*.cpp device/SerialPortWindows.cpp tools/zmodem_tool/main.cpp; do
    $cxx -std=c++17 -O1 -Wall -Wextra -Werror -I"$root" -I"$root/tests/fuzz/headless" -isystem "$juce" "${defines[@]}" \
        -c "$source" -o "$out/obj/$(basename "$source" .cpp).o"
done
$cxx -static -o "$out/zmodem_tool.exe" "$out"/obj/*.o -lz -lws2_32 -lwininet -lversion -lshlwapi -lole32 -loleaut32 \
    -luuid -lwinmm -limm32 -lrpcrt4 -liphlpapi -lnetapi32 -ldbghelp

work=$(mktemp -d /tmp/vorlen-wine-XXXXXX)
export WINEPREFIX="$out/wine-prefix" WINEDEBUG=-all
emulator=
cleanup() {
    [ -n "$emulator" ] && kill "$emulator" 2>/dev/null && wait "$emulator" 2>/dev/null || true
    rm -f "$WINEPREFIX/dosdevices/com9"
    "$server" -k 2>/dev/null || true   # this prefix's server only
    rm -rf "$work"
}
trap cleanup EXIT

echo "== starting the emulator and the Wine prefix"
python3 tools/instrument_emulator/vorlen_emulator.py --port "$work/port" --workdir "$work/emu" --baud 0 --presets 2 --exit-with-parent \
    >"$work/emulator.out" 2>"$work/emulator.err" &
emulator=$!
for _ in $(seq 100); do grep -q READY "$work/emulator.out" 2>/dev/null && break; sleep 0.1; done
grep -q READY "$work/emulator.out" || { echo "the emulator did not start"; cat "$work/emulator.err"; exit 1; }
"$wine" cmd /c exit >/dev/null 2>&1 || true
ln -sfn "$(readlink -f "$work/port")" "$WINEPREFIX/dosdevices/com9"

windowsPath() { local p=${1//\//\\}; echo "Z:$p"; }
failures=0
check() { if eval "$2"; then echo "ok: $1"; else echo "FAILED: $1"; failures=$((failures + 1)); fi; }
tool() { timeout 120 "$wine" "$out/zmodem_tool.exe" "$@"; }

echo "== send from a folder named with Greek, Cyrillic and CJK letters"
folder="$work/Πρεσετ-Пресет-音"
mkdir -p "$folder"
head -c 20000 /dev/urandom >"$folder/Bänk-音.mz"
status=0; tool send '\\.\COM9' "$(windowsPath "$folder/Bänk-音.mz")" >"$work/send.log" 2>&1 || status=$?
cat "$work/send.log"
check "the send succeeds" "[ $status -eq 0 ]"
check "the instrument holds the file, byte for byte, under its UTF-8 name" "cmp -s '$folder/Bänk-音.mz' '$work/emu/root/Bänk-音.mz'"

echo "== receive every preset, one of them named AUX.mz, into such a folder"
presets="$work/emu/usr/ap/presets"
cp "$folder/Bänk-音.mz" "$presets/Résumé-音.mz"
echo "a device on Windows" >"$presets/AUX.mz"
into="$work/Réception-音"
mkdir -p "$into"
status=0; tool receive '\\.\COM9' "$(windowsPath "$into")" "cd /usr/ap/presets; lsz *.mz" >"$work/receive.log" 2>&1 || status=$?
cat "$work/receive.log"
check "the receive reports the refusal as a failure" "[ $status -eq 1 ]"
check "the log names the refused file and why" "grep -q 'AUX.mz cannot be stored here: Windows reserves this name for a device' '$work/receive.log'"
check "the error is the file error with the name" "grep -q 'failed to open file AUX.mz: Invalid argument' '$work/receive.log'"
check "nothing is written under the refused name" "[ ! -e '$into/AUX.mz' ] && [ \$(ls '$into' | wc -l) -eq 3 ]"
for name in Preset01.mz Preset02.mz Résumé-音.mz; do
    check "$name arrives byte for byte after the skipped file" "cmp -s '$presets/$name' '$into/$name'"
done

echo "== $failures failed"
[ "$failures" -eq 0 ]
