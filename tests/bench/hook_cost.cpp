// Hook cost: calls the address-bar hook procedure in a loop under callgrind, which
// counts the instructions of each variant between its collection toggles and writes
// one dump per variant, named by the variant. Run by run-bench.sh as
//   valgrind --tool=callgrind --collect-atstart=no ... wine tk_bench_hook.exe CALLS
#include <windows.h>

#include <callgrind.h>  // valgrind's client requests (Debian: /usr/include/valgrind)

#include <cstdio>
#include <cstdlib>

HOOKPROC BenchAddressBarHook(void);  // hook_under_test.cpp

namespace {

// What a hook costs at the least: it hands every call on and does nothing else.
LRESULT CALLBACK PassThroughProc(int code, WPARAM wParam, LPARAM lParam)
{
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Calls `proc` as the system calls a WH_CALLWNDPROC hook, `calls` times, counting only
// the loop; the counts go to a dump named `name`.
void Measure(const char* name, HOOKPROC proc, const CWPSTRUCT& message, int calls)
{
    HOOKPROC volatile target = proc;  // called through memory: nothing is inlined
    LRESULT sink = target(HC_ACTION, 0, reinterpret_cast<LPARAM>(&message));  // warm-up
    CALLGRIND_TOGGLE_COLLECT;
    for (int i = 0; i < calls; ++i)
        sink += target(HC_ACTION, 0, reinterpret_cast<LPARAM>(&message));
    CALLGRIND_TOGGLE_COLLECT;
    CALLGRIND_DUMP_STATS_AT(name);
    std::printf("%s: %d calls (result sum %ld)\n", name, calls, static_cast<long>(sink));
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv)
{
    const int calls = argc > 1 ? std::atoi(argv[1]) : 10000;
    // A window of a class other than "Edit", as most windows that are sent WM_SETTEXT are.
    HWND target = CreateWindowExA(0, "Static", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    if (target == nullptr) {
        std::printf("no window to send to\n");
        return 1;
    }
    static char text[] = "C:\\Windows";
    const CWPSTRUCT other = {0, 0, WM_GETTEXT, target};
    const CWPSTRUCT settext = {reinterpret_cast<LPARAM>(text), 0, WM_SETTEXT, target};

    Measure("pass-through", PassThroughProc, other, calls);
    Measure("hook-other-message", BenchAddressBarHook(), other, calls);
    Measure("hook-settext-not-edit", BenchAddressBarHook(), settext, calls);
    DestroyWindow(target);
    return 0;
}
