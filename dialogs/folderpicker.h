// The folder picker: the shell's modal folder-browse dialog.
#pragma once
#include <windows.h>

// Lets the user choose a file-system folder. Returns 1 with its path in `result` (a
// path slot of 256 UTF-16 units), or 0 with an empty string when the user cancelled, the
// shell could not be used, or the chosen path does not fit in 255 characters.
int PickFolder(HWND owner, char16_t* result, const char16_t* initial, const wchar_t* title);
