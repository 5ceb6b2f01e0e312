// A drag whose release the menu mouse hook never saw: Windows removes a low-level hook
// that does not return in time, without a word. The hover message and the hover timer
// look at the button themselves; a stand-in taskbar shows what the drag leaves.
#include <gtest/gtest.h>

#include "testsupport.h"

#include "core/protocol.h"
#include "core/trailkeep.h"
#include "menus/dragstate.h"
#include "menus/menus.h"

using namespace tk;

namespace {

LRESULT CALLBACK MainProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_EXITMENULOOP) {
        OnExitMenuLoop();
        return 0;
    }
    return DefWindowProcA(wnd, msg, wParam, lParam);
}

HWND MakeWindow(const char* cls, HWND parent, DWORD style, RECT r)
{
    WNDCLASSA wc{};
    wc.lpfnWndProc = cls == nullptr ? MainProc : DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = cls == nullptr ? "drag watch main" : cls;
    RegisterClassA(&wc);
    return CreateWindowExA(0, wc.lpszClassName, "", style, r.left, r.top, r.right - r.left,
                           r.bottom - r.top, parent, nullptr, wc.hInstance, nullptr);
}

class DragWatch : public ::testing::Test {
protected:
    void SetUp() override
    {
        gInstance = GetModuleHandleA(nullptr);
        gMainWnd = MakeWindow(nullptr, nullptr, WS_POPUP, {0, 0, 1, 1});
        // The taskbar at the bottom, and a window of this test where the cursor rests.
        taskbar_ = MakeWindow("Shell_TrayWnd", nullptr, WS_POPUP | WS_VISIBLE,
                              {0, 700, 800, 740});
        HWND rebar = MakeWindow("ReBarWindow32", taskbar_, WS_CHILD | WS_VISIBLE, {0, 0, 800, 40});
        MakeWindow("MSTaskSwWClass", rebar, WS_CHILD | WS_VISIBLE, {100, 0, 700, 40});
        rest_ = MakeWindow("drag watch rest", nullptr, WS_POPUP | WS_VISIBLE,
                           {200, 200, 400, 400});
        ASSERT_TRUE(MouseMove(300, 300));
        LookUpTaskbarOnce();
        // A drag under way: the menu has closed, the taskbar is disabled, Trailkeep busy.
        EnableWindow(taskbar_, FALSE);
        gDragState = kDragging;
        gBusy = kBusyMenu;
    }
    void TearDown() override
    {
        MouseButton(false);
        KillTimer(gMainWnd, TIMER_TASKBAR_HOVER);
        DestroyWindow(rest_);
        DestroyWindow(taskbar_);
        DestroyWindow(gMainWnd);
    }
    HWND taskbar_ = nullptr, rest_ = nullptr;
};

// While the button is held the drag goes on, and the timer keeps looking: the release may
// come at any time after the last movement the hook saw. Found up, the button ends the drag
// as a release over a window that takes no drop would.
TEST_F(DragWatch, ButtonFoundUpEndsTheDragTheHookLost)
{
    MouseButton(true);
    ASSERT_TRUE(WaitFor([] { return (GetAsyncKeyState(VK_LBUTTON) & 0x8000) != 0; }));
    OnDragHover();
    EXPECT_EQ(gDragState, kDragging);
    EXPECT_TRUE(KillTimer(gMainWnd, TIMER_TASKBAR_HOVER)) << "no hover timer";
    OnTaskbarHoverTimer();
    EXPECT_EQ(gDragState, kDragging);
    EXPECT_TRUE(KillTimer(gMainWnd, TIMER_TASKBAR_HOVER)) << "the timer looks no more";

    MouseButton(false);
    ASSERT_TRUE(WaitFor([] { return (GetAsyncKeyState(VK_LBUTTON) & 0x8000) == 0; }));
    OnDragHover();
    EXPECT_EQ(gDragState, kDragNone);
    EXPECT_TRUE(IsWindowEnabled(taskbar_)) << "the taskbar stays disabled";
    EXPECT_EQ(gBusy & kBusyMenu, 0) << "Trailkeep stays busy";
}

}  // namespace
