// Opening folders: an Explorer window that already shows the folder is brought forward;
// otherwise Explorer is started on it.
#include <windows.h>

#include "openfolder.h"

#include "commandline.h"
#include "../core/paths.h"
#include "../core/peers.h"
#include "../core/settings.h"
#include "../core/shellwatch.h"
#include "../core/wide.h"

static HWND gFoundWindow;  // the match of the last enumeration; cleared before each
static DWORD gHungThread;  // a thread that did not answer in it: its windows are passed over

BOOL CALLBACK MatchChildText(HWND wnd, LPARAM path)
{
    const DWORD thread = GetWindowThreadProcessId(wnd, nullptr);
    if (thread == gHungThread)
        return TRUE;
    PathSlot text;
    if (!ReadWindowText(wnd, text)) {
        // A hung Explorer would cost the wait once for each of its windows.
        gHungThread = thread;
        return TRUE;
    }
    if (!SamePath(text, reinterpret_cast<const char16_t*>(path)))
        return TRUE;
    gFoundWindow = wnd;
    return FALSE;
}

BOOL CALLBACK FindExplorerByText(HWND wnd, LPARAM path)
{
    char cls[20];
    cls[0] = '\0';
    RealGetWindowClassA(wnd, cls, sizeof cls);
    // A window the watcher follows has been answered for by the shell's list: a text
    // inside it may be a tab in the background, and that window would come forward on
    // another folder.
    if (!IsExplorerClass(cls) || ShellWindowFollowed(wnd))
        return TRUE;
    EnumChildWindows(wnd, MatchChildText, path);
    return gFoundWindow == nullptr;
}

void BringFolderWindowForward(HWND tab)
{
    HWND root = GetAncestor(tab, GA_ROOT);
    if (IsIconic(root))
        ShowWindow(root, SW_RESTORE);
    SetForegroundWindow(root);
}

// A folder window or tab that the shell's window list knows to show the folder; its
// top-level window comes forward, restored if minimised. On Vista and later the titles
// and texts of folder windows are display names, so the search below finds none there.
static HWND FindListedFolder(const char16_t* path)
{
    HWND shown = FindShellWindowShowing(path);
    if (shown != nullptr)
        BringFolderWindowForward(shown);
    return shown;
}

// An Explorer window whose title or one of whose descendants' text is the path.
static HWND FindOpenFolder(const char16_t* path)
{
    HWND listed = FindListedFolder(path);
    if (listed != nullptr)
        return listed;
    static const wchar_t* const kClasses[] = {L"CabinetWClass", L"ExploreWClass"};
    for (const wchar_t* cls : kClasses) {
        HWND wnd = FindWindowW(cls, W(path));
        if (wnd != nullptr && !ShellWindowFollowed(wnd)) {
            SetForegroundWindow(wnd);
            return wnd;
        }
    }
    gFoundWindow = nullptr;
    gHungThread = 0;
    EnumWindows(FindExplorerByText, reinterpret_cast<LPARAM>(path));
    if (gFoundWindow != nullptr)
        SetForegroundWindow(GetAncestor(gFoundWindow, GA_ROOT));
    return gFoundWindow;
}

HWND OpenFolder(const char16_t* path)
{
    if (OpenExistFolder == 0) {
        HWND shown = FindOpenFolder(path);
        if (shown != nullptr)
            return shown;
        // Shown only by a tab in the background: Explorer opens it in a window of its own
        // (an Explorer started on the folder might bring the tabbed window forward on its
        // other folder).
        if (OpenShellWindowAnew(path))
            return nullptr;
    }
    ULARGE_INTEGER available, total;
    if (!GetDiskFreeSpaceExW(W(path), &available, &total, nullptr)) {
        MessageBoxA(nullptr, "開けません", nullptr, MB_OK);
        return nullptr;
    }
    char16_t command[kCommandLineSize];
    FormatExplorerCommand(command, OpenMode, path);
    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    ZeroMemory(&process, sizeof process);
    const DWORD flags = CREATE_DEFAULT_ERROR_MODE | CREATE_NEW_PROCESS_GROUP |
                        NORMAL_PRIORITY_CLASS | CREATE_NEW_CONSOLE;
    // In UTF-16 throughout, the working directory too: a folder the ANSI code page cannot
    // spell is opened as itself.
    if (CreateProcessW(nullptr, W(command), nullptr, nullptr, FALSE, flags, nullptr, W(path),
                       &startup, &process)) {
        // Explorer runs on by itself; nothing of it is used here.
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    return nullptr;
}
