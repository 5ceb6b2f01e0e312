// Trailmenu: asks the running Trailkeep to pop its folder menu up at the cursor.
// A one-shot program without a C runtime: its own entry point, ending with ExitProcess.
#include <windows.h>

#include "../core/mainlookup.h"
#include "../core/protocol.h"

extern "C" void WINAPI TrailmenuEntry(void)
{
    HWND main = FindMainWindow();
    if (main == nullptr)
        ExitProcess(0);
    // Trailkeep must own the foreground for its menu to close when the user clicks away;
    // this program may hand the foreground on, being the one the user just started.
    SetForegroundWindow(main);
    PostMessageA(main, WM_TK_TRAY, TK_ICON_ID, TK_ICON_ID);
    ExitProcess(1);
}
