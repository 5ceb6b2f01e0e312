// Hook cost: calls the address-bar hook procedure in a loop under callgrind, which
// counts the instructions of each variant between its collection toggles and writes
// one dump per variant, named by the variant. Run by run-bench.sh as
//   valgrind --tool=callgrind --collect-atstart=no ... wine tk_bench_hook.exe CALLS
#include <windows.h>

#include <callgrind.h>  // valgrind's client requests (Debian: /usr/include/valgrind)

#if defined(_WIN64)
// valgrind.h builds its request block from unsigned long, which is 32 bits on 64-bit
// Windows, while valgrind reads it as 64-bit words: a pointer argument would be cut. The
// same request with a block of 64-bit words.
static unsigned long long ClientRequest(unsigned long long request, unsigned long long arg)
{
    volatile unsigned long long block[6] = {request, arg, 0, 0, 0, 0};
    unsigned long long result = 0;
    __asm__ volatile("rolq $3,  %%rdi ; rolq $13, %%rdi\n\t"
                     "rolq $61, %%rdi ; rolq $51, %%rdi\n\t"
                     "xchgq %%rbx,%%rbx"
                     : "=d"(result)
                     : "a"(&block[0]), "0"(result)
                     : "cc", "memory");
    return result;
}
#define BENCH_TOGGLE_COLLECT() ClientRequest(VG_USERREQ__TOGGLE_COLLECT, 0)
#define BENCH_DUMP_STATS_AT(name) \
    ClientRequest(VG_USERREQ__DUMP_STATS_AT, reinterpret_cast<unsigned long long>(name))
#else
#define BENCH_TOGGLE_COLLECT() CALLGRIND_TOGGLE_COLLECT
#define BENCH_DUMP_STATS_AT(name) CALLGRIND_DUMP_STATS_AT(name)
#endif

#include <cstdio>
#include <cstdlib>

HOOKPROC AddressBarHookUnderTest(void);  // hook_under_test.cpp

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
    BENCH_TOGGLE_COLLECT();
    for (int i = 0; i < calls; ++i)
        sink += target(HC_ACTION, 0, reinterpret_cast<LPARAM>(&message));
    BENCH_TOGGLE_COLLECT();
    BENCH_DUMP_STATS_AT(name);
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
    Measure("hook-other-message", AddressBarHookUnderTest(), other, calls);
    Measure("hook-settext-not-edit", AddressBarHookUnderTest(), settext, calls);
    DestroyWindow(target);
    return 0;
}
