// The folder menu over another program's file dialog: a chosen folder switches the
// dialog there instead of opening Explorer.
#pragma once
#include <windows.h>

// A launcher request has arrived: notes the window the user was in, when it is a file
// dialog of another program and SwitchFileDialog is on; anything else notes none.
void NoteFileDialog(void);
// A tray click: the menu works for no dialog.
void ForgetFileDialog(void);
// A folder was chosen in the menu noted for a dialog: SwitchDialog on that dialog, or 0
// when none was noted.
int OpenInFileDialog(const char16_t* path);
// Whether a window is a dialog of another program that a folder can be sent to: a file
// dialog, or a dialog that picks folders.
int IsOtherProgramsDialog(HWND wnd);
// Sends a folder to a dialog. Returns 0 when the folder is to be opened in Explorer
// instead, the dialog left as it is: the path is no folder that can be reached, the
// dialog picks folders with no way to show one without choosing it, or it belongs to a
// program of higher integrity, which takes no message from here. Otherwise 1, the
// choice taken: the dialog, if it is still there and answers, now shows the folder
// (a file dialog keeps its typed file name; a folder picker has chosen nothing) and is
// in front.
int SwitchDialog(HWND dialog, const char16_t* path);
