#!/usr/bin/env bash
# Builds Trailkeeper for both architectures and runs every test layer this host can run:
# the native unit tests and the checks of the built files always, the Win32 and end-to-end
# layers under Wine for each architecture whose Wine loader runs here.
#   TK_TEST_ARCH=x86 or TK_TEST_ARCH=x64 runs the Wine layers of that architecture only.
#   TK_REQUIRE_WINE=1 (the default) fails the run unless the Wine layers of at least one
#   architecture ran; TK_REQUIRE_WINE=0 accepts a run without them, reported as partial.
# The last line tells a complete run ("complete: ...") from a partial one ("partial: ..."):
# an architecture whose Wine layers did not run has its Wine tests counted as skipped, and a
# layer with fewer passed tests than its floor (tk_test_floor) makes the run partial and failed.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

# The loader of each architecture. /usr/bin/wine is no help here: it picks the 32-bit
# loader whenever that is installed, also where the host cannot execute it.
# TK_WINE_LOADER_X86 and TK_WINE_LOADER_X64 name others (a Wine of one's own build).
declare -A loader=([x86]=${TK_WINE_LOADER_X86:-/usr/lib/wine/wine}
                   [x64]=${TK_WINE_LOADER_X64:-/usr/lib/wine/wine64})
declare -A preset=([x86]=test [x64]=test-x64)
declare -A runs reason

forced=${TK_TEST_ARCH:-}
case "$forced" in
"" | x86 | x64) ;;
*) echo "test-all: TK_TEST_ARCH must be x86 or x64 (has: $forced)" >&2; exit 2 ;;
esac
require=${TK_REQUIRE_WINE:-1}
case "$require" in
0 | 1) ;;
*) echo "test-all: TK_REQUIRE_WINE must be 0 or 1 (has: $require)" >&2; exit 2 ;;
esac

# Whether the host runs an architecture is asked of its loader, never assumed: a host may
# have the 32-bit packages installed and still refuse to execute 32-bit code.
for arch in x86 x64; do
    runs[$arch]=OFF
    if [ -n "$forced" ] && [ "$forced" != "$arch" ]; then
        reason[$arch]="left out: TK_TEST_ARCH=$forced"
    elif out=$("${loader[$arch]}" --version 2>&1); then
        runs[$arch]=ON
        reason[$arch]="runs under $out"
    else
        reason[$arch]="not run: this host cannot run ${loader[$arch]} (${out##*: })"
    fi
done
echo "test-all: x86 ${reason[x86]}"
echo "test-all: x64 ${reason[x64]}"
if [ "$require" = 1 ] && [ "${runs[x86]}" = OFF ] && [ "${runs[x64]}" = OFF ]; then
    echo "test-all: FAILED: no architecture's Win32 and end-to-end tests can run here" \
         "(TK_REQUIRE_WINE=0 accepts a partial run)" >&2
    exit 1
fi

# Both trees are always built: cross-compiling works everywhere, and the checks of the
# built files cover both. Only a 64-bit prefix runs programs of both bitnesses, so the
# x86-64 tree alone gets the 32-bit binaries, where both run, for the tests of one
# Trailkeep per desktop that pair the two.
peer=""
[ "${runs[x86]}" = ON ] && [ "${runs[x64]}" = ON ] && peer="$PWD/build/test/bin"
declare -A peerOf=([x86]="" [x64]="$peer")
for arch in x86 x64; do
    cmake --preset "${preset[$arch]}" -DTK_WINE_TESTS="${runs[$arch]}" \
        -DTK_WINE_LOADER="${loader[$arch]}" -DTK_PEER_BIN="${peerOf[$arch]}" >/dev/null
    cmake --build --preset "${preset[$arch]}"
done

# Tests per label as a log of ctest names them ("unit.", "win32.", "e2e." before the case):
# all that ran, and those that passed.
count_label() { grep -cE "Test +#[0-9]+: $2\." "$1" || true; }
count_passed() { grep -cE "Test +#[0-9]+: $2\..* Passed +[0-9.]+ sec" "$1" || true; }

total_passed=0 total_failed=0 total_skipped=0 status=0 wine_listed="" short=0
summary=()
for arch in x86 x64; do
    log="build/${preset[$arch]}/ctest.log"
    rc=0
    ctest --preset "${preset[$arch]}" 2>&1 | tee "$log" || rc=$?
    [ "${PIPESTATUS[0]}" -eq 0 ] || rc=1
    line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1 || true)
    total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
    failed=$(sed -E 's/.* ([0-9]+) tests? failed.*/\1/' <<<"$line")
    skipped=$(grep -c '(Skipped)' "$log" || true)
    if [ -z "$total" ]; then
        echo "test-all: $arch: ctest ended without its summary (a test program's listing failed?)"
        total=0 failed=1 rc=1
    fi
    # A test program that lists nothing, or a layer whose tests all skip, leaves that layer
    # short: the tests of each layer that PASSED are held to the floor kept beside its test
    # list. A short layer fails the run, which then is not complete.
    while read -r label floor; do
        [ -n "$label" ] || continue
        [ "$label" = unit ] || [ "${runs[$arch]}" = ON ] || continue
        has=$(count_passed "$log" "$label")
        if [ "$has" -lt "$floor" ]; then
            echo "test-all: $arch: $has $label tests passed ($(count_label "$log" "$label") ran)," \
                 "fewer than the floor of $floor"
            short=1 rc=1
        fi
    done <"build/${preset[$arch]}/test-floors"
    passed=$((total - failed - skipped))
    [ "$passed" -ge 0 ] || passed=0
    [ "${runs[$arch]}" = ON ] &&
        wine_listed=$(( $(count_label "$log" win32) + $(count_label "$log" e2e) ))
    [ "$rc" -eq 0 ] || status=1
    layers="build checks"
    [ "$arch" = x86 ] && layers="native unit tests, $layers"
    if [ "${runs[$arch]}" = ON ]; then layers="$layers, Win32 and end-to-end under Wine"
    else layers="$layers; Win32 and end-to-end ${reason[$arch]}"; fi
    summary+=("$arch: $passed passed, $failed failed, $skipped skipped ($layers)")
    total_passed=$((total_passed + passed))
    total_failed=$((total_failed + failed))
    total_skipped=$((total_skipped + skipped))
done

# The Wine tests of an architecture that did not run count as skipped: as many as the
# other architecture listed (the same sources), or as the sources declare where neither ran.
complete=complete
for arch in x86 x64; do
    [ "${runs[$arch]}" = OFF ] || continue
    complete=partial
    if [ -n "$wine_listed" ]; then
        dropped=$wine_listed
    else
        dropped=$(cat tests/win32/*.cpp tests/e2e/*.cpp | grep -cE '^\s*TEST(_F|_P)?\(' || true)
    fi
    total_skipped=$((total_skipped + dropped))
    summary+=("$arch: $dropped Win32 and end-to-end tests skipped: ${reason[$arch]}")
done

[ "$short" = 0 ] || complete=partial
echo
echo "Architectures:"
printf '  %s\n' "${summary[@]}"
echo "$complete: $total_passed passed, $total_failed failed, $total_skipped skipped"
exit "$status"
