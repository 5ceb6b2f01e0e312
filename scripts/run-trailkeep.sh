#!/usr/bin/env bash
# Builds the release binaries and starts Trailkeep under Wine from the current directory,
# where it keeps Trailkeep.ini. It runs until "終了" is chosen from its tray menu.
# It starts the x86-64 build where the host runs 64-bit Wine (as 64-bit Windows wants it),
# else the 32-bit one; TK_RUN_ARCH=x86 or x64 chooses.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bash "$top/scripts/install-deps.sh"

# The loaders are named outright: /usr/bin/wine always picks the 32-bit one when it is
# installed, also on hosts that cannot execute it.
declare -A loader=([x86]=/usr/lib/wine/wine [x64]=/usr/lib/wine/wine64)
declare -A preset=([x86]=release [x64]=release-x64)
arch=${TK_RUN_ARCH:-}
if [ -z "$arch" ]; then
    if "${loader[x64]}" --version >/dev/null 2>&1; then arch=x64
    elif "${loader[x86]}" --version >/dev/null 2>&1; then arch=x86
    else echo "run-trailkeep: neither Wine loader runs on this host" >&2; exit 1; fi
fi
case "$arch" in x86 | x64) ;; *) echo "run-trailkeep: TK_RUN_ARCH must be x86 or x64" >&2; exit 2 ;; esac

(cd "$top" && cmake --preset "${preset[$arch]}" >/dev/null && cmake --build --preset "${preset[$arch]}")
# A prefix of the build's own kind, unless one is given.
declare -A kind=([x86]=win32 [x64]=win64)
export WINEPREFIX="${WINEPREFIX:-$HOME/.wine-trailkeeper-$arch}" WINEARCH="${kind[$arch]}"
export LC_ALL=ja_JP.UTF-8 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
program="$top/build/${preset[$arch]}/bin/Trailkeep.exe"
echo "Trailkeep ($arch build) in $PWD, Wine prefix $WINEPREFIX"
if [ -z "${DISPLAY:-}" ]; then
    echo "No display: Trailkeep runs on a virtual display (Xvfb)."
    xvfb-run -a "${loader[$arch]}" "$program"
else
    "${loader[$arch]}" "$program"
fi
