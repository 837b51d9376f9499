#!/usr/bin/env bash
# Builds and starts the program; without a display, under Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found: starting Tandrel under a virtual X display (Xvfb)."
    exec xvfb-run -a -s "-screen 0 1280x1024x24" build/bin/downloader
fi
exec build/bin/downloader
