// Messages from programs of lower integrity: which windows let which messages through, and
// by which of Windows' filter functions. Wine has no integrity levels (its filter functions
// only say yes), so the calls are recorded by stand-ins; the real look-up is run too.
#include <gtest/gtest.h>

#include <vector>

#include "core/protocol.h"
#include "core/trailkeep.h"
#include "core/uipi.h"

namespace {

struct Allowed {
    HWND window;  // null: for the whole process
    UINT message;
    DWORD action;
    bool operator==(const Allowed& o) const
    {
        return window == o.window && message == o.message && action == o.action;
    }
};
std::vector<Allowed> gCalls;

BOOL WINAPI ForWindow(HWND window, UINT message, DWORD action, void*)
{
    gCalls.push_back({window, message, action});
    return TRUE;
}

BOOL WINAPI ForProcess(UINT message, DWORD flag)
{
    gCalls.push_back({nullptr, message, flag});
    return TRUE;
}

HWND MakeWindow(const char* cls)
{
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = cls;
    RegisterClassA(&wc);
    return CreateWindowExA(0, cls, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, wc.hInstance,
                           nullptr);
}

// Each Windows: 7 and later (both functions), Vista (the process-wide one), XP (none).
TEST(LowerIntegrity, TheMainWindowAndTheWatchersWindowHearTheOthers)
{
    gMainWnd = MakeWindow("lower integrity main");
    HWND watcher = MakeWindow("TrailkeeperShellWatch");
    ASSERT_NE(gMainWnd, nullptr);
    ASSERT_NE(watcher, nullptr);
    const UINT taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    const struct {
        MessageFilter filter;
        std::vector<Allowed> expected;
    } kCases[] = {
        {{ForWindow, ForProcess},
         {{gMainWnd, WM_TK_TRAY, 1}, {gMainWnd, WM_SETTEXT, 1}, {gMainWnd, WM_TK_CAPTURED, 1},
          {watcher, taskbarCreated, 1}}},
        {{nullptr, ForProcess},
         {{nullptr, WM_TK_TRAY, 1}, {nullptr, WM_SETTEXT, 1}, {nullptr, WM_TK_CAPTURED, 1},
          {nullptr, taskbarCreated, 1}}},
        {{nullptr, nullptr}, {}},
    };
    for (const auto& c : kCases) {
        gCalls.clear();
        AllowProtocolMessages(c.filter);
        EXPECT_EQ(gCalls, c.expected) << "with " << c.expected.size() << " expected";
    }
    DestroyWindow(watcher);
    DestroyWindow(gMainWnd);
    gMainWnd = nullptr;
}

// Wine, like Windows 7 and later, has the window's own filter; its functions are found
// and called without failing.
TEST(LowerIntegrity, FilterFunctionsAreFoundAtRunTime)
{
    const MessageFilter filter = FindMessageFilter();
    EXPECT_NE(filter.forWindow, nullptr);
    EXPECT_NE(filter.forProcess, nullptr);
    HWND wnd = MakeWindow("lower integrity real");
    ASSERT_NE(wnd, nullptr);
    const UINT messages[] = {WM_TK_TRAY, 0};  // 0: a registered message not had
    EXPECT_EQ(AllowFromLowerIntegrity(filter, wnd, messages, 2), 1);
    DestroyWindow(wnd);
}

}  // namespace
