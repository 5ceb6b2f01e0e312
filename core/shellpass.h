// The shell-window watcher's decisions, as data: what a call's outcome means, how long
// to wait before trying the shell again, what a pass over the shell's window list keeps,
// drops and reports, which tab of a window is the one in front. Platform-free: the COM
// calls are carried out in shellwatch.cpp, which asks these functions what to do.
#pragma once
#include "shellnav.h"

enum {
    kFirstRetryMs = 3000,     // the first wait before connecting to the list again
    kLongestRetryMs = 60000,  // the interval grows to this, then stays
    kRefusedForMs = 2000,     // how long a call that a busy shell refuses is tried again
    kRefusedPauseMs = 100,    // the pause between two tries
    kHungCallMs = 1000,       // a call unanswered this long is cancelled: the window hangs
};

// What follows a call to the shell, by its result. The codes are COM's HRESULTs, given
// as numbers here; which of them mean a server that has gone is observed, not documented.
enum CallOutcome {
    kCallDone,     // it succeeded
    kCallRefused,  // the shell was busy and refused it (RPC_E_CALL_REJECTED, _RETRYLATER)
    kCallHung,     // it was cancelled after kHungCallMs (RPC_E_CALL_CANCELED)
    kCallGone,     // the object's server has gone (RPC_E_DISCONNECTED and its kin)
    kCallFailed,   // any other failure: the object answered no
};
int ClassifyCall(long result);

// What the watcher does next after a call, by its outcome, whose call it was (the list's
// own, or one made to a window) and how long it has been tried.
enum CallStep {
    kGoOn,         // the call succeeded
    kTryAgain,     // a refused call, within kRefusedForMs: after kRefusedPauseMs
    kSkipWindow,   // this window is passed over for now; the rest goes on
    kDropWindow,   // this window is no longer followed; the rest goes on
    kPassBroken,   // the list's own call failed: this pass ends, dropping nothing
    kStartOver,    // the list itself has gone: connect again later
};
int StepAfterCall(long result, int listsOwnCall, unsigned elapsedMs);

// The pause before a rejected call is retried, as IMessageFilter::RetryRejectedCall
// answers it: -1 cancels the call (refused for kRefusedForMs).
long RefusedCallPause(unsigned elapsedMs);
// Whether a call still waiting for its answer after `elapsedMs` is to be cancelled
// (IMessageFilter::MessagePending).
int CallOverdue(unsigned elapsedMs);

// The wait before the next try to connect to the list, after `failures` tries in a row
// have failed (1 after the first): doubling from kFirstRetryMs up to kLongestRetryMs.
unsigned RetryDelayMs(int failures);

// --- A pass over the list -------------------------------------------------------------
// The list is read as a snapshot first, then each item is taken in turn. A followed
// entry the snapshot does not hold goes only when the pass went through to its end and
// no list event came meanwhile: a window revoked or registered during the pass may make
// the snapshot disagree with the list, and the next pass (one follows each event) says.

// The followed entry of an item of the snapshot, marked as seen; -1 for an item that is
// not followed yet.
int MarkSeen(ShellTable* table, const void* identity);
// The entries to drop after a pass: those it did not see, written to `drops`
// (kShellEntries of room), when the pass went through to its end and the count of list
// events did not change meanwhile; otherwise none. Returns how many.
int StaleEntriesToDrop(const ShellTable* table, int passCompleted, unsigned listEventsAtStart,
                       unsigned listEventsAtEnd, int* drops);

// Windows that were followed and then dropped: found again, they are followed, but
// what they show is no visit.
enum { kForgottenWindows = 16 };
struct ForgottenWindows {
    void* windows[kForgottenWindows];
    int next;
};
void ForgetWindow(ForgottenWindows* forgotten, void* window);
int WasFollowed(const ForgottenWindows* forgotten, const void* window);

// Whether the folder of a window newly followed is reported as a visit: only for a
// window that opened since the watcher connected (not in the first, quiet pass after a
// connection), never for one followed before, not when its own navigation event has
// already reported it, and only when the navigation counts as the user's.
int ReportsFirstFolder(int quietPass, int followedBefore, int sawEvent, int counts);

// --- Tabs -------------------------------------------------------------------------------
// A top-level window's children in z-order, topmost first, as far as the tab question
// goes. The tab in front is the first visible child of the tab class in z-order:
// Windows keeps inactive tabs' windows below the active one, and may leave them visible.
struct ChildWindow {
    void* window;
    int isTab;    // of the tab window class ("ShellTabWindowClass")
    int visible;
};
// The tab in front, or null when the window has no tab windows (one view, older Windows).
void* TabInFront(const ChildWindow* children, int count);
// Whether a followed entry's tab is the one in front. A window without tab windows, or
// an entry that names no tab of its own (its window is the top-level one), counts as in
// front.
int EntryInFront(const void* tab, const void* root, const void* front);

// The entry to bring forward for `path`: the first that shows it in front
// (`inFront[i]` for entry i); -1 when only tabs in the background show it, or none.
int FindEntryInFront(const ShellTable* table, const char16_t* path, const unsigned char* inFront);

// Whether a path given as text to a browser could be read as a URL ("#" starts a
// fragment, "%" an escape): such a path goes only as an ID list.
int PathReadsAsUrl(const char16_t* path);
