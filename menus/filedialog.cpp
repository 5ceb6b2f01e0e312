// Switching another program's file dialog to a folder, as a user does by hand: the
// folder's path typed into the file-name field, the dialog's OK, the typed name put
// back. The dialog's program may hang or close the dialog at any moment: every message
// to it waits a bounded time, and a dialog that has gone is left alone.
#include <windows.h>

#include "filedialog.h"
#include "filedialogfacts.h"

#include "../core/settings.h"
#include "../core/trailkeep.h"
#include "../core/wide.h"

static HWND gFileDialog;  // the dialog the open menu works for; null for none

enum {
    kDialogWaitMs = 2000,  // per message; a dialog that answers at all answers at once
    kNameChars = 1024,     // longer typed names are no file names; the dialog is left alone
};

static int IsOwnWindow(HWND wnd)
{
    DWORD process = 0;
    GetWindowThreadProcessId(wnd, &process);
    return process == GetCurrentProcessId();
}

// The window the user was in when the launcher was called up. The launcher makes the
// main window the foreground window before its request arrives, when the system lets
// it. Activation brings a window to the top of the others: the window active before the
// main window is then the first of another program from the top, topmost windows (the
// taskbar) passed over; a window shown without activation since then may stand above
// it, and is not taken for a dialog. (The activation messages would name the thread
// that lost the foreground, but Wine sends them without it, and sends no foreground
// events to other programs' hooks.)
static HWND WindowBehindRequest(void)
{
    HWND wnd = GetForegroundWindow();
    if (wnd != nullptr && !IsOwnWindow(wnd))
        return wnd;
    if (wnd != gMainWnd)
        return nullptr;  // a window of Trailkeep's own, as the settings dialog
    for (wnd = GetTopWindow(nullptr); wnd != nullptr; wnd = GetWindow(wnd, GW_HWNDNEXT)) {
        if (IsWindowVisible(wnd) && !IsOwnWindow(wnd) &&
            !(GetWindowLongA(wnd, GWL_EXSTYLE) & WS_EX_TOPMOST))
            return wnd;
    }
    return nullptr;
}

// The class name of a window, cut to the length of the class names compared here.
static void ClassOf(HWND wnd, char (&cls)[32])
{
    cls[0] = '\0';
    GetClassNameA(wnd, cls, sizeof cls);
}

struct FieldSearch {
    FileDialogFacts facts;
    HWND combo;  // the first descendant with id 1148, the outermost
    HWND edit;   // the first descendant with id 1152
};

static BOOL CALLBACK NoteChild(HWND wnd, LPARAM param)
{
    FieldSearch* search = reinterpret_cast<FieldSearch*>(param);
    char cls[32];
    ClassOf(wnd, cls);
    const int id = GetDlgCtrlID(wnd);
    const int visible = IsWindowVisible(wnd) != 0;
    NoteDescendant(&search->facts, cls, id, visible);
    if (visible && id == kFileNameCombo && search->combo == nullptr)
        search->combo = wnd;
    if (visible && id == kFileNameEdit && search->edit == nullptr)
        search->edit = wnd;
    return TRUE;
}

static int IsEditClass(HWND wnd)
{
    char cls[32];
    ClassOf(wnd, cls);
    return lstrcmpiA(cls, "Edit") == 0;
}

static BOOL CALLBACK FindEdit(HWND wnd, LPARAM found)
{
    if (!IsEditClass(wnd))
        return TRUE;
    *reinterpret_cast<HWND*>(found) = wnd;
    return FALSE;
}

// The edit control the user types a file name into, or null when the window is no file
// dialog. A name combo box types into the edit inside it (the Explorer-style dialog nests
// it in a ComboBoxEx32's ComboBox).
static HWND FileNameField(HWND dialog)
{
    FieldSearch search;
    ZeroMemory(&search, sizeof search);
    char cls[32];
    ClassOf(dialog, cls);
    NoteDialogClass(&search.facts, cls);
    if (!search.facts.dialogClass)
        return nullptr;
    EnumChildWindows(dialog, NoteChild, reinterpret_cast<LPARAM>(&search));
    const int id = FileNameControlId(search.facts);
    HWND control = id == kFileNameCombo ? search.combo
                   : id == kFileNameEdit ? search.edit
                                         : nullptr;
    if (control == nullptr || IsEditClass(control))
        return control;
    HWND edit = nullptr;
    EnumChildWindows(control, FindEdit, reinterpret_cast<LPARAM>(&edit));
    return edit;
}

void NoteFileDialog(void)
{
    gFileDialog = nullptr;
    if (SwitchFileDialog == 0)
        return;
    HWND wnd = WindowBehindRequest();
    if (wnd != nullptr && FileNameField(wnd) != nullptr)
        gFileDialog = wnd;
}

void ForgetFileDialog(void)
{
    gFileDialog = nullptr;
}

static int SendBounded(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam, DWORD_PTR* result)
{
    return SendMessageTimeoutW(wnd, msg, wParam, lParam, SMTO_ABORTIFHUNG, kDialogWaitMs,
                               result) != 0;
}

int OpenInFileDialog(const char16_t* path)
{
    HWND dialog = gFileDialog;
    gFileDialog = nullptr;
    if (dialog == nullptr)
        return 0;
    // The dialog may have closed since the menu came up, and its handle gone to another
    // window: it is recognised anew.
    HWND field = IsWindow(dialog) ? FileNameField(dialog) : nullptr;
    if (field == nullptr)
        return 1;
    // OK on a name that is a file would choose that file: only a folder goes in. One
    // that cannot be reached is opened as ever, which tells the user so.
    const DWORD attributes = GetFileAttributesW(W(path));
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return 0;
    // The typed name, read and put back as Unicode: the dialog's name may hold
    // characters that the ANSI code page has not.
    wchar_t name[kNameChars];
    DWORD_PTR length = 0, copied = 0;
    if (!SendBounded(field, WM_GETTEXTLENGTH, 0, 0, &length) || length >= kNameChars ||
        !SendBounded(field, WM_GETTEXT, kNameChars, reinterpret_cast<LPARAM>(name), &copied))
        return 1;
    name[copied < kNameChars ? copied : kNameChars - 1] = L'\0';
    DWORD_PTR ignored = 0;
    if (!SendBounded(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path), &ignored))
        return 1;
    SendBounded(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)), &ignored);
    SendBounded(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(name), &ignored);
    if (IsWindow(dialog))
        SetForegroundWindow(dialog);
    return 1;
}
