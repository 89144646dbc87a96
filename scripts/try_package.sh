#!/usr/bin/env bash
# Builds the Debian package, installs it on this machine with apt (which pulls in its
# dependencies), and starts the installed application against the instrument emulator and a
# local update server on a virtual display. Prints what it checked; exits non-zero on a failure.
#   bash scripts/try_package.sh [--remove]     # --remove uninstalls the package afterwards
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/demo_instrument.sh
trap stop_demo_instrument EXIT

deb=$(bash scripts/package.sh | tail -n1)
echo "Package: $deb"
if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "./$deb" >/dev/null
dpkg-query -W -f='Installed: ${Package} ${Version}\n' vorlen-software-update
program=$(command -v vorlen-software-update)
echo "Program: $program"
echo "Desktop entry: $(ls /usr/share/applications/vorlen-software-update.desktop)"
echo "Icon: $(ls /usr/share/icons/hicolor/48x48/apps/vorlen-software-update.png)"
man -w vorlen-software-update >/dev/null && echo "Man page: $(man -w vorlen-software-update)"

work=$(mktemp -d /tmp/vorlen-try-XXXXXX)
start_demo_instrument "$work" --baud 0
start_virtual_display 1366x768
export HOME="$work/home"
mkdir -p "$HOME"
"$program" > "$work/app.out" 2>&1 &
app=$!
window=
for _ in $(seq 150); do
    window=$(xdotool search --onlyvisible --name '^Vorlen Software Update$' 2>/dev/null | head -n1) || true
    [ -n "$window" ] && [ "$(xdotool getwindowgeometry --shell "$window" | sed -n 's/^WIDTH=//p')" -gt 400 ] && break
    sleep 0.1
done
[ -n "$window" ] || { echo "FAILED: no window"; cat "$work/app.out"; exit 1; }
sleep 1
eval "$(xdotool getwindowgeometry --shell "$window")"
echo "Window: ${WIDTH}x${HEIGHT} at ${X},${Y} on a 1366x768 screen"
import -window root "$work/installed-application.png" 2>/dev/null && echo "Screenshot: $work/installed-application.png"
# The close button is at the left of the 21-pixel title bar.
xdotool mousemove $((X + 10)) $((Y + 10)) click 1
for _ in $(seq 100); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$app" 2>/dev/null; then echo "FAILED: the application did not quit"; kill "$app"; exit 1; fi
wait "$app" && echo "Closed: exit status 0"
# The log is complete once the application has ended.
grep -A1 "Good format" "$HOME/.config/VorlenLog.txt" | sed 's/^/Log: /'
if [ -s "$work/app.out" ]; then echo "Console output:"; cat "$work/app.out"; else echo "Console output: none"; fi

if [ "${1:-}" = "--remove" ]; then
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get remove -y -qq vorlen-software-update >/dev/null
    echo "Removed"
fi
