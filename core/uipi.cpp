// Messages from programs of lower integrity: see uipi.h.
#include <windows.h>

#include "uipi.h"

#include "protocol.h"
#include "trailkeep.h"

// MSGFLT_ALLOW of ChangeWindowMessageFilterEx and MSGFLT_ADD of ChangeWindowMessageFilter.
enum { kFilterAllow = 1 };

// A function of user32 by name, as the generic function type that any other converts from.
static void (*UserFunction(const char* name))(void)
{
    HMODULE user = GetModuleHandleA("user32.dll");
    return user != nullptr ? reinterpret_cast<void (*)(void)>(GetProcAddress(user, name))
                           : nullptr;
}

MessageFilter FindMessageFilter(void)
{
    MessageFilter filter;
    filter.forWindow = reinterpret_cast<FilterWindowFn>(UserFunction("ChangeWindowMessageFilterEx"));
    filter.forProcess = reinterpret_cast<FilterProcessFn>(UserFunction("ChangeWindowMessageFilter"));
    return filter;
}

int AllowFromLowerIntegrity(const MessageFilter& filter, HWND window, const UINT* messages,
                            int count)
{
    int allowed = 0;
    for (int i = 0; i < count; ++i) {
        if (messages[i] == 0)
            continue;  // a registered message that could not be had
        // The window's own filter where Windows has one (7 and later); Vista's filter
        // is the whole process's, which lets the message reach every window of it.
        BOOL done = FALSE;
        if (filter.forWindow != nullptr && window != nullptr)
            done = filter.forWindow(window, messages[i], kFilterAllow, nullptr);
        else if (filter.forProcess != nullptr)
            done = filter.forProcess(messages[i], kFilterAllow);
        allowed += done ? 1 : 0;
    }
    return allowed;
}

// The watcher's window: a hidden top-level window of this process, of the watcher's class.
static HWND FindWatcherWindow(void)
{
    const DWORD self = GetCurrentProcessId();
    HWND wnd = nullptr;
    while ((wnd = FindWindowExA(nullptr, wnd, "TrailkeeperShellWatch", nullptr)) != nullptr) {
        DWORD owner = 0;
        GetWindowThreadProcessId(wnd, &owner);
        if (owner == self)
            return wnd;
    }
    return nullptr;
}

void AllowProtocolMessages(const MessageFilter& filter)
{
    // The title handoff is a WM_SETTEXT sent from Explorer's process, then a posted notice.
    const UINT kMainMessages[] = {WM_TK_TRAY, WM_SETTEXT, WM_TK_CAPTURED};
    AllowFromLowerIntegrity(filter, gMainWnd, kMainMessages,
                            static_cast<int>(sizeof kMainMessages / sizeof kMainMessages[0]));
    const UINT kWatcherMessages[] = {RegisterWindowMessageA("TaskbarCreated")};
    HWND watcher = FindWatcherWindow();
    if (watcher != nullptr || filter.forWindow == nullptr)
        AllowFromLowerIntegrity(filter, watcher, kWatcherMessages, 1);
}
