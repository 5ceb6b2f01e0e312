#!/usr/bin/env bash
# Checks what the three deliverables carry in their files: the DLLs they import (system
# DLLs only; the hook library only kernel32 and user32), the hook library's exports by
# ordinal and Trailkeep's binding to them, the machine type and size of each file, and
# Trailkeep's Japanese resources.
#   check-deliverables.sh BIN_DIR OBJDUMP WINDRES ARCH    (ARCH: x86 or x64)
set -u
# The tools whose output is parsed here translate it in other locales (objdump -f prints
# "ファイル形式" under ja_JP.UTF-8): they run in the C locale, whatever the caller's.
export LC_ALL=C
bin=$1 objdump=$2 windres=$3 arch=$4
failed=0 checks=0

check() {  # check DESCRIPTION CONDITION-EXIT-CODE
    checks=$((checks + 1))
    if [ "$2" -eq 0 ]; then echo "ok   $1"; else echo "FAIL $1"; failed=$((failed + 1)); fi
}

case "$arch" in
x86) format=pei-i386 ;;
x64) format=pei-x86-64 ;;
*) echo "check-deliverables: unknown architecture $arch" >&2; exit 2 ;;
esac
for f in Trailkeep.exe Trailhook.dll Trailmenu.exe; do
    has=$("$objdump" -f "$bin/$f" | sed -n 's/.*file format //p')
    [ "$has" = "$format" ]
    check "$f is built for $arch ($format; has: $has)" $?
done

# On x86-64, unwinding walks tables: every module needs its .pdata, the ones without a C
# runtime too, or an exception through the hook procedure inside Explorer cannot unwind.
if [ "$arch" = x64 ]; then
    for f in Trailkeep.exe Trailhook.dll Trailmenu.exe; do
        "$objdump" -h "$bin/$f" | grep -q ' \.pdata '
        check "$f carries unwind tables (.pdata)" $?
    done
fi

# The hook library is mapped into every GUI process and the launcher starts on a key
# press: both stay small.
for f in Trailhook.dll Trailmenu.exe; do
    size=$(stat -c %s "$bin/$f")
    [ "$size" -le 8192 ]
    check "$f is at most 8 KiB ($size bytes)" $?
done

# --- Trailkeep's size ----------------------------------------------------------------
# Trailkeep is resident all day. Its own code is some 42 KiB, its resources some 14 KiB
# (dialogs, menus, the icon's six frames, the drag marker at five scales, run-length
# encoded), its imports some 7 KiB; it has no C runtime start-up. MinGW's libuuid.a once
# added 40 KiB more: its one object of interface IDs comes whole with the first ID named.
# The IDs it uses are defined in core/guids.cpp and libuuid is not linked; this limit
# catches anything that brings such a library back, or code grown unnoticed.
size=$(stat -c %s "$bin/Trailkeep.exe")
[ "$size" -le 73728 ]
check "Trailkeep.exe is at most 72 KiB ($size bytes)" $?

imports() { "$objdump" -p "$bin/$1" | sed -n 's/^\s*DLL Name: //p' | tr 'a-z' 'A-Z' | sort | tr '\n' ' '; }

# A command substitution in a description would replace the $? that `check` is given:
# what a description shows is taken beforehand.
has=$(imports Trailhook.dll)
[ "$has" = "KERNEL32.DLL USER32.DLL " ]
check "Trailhook.dll imports only kernel32 and user32 (has: $has)" $?

# Export table: "[Ordinal/Name Pointer] Table" lists "[index] name"; ordinal = index + base.
exports=$("$objdump" -p "$bin/Trailhook.dll" | awk '
    /Ordinal Base/ { base = $NF }
    /\[Ordinal\/Name Pointer\] Table/ { table = 1; next }
    table && /^[ \t]*\[/ { line = $0; sub(/^[ \t]*\[[ \t]*/, "", line); split(line, f, /\][ \t]*/)
                           printf "%s@%d ", f[2], f[1] + base; next }
    table { table = 0 }')
[ "$exports" = "freehook@1 sethook@2 " ]
check "Trailhook.dll exports freehook at ordinal 1 and sethook at 2 (has: $exports)" $?

# Imports by ordinal read "vma  ordinal  <none>" under the DLL's name; the x86-64 listing
# pads the ordinal with zeros.
bound=$("$objdump" -p "$bin/Trailkeep.exe" | awk '
    /DLL Name: Trailhook.dll/ { dll = 1; next }
    dll && /DLL Name:/ { dll = 0 }
    dll && $3 == "<none>" { printf "%d ", $2 + 0 }')
[ "$bound" = "1 2 " ]
check "Trailkeep.exe binds Trailhook.dll by ordinals 1 and 2 (has: $bound)" $?

for exe in Trailkeep.exe Trailmenu.exe; do
    has=$(imports "$exe")
    ! grep -qiE 'LIBSTDC|LIBGCC|LIBWINPTHREAD|MINGW' <<<"$has"
    check "$exe needs no MinGW runtime DLL (imports: $has)" $?
done
# Trailkeep talks to the shell's window list through COM (ole32, oleaut32) and reads the
# settings file's access rights (advapi32): system DLLs that every Windows from XP on
# carries, and nothing else.
has=$(imports Trailkeep.exe)
[ "$has" = "ADVAPI32.DLL COMCTL32.DLL GDI32.DLL KERNEL32.DLL MSIMG32.DLL MSVCRT.DLL OLE32.DLL OLEAUT32.DLL SHELL32.DLL TRAILHOOK.DLL USER32.DLL " ]
check "Trailkeep.exe imports system DLLs and Trailhook.dll only (has: $has)" $?
[ "$(imports Trailmenu.exe)" = "KERNEL32.DLL USER32.DLL " ]
check "Trailmenu.exe imports only kernel32 and user32" $?

resources=$("$windres" -i "$bin/Trailkeep.exe" -O rc 2>/dev/null | grep -vE '^\s+0x')
langs=$(printf '%s\n' "$resources" | sed -n 's/^LANGUAGE //p' | sort -u | tr '\n' ' ')
# The manifest is language neutral (0, 0), as Windows looks it up; everything else Japanese.
[ "$langs" = "0, 0 17, 1 " ]
check "Trailkeep.exe resources are Japanese, the manifest neutral (LANGUAGE 17, 1 and 0, 0; has: $langs)" $?
printf '%s\n' "$resources" | grep -q '^400 14 /\* RT_GROUP_ICON \*/'
check "Trailkeep.exe has icon 400" $?
# Each frame 16 colours (the listing's width, height and colour count in octal, then
# planes and bits a pixel).
printf '%s\n' "$resources" | grep -q '"\\020\\020\\020\\000", 1, 4' &&
    printf '%s\n' "$resources" | grep -q '"\\040\\040\\020\\000", 1, 4'
check "icon 400 has 16x16 and 32x32 images" $?
# A frame for the small-icon size of each common display scale: 20, 24, 40 and 48 pixels
# besides those.
for size in 024 030 050 060; do
    printf '%s\n' "$resources" | grep -qF "\"\\$size\\$size\\020\\000\", 1, 4"
    check "icon 400 has a $((8#$size)) x $((8#$size)) image" $?
done
printf '%s\n' "$resources" | grep -q '^"IDM_CONTEXTMENU" MENU'
check "Trailkeep.exe has the menu IDM_CONTEXTMENU" $?
# The drag marker: its header reads 40 bytes, 32 x 32 pixels, 1 plane and 4 bits a pixel.
"$windres" -i "$bin/Trailkeep.exe" -O rc 2>/dev/null | sed -n '/^600 2 /{n;n;p;q}' |
    grep -qE '^\s*0x28L\s*, 0x20L\s*, 0x20L\s*, 0x40001L'
check "Trailkeep.exe has bitmap 600, 32 x 32 with 16 colours" $?
# The marker for 125 % to 200 %: bitmaps 601 to 604, 40 to 64 pixels square, 16 colours.
for marker in 601:0x28 602:0x30 603:0x38 604:0x40; do
    id=${marker%%:*} side=${marker#*:}
    "$windres" -i "$bin/Trailkeep.exe" -O rc 2>/dev/null | sed -n "/^$id 2 /{n;n;p;q}" |
        grep -qE "^\s*0x28L\s*, ${side}L\s*, ${side}L\s*, 0x40001L"
    check "Trailkeep.exe has bitmap $id, $((side)) x $((side)) with 16 colours" $?
done
for dialog in IDD_SETUP IDD_ABOUT IDD_TOUROKU; do
    printf '%s\n' "$resources" | grep -q "^\"$dialog\" DIALOGEX"
    check "Trailkeep.exe has the dialog $dialog" $?
done

# Texts of the code reach the binaries in the form their call takes: Shift-JIS (code page
# 932) for the ANSI calls, UTF-16 for the wide ones (the folder picker's title).
contains_sjis() { grep -qF "$(printf '%s' "$2" | iconv -f UTF-8 -t CP932)" "$bin/$1"; }
contains_utf16() { LC_ALL=C grep -qaF "$(printf '%s' "$2" | iconv -f UTF-8 -t UTF-16LE)" "$bin/$1"; }
contains_sjis Trailkeep.exe "開けません"
check "Trailkeep.exe holds \"開けません\" in Shift-JIS" $?
contains_utf16 Trailkeep.exe "フォルダを選択して下さい"
check "Trailkeep.exe holds \"フォルダを選択して下さい\" in UTF-16" $?
contains_sjis Trailhook.dll "グローバルフック作成失敗"
check "Trailhook.dll holds its failure text in Shift-JIS" $?

echo "$((checks - failed)) passed, $failed failed"
[ "$failed" -eq 0 ]
