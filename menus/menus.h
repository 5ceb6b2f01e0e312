// The folder menu and the tray menu: state shared by the menu code and the menu loop.
#pragma once
#include <windows.h>

#include "../core/paths.h"

extern int gDisplayOrder[kHistorySlots];  // display position of each history slot
extern HMENU gTrackedMenu;                // the folder pop-up being tracked
extern HHOOK gMenuHook;                   // the menu mouse hook, while installed
extern int gLauncherRequest;              // 1 from a launcher request to its menu's end
extern int gDragState;                    // 0 none, 1 dragging, 2 taskbar click under way

// WM_TK_TRAY: a click on the tray icon or a launcher request.
void OnTrayNotify(WPARAM wParam, LPARAM lParam);
// Builds, tracks and destroys the folder menu; the caller holds the history lock.
void ShowFolderMenu(HWND wnd, UINT flags);
// The whole menu resource with both lists filled in; the caller destroys it.
HMENU BuildFolderMenu(void);
void ShowTrayMenu(HWND wnd);
// The path of a folder-menu entry by its command id (as the menu was built), or null.
const char16_t* PathOfCommand(UINT id);
// WM_COMMAND for a history or registered-folder entry.
void OnFolderCommand(WORD id);
// WM_COMMAND CMD_OPEN_FOLDER: pick a folder and open it.
void OnOpenFolderCommand(void);

// The menu loop and the drag out of the folder menu (menuloop.cpp).
void OnEnterMenuLoop(void);
void OnExitMenuLoop(void);
// The folder menu's tracking has returned.
void OnFolderMenuClosed(void);
void InstallMenuHook(void);
// WM_TK_DRAGHOVER: a movement during a drag restarts the one-second hover timer.
void OnDragHover(void);
// TIMER_TASKBAR_HOVER: the cursor rested during a drag.
void OnTaskbarHoverTimer(void);
// Trailkeep closes: a drag under way ends (marker removed, taskbar enabled) and the menu
// mouse hook goes.
void AbandonDrag(void);

// Posted by the menu mouse hook to the main window: carry out the drop of a released
// drag. Private to Trailkeep, outside the message protocol it shares with the others.
enum { WM_TK_DROP = WM_APP + 1 };

// The mark that the hover click's own button events carry (dwExtraInfo): the menu mouse
// hook passes them on untouched, whenever they reach it.
constexpr ULONG_PTR kHoverClickMark = 0x544B4843;

// The work of a drag (drag.cpp).
enum {
    kMarkerBegin = 0,   // start a drawing: screen and memory contexts, save bitmap
    kMarkerDraw = 1,    // save the screen under the point, draw the marker there
    kMarkerRemove = 2,  // put the saved screen back where the marker was drawn last
    kMarkerEnd = 3,     // end the drawing
};
// Draws the drag marker straight onto the screen, with a save-under of the 32 x 32 area
// below it. Returns 1 when kMarkerBegin started a drawing, 2 when kMarkerEnd ended one,
// otherwise 0 (kMarkerBegin while a drawing is under way changes nothing).
int DrawDragMarker(POINT point, int mode);
// The taskbar: the top-level "Shell_TrayWnd" window that holds a task-switch window.
HWND FindTaskbar(void);
// The main window's own copies of the taskbar, its task-switch window and that window's
// thread, looked up at the main window's first message and kept.
void LookUpTaskbarOnce(void);
// Enables the main window's copy of the taskbar.
void EnableTaskbar(void);
// The hover timer's facts: whether the cursor is over the taskbar, and the task-switch
// window's rectangle.
struct DragFacts;
void GetHoverFacts(POINT cursor, DragFacts* facts);
// Clicks the task-switch window at the cursor, so that the window behind the button
// comes forward, and draws the marker again; the drag goes on.
void ClickTaskSwitch(POINT point);
// Keeps the dragged text and the release point and posts WM_TK_DROP.
void QueueDrop(const char16_t* path, POINT point);
// WM_TK_DROP: an Explorer window under the release point navigates to the dragged path.
void OnDrop(void);
