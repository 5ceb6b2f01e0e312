// The work of a drag out of the folder menu: the marker that follows the cursor, the
// drop into an Explorer window or another program's file dialog, and the click on the
// taskbar after a rest over it.
#include <windows.h>

#include "dragstate.h"
#include "filedialog.h"
#include "menus.h"
#include "openfolder.h"

#include "../core/dpi.h"
#include "../core/paths.h"
#include "../core/peers.h"
#include "../core/scale.h"
#include "../core/shellwatch.h"
#include "../core/trailkeep.h"

enum {
    kMarkerBitmap = 600,            // resource ids of the drag marker: 600 the 32 x 32 one
                                    // of 100 %, 601 to 604 those of 125 % to 200 %
    kMarkerSaveSize = 64,           // the largest marker: the save-under fits each
    kMarkerTransparent = 0xFFFFFF,  // white
    kFocusAttempts = 150,           // of 10 ms each: the wait for the edit's focus, 1.5 s
    kSetTextTimeoutMs = 5000,       // for an Explorer window that does not answer
    kClickHoldMs = 100,             // between the press and the release of the hover click
    kClassSize = 20,
};

// Drawing state of the marker: each bitmap loaded at its first use and kept; the rest made
// once per drag.
static HBITMAP gMarkers[kMarkerSizeCount];  // the marker of each scale, by kMarkerSizes
static HDC gScreenDC;           // the whole screen; null while no drawing is under way
static HBITMAP gSaveBitmap;     // the screen area under the marker
static HDC gMemDC;              // holds the save bitmap or the marker in turn
static HGDIOBJ gInitialBitmap;  // what the memory context held when it was made
static POINT gLastDrawn;        // top-left corner of the marker on screen
static int gLastSize;           // its width and height there

// The main window's copies of the taskbar windows.
static HWND gTaskbar;
static HWND gTaskSwitch;
static DWORD gTaskSwitchThread;
static int gTaskbarKnown;

// The drop handed over by the menu mouse hook: the dragged path, later "FolderSetOK"
// and the edit's handle (SetPathToEdit), and the release point.
static char16_t gDropBuffer[MAX_PATH];
static POINT gDropPoint;
static int gDropQueued;

static const char16_t kFolderSetOK[] = u"FolderSetOK";  // 11 characters and the NUL: 12 units
enum { kEditHandleOffset = 12 };                          // in units, after the marker

// The marker for the monitor under a point: drawn for that monitor's scale (bitmaps for
// 100 %, 125 %, 150 %, 175 % and 200 %, the nearest one taken), not stretched, so that it
// stays sharp and its white stays exactly the transparent colour. Its size goes to `size`.
static HBITMAP MarkerAt(POINT point, int* size)
{
    const int index = MarkerIndexForDpi(DpiAtPoint(point));
    if (gMarkers[index] == nullptr)
        gMarkers[index] = static_cast<HBITMAP>(
            LoadImageA(gInstance, MAKEINTRESOURCEA(kMarkerBitmap + index), IMAGE_BITMAP, 0, 0,
                       LR_SHARED | LR_DEFAULTSIZE));
    *size = kMarkerSizes[index];
    return gMarkers[index];
}

int DrawDragMarker(POINT point, int mode)
{
    // The point is in the physical pixels of the screen, as the menu mouse hook, the cursor
    // and the screen's device context all count them in a per-monitor-aware program. The
    // marker's top-left corner is its hot spot, placed at the point on every monitor, left
    // of and above the primary one (negative coordinates) too.
    switch (mode) {
    case kMarkerBegin:
        if (gScreenDC != nullptr)
            return 0;
        gScreenDC = GetDC(nullptr);
        gSaveBitmap = CreateCompatibleBitmap(gScreenDC, kMarkerSaveSize, kMarkerSaveSize);
        gMemDC = CreateCompatibleDC(gScreenDC);
        gInitialBitmap = SelectObject(gMemDC, gSaveBitmap);
        return 1;
    case kMarkerDraw: {
        if (gScreenDC == nullptr)
            return 0;
        int size = 0;
        HBITMAP marker = MarkerAt(point, &size);
        SelectObject(gMemDC, gSaveBitmap);
        BitBlt(gMemDC, 0, 0, size, size, gScreenDC, point.x, point.y, SRCCOPY | CAPTUREBLT);
        SelectObject(gMemDC, marker);
        TransparentBlt(gScreenDC, point.x, point.y, size, size, gMemDC, 0, 0, size, size,
                       kMarkerTransparent);
        gLastDrawn = point;
        gLastSize = size;
        return 0;
    }
    case kMarkerRemove:
        if (gScreenDC == nullptr)
            return 0;
        // The area saved when it was drawn, on whichever monitor that was.
        SelectObject(gMemDC, gSaveBitmap);
        BitBlt(gScreenDC, gLastDrawn.x, gLastDrawn.y, gLastSize, gLastSize, gMemDC, 0, 0,
               SRCCOPY);
        return 0;
    case kMarkerEnd:
        if (gScreenDC == nullptr)
            return 0;
        SelectObject(gMemDC, gInitialBitmap);
        DeleteDC(gMemDC);
        DeleteObject(gSaveBitmap);
        ReleaseDC(nullptr, gScreenDC);
        gMemDC = nullptr;
        gSaveBitmap = nullptr;
        gScreenDC = nullptr;
        return 2;
    }
    return 0;
}

static HWND TaskSwitchOf(HWND taskbar)
{
    HWND rebar = FindWindowExA(taskbar, nullptr, "ReBarWindow32", nullptr);
    // A null parent would search the top-level windows instead.
    return rebar != nullptr ? FindWindowExA(rebar, nullptr, "MSTaskSwWClass", nullptr) : nullptr;
}

HWND FindTaskbar(void)
{
    // Windows has one "Shell_TrayWnd", and it holds the task-switch window: this finds
    // the window that FindWindowA would. Where a shell leaves a hidden stand-in of that
    // class without one (Wine does), the taskbar that really holds the buttons comes
    // first, whichever order the windows are in.
    HWND found = nullptr;
    while ((found = FindWindowExA(nullptr, found, "Shell_TrayWnd", nullptr)) != nullptr) {
        if (TaskSwitchOf(found) != nullptr)
            return found;
    }
    return FindWindowA("Shell_TrayWnd", nullptr);
}

void LookUpTaskbarOnce(void)
{
    if (gTaskbarKnown)
        return;
    gTaskbarKnown = 1;
    gTaskbar = FindTaskbar();
    gTaskSwitch = TaskSwitchOf(gTaskbar);
    gTaskSwitchThread = gTaskSwitch != nullptr ? GetWindowThreadProcessId(gTaskSwitch, nullptr) : 0;
}

void EnableTaskbar(void)
{
    if (gTaskbar != nullptr)
        EnableWindow(gTaskbar, TRUE);
}

void GetHoverFacts(POINT cursor, DragFacts* facts)
{
    RECT rect;
    facts->overTaskbar = gTaskbar != nullptr && gTaskSwitch != nullptr &&
                         GetAncestor(WindowFromPoint(cursor), GA_ROOT) == gTaskbar &&
                         GetWindowRect(gTaskSwitch, &rect);
    if (facts->overTaskbar) {
        facts->taskSwitch[0] = rect.left;
        facts->taskSwitch[1] = rect.top;
        facts->taskSwitch[2] = rect.right;
        facts->taskSwitch[3] = rect.bottom;
    }
}

void ClickTaskSwitch(POINT point)
{
    gDragState = kDragHoverClick;
    EnableWindow(gTaskbar, TRUE);
    DrawDragMarker(point, kMarkerRemove);
    AttachThreadInput(gMainThreadId, gTaskSwitchThread, TRUE);
    SetFocus(gTaskSwitch);
    POINT client = point;
    ScreenToClient(gTaskSwitch, &client);
    // No movement flag: the cursor stays, and the click lands where it rests. The menu
    // mouse hook lets these button events pass by their mark: Windows calls the hook on
    // this thread only when it next takes messages, and by then the drag may be back in
    // state 1, where an unmarked release would end it over the taskbar.
    mouse_event(MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_LEFTDOWN, static_cast<DWORD>(client.x),
                static_cast<DWORD>(client.y), 0, kHoverClickMark);
    Sleep(kClickHoldMs);
    mouse_event(MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_LEFTUP, static_cast<DWORD>(client.x),
                static_cast<DWORD>(client.y), 0, kHoverClickMark);
    AttachThreadInput(gMainThreadId, gTaskSwitchThread, FALSE);
    InvalidateRect(gTaskbar, nullptr, TRUE);
    UpdateWindow(gTaskbar);
    DrawDragMarker(point, kMarkerDraw);
    EnableWindow(gTaskbar, FALSE);
    gDragState = kDragging;
}

void QueueDrop(const char16_t* path, POINT point)
{
    CopyPath(gDropBuffer, path);
    gDropPoint = point;
    gDropQueued = 1;
    PostMessageA(gMainWnd, WM_TK_DROP, 0, 0);
}

// EnumChildWindows procedure: the first "Edit" descendant gets the dragged path.
static BOOL CALLBACK SetPathToEdit(HWND child, LPARAM param)
{
    char16_t* buffer = reinterpret_cast<char16_t*>(param);
    char cls[kClassSize];
    cls[0] = '\0';
    GetClassNameA(child, cls, kClassSize);
    if (!SamePath(cls, "Edit"))
        return TRUE;
    // An Explorer that does not answer leaves Trailkeep waiting no longer than this, and
    // a path it never took is not confirmed.
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(child, WM_SETTEXT, 0, param, SMTO_ABORTIFHUNG, kSetTextTimeoutMs,
                             &result))
        return FALSE;
    CopyPath(buffer, kFolderSetOK);
    // The edit's handle as 32 bits after the marker. Window handles are 32-bit
    // significant on 64-bit Windows too (they are shared with 32-bit processes): the
    // low 32 bits are the handle, and sign-extending them gives it back.
    const LONG handle = HandleToLong(child);
    CopyMemory(buffer + kEditHandleOffset, &handle, sizeof handle);
    return FALSE;
}

// Brings the Explorer window forward, gives its edit the focus and presses Enter there:
// the key goes down and comes up again. Keys go to the focus of the foreground window's
// input, so the window comes forward first: the hidden main window need not have kept the
// foreground once the menu closed (under Wine it has not), and with no foreground window
// the Enter would be lost. Enter goes only to the edit: when the focus never gets there
// (the window is going away, or will not take it), no key is sent to whatever has the
// focus instead.
static void PressEnterIn(HWND root, HWND edit)
{
    const DWORD thread = GetWindowThreadProcessId(edit, nullptr);
    AttachThreadInput(gMainThreadId, thread, TRUE);
    SetForegroundWindow(root);
    int focused = 0;
    for (int i = 0; i < kFocusAttempts && !focused && IsWindow(edit); ++i) {
        SetFocus(edit);
        Sleep(10);
        focused = GetFocus() == edit;
    }
    if (focused) {
        keybd_event(VK_RETURN, 0, 0, 0);
        keybd_event(VK_RETURN, 0, KEYEVENTF_KEYUP, 0);
    }
    AttachThreadInput(gMainThreadId, thread, FALSE);
}

void OnDrop(void)
{
    // Only a drop the hook handed over; the message alone carries nothing.
    if (!gDropQueued)
        return;
    gDropQueued = 0;
    HWND root = GetAncestor(WindowFromPoint(gDropPoint), GA_ROOT);
    char cls[kClassSize];
    cls[0] = '\0';
    GetClassNameA(root, cls, kClassSize);
    if (!IsExplorerClass(cls)) {
        // Another program's Open or Save As dialog goes to the folder as the launcher's
        // menu sends it there; a folder picker chooses nothing, and the folder opens in
        // Explorer where the picker cannot only show it.
        if (IsOtherProgramsDialog(root) && !SwitchDialog(root, gDropBuffer))
            OpenFolder(gDropBuffer);
        return;
    }
    // A folder window the shell's list knows goes there through its browser: modern
    // Explorer has no address field to type into.
    if (NavigateShellWindow(root, gDropBuffer))
        return;
    EnumChildWindows(root, SetPathToEdit, reinterpret_cast<LPARAM>(gDropBuffer));
    if (!SamePath(gDropBuffer, kFolderSetOK))
        return;
    LONG handle = 0;
    CopyMemory(&handle, gDropBuffer + kEditHandleOffset, sizeof handle);
    PressEnterIn(root, static_cast<HWND>(LongToHandle(handle)));
}
