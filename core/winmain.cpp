// Trailkeep's entry: one instance per desktop, a hidden main window, a message loop.
// The program runs without the C runtime's start-up (its own entry point, ending with
// ExitProcess), as Trailmenu does: it takes no arguments, constructs no static objects,
// uses no thread-local storage and registers nothing to run at exit, so the start-up's
// work (arguments, environment, atexit) would be dead weight in a program resident all
// day. The few string functions the compiler emits calls to come from msvcrt.dll.
#include <windows.h>

#include "mainlookup.h"
#include "protocol.h"
#include "trailkeep.h"

static int RunTrailkeep()
{
    // One Trailkeep a desktop, of either bitness.
    if (FindMainWindow() != nullptr)
        return 0;
    gInstance = GetModuleHandleA(nullptr);
    gMainThreadId = GetCurrentThreadId();
    if (RegisterMainClass() == 0)
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

// Constructors of static objects: the program has none, by its style. Should one come in,
// it runs here as the C runtime's start-up ran it: the linker lists them between a -1 and
// a null, to be called last first.
extern "C" void (*__CTOR_LIST__[])(void);
static void RunStaticConstructors()
{
    int count = 0;
    while (__CTOR_LIST__[count + 1] != nullptr)
        ++count;
    for (; count > 0; --count)
        __CTOR_LIST__[count]();
}

// Windows enters a 32-bit program with its stack aligned to 4 bytes only, and GCC's code
// assumes 16: the entry realigns it, as the C runtime's start-up did.
extern "C" __attribute__((force_align_arg_pointer)) void WINAPI TrailkeepEntry(void)
{
    RunStaticConstructors();
    ExitProcess(static_cast<UINT>(RunTrailkeep()));
}
