// The folders that Explorer's windows and tabs show now, as the folder menu lists them:
// taken from a copy of the shell-window watcher's table, with the top-level windows'
// z-order, and no call into Explorer. Platform-free: windows are opaque handles here.
#pragma once
#include "../core/shellnav.h"

struct ShownFolder {
    void* window;   // the tab's window
    PathSlot path;  // the folder it shows
};

// Lists the folders of the table's `count` entries into `out` (room for `room`): those
// of the front-most top-level window first, by `roots` (top-level windows, front-most
// first, `rootCount` of them); tabs of one window, and windows missing from `roots`, in
// table order after them. Free entries and entries with no folder (unknown or virtual)
// are left out, and each folder comes once, with the front-most tab that shows it.
// Returns the number listed.
int ListOpenFolders(const ShellEntry* entries, int count, void* const* roots, int rootCount,
                    ShownFolder* out, int room);
