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
//
// Which dialogs pick folders, and must never be sent OK (it would choose for the user):
//   - The shell view of GetOpenFileName's Explorer-style template carries id 1121 (lst2,
//     dlgs.h; seen under Wine). That dialog cannot pick folders: it is a file dialog.
//   - The item dialog's view carries another id (0 under Wine). The item dialog picks
//     folders with FOS_PICKFOLDERS, and under Wine 8 looks then exactly as when it opens
//     files (same classes, ids, texts; only its default title differs, which a program
//     may replace). A picker shows no file types: Windows hides the file-type field (1136,
//     cmb1) in that mode, and so does Wine unless the program gave file types. An item
//     dialog without a visible 1136 is therefore taken for a picker; one with it for a
//     file dialog. An item dialog that opens files without file types is then taken for a
//     picker too: the folder opens in Explorer, nothing is chosen.
//   - The Browse-for-folder dialog (SHBrowseForFolder): a "#32770" without a shell view,
//     whose tree is a SysTreeView32 with id 14145 (0x3741; seen under Wine), or, with
//     BIF_NEWDIALOGSTYLE on Windows, a "SHBrowseForFolder ShellNameSpace Control".
#pragma once

enum {
    kFileNameCombo = 1148,  // cmb13
    kFileNameEdit = 1152,   // edt1
    kFileTypeCombo = 1136,  // cmb1
    kTemplateView = 1121,   // lst2: the shell view of GetOpenFileName's Explorer template
    kBrowseTree = 14145,    // the Browse-for-folder dialog's tree
};

struct FileDialogFacts {
    int dialogClass;   // the top-level window is of class "#32770"
    int shellView;     // a "SHELLDLL_DefView" among its descendants
    int nameCombo;     // a visible descendant with id 1148
    int nameEdit;      // a visible descendant with id 1152
    int typeField;     // a visible descendant with id 1136
    int templateView;  // the shell view carries id 1121
    int browseTree;    // a Browse-for-folder tree
};

// What kind of dialog the facts describe, and so how the folder menu may switch it.
enum {
    kNoDialog = 0,       // no dialog the menu knows
    kFileDialog = 1,     // Open or Save As: the path typed into the name field, then OK
    kItemPicker = 2,     // the item dialog picking folders: nothing shows a folder there
                         // without choosing it; Explorer opens it instead
    kBrowsePicker = 3,   // Browse-for-folder: its own selection message selects the folder
};
int ClassifyDialog(const FileDialogFacts& facts);

// How a chosen folder goes to a dialog of a given kind.
enum {
    kRouteExplorer = 0,   // opened in Explorer, the dialog left as it is
    kRouteTypeName = 1,   // typed into the file dialog's name field
    kRouteSelect = 2,     // selected in the Browse-for-folder dialog
};
// Windows drops the messages of a process to a window of a process of higher integrity
// level (an elevated program), without a word: a switch sent there would be lost. `known`
// says whether both levels could be read (XP has none: nothing is dropped there).
int SwitchRoute(int kind, int known, unsigned long ourLevel, unsigned long dialogLevel);

// Notes the top-level window's class into zeroed facts.
void NoteDialogClass(FileDialogFacts* facts, const char* cls);
// Notes one descendant: its class, control id and whether it is visible.
void NoteDescendant(FileDialogFacts* facts, const char* cls, int id, int visible);
// The id of the file-name control to type into: 1148 when visible, else a visible 1152;
// 0 when the window is no file dialog.
int FileNameControlId(const FileDialogFacts& facts);
