// The shell-window watcher: a thread of its own that follows the shell's list of folder
// windows and the navigations of each window or tab, and hands each completed
// navigation to the main window like a captured path. It also answers the main thread's
// questions about folder windows (which one shows a folder, navigate this one), never
// keeping the main thread waiting on Explorer for more than about a second.
#pragma once
#include <windows.h>

#include "paths.h"

// Posted by the watcher to the main window: navigations wait in the watcher's inbox.
// Private to Trailkeep, outside the message protocol it shares with the others.
enum { WM_TK_SHELLNAV = WM_APP + 2 };

// Starts the watcher (the main window exists); it connects to the shell by itself.
void StartShellWatcher(void);
// Asks the watcher to end and returns at once.
void AskShellWatcherToStop(void);
// Ends the watcher: its connections released, the thread ended. Waits a bounded time
// from when it was asked; a watcher stuck in a call to a hung shell is left to end with
// the process.
void StopShellWatcher(void);

// Takes the oldest navigation from the inbox: the tab's window and the folder. Returns
// 0 when the inbox is empty.
int TakeShellNavigation(HWND* window, char16_t* path);

// What the watcher knows of a window (a tab's window as it reported it): kShowsPath,
// kShowsOther, or kUnknownWindow when it does not follow that window (shellnav.h).
int ShellWindowShows(HWND window, const char16_t* path);

// A folder window or tab that shows `path`, by the watcher's knowledge, else by asking
// the shell's list. Returns the tab's window (its top-level window for a list that
// names only those), or null.
HWND FindShellWindowShowing(const char16_t* path);

// 1 when the watcher follows a tab of the top-level window `root`: what that window
// shows is known from the shell's list, not to be guessed from its texts.
int ShellWindowFollowed(HWND root);

// Copies the table of the followed windows and tabs (kShellEntries entries) as it
// stands, under the lock and with no call into Explorer. Returns the number of entries
// copied: 0 while the watcher does not run.
struct ShellEntry;
int CopyShellTable(ShellEntry* entries);

// Opens `path` in a new folder window when only a tab the watcher follows shows it, as
// a tab in the background of its window: no documented call selects a tab, and bringing
// that window forward would show another folder. Asks the tab's browser, which stays as
// it is, to open the folder in a new window. Returns 1 when the browser took it.
int OpenShellWindowAnew(const char16_t* path);
// Navigates the folder window `root` to `path` through its browser, when the watcher
// follows that window. Returns 1 when the browser took the navigation.
int NavigateShellWindow(HWND root, const char16_t* path);
