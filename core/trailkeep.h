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

// Who keeps Trailkeep busy. While any holder is up, captures are dropped and the purge
// and pending countdowns stand still. Each holder sets and clears only its own bit, so
// that one ending (a menu loop inside the folder picker, say) cannot clear another's.
enum {
    kBusyMenu = 1,      // a menu loop of the main window, and a drag out of the folder menu
    kBusyPicker = 2,    // a folder picker: the open-a-folder command's, the Add of the
                        // registered-folders dialog (both may be up at once)
    kBusySettings = 4,  // the settings dialog
};

extern HINSTANCE gInstance;          // Trailkeep's instance, for resources
extern DWORD gMainThreadId;          // the thread that runs the message loop
extern HWND gMainWnd;                // the hidden main window
extern int gBusy;                    // kBusy* holders; non-zero while any of them is up
extern int gPurgeCountdown;          // milliseconds until the next vanished-folder purge
extern int gHookInstalled;           // what sethook returned: 1 installed, 0 failed
extern int gStartStage;              // kStart*: how far start-up got
extern HANDLE gHandoffMutex;         // Trailkeep's own handle of the handoff mutex
extern HANDLE gRecorderThread;       // the recorder thread
extern DWORD gRecorderThreadId;      // target of the recorder's thread messages
extern CRITICAL_SECTION gHistoryLock;  // guards the folder history and the captured path
extern int gDispatchDepth;           // main window handlers under way, nested ones counted
extern int gCloseDeferred;           // a close waits for the handlers under way to end

// Sets or clears one holder's bit of the busy state. The folder pickers are counted: their
// bit is cleared when the last one that set it clears it.
void SetBusy(int holder, int on);

ATOM RegisterMainClass(void);
HWND CreateMainWindow(void);
LRESULT CALLBACK MainWndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Start-up, shut-down and the purge timer (lifecycle.cpp).
LRESULT OnCreate(HWND wnd);
LRESULT OnClose(HWND wnd);
// WM_QUERYENDSESSION and WM_ENDSESSION: the user signs out or Windows shuts down.
LRESULT OnQueryEndSession(void);
void OnEndSession(WPARAM ending);
void OnPurgeTick(void);
void StartPurgeTimer(void);
// WM_COMMAND CMD_SETTINGS: the settings dialog, then the new settings applied and saved.
void OnSettingsCommand(void);

// The tray icon (tray.cpp).
void AddTrayIcon(void);
// Loads the icon again at the small-icon size of `dpi` and hands it to the shell: the scale
// changed (WM_DPICHANGED), or a taskbar was made ("TaskbarCreated": the shell started
// again, which then has no icon of Trailkeep's, or the scale changed).
void RenewTrayIcon(int dpi, int shellRestarted);
void SetTrayCallback(int on);
void DeleteTrayIcon(void);
