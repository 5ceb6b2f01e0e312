// The hidden main window: its class, the window, and the dispatch of the protocol.
#include <windows.h>

#include "capture.h"
#include "dpi.h"
#include "protocol.h"
#include "shellwatch.h"
#include "trailkeep.h"
#include "../menus/menus.h"

HINSTANCE gInstance;
DWORD gMainThreadId;
HWND gMainWnd;
int gBusy;
int gPurgeCountdown;
int gHookInstalled;
int gStartStage;
HANDLE gHandoffMutex;
HANDLE gRecorderThread;
DWORD gRecorderThreadId;
CRITICAL_SECTION gHistoryLock;
int gDispatchDepth;
int gCloseDeferred;

// Folder pickers up. Two can be open one over the other: the open-a-folder command's,
// reached from a launcher menu while the settings dialog is up, and the Add picker of the
// registered-folders dialog opened from that dialog meanwhile. The picker bit stays until
// the last of them has closed.
static int gPickersUp;

void SetBusy(int holder, int on)
{
    if (holder == kBusyPicker) {
        gPickersUp += on ? 1 : (gPickersUp > 0 ? -1 : 0);
        on = gPickersUp > 0;
    }
    if (on)
        gBusy |= holder;
    else
        gBusy &= ~holder;
}

ATOM RegisterMainClass(void)
{
    // A Unicode window: its title carries the hook's handoff in UTF-16, so that a folder
    // the ANSI code page cannot spell reaches Trailkeep unchanged.
    WNDCLASSW wc;
    ZeroMemory(&wc, sizeof wc);
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = MainWndProc;
    wc.hInstance = gInstance;
    wc.hIcon = LoadIconW(gInstance, MAKEINTRESOURCEW(400));
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = L"" TK_MAIN_CLASS;
    return RegisterClassW(&wc);
}

HWND CreateMainWindow(void)
{
    HWND wnd = CreateWindowExW(0, L"" TK_MAIN_CLASS, L"" TK_MAIN_TITLE, WS_OVERLAPPEDWINDOW, 100,
                               100, 200, 100, nullptr, nullptr, gInstance, nullptr);
    if (wnd != nullptr) {
        ShowWindow(wnd, SW_HIDE);
        UpdateWindow(wnd);
    }
    return wnd;
}

static LRESULT OnCommand(WPARAM wParam)
{
    const WORD id = LOWORD(wParam);
    switch (id) {
    case CMD_OPEN_FOLDER: OnOpenFolderCommand(); break;
    case CMD_SETTINGS: OnSettingsCommand(); break;
    case CMD_EXIT: SendMessageA(gMainWnd, WM_CLOSE, 0, 0); break;
    default: OnFolderCommand(id); break;
    }
    return 0;
}

static LRESULT OnTimer(WPARAM id)
{
    if (id == TIMER_PURGE)
        OnPurgeTick();
    else if (id == TIMER_TASKBAR_HOVER)
        OnTaskbarHoverTimer();
    else
        OnPendingTick(static_cast<int>(id) - TIMER_PENDING_BASE);
    return 0;
}

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

// Explorer's broadcast to the top-level windows when it has made a taskbar: it started
// (again), and has no notification-area icons yet.
static UINT gTaskbarCreatedMsg;

static LRESULT Dispatch(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    LookUpTaskbarOnce();
    if (gTaskbarCreatedMsg == 0)
        gTaskbarCreatedMsg = RegisterWindowMessageA("TaskbarCreated");
    if (msg == gTaskbarCreatedMsg) {
        RenewTrayIcon(DpiOfWindow(wnd), 1);
        return DefWindowProcA(wnd, msg, wParam, lParam);
    }
    switch (msg) {
    case WM_CREATE: return OnCreate(wnd);
    case WM_DESTROY: PostQuitMessage(0); return 0;
    case WM_CLOSE: return OnClose(wnd);
    case WM_QUERYENDSESSION: return OnQueryEndSession();
    case WM_ENDSESSION: OnEndSession(wParam); return 0;
    case WM_COMMAND: return OnCommand(wParam);
    case WM_TIMER: return OnTimer(wParam);
    case WM_ENTERMENULOOP: OnEnterMenuLoop(); return 0;
    case WM_EXITMENULOOP: OnExitMenuLoop(); return 0;
    case WM_TK_CAPTURED:
        OnCaptured(wParam, lParam);
        return DefWindowProcW(wnd, msg, wParam, lParam);
    case WM_TK_TRAY: OnTrayNotify(wParam, lParam); return 0;
    case WM_TK_DRAGHOVER: OnDragHover(); return 0;
    case WM_TK_DROP: OnDrop(); return 0;
    case WM_TK_SHELLNAV: OnShellNavigation(); return 0;
    // The scale of the main window's monitor changed (the primary one, where the
    // notification area is): the new scale is in the low word.
    case WM_DPICHANGED: RenewTrayIcon(LOWORD(wParam), 0); return 0;
    }
    return DefWindowProcW(wnd, msg, wParam, lParam);
}

// Every handler runs with a depth count. A handler that waits in a modal loop (a menu, a
// dialog, a message box) or on another program's window (SendMessageTimeout) lets other
// messages in meanwhile: those run one level deeper, while the outer handler is still
// on the stack with its state in hand.
LRESULT CALLBACK MainWndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    ++gDispatchDepth;
    const LRESULT result = Dispatch(wnd, msg, wParam, lParam);
    if (--gDispatchDepth == 0 && gCloseDeferred) {
        // A close that arrived while a handler was under way runs now that none is.
        gCloseDeferred = 0;
        PostMessageA(wnd, WM_CLOSE, 0, 0);
    }
    return result;
}
