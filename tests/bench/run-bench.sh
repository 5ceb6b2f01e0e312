#!/usr/bin/env bash
# Runs the benchmark of the test build and prints its figures; the `bench` target runs it.
#   run-bench.sh TKWINE WINE_ROOT BIN_DIR WORK_DIR
# It uses the desktop of this build tree's Wine: run it while no tests of the same build
# tree are running. Wine is left as it was found: started here, it is stopped here.
set -euo pipefail
tkwine=$1 wine_root=$2 bin=$3 work=$4
hook_calls=10000   # calls of each hook variant
capture_runs=50
idle_seconds=60    # Trailkeep left alone while its threads' wake-ups are counted
no_list_seconds=240  # Trailkeep's tries to reach a shell's list that cannot be had
menu_runs=20
drag_moves=500

running_before=0
if [ -s "$wine_root/xvfb.pid" ] && kill -0 "$(cat "$wine_root/xvfb.pid")" 2>/dev/null; then
    running_before=1
fi
[ "$running_before" = 1 ] || trap '"$tkwine" stop' EXIT
"$tkwine" start
eval "$("$tkwine" env)"
rm -rf "$work"
mkdir -p "$work"

echo "Trailkeeper benchmark, $WINEARCH ($("$WINELOADER" --version), $(date -u '+%Y-%m-%d %H:%M UTC'))"
echo

# --- Hook cost: instructions counted by callgrind ------------------------------------
# Only the measured loops are collected; each variant ends with a dump named after it.
# Instructions run inside the wine server (requests that cross to it) are not counted.
if ! valgrind --tool=callgrind --collect-atstart=no --trace-children=yes \
        --callgrind-out-file="$work/callgrind.%p" \
        "$WINELOADER" "$bin/tk_bench_hook.exe" "$hook_calls" >"$work/hook.log" 2>&1; then
    cat "$work/hook.log" >&2
    echo "bench: the hook benchmark failed under valgrind" >&2
    exit 1
fi

# The instructions counted for one variant: the totals of the dump that names it.
instructions() {
    local dump
    dump=$(grep -l -x "desc: Trigger: Client Request: $1" "$work"/callgrind.* | head -n 1)
    [ -n "$dump" ] || { echo "bench: no callgrind dump for $1" >&2; exit 1; }
    sed -n 's/^totals: *//p' "$dump"
}
base=$(instructions pass-through)
other=$(instructions hook-other-message)
settext=$(instructions hook-settext-not-edit)

echo "Hook cost: instructions per call counted by callgrind ($hook_calls calls of each;"
echo "the calling loop is included, the wine server's share of a call is not)"
awk -v n="$hook_calls" -v base="$base" -v other="$other" -v settext="$settext" 'BEGIN {
    printf "  %-58s %10s %14s\n", "hook procedure, message", "instr/call", "vs pass-through"
    printf "  %-58s %10.1f %14.2f\n", "pass-through (CallNextHookEx only), WM_GETTEXT", base / n, 1
    printf "  %-58s %10.1f %14.2f\n", "AddressBarHookProc, WM_GETTEXT (not WM_SETTEXT)", \
        other / n, other / base
    printf "  %-58s %10.1f %14.2f\n", "AddressBarHookProc, WM_SETTEXT to a \"Static\" (not \"Edit\")", \
        settext / n, settext / base
}'
echo

# --- Latencies with the real Trailkeep ------------------------------------------------
echo "Latencies by QueryPerformanceCounter, after one warm-up run. Capture: LogDelay 0, history"
echo "full at 50 entries, the stand-in Explorer in the foreground (hook), or a followed window"
echo "of the stand-in shell (watcher); the settings file read at each rename in its folder."
echo "Menu conditions polled every ~1 ms."
echo "Menu: 50 history entries and 30 registered folders; closed with Escape. The bare menu"
echo "(one item, tracked by the benchmark as Trailkeep tracks its own) is the system's own"
echo "time to show a menu: under Wine mostly its popup window made and mapped on X11."
echo "Trailkeep's own share is its median beyond the bare menu's, taken under the same"
echo "conditions; the menu is looked for by its window class, one look costing the poll row."
echo "Drag: the marker moved $drag_moves times on this display, in the benchmark's own process."
"$tkwine" run "$bin/tk_bench.exe" "$capture_runs" "$menu_runs" "$drag_moves"

# --- Wake-ups while nothing happens ---------------------------------------------------
# Trailkeep idles with a folder window that its watcher follows; every thread of its
# process (Wine's own included) is a Linux thread, whose context switches the kernel counts.
switches() {  # switches PID: "tid count" per thread
    local task
    for task in /proc/"$1"/task/*; do
        awk -v tid="${task##*/}" '/^(non)?voluntary_ctxt_switches/ { n += $2 } END { print tid, n }' \
            "$task/status" 2>/dev/null || true
    done
}
echo
echo "Wake-ups of Trailkeep's threads while idle for ${idle_seconds} s (a followed folder window,"
echo "nothing happening; context switches per thread, counted by the kernel)"
"$tkwine" run "$bin/tk_bench.exe" --idle $((idle_seconds + 30)) >"$work/idle.log" 2>&1 &
idler=$!
# This tree's Trailkeep, not another tree's: Wine shows the program's Windows path.
exe="Z:${bin//\//\\}\\Trailkeep.exe"
pid=
for _ in $(seq 300); do
    for candidate in $(pgrep -f 'Trailkeep\.exe' || true); do
        [ "$(tr -d '\0' <"/proc/$candidate/cmdline" 2>/dev/null)" = "$exe" ] && pid=$candidate
    done
    [ -n "$pid" ] && break
    sleep 0.2
done
if [ -z "$pid" ]; then
    echo "  bench: Trailkeep did not come up" >&2
else
    switches "$pid" >"$work/start"
    sleep 10  # the window opens and is followed; start-up work settles
    switches "$pid" >"$work/before"
    # The counter's control: the same count over the start-up, which does wake.
    awk 'NR == FNR { before[$1] = $2; next } { total += $2 - before[$1] }
         END { printf "  (while starting up, 10 s: %d wake-ups)\n", total }' "$work/start" "$work/before"
    sleep "$idle_seconds"
    switches "$pid" >"$work/after"
    awk -v minutes="$idle_seconds" '
        NR == FNR { before[$1] = $2; next }
        { d = $2 - before[$1]; total += d; if (d > 0) busy++; threads++ }
        END { printf "  %d threads, %d woke at all; %.1f wake-ups per minute in all\n",
                     threads, busy, total * 60 / minutes }' "$work/before" "$work/after"
    awk 'NR == FNR { before[$1] = $2; next } { d = $2 - before[$1]; if (d > 0) printf "    thread %s: %d\n", $1, d }' \
        "$work/before" "$work/after"
fi
wait "$idler" || true

echo
echo "With no shell's list to be had: when Trailkeep tries again (${no_list_seconds} s)"
"$tkwine" run "$bin/tk_bench.exe" --no-list "$no_list_seconds"
