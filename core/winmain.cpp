// Trailkeep's entry: one instance per desktop, a hidden main window, a message loop.
#include <windows.h>

#include "mainlookup.h"
#include "protocol.h"
#include "trailkeep.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR, int)
{
    // One Trailkeep a desktop, of either bitness.
    if (FindMainWindow() != nullptr)
        return 0;
    gInstance = instance;
    gMainThreadId = GetCurrentThreadId();
    if (previous == nullptr && RegisterMainClass() == 0)
        return 0;
    gMainWnd = CreateMainWindow();
    if (gMainWnd == nullptr)
        return 0;
    MSG msg;
    msg.wParam = 0;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
}
