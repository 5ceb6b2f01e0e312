// Capture and recording: from a captured path to an entry of the folder history.
#pragma once
#include <windows.h>

#include "paths.h"
#include "pending.h"

extern PathSlot gCapturedPath;               // one path handed to the recorder thread
extern PendingSlot gPending[kPendingSlots];  // paths waiting for their delay
extern int gNextPending;                     // the slot the next parked path takes

// WM_TK_CAPTURED on the main window: wParam TK_HANDOFF_TAG (path in the title) or 0
// (path already in the captured-path buffer); lParam the window that shows the path.
void OnCaptured(WPARAM wParam, LPARAM lParam);
// WM_TK_SHELLNAV: a navigation that the shell-window watcher reported.
void OnShellNavigation(void);
// WM_TIMER of pending slot `slot`.
void OnPendingTick(int slot);

// Starts the recorder thread and returns once it can take thread messages.
void StartRecorder(void);
// Ends the recorder thread: afterwards no recording runs. Called at shut-down while
// the history lock is still initialised.
void StopRecorder(void);

// 1 when the path equals a registered folder.
int IsRegisteredFolder(const char16_t* path);
// The drive class (kDrive*) of a path's root.
int GetDriveClass(const char16_t* path);
