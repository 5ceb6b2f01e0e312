// The folder menu and the tray menu, and the commands that come back from them.
#include <windows.h>

#include "filedialog.h"
#include "menus.h"
#include "openfolder.h"
#include "openlist.h"

#include "../core/capture.h"
#include "../core/menuorder.h"
#include "../core/protocol.h"
#include "../core/settings.h"
#include "../core/shellnav.h"
#include "../core/shellwatch.h"
#include "../core/trailkeep.h"
#include "../core/wide.h"
#include "../hooklib/ansipath.h"
#include "../dialogs/folderpicker.h"

int gDisplayOrder[kHistorySlots];
HMENU gTrackedMenu;
static int gFolderMenuOpen;  // 1 while the folder menu is tracked (lock held)
static int gTrayMenuOpen;    // 1 while the tray menu is tracked

// The history as the folder menu showed it. A recording that waited for the menu to
// close may shift the live history before the chosen command arrives; the command
// opens the entry the user saw.
static PathSlot gShownHistory[kHistorySlots];
// The open folders as the folder menu listed them, and their number.
static ShownFolder gShownOpen[kShellEntries];
static int gShownOpenCount;

static const wchar_t kMenuResource[] = L"IDM_CONTEXTMENU";
enum { kOpenFoldersPosition = 3 };  // of "開いているフォルダ(&W)" in the folder menu

void OnTrayNotify(WPARAM wParam, LPARAM lParam)
{
    if (wParam != TK_ICON_ID || gStartStage != kStartComplete)
        return;
    // One menu at a time: a click or launcher request that arrives while a menu of ours
    // is up (its modal loop dispatches it), or while an entry is dragged out of one, does
    // not start another. Nor does one that arrives while the folder picker of the open
    // command is up: its menu could start a second picker over the first.
    if (gFolderMenuOpen || gTrayMenuOpen || gDragState > 0 || (gBusy & kBusyPicker))
        return;
    int folderMenu = 0;
    UINT flags = TPM_BOTTOMALIGN;
    switch (lParam) {
    case WM_LBUTTONUP: folderMenu = SwapMouseLR != 0; break;
    case WM_RBUTTONUP: folderMenu = SwapMouseLR == 0; break;
    case TK_ICON_ID:  // launcher request: top-left corner at the cursor
        gLauncherRequest = 1;
        folderMenu = 1;
        flags = 0;
        break;
    default: return;
    }
    if (!folderMenu) {
        gTrayMenuOpen = 1;
        ShowTrayMenu(gMainWnd);
        gTrayMenuOpen = 0;
        return;
    }
    // The launcher is called up over the window the user works in, which may be a file
    // dialog; a click on the tray icon leaves no such window behind.
    if (lParam == TK_ICON_ID)
        NoteFileDialog();
    else
        ForgetFileDialog();
    // The history cannot change while the menu is built and shown: a recording
    // waits until the menu has closed.
    EnterCriticalSection(&gHistoryLock);
    gFolderMenuOpen = 1;
    ShowFolderMenu(gMainWnd, flags);
    gFolderMenuOpen = 0;
    LeaveCriticalSection(&gHistoryLock);
}

// Tracks a pop-up at the cursor; the folder menu also gets the menu mouse hook.
static void TrackAtCursor(HWND wnd, HMENU popup, UINT flags, int withHook)
{
    POINT pt;
    GetCursorPos(&pt);
    // The owner must be the foreground window, or the menu does not close when the
    // user clicks elsewhere.
    SetForegroundWindow(wnd);
    if (withHook)
        InstallMenuHook();
    TrackPopupMenu(popup, flags, pt.x, pt.y, 0, wnd, nullptr);
    // A benign message makes the next showing behave (the menu would otherwise close
    // at once on some Windows versions).
    PostMessageA(wnd, WM_NULL, 0, 0);
}

void ShowFolderMenu(HWND wnd, UINT flags)
{
    HMENU menu = BuildFolderMenu();
    if (menu == nullptr)
        return;
    gTrackedMenu = GetSubMenu(menu, 0);
    TrackAtCursor(wnd, gTrackedMenu, flags, 1);
    OnFolderMenuClosed();
    DestroyMenu(menu);
}

void ShowTrayMenu(HWND wnd)
{
    HMENU menu = LoadMenuW(gInstance, kMenuResource);
    if (menu == nullptr)
        return;
    TrackAtCursor(wnd, GetSubMenu(menu, 1), TPM_BOTTOMALIGN, 0);
    DestroyMenu(menu);
}

// Inserts a string item at a position. The text is the path as the user reads it: a menu
// takes "&" as the mark of its access key, so each one is doubled to show as itself.
static void InsertPathItem(HMENU menu, int position, UINT id, const char16_t* path)
{
    wchar_t text[kPathSize * 2];
    int n = 0;
    for (int i = 0; path[i] != u'\0' && n < kPathSize * 2 - 2; ++i) {
        if (path[i] == u'&')
            text[n++] = L'&';
        text[n++] = path[i];
    }
    text[n] = L'\0';
    MENUITEMINFOW item;
    ZeroMemory(&item, sizeof item);
    item.cbSize = sizeof item;
    item.fMask = MIIM_ID | MIIM_TYPE;
    item.fType = MFT_STRING;
    item.wID = id;
    item.dwTypeData = text;
    InsertMenuItemW(menu, position, TRUE, &item);
}

// Alphabetical order compares what the user reads, without regard to case, as Windows'
// own lists do (CompareStringW with the user's locale). NORM_IGNORECASE folds every
// script's letter case, not ASCII's alone.
static int CompareNames(const char16_t* a, const char16_t* b)
{
    return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, W(a), -1, W(b), -1) - CSTR_EQUAL;
}

// The display order of the history. A history whose every entry has an ANSI spelling keeps
// the order it has always been shown in, by the entries' ANSI bytes; one with a name the
// code page cannot spell is ordered by CompareNames.
static void OrderShownHistory(void)
{
    static AnsiSlot ansi[kHistorySlots];
    int all = 1;
    for (int k = 0; k < kHistorySlots; ++k) {
        ansi[k][0] = '\0';
        if (gHistory[k][0] != u'\0' && !WideToAnsiPath(W(gHistory[k]), ansi[k], kPathSize))
            all = 0;
    }
    if (all)
        OrderAnsiHistory(ansi, LogSort, gDisplayOrder);
    else
        OrderHistory(gHistory, LogSort, gDisplayOrder, CompareNames);
}

// The top-level windows of followed folder windows, front-most first.
struct RootOrder {
    const ShellEntry* table;
    int count;
    void** roots;
    int rootCount;
};

static BOOL CALLBACK NoteRoot(HWND wnd, LPARAM param)
{
    RootOrder* order = reinterpret_cast<RootOrder*>(param);
    for (int i = 0; i < order->count; ++i) {
        if (order->table[i].browser != nullptr && order->table[i].root == wnd) {
            order->roots[order->rootCount++] = wnd;
            break;
        }
    }
    return order->rootCount < kShellEntries;
}

// The folders Explorer's windows and tabs show now, front-most first, into gShownOpen:
// from a copy of the watcher's table and the z-order of the top-level windows, with no
// call into Explorer, so that the menu comes up at once. The z-order is read with
// EnumWindows, top first, from one snapshot of the window list: a walk by GetWindow can
// loop or meet destroyed windows while windows come and go. It is not read at all when
// no folder is followed (under Wine each window costs a request to its server).
static void ListShownFolders(void)
{
    static ShellEntry table[kShellEntries];
    static void* roots[kShellEntries];
    const int count = CopyShellTable(table);
    RootOrder order = {table, count, roots, 0};
    int followed = 0;
    for (int i = 0; i < count && !followed; ++i)
        followed = table[i].browser != nullptr;
    if (followed)
        EnumWindows(NoteRoot, reinterpret_cast<LPARAM>(&order));
    gShownOpenCount =
        ListOpenFolders(table, count, roots, order.rootCount, gShownOpen, kShellEntries);
}

// The open-folder sub-menu: its entries, or the greyed placeholder the resource holds;
// taken out of the menu when ShowOpenFolders is off.
static void FillOpenFolders(HMENU folder)
{
    gShownOpenCount = 0;
    if (ShowOpenFolders == 0) {
        DeleteMenu(folder, kOpenFoldersPosition, MF_BYPOSITION);
        return;
    }
    ListShownFolders();
    HMENU open = GetSubMenu(folder, kOpenFoldersPosition);
    if (gShownOpenCount == 0)
        return;
    DeleteMenu(open, 0, MF_BYPOSITION);
    for (int k = 0; k < gShownOpenCount; ++k)
        InsertPathItem(open, k, CMD_OPEN_WINDOW_BASE + k, gShownOpen[k].path);
}

HMENU BuildFolderMenu(void)
{
    HMENU menu = LoadMenuW(gInstance, kMenuResource);
    if (menu == nullptr)
        return nullptr;
    HMENU folder = GetSubMenu(menu, 0);
    HMENU history = GetSubMenu(folder, 0);
    HMENU registered = GetSubMenu(folder, 1);

    for (int k = 0; k < kHistorySlots; ++k)
        CopyPath(gShownHistory[k], gHistory[k]);
    if (gHistory[0][0] != '\0') {
        DeleteMenu(history, 0, MF_BYPOSITION);
        OrderShownHistory();
        for (int p = 0; p < kHistorySlots && gHistory[p][0] != '\0'; ++p) {
            const int slot = SlotAtPosition(gDisplayOrder, p);
            if (slot >= 0)
                InsertPathItem(history, p, CMD_HISTORY_BASE + p, gHistory[slot]);
        }
    }
    if (gRegistered[0][0] != '\0') {
        DeleteMenu(registered, 0, MF_BYPOSITION);
        for (int i = 0; i < kRegisteredSlots && gRegistered[i][0] != '\0'; ++i)
            InsertPathItem(registered, i, CMD_REGISTERED_BASE + i, gRegistered[i]);
    }
    FillOpenFolders(folder);
    return menu;
}

// A folder window brought forward from the menu: the visit is recorded like any other,
// the path going to the capture logic with that window.
static void RecordVisit(const char16_t* path, HWND shown)
{
    EnterCriticalSection(&gHistoryLock);
    CopyPath(gCapturedPath, path);
    LeaveCriticalSection(&gHistoryLock);
    PostMessageA(gMainWnd, WM_TK_CAPTURED, 0, reinterpret_cast<LPARAM>(shown));
}

// Opens a chosen entry; an open Explorer window brought forward records the visit.
static void OpenEntry(const char16_t* path)
{
    if (OpenInFileDialog(path))
        return;
    HWND shown = OpenFolder(path);
    if (shown != nullptr)
        RecordVisit(path, shown);
}

// Brings forward the window or tab that showed the folder when the menu was built, as
// opening the folder would; the folder opens as any other when the window has gone.
static void OpenShownFolder(const ShownFolder& shown)
{
    if (OpenInFileDialog(shown.path))
        return;
    HWND tab = static_cast<HWND>(shown.window);
    if (!IsWindow(tab)) {
        OpenFolder(shown.path);
        return;
    }
    BringFolderWindowForward(tab);
    RecordVisit(shown.path, tab);
}

const char16_t* PathOfCommand(UINT id)
{
    if (id >= CMD_HISTORY_BASE && id < CMD_HISTORY_BASE + kHistorySlots) {
        const int slot = SlotAtPosition(gDisplayOrder, static_cast<int>(id - CMD_HISTORY_BASE));
        return slot >= 0 && gShownHistory[slot][0] != u'\0' ? gShownHistory[slot] : nullptr;
    }
    if (id >= CMD_REGISTERED_BASE && id < CMD_REGISTERED_BASE + kRegisteredSlots) {
        const int i = static_cast<int>(id - CMD_REGISTERED_BASE);
        return CountEntries(gRegistered, kRegisteredSlots) > i ? gRegistered[i] : nullptr;
    }
    return nullptr;
}

void OnFolderCommand(WORD id)
{
    // A drag ends the menu with a button release; what the menu reports then is no choice.
    if (gDragState > 0)
        return;
    for (int i = 0; i < kHistorySlots && gShownHistory[i][0] != '\0'; ++i) {
        if (id == CMD_HISTORY_BASE + i) {
            const int slot = SlotAtPosition(gDisplayOrder, i);
            if (slot >= 0)
                OpenEntry(gShownHistory[slot]);
            break;
        }
    }
    for (int i = 0; i < kRegisteredSlots && gRegistered[i][0] != '\0'; ++i) {
        if (id == CMD_REGISTERED_BASE + i) {
            OpenEntry(gRegistered[i]);
            break;
        }
    }
    if (id >= CMD_OPEN_WINDOW_BASE && id < CMD_OPEN_WINDOW_BASE + gShownOpenCount)
        OpenShownFolder(gShownOpen[id - CMD_OPEN_WINDOW_BASE]);
}

void OnOpenFolderCommand(void)
{
    SetBusy(kBusyPicker, 1);
    PathSlot picked;
    if (PickFolder(gMainWnd, picked, u"", L"フォルダを選択して下さい") && !OpenInFileDialog(picked))
        OpenFolder(picked);
    SetBusy(kBusyPicker, 0);
}
