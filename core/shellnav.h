// What the shell-window watcher knows, as data: the folder behind a browser's file: URL,
// the table of folder windows and tabs it follows, and the check that keeps one
// navigation reported by both the address-bar hook and the watcher from being recorded
// twice. Platform-free: windows and browser objects are opaque handles here, wide texts
// are UTF-16 in char16_t.
#pragma once
#include "paths.h"

enum {
    kWidePathSize = 260,  // a folder's path in UTF-16 with its NUL (MAX_PATH)
    kUrlSize = 2084,      // the longest URL a browser reports (INTERNET_MAX_URL_LENGTH)
};

// The folder that a browser's LocationURL names: "file:///C:/a%20b" gives "C:\a b",
// "file://server/share" gives "\\server\share" ("file://localhost/C:/x" and the old
// "file:///C|/x" are read too). %-escapes are bytes of UTF-8. Returns 1 with the path in
// `path` (kWidePathSize characters); 0 for anything else: no file: URL, a virtual
// folder, an escape that is no UTF-8 or decodes to NUL, a path too long, no drive-form
// or UNC result. A wrong path is worse than none.
int FileUrlToPath(const char16_t* url, char16_t* path);
// Whether a file: URL names its folder exactly as it stands: one with no "%" and no "#".
// Those two may be escapes and a fragment, or the folder name's own letters, which
// Explorer leaves as they are in some names; only the folder's own path can tell then.
int FileUrlIsLiteral(const char16_t* url);

// --- The table of the folder windows and tabs that the watcher follows ---------------

enum { kShellEntries = 64 };

struct ShellEntry {
    void* browser;  // the tab's browser object (its identity); null when the entry is free
    void* window;   // the tab's window as the browser names it
    void* root;     // the tab's top-level window
    PathSlot path;  // the folder it shows; empty when unknown, virtual or over 255 units
    int mark;       // the enumeration that last saw it
};

struct ShellTable {
    ShellEntry entries[kShellEntries];
    int generation;  // the enumeration under way
};

// The entry of a browser object, or -1.
int FindShellEntry(const ShellTable* table, const void* browser);
// Takes a free entry for a browser object seen by the current enumeration; -1 when the
// table is full (the window is then simply not followed).
int AddShellEntry(ShellTable* table, void* browser);
void ClearShellEntry(ShellEntry* entry);
// Starts an enumeration: entries it does not mark are stale at its end.
void BeginEnumeration(ShellTable* table);
// The first entry from `from` on that the current enumeration has not seen, or -1.
int NextStaleEntry(const ShellTable* table, int from);
// The first entry whose tab shows `path`; -1 when no followed window shows it.
int FindEntryShowing(const ShellTable* table, const char16_t* path);
// The entry whose tab window is `window`, else the first whose top-level window is; -1.
int FindEntryOfWindow(const ShellTable* table, const void* window);

// What the table says of a window and a path: kUnknownWindow when no entry has that tab
// window, else whether it shows the path.
enum { kUnknownWindow = -1, kShowsOther = 0, kShowsPath = 1 };
int WindowShowsPath(const ShellTable* table, const void* window, const char16_t* path);

// --- One navigation, two reporters ----------------------------------------------------

// Where a captured path came from.
enum {
    kFromHook = 1,     // the address-bar hook (an Edit's WM_SETTEXT)
    kFromWatcher = 2,  // the shell-window watcher (a browser's NavigateComplete2)
};

enum {
    kRecentReports = 8,        // reports remembered, of any windows
    kSameNavigationMs = 3000,  // how far apart two reports of one navigation can arrive
};

struct RecentReport {
    void* root;     // the top-level window of the report; null when the slot is unused
    PathSlot path;
    unsigned tick;  // milliseconds, a wrapping clock
    int source;     // kFromHook or kFromWatcher
};

struct ReportLog {
    RecentReport reports[kRecentReports];
    int next;
};

// 1 when a report repeats one that the other reporter made of the same top-level window
// and path within kSameNavigationMs: the same navigation, seen twice, which is then
// dropped (and not remembered). Otherwise remembers the report and returns 0. Two
// reports of one source are always two navigations (the user went there again).
int IsRepeatedReport(ReportLog* log, void* root, const char16_t* path, int source, unsigned now);
