// Capture and recording: accepting captured paths on the main thread, the pending
// slots that hold them for LogDelay, and the recorder thread that files them.
#include <windows.h>

#include "capture.h"

#include "../hooklib/pathtest.h"
#include "history.h"
#include "peers.h"
#include "protocol.h"
#include "settings.h"
#include "shellnav.h"
#include "shellwatch.h"
#include "trailkeep.h"
#include "wide.h"

PathSlot gCapturedPath;
PendingSlot gPending[kPendingSlots];
int gNextPending;

enum { kHandoffWaitMs = 1000 };

static ReportLog gReports;           // recent reports of the hook and the watcher
static HANDLE gRecorderReady;        // set once the recorder thread owns a message queue
static volatile LONG gRecorderStop;  // set under the history lock at shut-down

int IsRegisteredFolder(const char16_t* path)
{
    return IsRegisteredIn(gRegistered, path);
}

int GetDriveClass(const char16_t* path)
{
    // A UNC path names a share on a server: a network folder. Its first three characters
    // are no root the platform could classify, and an unknown class would make the
    // removable-media filter refuse every UNC path even where network folders are wanted.
    if (IsUncPath(path))
        return kDriveRemote;
    // The root of a drive-form path is its first three characters ("C:\").
    wchar_t root[4];
    int i = 0;
    for (; i < 3 && path[i] != u'\0'; ++i)
        root[i] = path[i];
    root[i] = L'\0';
    return DriveClassFromType(GetDriveTypeW(root));
}

static int WindowExists(HWND wnd)
{
    WINDOWINFO info;
    info.cbSize = sizeof info;
    return wnd != nullptr && GetWindowInfo(wnd, &info);
}

// Reader side of the title handoff: takes the text out of the main window's title and
// puts the title back, whether or not the capture is wanted. The title is how every other
// program finds Trailkeep; left holding a path, it would hide the window from a second
// start, the launcher and newly started processes' hooks.
//
// Returns 1 when `keep` and the title held a path, which is then in the captured-path
// buffer. A title without a handed-over path (the reset title after two quick handoffs,
// or a text some other program set) never reaches the history, and the buffer keeps
// what it had.
static int TakeHandoffTitle(int keep)
{
    // The main window is a Unicode window: its title holds the path in UTF-16 as the hook
    // handed it over (an older hook's ANSI text is converted with the code page on the way
    // in, exactly).
    PathSlot title;
    // The main thread owns the handoff mutex from start-up on, so the wait ends at once.
    // It is bounded all the same: a thread that does not own it must never hang here.
    const DWORD waited = gHandoffMutex != nullptr
                             ? WaitForSingleObject(gHandoffMutex, kHandoffWaitMs)
                             : WAIT_FAILED;
    title[0] = u'\0';
    GetWindowTextW(gMainWnd, W(title), kPathSize);
    const int taken = keep && IsPathText(title);
    if (taken) {
        EnterCriticalSection(&gHistoryLock);
        CopyPath(gCapturedPath, title);
        LeaveCriticalSection(&gHistoryLock);
    }
    SetWindowTextW(gMainWnd, L"" TK_MAIN_TITLE);
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED)
        ReleaseMutex(gHandoffMutex);
    return taken;
}

// A rejected capture: an audible hint for whoever debugs the filters.
static void Reject(void)
{
    if (DebugBeep != 0)
        MessageBeep(MB_ICONEXCLAMATION);
}

static void ParkCapturedPath(HWND wnd)
{
    unsigned cancelled = 0;
    const int slot = ParkPending(gPending, &gNextPending, wnd, gCapturedPath,
                                 ScaleSaturated(LogDelay, 1000), &cancelled);
    for (int i = 0; i < kPendingSlots; ++i) {
        if (cancelled & (1u << i))
            KillTimer(gMainWnd, TIMER_PENDING_BASE + i);
    }
    SetTimer(gMainWnd, TIMER_PENDING_BASE + slot, 200, nullptr);
}

// Filters, then the recorder at once or a pending slot: every captured path that is
// wanted takes this road, whoever reported it. The path is in the captured-path buffer.
static void AcceptCapturedPath(HWND wnd)
{
    // Capture filters. Only the main thread writes the captured path, so it reads it
    // here without the lock.
    if (LogTourokuData == 0 && IsRegisteredFolder(gCapturedPath))
        return;
    // The drive's class is asked once: the system may have to ask a driver for it.
    const int drive =
        LogRemovable == 0 || LogNetwork == 0 ? GetDriveClass(gCapturedPath) : kDriveFixed;
    if ((LogRemovable == 0 && drive >= kDriveRemovable) ||
        (LogNetwork == 0 && drive == kDriveRemote)) {
        Reject();
        return;
    }

    if (LogDelay == 0)
        PostThreadMessageA(gRecorderThreadId, WM_TK_CAPTURED, 0, 0);
    else
        ParkCapturedPath(wnd);
}

// 1 when Trailkeep takes captures now and the window that shows the path still exists.
static int CaptureWanted(HWND wnd)
{
    // Until start-up has finished there is no recorder and the lock may not exist yet
    // (a start-up failure box runs a modal loop): such early captures are dropped, as
    // are captures while busy and those whose window has gone.
    return gStartStage == kStartComplete && !gBusy && WindowExists(wnd) &&
           WindowExists(GetAncestor(wnd, GA_ROOT));
}

// One navigation that both the hook and the watcher report is recorded once.
static int RepeatsOtherReport(HWND wnd, int source)
{
    return IsRepeatedReport(&gReports, GetAncestor(wnd, GA_ROOT), gCapturedPath, source,
                            GetTickCount());
}

void OnCaptured(WPARAM wParam, LPARAM lParam)
{
    // The hook may post from a process of the other bitness. Window handles are 32-bit
    // significant on 64-bit Windows, so the handle survives the 32-bit lParam of a
    // 32-bit sender exactly.
    HWND wnd = reinterpret_cast<HWND>(lParam);
    const int wanted = CaptureWanted(wnd);
    if (wParam == TK_HANDOFF_TAG) {
        if (!TakeHandoffTitle(wanted) || RepeatsOtherReport(wnd, kFromHook))
            return;
    } else if (!wanted) {
        return;
    }
    AcceptCapturedPath(wnd);
}

void OnShellNavigation(void)
{
    HWND wnd = nullptr;
    PathSlot path;
    // One navigation a message: the watcher posts one for each it reports, and the
    // recorder takes each path from the captured-path buffer before the next is written.
    if (!TakeShellNavigation(&wnd, path) || !CaptureWanted(wnd))
        return;
    EnterCriticalSection(&gHistoryLock);
    CopyPath(gCapturedPath, path);
    LeaveCriticalSection(&gHistoryLock);
    if (RepeatsOtherReport(wnd, kFromWatcher))
        return;
    AcceptCapturedPath(wnd);
}

// Whether a parked path's window still shows it when its delay has run out: by what the
// watcher knows of a folder tab, else by the window's text, else, for a folder window
// found through the shell's list, by asking the list again.
static int StillShows(HWND wnd, const char16_t* path)
{
    const int known = ShellWindowShows(wnd, path);
    if (known != kUnknownWindow)
        return known == kShowsPath;
    PathSlot text;
    ReadWindowText(wnd, text);
    if (SamePath(text, path))
        return 1;
    return GetAncestor(wnd, GA_ROOT) == wnd && FindShellWindowShowing(path) == wnd;
}

void OnPendingTick(int slot)
{
    if (slot < 0 || slot >= kPendingSlots)
        return;
    PendingSlot* pending = &gPending[slot];
    if (!TickPending(pending, gBusy))
        return;
    KillTimer(gMainWnd, TIMER_PENDING_BASE + slot);
    HWND wnd = static_cast<HWND>(pending->window);
    if (WindowExists(wnd)) {
        if (StillShows(wnd, pending->path)) {
            EnterCriticalSection(&gHistoryLock);
            CopyPath(gCapturedPath, pending->path);
            LeaveCriticalSection(&gHistoryLock);
            PostThreadMessageA(gRecorderThreadId, WM_TK_CAPTURED, 0, 0);
        }
    }
    ClearPending(pending);
}

// The recorder thread: records the captured path at the front of the history and
// saves the history, all under the history lock.
static DWORD WINAPI RecorderThreadProc(LPVOID)
{
    MSG msg;
    // Any message call gives the thread its queue; only then may paths be posted.
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
    SetEvent(gRecorderReady);
    for (;;) {
        const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (gRecorderStop)
            break;
        if (got <= 0 || msg.message != WM_TK_CAPTURED)
            continue;
        EnterCriticalSection(&gHistoryLock);
        if (gRecorderStop) {
            LeaveCriticalSection(&gHistoryLock);
            break;
        }
        RecordPath(gHistory, MaxLogData, gCapturedPath);
        SaveHistory();
        if (DebugBeep != 0)
            MessageBeep(0xFFFFFFFF);
        LeaveCriticalSection(&gHistoryLock);
    }
    return 0;
}

void StartRecorder(void)
{
    gRecorderStop = 0;
    gRecorderReady = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    gRecorderThread = CreateThread(nullptr, 0, RecorderThreadProc, gMainWnd, 0,
                                   &gRecorderThreadId);
    if (gRecorderThread != nullptr && gRecorderReady != nullptr)
        WaitForSingleObject(gRecorderReady, INFINITE);
    if (gRecorderReady != nullptr)
        CloseHandle(gRecorderReady);
    gRecorderReady = nullptr;
}

void StopRecorder(void)
{
    if (gRecorderThread == nullptr)
        return;
    // Set under the lock: a recording under way finishes first, and one that has not
    // begun sees the flag once it holds the lock, so nothing records after this.
    EnterCriticalSection(&gHistoryLock);
    gRecorderStop = 1;
    LeaveCriticalSection(&gHistoryLock);
    PostThreadMessageA(gRecorderThreadId, WM_NULL, 0, 0);
    WaitForSingleObject(gRecorderThread, INFINITE);
    CloseHandle(gRecorderThread);
    gRecorderThread = nullptr;
}
