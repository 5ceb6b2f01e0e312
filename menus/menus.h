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
// WM_COMMAND for a history or registered-folder entry.
void OnFolderCommand(WORD id);
// WM_COMMAND CMD_OPEN_FOLDER: pick a folder and open it.
void OnOpenFolderCommand(void);

// The menu loop (menuloop.cpp).
void OnEnterMenuLoop(void);
void OnExitMenuLoop(void);
// The folder menu's tracking has returned.
void OnFolderMenuClosed(void);
void InstallMenuHook(void);
