// Start-up and shut-down of the main window, the settings command, and the periodic
// vanished-folder purge.
#include <windows.h>

#include "capture.h"
#include "history.h"
#include "maintenance.h"
#include "protocol.h"
#include "settings.h"
#include "shellwatch.h"
#include "trailkeep.h"
#include "uipi.h"
#include "../dialogs/dialogs.h"
#include "../hooklib/trailhook.h"
#include "../menus/menus.h"

static void ShowStartupError(const char* text)
{
    MessageBoxA(gMainWnd, text, "Trailkeep.exe", MB_OK);
}

static int PurgeTimerWanted(void)
{
    return DeletedFolder != 0 && DeletedFolderTime != 0;
}

void StartPurgeTimer(void)
{
    gPurgeCountdown = ScaleSaturated(DeletedFolderTime, 60000);
    SetTimer(gMainWnd, TIMER_PURGE, 1000, nullptr);
}

LRESULT OnCreate(HWND wnd)
{
    gMainWnd = wnd;
    gHookInstalled = sethook();
    if (gHookInstalled == 0) {
        ShowStartupError("DLL Load Error");
        SendMessageA(wnd, WM_CLOSE, 0, 0);
        return 0;
    }
    gStartStage = kStartHooked;

    InitializeCriticalSection(&gHistoryLock);
    LoadSettings();
    gStartStage = kStartLoaded;

    gHandoffMutex = OpenMutexA(MUTEX_ALL_ACCESS, TRUE, TK_HANDOFF_MUTEX);
    if (gHandoffMutex == nullptr) {
        char text[64];
        wsprintfA(text, "Mutex Error : Code=%d", static_cast<int>(GetLastError()));
        ShowStartupError(text);
        SendMessageA(wnd, WM_CLOSE, 0, 0);
        return 0;
    }

    AddTrayIcon();
    StartRecorder();
    StartShellWatcher();
    // Run as administrator, Trailkeep still hears Explorer, Trailhook and Trailmenu.
    AllowProtocolMessages(FindMessageFilter());

    // Filter purges, the vanished-folder purge and the cap. Nothing is saved here:
    // the file keeps the old entries until the next history save.
    RunHistoryMaintenance();
    if (PurgeTimerWanted())
        StartPurgeTimer();

    gStartStage = kStartComplete;
    return 0;
}

// Saves the settings, the registered folders and the history. Once the settings file has
// been read, the settings and lists in memory are the user's and are saved. Before that
// (sethook failed) they are not, and the file is left as it was.
static void SaveEverything(void)
{
    if (gStartStage < kStartLoaded)
        return;
    EnterCriticalSection(&gHistoryLock);
    SaveSettings();
    SaveHistory();
    LeaveCriticalSection(&gHistoryLock);
}

LRESULT OnClose(HWND wnd)
{
    // A close that arrives inside another handler (sent by another program while a menu,
    // a dialog or a wait on another program's window is under way) would pull the lock,
    // the recorder and the window from under that handler. It waits until the handlers
    // have returned; an open menu is ended so that the wait is short.
    if (gDispatchDepth > 1) {
        gCloseDeferred = 1;
        EndMenu();
        return 0;
    }
    // A drag under way ends first: the marker leaves the screen and the taskbar is
    // enabled again.
    AbandonDrag();
    if (PurgeTimerWanted())
        KillTimer(wnd, TIMER_PURGE);
    for (int i = 0; i < kPendingSlots; ++i)
        KillTimer(wnd, TIMER_PENDING_BASE + i);

    if (gStartStage == kStartComplete) {
        // The watcher lets go of Explorer's windows, within a bounded time that runs
        // while the tray icon is taken away: both may wait on a hung Explorer.
        AskShellWatcherToStop();
        DeleteTrayIcon();
        StopShellWatcher();
        // The recorder ends before the lock goes; a recording under way is finished.
        StopRecorder();
    }
    if (gHandoffMutex != nullptr)
        CloseHandle(gHandoffMutex);
    gHandoffMutex = nullptr;
    SaveEverything();
    if (gStartStage >= kStartLoaded)
        DeleteCriticalSection(&gHistoryLock);
    gStartStage = kStartNone;

    if (gHookInstalled == 1)
        freehook();
    gHookInstalled = 0;
    DestroyWindow(wnd);
    return 0;
}

LRESULT OnQueryEndSession(void)
{
    // Nothing here ever asks the user: the session may end.
    return TRUE;
}

// Windows ends the process soon after this returns, without a WM_CLOSE: what the
// shut-down would save is saved now. It runs at once, also inside a menu or a dialog
// (their loops dispatch it), where a close would wait for them: the session does not wait.
// The main thread may hold the history lock around a menu; it takes it again.
void OnEndSession(WPARAM ending)
{
    if (!ending)
        return;
    AbandonDrag();
    if (gStartStage == kStartComplete)
        DeleteTrayIcon();
    SaveEverything();
}

void OnSettingsCommand(void)
{
    // One settings dialog at a time: a second one would end by releasing what the
    // first still holds.
    if (gStartStage != kStartComplete || (gBusy & kBusySettings) != 0)
        return;
    SetBusy(kBusySettings, 1);
    if (PurgeTimerWanted())
        KillTimer(gMainWnd, TIMER_PURGE);
    SetTrayCallback(0);
    // A close that arrives while the dialog is up waits for this handler to return.
    const INT_PTR result = ShowSettingsDialog(gMainWnd);
    if (result == kSettingsOk) {
        EnterCriticalSection(&gHistoryLock);
        RunHistoryMaintenance();
        SaveSettings();
        SaveHistory();
        LeaveCriticalSection(&gHistoryLock);
    }
    // After Cancel too, the countdown begins again from the full period.
    if (PurgeTimerWanted())
        StartPurgeTimer();
    SetTrayCallback(1);
    SetBusy(kBusySettings, 0);
}

void OnPurgeTick(void)
{
    if (gStartStage != kStartComplete)
        return;
    if (gBusy == 0)
        gPurgeCountdown -= 1000;
    if (gPurgeCountdown > 0)
        return;
    KillTimer(gMainWnd, TIMER_PURGE);
    EnterCriticalSection(&gHistoryLock);
    PurgeVanished();
    LeaveCriticalSection(&gHistoryLock);
    StartPurgeTimer();
}
