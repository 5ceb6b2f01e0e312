// Opening a folder: bring forward an Explorer window that shows it, or start Explorer.
#pragma once
#include <windows.h>

// Returns the window whose text is the path when an open Explorer window was brought
// forward (a top-level window or one of its descendants); null when Explorer was
// started, the folder cannot be reached, or Explorer failed to start.
HWND OpenFolder(const char16_t* path);
// Brings the top-level window of a folder window or tab forward, restored if minimised.
void BringFolderWindowForward(HWND tab);

BOOL CALLBACK FindExplorerByText(HWND wnd, LPARAM path);
BOOL CALLBACK MatchChildText(HWND wnd, LPARAM path);
