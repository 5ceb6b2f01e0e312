#!/usr/bin/env bash
# Makes the pictures of the user interface in docs/ anew: runs the real Trailkeep under
# Wine on a virtual display with Japanese fonts, from a sample settings file with a folder
# history and registered folders (tests/screenshots/sample.ini), drives it through its
# tray icon, menus and dialogs, and crops each picture to the windows it shows.
#   screenshots.sh [TEST_PRESET]     (default: test-x64)
# A picture whose user interface is missing is named with the reason, and the script
# fails; the pictures that could be made are written all the same. The other pictures are
# left as they were.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
preset=${1:-test-x64}
pictures=(folder-menu tray-menu settings registered-folders about drag file-dialog
          folder-menu-150 settings-150)

bash scripts/install-deps.sh
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" --target tk_screenshots file_dialog
tree=$(sed -n 's/^CMAKE_CACHEFILE_DIR:INTERNAL=//p' "build/$preset/CMakeCache.txt")

work="$tree/screenshots"
rm -rf "$work"
mkdir -p "$work/sample" "$work/out"
# The settings file is in the ANSI code page of Japanese Windows, with CRLF line ends.
iconv -f UTF-8 -t CP932 tests/screenshots/sample.ini | sed 's/$/\r/' >"$work/sample/Trailkeep.ini"
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

# Prefixes and displays of their own, kept for the next run: the pictures neither disturb
# nor depend on tests running in the same tree. One at 100 %, one at 150 % (144 dpi), where
# the folder menu and the settings dialog are pictured once more.
roots=("$tree/screenshots-wine" "$tree/screenshots-wine-144")
trap 'for r in "${roots[@]}"; do TK_WINE_ROOT="$r" "$tree/tkwine" stop; done' EXIT
status=0
shoot() {  # ROOT DPI [SUFFIX]
    local root=$1 dpi=$2
    shift 2
    TK_WINE_ROOT="$root" TK_WINE_DPI="$dpi" "$tree/tkwine" start
    # With no window manager on the virtual display, Wine draws the windows' captions and
    # frames itself only when told to; otherwise dialogs would show without their caption.
    TK_WINE_ROOT="$root" "$tree/tkwine" run reg add 'HKCU\Software\Wine\X11 Driver' \
        /v Decorated /d N /f >/dev/null
    TK_WINE_ROOT="$root" "$tree/tkwine" run "$tree/bin/tk_screenshots.exe" \
        "$(windows_path "$work/sample")" "$(windows_path "$work/out")" "$@" || status=$?
}
shoot "${roots[0]}" 96
shoot "${roots[1]}" 144 -150

missing=()
for name in "${pictures[@]}"; do
    if [ ! -f "$work/out/$name.bmp" ]; then
        missing+=("$name")
        continue
    fi
    # What lies between the windows of a picture (around a sub-menu, say) is transparent.
    mask=()
    while read -r x0 y0 x1 y1; do
        mask+=(-draw "rectangle $x0,$y0 $x1,$y1")
    done <"$work/out/$name.txt"
    size=$(identify -format '%wx%h' "$work/out/$name.bmp")
    convert "$work/out/$name.bmp" \
        \( -size "$size" xc:black -fill white "${mask[@]}" \) \
        -alpha off -compose CopyOpacity -composite -strip "docs/$name.png"
    echo "docs/$name.png"
done
if [ ${#missing[@]} -gt 0 ] || [ "$status" -ne 0 ]; then
    echo "screenshots: not made: ${missing[*]:-none} (driver exit code $status);" \
         "their pictures in docs/ are left as they were" >&2
    exit 1
fi
