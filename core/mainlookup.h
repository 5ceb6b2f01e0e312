// Finding Trailkeep's main window, for Trailkeep's single-instance test, the hook library
// and the launcher. Header-only: the three deliverables share no linked code.
#pragma once
#include <windows.h>

#include "protocol.h"

// The window by class and title; during a title handoff its title holds a path for a
// moment, and then the class alone still names it.
inline HWND FindMainWindow(void)
{
    HWND main = FindWindowA(TK_MAIN_CLASS, TK_MAIN_TITLE);
    return main != nullptr ? main : FindWindowA(TK_MAIN_CLASS, nullptr);
}
