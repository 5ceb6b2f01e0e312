// Reading the windows of other programs (Explorer's windows and their address fields).
#pragma once
#include <windows.h>

// 1 when a window class is one of Explorer's folder windows ("CabinetWClass",
// "ExploreWClass"); web-browser windows share the shell's lists but are not.
int IsExplorerClass(const char* cls);

enum { kReadTextTimeoutMs = 1000 };  // the longest one read waits on another program

// The text of a window into a path slot (at most 255 UTF-16 units). The window
// may belong to another process; one that does not answer in time (hung, or gone
// mid-call) reads as the empty text instead of stalling Trailkeep's main thread, and
// the call returns 0; 1 when the window answered.
int ReadWindowText(HWND wnd, char16_t* text);
