// The folder menu over another program's file dialog: a chosen folder switches the
// dialog there instead of opening Explorer.
#pragma once

// A launcher request has arrived: notes the window the user was in, when it is a file
// dialog of another program and SwitchFileDialog is on; anything else notes none.
void NoteFileDialog(void);
// A tray click: the menu works for no dialog.
void ForgetFileDialog(void);
// A folder was chosen in the menu noted for a dialog. Returns 0 when no dialog was noted
// or the path is no folder that can be reached (it is opened as ever); otherwise 1, the
// choice taken: the dialog, if it is still there and answers, now shows the folder,
// keeps its typed file name and is in front.
int OpenInFileDialog(const char16_t* path);
