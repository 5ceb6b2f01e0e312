// Trailkeep's main window: process-wide state of the resident core and the handlers
// that the main window procedure dispatches to.
#pragma once
#include <windows.h>

// How far the start-up sequence got; the shut-down undoes only what was done.
enum {
    kStartNone = 0,        // sethook failed or has not run
    kStartHooked = 1,      // the hook is installed
    kStartLoaded = 2,      // history lock initialised and settings loaded
    kStartComplete = 3,    // resident: captures and maintenance may run
};

extern HINSTANCE gInstance;          // Trailkeep's instance, for resources
extern DWORD gMainThreadId;          // the thread that runs the message loop
extern HWND gMainWnd;                // the hidden main window
extern int gBusy;                    // 1 while a menu, the folder picker or a dialog is up
extern int gPurgeCountdown;          // milliseconds until the next vanished-folder purge
extern int gHookInstalled;           // what sethook returned: 1 installed, 0 failed
extern int gStartStage;              // kStart*: how far start-up got
extern HANDLE gHandoffMutex;         // Trailkeep's own handle of the handoff mutex
extern HANDLE gRecorderThread;       // the recorder thread
extern DWORD gRecorderThreadId;      // target of the recorder's thread messages
extern CRITICAL_SECTION gHistoryLock;  // guards the folder history and the captured path

ATOM RegisterMainClass(void);
HWND CreateMainWindow(void);
LRESULT CALLBACK MainWndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Start-up, shut-down and the purge timer (lifecycle.cpp).
LRESULT OnCreate(HWND wnd);
LRESULT OnClose(HWND wnd);
void OnPurgeTick(void);
void StartPurgeTimer(void);

// The tray icon (tray.cpp).
void AddTrayIcon(void);
void SetTrayCallback(int on);
void DeleteTrayIcon(void);
