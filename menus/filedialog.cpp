// Switching another program's file dialog to a folder, as a user does by hand: the
// folder's path typed into the file-name field, the dialog's OK, the typed name put
// back. A dialog that picks folders is never sent OK, which would choose the folder for
// the program: the Browse-for-folder dialog selects it through its own message, and
// the item dialog picking folders (which has no field that only shows a folder) leaves
// the folder to Explorer. So does a dialog of an elevated program, which would drop the
// messages. The dialog's program may hang or close the dialog at any moment: every
// message to it waits a bounded time, and a dialog that has gone is left alone.
#include <windows.h>
#include <shlobj.h>

#include "filedialog.h"
#include "filedialogfacts.h"

#include "../core/paths.h"
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
static void ClassOf(HWND wnd, char (&cls)[48])
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
    char cls[48];
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
    char cls[48];
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

// What kind of dialog the window is (kNoDialog, kFileDialog, ...), and for a file dialog
// the edit control the user types a file name into. A name combo box types into the edit
// inside it (the Explorer-style dialog nests it in a ComboBoxEx32's ComboBox).
static int RecogniseDialog(HWND dialog, HWND* field)
{
    *field = nullptr;
    FieldSearch search;
    ZeroMemory(&search, sizeof search);
    char cls[48];
    ClassOf(dialog, cls);
    NoteDialogClass(&search.facts, cls);
    if (!search.facts.dialogClass)
        return kNoDialog;
    EnumChildWindows(dialog, NoteChild, reinterpret_cast<LPARAM>(&search));
    const int kind = ClassifyDialog(search.facts);
    if (kind != kFileDialog)
        return kind;
    const int id = FileNameControlId(search.facts);
    HWND control = id == kFileNameCombo ? search.combo
                   : id == kFileNameEdit ? search.edit
                                         : nullptr;
    if (control != nullptr && !IsEditClass(control))
        EnumChildWindows(control, FindEdit, reinterpret_cast<LPARAM>(&control));
    *field = control != nullptr && IsEditClass(control) ? control : nullptr;
    return *field != nullptr ? kFileDialog : kNoDialog;
}

int IsOtherProgramsDialog(HWND wnd)
{
    HWND field;
    return wnd != nullptr && !IsOwnWindow(wnd) && RecogniseDialog(wnd, &field) != kNoDialog;
}

void NoteFileDialog(void)
{
    gFileDialog = nullptr;
    if (SwitchFileDialog == 0)
        return;
    HWND wnd = WindowBehindRequest();
    if (IsOtherProgramsDialog(wnd))
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

// The integrity level of a process (SECURITY_MANDATORY_*_RID); 0 when it cannot be read.
// XP has none: it knows neither the limited query right nor the token class, and both
// calls fail there.
static DWORD IntegrityOf(HANDLE process)
{
    HANDLE token = nullptr;
    DWORD level = 0;
    union {
        TOKEN_MANDATORY_LABEL label;
        BYTE bytes[64];  // the label and its SID, which has at most two sub-authorities here
    } info;
    DWORD size = 0;
    if (!OpenProcessToken(process, TOKEN_QUERY, &token))
        return 0;
    if (GetTokenInformation(token, TokenIntegrityLevel, &info, sizeof info, &size)) {
        PSID sid = info.label.Label.Sid;
        const UCHAR count = *GetSidSubAuthorityCount(sid);
        if (count > 0)
            level = *GetSidSubAuthority(sid, count - 1);
    }
    CloseHandle(token);
    return level;
}

// Whether both integrity levels could be read, and the two of them.
static int ReadIntegrity(HWND dialog, DWORD* ours, DWORD* theirs)
{
    DWORD id = 0;
    GetWindowThreadProcessId(dialog, &id);
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
    if (process == nullptr)
        process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, id);
    if (process == nullptr)
        return 0;
    *theirs = IntegrityOf(process);
    CloseHandle(process);
    *ours = IntegrityOf(GetCurrentProcess());
    return *ours != 0 && *theirs != 0;
}

// Types the path into the file dialog's name field and presses OK, the typed name put
// back afterwards. 0 when the dialog does not take the messages: refused by the system,
// or its program too busy to answer in time (a message it has not taken by then is never
// delivered); the folder is then opened as ever.
static int TypeIntoDialog(HWND dialog, HWND field, const char16_t* path)
{
    // The typed name, read and put back as Unicode: the dialog's name may hold
    // characters that the ANSI code page has not.
    wchar_t name[kNameChars];
    DWORD_PTR length = 0, copied = 0;
    if (!SendBounded(field, WM_GETTEXTLENGTH, 0, 0, &length))
        return 0;
    if (length >= kNameChars ||
        !SendBounded(field, WM_GETTEXT, kNameChars, reinterpret_cast<LPARAM>(name), &copied))
        return 1;
    name[copied < kNameChars ? copied : kNameChars - 1] = L'\0';
    DWORD_PTR ignored = 0;
    if (!SendBounded(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path), &ignored))
        return 1;
    SendBounded(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)), &ignored);
    SendBounded(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(name), &ignored);
    return 1;
}

// A selection sent to a Browse-for-folder dialog: the buffer in the dialog's process
// that holds the path, freed once the dialog has taken the message. A dialog that hangs
// keeps its slot until it takes the message or its process ends.
struct PendingSelection {
    HANDLE process;  // null for a free slot
    void* remote;
};
static PendingSelection gPending[4];

static void ReleaseSelection(PendingSelection* pending, int freeBuffer)
{
    if (freeBuffer)
        VirtualFreeEx(pending->process, pending->remote, 0, MEM_RELEASE);
    CloseHandle(pending->process);
    pending->process = nullptr;
    pending->remote = nullptr;
}

static VOID CALLBACK SelectionTaken(HWND, UINT, ULONG_PTR slot, LRESULT)
{
    if (slot < sizeof gPending / sizeof gPending[0] && gPending[slot].process != nullptr)
        ReleaseSelection(&gPending[slot], 1);
}

// A slot for a new selection: a free one, or one whose dialog's process has ended (the
// buffer went with it). Null when every slot waits on a live dialog.
static PendingSelection* FreeSelectionSlot(void)
{
    for (PendingSelection& pending : gPending) {
        if (pending.process != nullptr && WaitForSingleObject(pending.process, 0) == WAIT_OBJECT_0)
            ReleaseSelection(&pending, 0);
        if (pending.process == nullptr)
            return &pending;
    }
    return nullptr;
}

// Selects the folder in a Browse-for-folder dialog with BFFM_SETSELECTIONW, as its own
// program does at its start. The message carries a pointer that the dialog reads in its
// own process: the path goes into a buffer there (the system copies nothing for WM_USER
// messages). It is sent without waiting: a dialog whose program is busy takes it when it
// is free (a timed send it had not taken by then would be dropped), and the buffer is
// freed when the answer comes back to the main thread's message loop. 0 when that cannot
// be done.
static int SelectInBrowseDialog(HWND dialog, const char16_t* path)
{
    PendingSelection* pending = FreeSelectionSlot();
    if (pending == nullptr)
        return 0;
    const int chars = lstrlenW(W(path)) + 1;
    DWORD id = 0;
    GetWindowThreadProcessId(dialog, &id);
    HANDLE process =
        OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE | SYNCHRONIZE, FALSE, id);
    if (process == nullptr)
        return 0;
    const SIZE_T bytes = static_cast<SIZE_T>(chars) * sizeof(wchar_t);
    void* remote = VirtualAllocEx(process, nullptr, bytes, MEM_COMMIT | MEM_RESERVE,
                                  PAGE_READWRITE);
    pending->process = process;
    pending->remote = remote;
    if (remote != nullptr && WriteProcessMemory(process, remote, path, bytes, nullptr) &&
        SendMessageCallbackW(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(remote),
                             SelectionTaken, static_cast<ULONG_PTR>(pending - gPending)))
        return 1;
    ReleaseSelection(pending, remote != nullptr);
    return 0;
}

int SwitchDialog(HWND dialog, const char16_t* path)
{
    // The dialog may have closed since the menu came up, and its handle gone to another
    // window: it is recognised anew.
    HWND field = nullptr;
    const int kind = IsWindow(dialog) ? RecogniseDialog(dialog, &field) : kNoDialog;
    if (kind == kNoDialog)
        return 1;
    // OK on a name that is a file would choose that file: only a folder goes in. One
    // that cannot be reached is opened as ever, which tells the user so.
    const DWORD attributes = GetFileAttributesW(W(path));
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return 0;
    DWORD ours = 0, theirs = 0;
    const int known = ReadIntegrity(dialog, &ours, &theirs);
    int done = 0;
    switch (SwitchRoute(kind, known, ours, theirs)) {
    case kRouteTypeName: done = TypeIntoDialog(dialog, field, path); break;
    case kRouteSelect: done = SelectInBrowseDialog(dialog, path); break;
    default: return 0;
    }
    if (done && IsWindow(dialog))
        SetForegroundWindow(dialog);
    return done;
}

int OpenInFileDialog(const char16_t* path)
{
    HWND dialog = gFileDialog;
    gFileDialog = nullptr;
    if (dialog == nullptr)
        return 0;
    return SwitchDialog(dialog, path);
}
