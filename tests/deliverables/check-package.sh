#!/usr/bin/env bash
# Checks the release zips as a user downloads them: their names, their contents, the
# machine type and size of each binary in them, the version resources, the user's guide
# (readme.txt) and the license.
#   check-package.sh SOURCE_DIR WINDRES ZIP...
#   check-package.sh SOURCE_DIR WINDRES --cpack BUILD_DIR
#       makes the zip of BUILD_DIR with cpack first (into BUILD_DIR/package-check)
set -u
# The tools whose output is parsed here translate it in other locales (objdump -f prints
# "ファイル形式" under ja_JP.UTF-8): they run in the C locale, whatever the caller's.
export LC_ALL=C
src=$1 windres=$2
shift 2
failed=0 checks=0

# The exit code is taken before the description is expanded: a command substitution in
# the description would otherwise replace it.
check() {  # check DESCRIPTION CONDITION-EXIT-CODE
    checks=$((checks + 1))
    if [ "$2" -eq 0 ]; then echo "ok   $1"; else echo "FAIL $1"; failed=$((failed + 1)); fi
}

if [ "${1:-}" = "--cpack" ]; then
    out="$2/package-check"
    rm -rf "$out"
    if ! cpack --config "$2/CPackConfig.cmake" -B "$out" >"$2/package-check.log" 2>&1; then
        cat "$2/package-check.log"
        echo "FAIL cpack could not make the package of $2"
        exit 1
    fi
    set -- "$out"/*.zip
fi
if [ $# -eq 0 ] || [ ! -f "$1" ]; then
    echo "FAIL no zip to check"
    exit 1
fi

version=$(sed -n 's/^project(Trailkeeper VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt")
copyright=$(grep -m1 '^Copyright ' "$src/LICENSE")
IFS=. read -r major minor patch <<<"$version"
fileversion="$major, $minor, ${patch:-0}, 0"

# The machine field of a PE file's COFF header, in hex ("14c" i386, "8664" x86-64).
pe_machine() {
    local pe
    pe=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
    [ "$(od -An -c -j"$pe" -N4 "$1" | tr -d ' ')" = 'PE\0\0' ] || { echo "not-PE"; return; }
    od -An -tx2 -j$((pe + 4)) -N2 "$1" | tr -d ' ' | sed 's/^0*//'
}

# One string of the version resource, as windres decompiles it.
version_value() { sed -n "s/^ *VALUE \"$2\", \"\(.*\)\"\$/\1/p" <<<"$1"; }

check_binary() {  # check_binary DIR FILE MACHINE DESCRIPTION FILETYPE
    local dir=$1 file=$2 machine=$3 description=$4 filetype=$5 rc has
    has=$(pe_machine "$dir/$file")
    [ "$has" = "$machine" ]
    check "$label: $file is machine 0x$machine (has: 0x$has)" $?

    rc=$("$windres" -i "$dir/$file" -O rc 2>/dev/null | sed -n '/VERSIONINFO/,/^END/p')
    grep -q "^ FILEVERSION $fileversion\$" <<<"$rc" &&
        grep -q "^ PRODUCTVERSION $fileversion\$" <<<"$rc" &&
        grep -q "^ FILETYPE $filetype\$" <<<"$rc"
    check "$label: $file has version $fileversion and file type $filetype" $?
    grep -q '^ *BLOCK "041103a4"$' <<<"$rc" &&
        grep -q '^ *VALUE "Translation", 0x411, 932$' <<<"$rc"
    check "$label: $file names its Japanese (0x0411, code page 932) strings in its translation" $?
    local key expected
    for key in ProductName FileVersion ProductVersion OriginalFilename FileDescription LegalCopyright; do
        case $key in
            ProductName) expected=Trailkeeper ;;
            FileVersion | ProductVersion) expected=$version ;;
            OriginalFilename) expected=$file ;;
            FileDescription) expected=$description ;;
            LegalCopyright) expected=$copyright ;;
        esac
        has=$(version_value "$rc" "$key")
        [ "$has" = "$expected" ]
        check "$label: $file $key is \"$expected\" (has: \"$has\")" $?
    done
}

check_zip() {  # check_zip ZIP
    local zip=$1 name arch machine top dir
    name=$(basename "$zip" .zip)
    label=$name
    case $name in
        "Trailkeeper-$version-x86") arch=x86 machine=14c ;;
        "Trailkeeper-$version-x64") arch=x64 machine=8664 ;;
        *) check "$name.zip is named Trailkeeper-$version-x86.zip or -x64.zip" 1; return ;;
    esac
    unzip -tqq "$zip" >/dev/null
    check "$label: the zip is whole (unzip -t)" $?
    if [ -f "$zip.sha256" ]; then
        (cd "$(dirname "$zip")" && sha256sum --quiet -c "$(basename "$zip").sha256")
        check "$label: the zip matches its SHA-256 file" $?
    fi

    # One folder named like the zip, holding exactly the files a user needs.
    top=$name/
    local listing expected
    listing=$(unzip -Z1 "$zip" | grep -vxF "$top" | sort | tr '\n' ' ')
    expected=$(printf "$top%s\n" LICENSE.txt Trailhook.dll Trailkeep.exe Trailmenu.exe readme.txt |
               sort | tr '\n' ' ')
    [ "$listing" = "$expected" ]
    check "$label: holds $expected(has: $listing)" $?

    dir=$(mktemp -d)
    unzip -qq "$zip" -d "$dir"
    dir=$dir/$name
    check_binary "$dir" Trailkeep.exe "$machine" "Trailkeeper resident program" 0x1
    check_binary "$dir" Trailhook.dll "$machine" "Trailkeeper hook library" 0x2
    check_binary "$dir" Trailmenu.exe "$machine" "Trailkeeper menu launcher" 0x1
    local file size
    for file in Trailhook.dll Trailmenu.exe; do
        size=$(stat -c %s "$dir/$file" 2>/dev/null || echo missing)
        [ "$size" != missing ] && [ "$size" -le 8192 ]
        check "$label: $file stays within 8 KiB (has: $size bytes)" $?
    done

    local readme=$dir/readme.txt
    [ "$(head -c 3 "$readme" | od -An -tx1 | tr -d ' ')" = efbbbf ] &&
        iconv -f UTF-8 -t UTF-8 "$readme" >/dev/null 2>&1
    check "$label: readme.txt is UTF-8 with a byte-order mark" $?
    [ "$(tr -cd '\n' <"$readme" | wc -c)" -gt 0 ] &&
        [ "$(grep -c $'\r$' "$readme")" -eq "$(tr -cd '\n' <"$readme" | wc -c)" ] &&
        [ "$(tr -cd '\r' <"$readme" | wc -c)" -eq "$(tr -cd '\n' <"$readme" | wc -c)" ]
    check "$label: readme.txt has Windows line ends (CRLF) only" $?
    ! grep -q '@[A-Z_]*@' "$readme"
    check "$label: readme.txt has no build variable left in it" $?
    [ "$(head -n 1 "$readme" | tail -c +4)" = "Trailkeeper $version"$'\r' ]
    check "$label: readme.txt is headed with the version $version" $?
    local missing="" word
    for word in MaxLogData LogDelay LogTourokuData LogRemovable LogNetwork OpenExistFolder \
                DeletedFolder DeletedFolderTime SwapMouseLR LogSort OpenMode SwitchFileDialog \
                ShowOpenFolders DebugBeep Trailkeep.ini Path_Log Path_Touroku Trailmenu.exe \
                "Trailkeeper-$version-x64.zip" \
                "Trailkeeper-$version-x86.zip" "shell:startup" "作業フォルダー" "Start in" \
                "ショートカット キー" "Shortcut key" "64 ビット" "64-bit" "LICENSE.txt"; do
        grep -qF -- "$word" "$readme" || missing="$missing $word"
    done
    [ -z "$missing" ]
    check "$label: readme.txt covers every setting, the settings file, both zips, start-up and the hotkey in Japanese and English (missing:${missing:- none})" $?

    sed 's/$/\r/' "$src/LICENSE" | cmp -s - "$dir/LICENSE.txt"
    check "$label: LICENSE.txt is the project's license with CRLF line ends" $?
    rm -rf "$(dirname "$dir")"
}

for zip in "$@"; do
    check_zip "$zip"
done

echo "$((checks - failed)) passed, $failed failed"
[ "$failed" -eq 0 ]
