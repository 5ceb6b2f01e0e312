// The menu loop of the main window and the menu mouse hook that watches it: the busy
// flag around a menu, and the drag of an entry out of the folder menu as the hook, the
// hover message and the hover timer drive it. What each event asks for is decided by
// StepDrag (dragstate.cpp); the work of a drag (marker, drop, taskbar click) is in
// drag.cpp.
#include <windows.h>

#include "dragstate.h"
#include "menus.h"

#include "../core/dpi.h"
#include "../core/paths.h"
#include "../core/protocol.h"
#include "../core/trailkeep.h"

HHOOK gMenuHook;
int gLauncherRequest;
int gDragState;

// The path of the menu entry pressed last, "UpperMenu" for an item of the folder menu
// itself, or empty (first unit 0; clearing keeps the units after it, which tell a
// cleared upper-menu marker at the release).
static char16_t gDragBuffer[MAX_PATH];
static POINT gPressPoint;     // cursor position at the last press: the drag threshold's origin
static POINT gPrevPoint;      // cursor position recorded before the current one
static POINT gCurPoint;       // cursor position recorded at the last handled movement
static HWND gHookTaskbar;     // the taskbar, looked up at the hook's first call
static int gHookTaskbarKnown;
static int gHoverTimer;       // 1 while TIMER_TASKBAR_HOVER is set
static int gHoverClicked;     // the hover click has run during this drag

// The path of a menu entry by position into the drag buffer: the path itself, not the
// item's text, which has each "&" doubled.
static void GetMenuItemPath(HMENU menu, int position)
{
    const char16_t* path = PathOfCommand(GetMenuItemID(menu, position));
    CopyPath(gDragBuffer, path != nullptr ? path : u"");
}

// Whether an item is greyed or disabled: the placeholder of an empty list. Pressing it
// leaves the menu open, as a press on the folder menu itself does.
static int IsInactiveItem(HMENU menu, int position)
{
    MENUITEMINFOA item;
    ZeroMemory(&item, sizeof item);
    item.cbSize = sizeof item;
    item.fMask = MIIM_STATE;
    return GetMenuItemInfoA(menu, position, TRUE, &item) &&
           (item.fState & (MFS_GRAYED | MFS_DISABLED)) != 0;
}

// The pressed item: an entry of an open sub-menu (any of them: history, registered or
// open folders), an item of the folder menu itself, or none. A sub-menu that is not on
// screen (and a menu that has gone) yields no item. A greyed placeholder names no folder:
// it is taken like an item of the folder menu itself, which no movement drags and whose
// release ends nothing.
static void RecordPressedItem(void)
{
    const int items = GetMenuItemCount(gTrackedMenu);
    for (int sub = 0; sub < items; ++sub) {
        HMENU menu = GetSubMenu(gTrackedMenu, sub);
        if (menu == nullptr)
            continue;
        const int item = MenuItemFromPoint(nullptr, menu, gPrevPoint);
        if (item >= 0) {
            if (IsInactiveItem(menu, item))
                CopyPath(gDragBuffer, kUpperMenu);
            else
                GetMenuItemPath(menu, item);
            return;
        }
    }
    if (MenuItemFromPoint(nullptr, gTrackedMenu, gPrevPoint) >= 0)
        CopyPath(gDragBuffer, kUpperMenu);
    else
        gDragBuffer[0] = u'\0';
}

static void RemoveMenuHook(void)
{
    if (gMenuHook != nullptr) {
        UnhookWindowsHookEx(gMenuHook);
        gMenuHook = nullptr;
    }
}

static void RestartHoverTimer(void)
{
    if (gHoverTimer)
        KillTimer(gMainWnd, TIMER_TASKBAR_HOVER);
    SetTimer(gMainWnd, TIMER_TASKBAR_HOVER, 1000, nullptr);
    gHoverTimer = 1;
}

static void StopHoverTimer(void)
{
    gHoverTimer = 0;
    KillTimer(gMainWnd, TIMER_TASKBAR_HOVER);
}

// Moves the marker to the current point: removed from where it was, drawn here.
static void MoveMarker(void)
{
    if (DrawDragMarker(gCurPoint, kMarkerBegin) == 0)
        DrawDragMarker(gCurPoint, kMarkerRemove);
    DrawDragMarker(gCurPoint, kMarkerDraw);
}

static void CarryOut(unsigned actions, POINT cursor)
{
    if (actions & kDoRecordItem) {
        gPressPoint = cursor;
        gPrevPoint = cursor;
        RecordPressedItem();
    }
    if (actions & kDoTrack) {
        gPrevPoint = gCurPoint;
        gCurPoint = cursor;
    }
    if (actions & kDoStartDrag) {
        gHoverClicked = 0;
        EnableWindow(gHookTaskbar, FALSE);
        // The menu closes: the drag goes on without it. (A release posted to the menu's
        // loop would close it only where it lands on an item: a popup menu stays open after
        // a release outside it, and the cursor may be well away by the time a drag starts.)
        EndMenu();
    }
    if (actions & kDoMoveMarker) {
        PostMessageA(gMainWnd, WM_TK_DRAGHOVER, 0, 0);
        MoveMarker();
    }
    if (actions & kDoDrop)
        QueueDrop(gDragBuffer, gCurPoint);
    if (actions & kDoEndMarker) {
        DrawDragMarker(gCurPoint, kMarkerRemove);
        DrawDragMarker(gCurPoint, kMarkerEnd);
        StopHoverTimer();
    }
    if (actions & kDoClearBuffer)
        gDragBuffer[0] = u'\0';
    if (actions & kDoEnableTaskbar) {
        // The hook's copy, and the main window's, which the hover click disables: both
        // name the same taskbar unless it was made anew between their lookups.
        EnableWindow(gHookTaskbar, TRUE);
        EnableTaskbar();
    }
    if (actions & kDoExitMenuLoop)
        SendMessageA(gMainWnd, WM_EXITMENULOOP, 0, 0);
    if (actions & kDoRestartHover)
        RestartHoverTimer();
    if (actions & kDoHoverClick) {
        gHoverClicked = 1;
        ClickTaskSwitch(cursor);
    }
    if (actions & kDoUnhook)
        RemoveMenuHook();
}

// Whether the button that drags is up, as the system tells it. The state is that of the
// physical buttons, and either of them may be the one that drags (the user may have
// swapped them): held means either is down. After a hover click of this drag the system
// reports the click's own release while the user's hand may still hold the button: the
// state is unknown then, and taken as held.
static int DragButtonUp(void)
{
    if (gHoverClicked)
        return 0;
    return (GetAsyncKeyState(VK_LBUTTON) & 0x8000) == 0 &&
           (GetAsyncKeyState(VK_RBUTTON) & 0x8000) == 0;
}

// One event of the drag: the facts gathered, the decision asked for, the actions done.
static void RunDragEvent(int event, int ownClick = 0)
{
    POINT cursor;
    GetCursorPos(&cursor);
    DragFacts facts;
    ZeroMemory(&facts, sizeof facts);
    facts.state = gDragState;
    facts.event = event;
    facts.buffer = gDragBuffer;
    facts.press = {gPressPoint.x, gPressPoint.y};
    facts.current = {gCurPoint.x, gCurPoint.y};
    facts.cursor = {cursor.x, cursor.y};
    // The thresholds of the monitor under the cursor, in its physical pixels, the ones the
    // points are counted in.
    const int dpi = DpiAtPoint(cursor);
    facts.cxDrag = MetricForDpi(SM_CXDRAG, dpi);
    facts.cyDrag = MetricForDpi(SM_CYDRAG, dpi);
    facts.ownClick = ownClick;
    if (event == kDragHoverPosted || event == kDragHoverTimer)
        facts.buttonUp = DragButtonUp();
    if (event == kDragHoverTimer)
        GetHoverFacts(cursor, &facts);
    const DragStep step = StepDrag(facts);
    gDragState = step.next;
    CarryOut(step.actions, cursor);
}

// The low-level mouse hook is called on the thread that installed it, the main thread,
// whenever that thread takes messages. Windows stalls the mouse while a low-level hook
// has not returned and silently removes a hook that takes too long
// (LowLevelHooksTimeout): the slow part of a drop runs later, from the main window's
// queue (drag.cpp), and a release the hook missed is found by the hover message and timer.
static LRESULT CALLBACK MenuMouseProc(int code, WPARAM wParam, LPARAM lParam)
{
    if (code >= 0) {
        if (!gHookTaskbarKnown) {
            gHookTaskbar = FindTaskbar();
            gHookTaskbarKnown = 1;
        }
        // The hover click's own button events carry its mark.
        const int ownClick =
            reinterpret_cast<const MSLLHOOKSTRUCT*>(lParam)->dwExtraInfo == kHoverClickMark;
        switch (wParam) {
        case WM_LBUTTONDOWN: RunDragEvent(kDragPress, ownClick); break;
        case WM_MOUSEMOVE: RunDragEvent(kDragMove); break;
        case WM_LBUTTONUP: RunDragEvent(kDragRelease, ownClick); break;
        }
    }
    // No event is ever swallowed.
    return CallNextHookEx(gMenuHook, code, wParam, lParam);
}

void InstallMenuHook(void)
{
    // One hook at a time: a hook left by an earlier showing (a launcher request whose
    // menu was closed with the keyboard) is removed before the new one is set.
    RemoveMenuHook();
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
    RemoveMenuHook();
}

void OnExitMenuLoop(void)
{
    if (gLauncherRequest) {
        gLauncherRequest = 0;
        return;
    }
    // A drag outlives the menu: the hook and the busy state stay until its release.
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

void OnDragHover(void)
{
    RunDragEvent(kDragHoverPosted);
}

void OnTaskbarHoverTimer(void)
{
    StopHoverTimer();
    RunDragEvent(kDragHoverTimer);
}

void AbandonDrag(void)
{
    RunDragEvent(kDragAbandon);
}
