// The menu loop of the main window and the menu mouse hook that watches it: the busy
// flag around a menu, and the hook's handling of button presses and releases.
#include <windows.h>

#include "menus.h"

#include "../core/paths.h"
#include "../core/trailkeep.h"

HHOOK gMenuHook;
int gLauncherRequest;
int gDragState;

// The text of the menu item pressed last, "UpperMenu" for an item of the folder menu
// itself, or empty (first byte 0; clearing keeps the bytes after it).
static char gDragBuffer[MAX_PATH];
static POINT gPrevPoint;      // cursor position recorded before the current one
static HWND gHookTaskbar;     // the taskbar, looked up at the hook's first call

static const char kUpperMenu[] = "UpperMenu";

// The text of a menu item by position, at most 255 characters, into the drag buffer.
static void GetMenuItemText(HMENU menu, int position)
{
    char text[kPathSize];
    MENUITEMINFOA item;
    ZeroMemory(&item, sizeof item);
    item.cbSize = sizeof item;
    item.fMask = MIIM_ID | MIIM_TYPE;
    item.fType = MFT_STRING;
    text[0] = '\0';
    if (GetMenuItemInfoA(menu, position, TRUE, &item)) {
        item.dwTypeData = text;
        item.cch = item.cch + 1 < UINT(kPathSize) ? item.cch + 1 : UINT(kPathSize);
        if (!GetMenuItemInfoA(menu, position, TRUE, &item))
            text[0] = '\0';
    }
    text[kPathSize - 1] = '\0';
    CopyPath(gDragBuffer, text);
}

static void OnMenuButtonDown(void)
{
    if (gDragState >= 2)
        return;
    GetCursorPos(&gPrevPoint);
    for (int sub = 0; sub < 2; ++sub) {
        HMENU menu = GetSubMenu(gTrackedMenu, sub);
        const int item = MenuItemFromPoint(nullptr, menu, gPrevPoint);
        if (item >= 0) {
            GetMenuItemText(menu, item);
            return;
        }
    }
    if (MenuItemFromPoint(nullptr, gTrackedMenu, gPrevPoint) >= 0)
        lstrcpyA(gDragBuffer, kUpperMenu);
    else
        gDragBuffer[0] = '\0';
}

static void OnMenuButtonUp(void)
{
    if (gDragState >= 2)
        return;
    gDragBuffer[0] = '\0';
    gDragState = 0;
    EnableWindow(gHookTaskbar, TRUE);
    // A press on the folder menu itself (a sub-menu header or the open command) leaves
    // the menu open, so its release ends nothing.
    if (SamePath(gDragBuffer + 1, kUpperMenu + 1))
        return;
    SendMessageA(gMainWnd, WM_EXITMENULOOP, 0, 0);
}

static LRESULT CALLBACK MenuMouseProc(int code, WPARAM wParam, LPARAM lParam)
{
    if (code >= 0) {
        if (gHookTaskbar == nullptr)
            gHookTaskbar = FindWindowA("Shell_TrayWnd", nullptr);
        if (wParam == WM_LBUTTONDOWN)
            OnMenuButtonDown();
        else if (wParam == WM_LBUTTONUP)
            OnMenuButtonUp();
    }
    // No event is ever swallowed.
    return CallNextHookEx(gMenuHook, code, wParam, lParam);
}

void InstallMenuHook(void)
{
    // One hook at a time: a hook left by an earlier showing (a launcher request whose
    // menu was closed with the keyboard) is removed before the new one is set.
    if (gMenuHook != nullptr)
        UnhookWindowsHookEx(gMenuHook);
    gMenuHook = SetWindowsHookExA(WH_MOUSE_LL, MenuMouseProc, gInstance, 0);
}

void OnEnterMenuLoop(void)
{
    SetBusy(kBusyMenu, 1);
}

// The menu no longer keeps Trailkeep busy, and its mouse hook goes.
static void ReleaseMenuHold(void)
{
    SetBusy(kBusyMenu, 0);
    if (gMenuHook != nullptr) {
        UnhookWindowsHookEx(gMenuHook);
        gMenuHook = nullptr;
    }
}

void OnExitMenuLoop(void)
{
    if (gLauncherRequest) {
        gLauncherRequest = 0;
        return;
    }
    if (gDragState > 0)
        return;
    ReleaseMenuHold();
}

void OnFolderMenuClosed(void)
{
    // The menu loop is over. A launcher menu closed with the keyboard has had only its
    // first loop end, and no button release follows to end it: were the hold kept, every
    // visit from now on would be dropped until some left click anywhere on the screen.
    // Only a drag, which outlives the menu, keeps the hold until its release.
    gLauncherRequest = 0;
    if (gDragState > 0)
        return;
    ReleaseMenuHold();
}
