// Trailkeep at the display scale of the screen: the dialogs and menus laid out without a
// control cut off or over another, and the tray icon handed to the shell at the small-icon
// size of the scale. Those of Scale run at 100 % with the other tests and again in a prefix
// of 150 %, those of ScaledLayout there only (TK_EXPECT_DPI says which scale the run must
// have).
#include <gtest/gtest.h>

#include "screencheck.h"
#include "testsupport.h"

#include "core/protocol.h"


#include <cstdlib>
#include <vector>

using namespace tk;

namespace {

class Scale : public TrailkeepTest {
protected:
    void SetUp() override
    {
        TrailkeepTest::SetUp();
        // A run at another scale says which: a prefix that did not take it fails here.
        const char* expected = getenv("TK_EXPECT_DPI");
        if (expected != nullptr && *expected != '\0') {
            ASSERT_EQ(ScreenDpi(), atoi(expected)) << "the prefix is not at the scale asked for";
        }
    }
    // A visible dialog of Trailkeep with this caption, once there.
    HWND WaitDialog(const char* caption)
    {
        HWND found = nullptr;
        WaitFor([&] { return (found = FindDialogTitled(tk_.info.dwProcessId, caption)) != nullptr; });
        return found;
    }
    // Sends a dialog a button's command, as a click on the button would, and waits for the
    // dialog it opens or for the dialog to close.
    static void Command(HWND dialog, int id) { PostMessageA(dialog, WM_COMMAND, id, 0); }
};

// The layout checks run at 150 % only, where rounding and larger fonts could break a layout
// drawn for 100 %; at 100 % they would add time and little else.
class ScaledLayout : public Scale {};

const char kSettingsCaption[] = "設定 - Trailkeeper";
const char kTourokuCaption[] = "フォルダ登録";
const char kPGothic[] = "ＭＳ Ｐゴシック";

// The settings dialog, the about box and the registered-folders dialog, each as Trailkeep
// shows it at the screen's scale.
TEST_F(ScaledLayout, EveryDialogHoldsItsControlsWithoutOverlapOrCutText)
{
    Launch("[Path_Touroku]\r\nTouroku_00=C:\\Windows\r\n");
    PostMessageA(main_, WM_COMMAND, CMD_SETTINGS, 0);
    HWND settings = WaitDialog(kSettingsCaption);
    EXPECT_TRUE(LaidOut(settings, kPGothic)) << "settings";
    ASSERT_NE(settings, nullptr);

    Command(settings, 101);  // About...
    HWND about = WaitDialog("About...");
    EXPECT_TRUE(LaidOut(about, "MS UI Gothic")) << "about box";
    if (about != nullptr) {
        Command(about, 300);
        EXPECT_TRUE(WaitFor([&] { return !IsWindow(about); }));
    }

    Command(settings, 121);  // フォルダ登録 >>
    HWND touroku = WaitDialog(kTourokuCaption);
    EXPECT_TRUE(LaidOut(touroku, kPGothic)) << "registered folders";
    if (touroku != nullptr) {
        Command(touroku, 201);  // Cancel
        EXPECT_TRUE(WaitFor([&] { return !IsWindow(touroku); }));
    }
    Command(settings, 102);  // Cancel
    EXPECT_TRUE(WaitFor([&] { return !IsWindow(settings); }));
}

// The items of the folder menu and of its history sub-menu lie inside their menus, one
// below the other.
TEST_F(ScaledLayout, MenuItemsLieInsideTheirMenus)
{
    Launch("[Path_Log]\r\nLog_00=C:\\Windows\r\nLog_01=C:\\Users\r\n");
    SetCursorPos(400, 100);
    ASSERT_EQ(RunTrailmenu(), 1);
    ASSERT_NE(WaitForMenus(1), nullptr);
    ASSERT_NE(OpenHistoryWithKeys(), nullptr);
    for (HWND window : VisibleMenus()) {
        HMENU menu = reinterpret_cast<HMENU>(SendMessageA(window, MN_GETHMENU, 0, 0));
        ASSERT_NE(menu, nullptr);
        RECT frame;
        GetWindowRect(window, &frame);
        RECT previous = {};
        for (int i = 0; i < GetMenuItemCount(menu); ++i) {
            RECT item;
            ASSERT_TRUE(GetMenuItemRect(nullptr, menu, i, &item));
            EXPECT_TRUE(Contains(frame, item)) << "item " << i << " outside its menu";
            EXPECT_GE(item.top, previous.bottom) << "item " << i << " over the one before";
            previous = item;
        }
    }
    EXPECT_TRUE(CloseMenus());
}

// The icon that Trailkeep hands to the shell has the small-icon size of the scale: the
// shell draws it as it came, pixel for pixel the frame of that size in Trailkeep's icon.
// (Wine draws every tray icon at the small-icon size; one of another size would come out
// shrunk or stretched.)
TEST_F(Scale, TrayIconIsTheFrameOfTheSmallIconSize)
{
    Launch("");
    const int size = GetSystemMetrics(SM_CXSMICON);
    EXPECT_EQ(size, MulDiv(16, ScreenDpi(), 96));
    // The frame of that size, as Trailkeep.exe carries it: its opaque pixels.
    const std::vector<DWORD> frame = IconFrame(BinDir() + "\\Trailkeep.exe", 400, size);
    ASSERT_EQ(frame.size(), size_t(size * size)) << "no icon 400";

    POINT centre;
    ASSERT_TRUE(TrayIconCentre(&centre));
    HWND tray = WindowFromPoint(centre);
    RECT area;
    ASSERT_TRUE(GetWindowRect(tray, &area));
    const int width = area.right - area.left, height = area.bottom - area.top;
    ASSERT_GE(width, size);
    ASSERT_GE(height, size);
    // The frame drawn anywhere in the icon's window, its opaque pixels exactly.
    auto shown = [&] {
        const std::vector<DWORD> pixels = ReadScreenArea({area.left, area.top}, width, height);
        for (int y0 = 0; y0 + size <= height; ++y0) {
            for (int x0 = 0; x0 + size <= width; ++x0) {
                bool same = true;
                for (int i = 0; i < size * size && same; ++i) {
                    if ((frame[i] >> 24) == 0xFF)
                        same = (pixels[(y0 + i / size) * width + x0 + i % size] & 0xFFFFFF) ==
                               (frame[i] & 0xFFFFFF);
                }
                if (same)
                    return true;
            }
        }
        return false;
    };
    EXPECT_TRUE(WaitFor(shown)) << "the tray shows no " << size << " x " << size
                                << " frame of the icon as drawn";
}

// A shell that starts again has no icons: it announces its new taskbar ("TaskbarCreated"),
// and Trailkeep adds its icon anew. (The shell's loss is played by deleting the icon
// under Trailkeep's window and id.)
class TrayIcon : public TrailkeepTest {};

TEST_F(TrayIcon, ComesBackWhenTheTaskbarIsMadeAgain)
{
    Launch("");
    POINT centre;
    ASSERT_TRUE(TrayIconCentre(&centre));
    NOTIFYICONDATAA icon = {};
    icon.cbSize = NOTIFYICONDATAA_V1_SIZE;
    icon.hWnd = main_;
    icon.uID = TK_ICON_ID;
    ASSERT_TRUE(Shell_NotifyIconA(NIM_DELETE, &icon));
    auto iconShown = [] {
        HWND tray = FindWindowA("__winex11_standalone_tray", nullptr);
        HWND shown = tray != nullptr ? FindWindowExA(tray, nullptr, "__winex11_tray_icon", nullptr)
                                     : nullptr;
        return shown != nullptr && IsWindowVisible(shown);
    };
    ASSERT_TRUE(WaitFor([&] { return !iconShown(); })) << "the icon was not taken away";
    PostMessageA(main_, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    EXPECT_TRUE(WaitFor(iconShown)) << "the icon did not come back";
}

}  // namespace
