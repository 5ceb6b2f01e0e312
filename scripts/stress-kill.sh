#!/usr/bin/env bash
# The long stress run of hard kills: Trailkeep killed outright while it records and started
# again, 200 times (or $1), checking after each kill that no stored entry was lost.
#   bash scripts/stress-kill.sh [KILLS]      after `bash scripts/test-all.sh` has built
# It runs the x86-64 test build, or the 32-bit one with TK_TEST_ARCH=x86.
set -euo pipefail
cd "$(dirname "$0")/.."
tree=build/test-x64
[ "${TK_TEST_ARCH:-x64}" = x86 ] && tree=build/test
[ -x "$tree/tkwine" ] || { echo "stress-kill: build $tree first (bash scripts/test-all.sh)" >&2; exit 1; }
started=0
[ -s "$tree/wine/xvfb.pid" ] && kill -0 "$(cat "$tree/wine/xvfb.pid")" 2>/dev/null || started=1
[ "$started" = 1 ] && trap '"$tree/tkwine" stop' EXIT
TK_KILL_ROUNDS="${1:-200}" "$tree/tkwine" run "$tree/bin/tk_e2e_tests.exe" \
    --gtest_filter=Hardening.KilledWhileRecordingLosesNoStoredEntry
