// Whether a window of another program is a file dialog (Open, Save As, the item dialog)
// whose folder the folder menu can switch, from facts collected about the window: its
// class and the classes and control ids of its descendants. Platform-free.
//
// Where the facts come from:
//   - "#32770": the class of every dialog box, the file dialogs among them.
//   - "SHELLDLL_DefView": the shell's folder view, which a file dialog shows its folder in;
//     a dialog without one (a message box, a folder-browse dialog) is no file dialog.
//   - 1148 (cmb13, 0x47C) and 1152 (edt1, 0x480), from dlgs.h and Windows' table of
//     "Explorer-Style Control Identifiers": the file-name field. cmb13 is the name combo
//     box of the Explorer-style dialog since Windows 2000 and of the Vista-and-later
//     dialog; edt1 the name edit of older Explorer-style templates.
//   - Measured under Wine 8 (docs/file-dialogs.md): GetOpenFileName and GetSaveFileName
//     show a ComboBoxEx32 1148 holding a ComboBox 1148 holding an Edit 1148; the item
//     dialog (IFileOpenDialog) an Edit 1152 as a direct child. Both show a
//     SHELLDLL_DefView, the item dialog's inside an "ExplorerBrowserControl".
#pragma once

enum {
    kFileNameCombo = 1148,  // cmb13
    kFileNameEdit = 1152,   // edt1
};

struct FileDialogFacts {
    int dialogClass;  // the top-level window is of class "#32770"
    int shellView;    // a "SHELLDLL_DefView" among its descendants
    int nameCombo;    // a visible descendant with id 1148
    int nameEdit;     // a visible descendant with id 1152
};

// Notes the top-level window's class into zeroed facts.
void NoteDialogClass(FileDialogFacts* facts, const char* cls);
// Notes one descendant: its class, control id and whether it is visible.
void NoteDescendant(FileDialogFacts* facts, const char* cls, int id, int visible);
// The id of the file-name control to type into: 1148 when visible, else a visible 1152;
// 0 when the window is no file dialog.
int FileNameControlId(const FileDialogFacts& facts);
