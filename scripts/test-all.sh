#!/usr/bin/env bash
# Builds Trailkeeper for both architectures and runs every test layer this host can run:
# the native unit tests and the checks of the built files always, the Win32 and end-to-end
# layers under Wine for each architecture whose Wine loader runs here.
#   TK_TEST_ARCH=x86 or TK_TEST_ARCH=x64 runs the Wine layers of that architecture only.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

# The loader of each architecture. /usr/bin/wine is no help here: it picks the 32-bit
# loader whenever that is installed, also where the host cannot execute it.
declare -A loader=([x86]=/usr/lib/wine/wine [x64]=/usr/lib/wine/wine64)
declare -A preset=([x86]=test [x64]=test-x64)
declare -A runs reason

forced=${TK_TEST_ARCH:-}
case "$forced" in
"" | x86 | x64) ;;
*) echo "test-all: TK_TEST_ARCH must be x86 or x64 (has: $forced)" >&2; exit 2 ;;
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

# Both trees are always built: cross-compiling works everywhere, and the checks of the
# built files cover both. The x86-64 tree also gets the 32-bit binaries when both run, so
# that the tests of one Trailkeep per desktop can pair the two.
peer=""
[ "${runs[x86]}" = ON ] && [ "${runs[x64]}" = ON ] && peer="$PWD/build/test/bin"
for arch in x86 x64; do
    cmake --preset "${preset[$arch]}" -DTK_WINE_TESTS="${runs[$arch]}" -DTK_PEER_BIN="$peer" >/dev/null
    cmake --build --preset "${preset[$arch]}"
done

total_passed=0 total_failed=0 total_skipped=0 status=0
summary=()
for arch in x86 x64; do
    log="build/${preset[$arch]}/ctest.log"
    rc=0
    ctest --preset "${preset[$arch]}" 2>&1 | tee "$log" || rc=$?
    [ "${PIPESTATUS[0]}" -eq 0 ] || rc=1
    line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
    total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
    failed=$(sed -E 's/.* ([0-9]+) tests? failed.*/\1/' <<<"$line")
    skipped=$(grep -c '(Skipped)' "$log" || true)
    [ -n "$total" ] || { total=0; failed=1; rc=1; }
    passed=$((total - failed - skipped))
    total_passed=$((total_passed + passed))
    total_failed=$((total_failed + failed))
    total_skipped=$((total_skipped + skipped))
    [ "$rc" -eq 0 ] || status=1
    layers="build checks"
    [ "$arch" = x86 ] && layers="native unit tests, $layers"
    if [ "${runs[$arch]}" = ON ]; then layers="$layers, Win32 and end-to-end under Wine"
    else layers="$layers; Win32 and end-to-end ${reason[$arch]}"; fi
    summary+=("$arch: $passed passed, $failed failed, $skipped skipped ($layers)")
done

echo
echo "Architectures:"
printf '  %s\n' "${summary[@]}"
echo "test-all: $total_passed passed, $total_failed failed, $total_skipped skipped"
exit "$status"
