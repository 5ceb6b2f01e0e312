// Messages from programs of lower integrity. An elevated Trailkeep (run as administrator on
// Vista and later) would otherwise never get what Explorer, Trailhook inside Explorer and
// Trailmenu send it: Windows drops their messages to the windows of a program of higher
// integrity (User Interface Privilege Isolation). XP has no such isolation.
#pragma once
#include <windows.h>

// The two ways to let messages through, looked up in user32 at run time: XP has neither,
// Vista only the process-wide one.
typedef BOOL(WINAPI* FilterWindowFn)(HWND window, UINT message, DWORD action, void* result);
typedef BOOL(WINAPI* FilterProcessFn)(UINT message, DWORD flag);
struct MessageFilter {
    FilterWindowFn forWindow;    // ChangeWindowMessageFilterEx, Windows 7 and later
    FilterProcessFn forProcess;  // ChangeWindowMessageFilter, Vista and later
};

// The filter functions of this Windows; null where it has none.
MessageFilter FindMessageFilter(void);

// Lets `count` messages reach `window` from programs of lower integrity: for that window
// where Windows can, otherwise for the whole process. Returns how many were let through.
int AllowFromLowerIntegrity(const MessageFilter& filter, HWND window, const UINT* messages,
                            int count);

// At start-up, once the main window and the watcher's window exist: the main window gets
// the launcher's request and the tray icon's notices (WM_TK_TRAY), Trailhook's title
// handoff (WM_SETTEXT, WM_TK_CAPTURED); the watcher's window Explorer's "TaskbarCreated".
void AllowProtocolMessages(const MessageFilter& filter);
