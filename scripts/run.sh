#!/usr/bin/env bash
# Sets up the machine (packages, build) and starts the application.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
exec ./build/VorlenSoftwareUpdate
