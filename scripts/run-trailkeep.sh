#!/usr/bin/env bash
# Builds the release binaries and starts Trailkeep under Wine from the current directory,
# where it keeps Trailkeep.ini. It runs until "終了" is chosen from its tray menu.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bash "$top/scripts/install-deps.sh"
(cd "$top" && cmake --preset release >/dev/null && cmake --build --preset release)
export LC_ALL=ja_JP.UTF-8 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ -z "${DISPLAY:-}" ]; then
    echo "No display: Trailkeep runs on a virtual display (Xvfb)."
    xvfb-run -a wine "$top/build/release/bin/Trailkeep.exe"
else
    wine "$top/build/release/bin/Trailkeep.exe"
fi
