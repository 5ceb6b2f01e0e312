// The folder menu end to end: from the tray icon or the launcher, back to a folder in one
// click, with simulated mouse and keyboard input.
#include <gtest/gtest.h>

#include "testsupport.h"

using namespace tk;

namespace {

class Menus : public TrailkeepTest {
protected:
    // Clicks the item at `position` of an open menu window holding `items` items.
    static void ClickItem(HWND menu, int position, int items)
    {
        RECT r;
        GetWindowRect(menu, &r);
        const int height = (r.bottom - r.top) / items;
        Click((r.left + r.right) / 2, r.top + height * position + height / 2);
    }
};

TEST_F(Menus, LauncherExitCodesTellWhetherTrailkeepRuns)
{
    EXPECT_EQ(RunTrailmenu(), 0);
    EXPECT_TRUE(VisibleMenus().empty());
    Launch("");
    EXPECT_EQ(RunTrailmenu(), 1);
    EXPECT_NE(WaitForMenus(1), nullptr);
}

// A launcher request pops the folder menu up with its top-left corner at the cursor;
// with empty lists the sub-menus hold only their grayed placeholders.
TEST_F(Menus, LauncherRequestOpensTheFolderMenuAtTheCursor)
{
    Launch("[Setting]\r\nSwapMouseLR=1\r\n");
    SetCursorPos(400, 300);
    ASSERT_EQ(RunTrailmenu(), 1);
    HWND menu = WaitForMenus(1);
    ASSERT_NE(menu, nullptr);
    RECT folder;
    GetWindowRect(menu, &folder);
    EXPECT_EQ(folder.left, 400);
    EXPECT_EQ(folder.top, 300);

    HWND history = OpenHistoryWithKeys();
    ASSERT_NE(history, nullptr) << "no history sub-menu: not the folder menu";
    RECT sub;
    GetWindowRect(history, &sub);
    // One placeholder item against the folder menu's three.
    EXPECT_LT(sub.bottom - sub.top, (folder.bottom - folder.top) * 2 / 3);
    EXPECT_TRUE(CloseMenus());
}

// The right button on the tray icon opens the folder menu; the left one the tray menu,
// whose exit command ends Trailkeep, saving the settings file.
TEST_F(Menus, TrayIconButtonsOpenTheirMenusAndExitEndsTheProgram)
{
    Launch("");
    ASSERT_NE(ClickTrayIcon(true), nullptr);
    EXPECT_NE(OpenHistoryWithKeys(), nullptr) << "the right button opened no folder menu";
    ASSERT_TRUE(CloseMenus());

    ASSERT_NE(ClickTrayIcon(false), nullptr);
    Press('X');  // 終了(&X)
    EXPECT_EQ(tk_.WaitExit(), 0);
    EXPECT_TRUE(WaitFor([&] { return VisibleMenus().empty(); }));
    EXPECT_TRUE(FileExists(ini_));
}

// A second launcher request while the folder menu is up opens no second menu; the one
// that is open goes on working.
TEST_F(Menus, RequestWhileTheMenuIsOpenStartsNoOther)
{
    Launch("");
    ASSERT_EQ(RunTrailmenu(), 1);
    ASSERT_NE(WaitForMenus(1), nullptr);
    ASSERT_EQ(RunTrailmenu(), 1);
    EXPECT_NE(OpenHistoryWithKeys(), nullptr);
    EXPECT_TRUE(CloseMenus());
    EXPECT_EQ(CloseTrailkeep(&tk_, main_), 0);
}

// With the buttons swapped, the left button opens the folder menu.
TEST_F(Menus, SwappedButtonsOpenTheFolderMenuWithTheLeftButton)
{
    Launch("[Setting]\r\nSwapMouseLR=1\r\n");
    ASSERT_NE(ClickTrayIcon(false), nullptr);
    EXPECT_NE(OpenHistoryWithKeys(), nullptr) << "the left button opened no folder menu";
}

// Choosing a history entry that an Explorer window shows brings that window forward and
// records the visit: the entry moves to the front.
TEST_F(Menus, ChosenEntryShownByAWindowComesForwardAndIsRecorded)
{
    Launch("[Path_Log]\r\nLog_00=C:\\Windows\r\nLog_01=C:\\Users\r\n");
    Explorer shown, other;
    ASSERT_TRUE(StartExplorer(&shown, "C:\\Users"));
    ASSERT_TRUE(StartExplorer(&other, "elsewhere"));
    ASSERT_TRUE(WaitFor([&] { return GetForegroundWindow() == other.window; }));

    // From the launcher, chosen with the mouse.
    SetCursorPos(300, 200);
    ASSERT_EQ(RunTrailmenu(), 1);
    HWND folder = WaitForMenus(1);
    ASSERT_NE(folder, nullptr);
    ClickItem(folder, 0, 4);  // フォルダ履歴, of four items
    HWND history = WaitForSubMenu(folder);
    ASSERT_NE(history, nullptr);
    ClickItem(history, 1, 2);  // C:\Users
    EXPECT_TRUE(FileHistoryBecomes(ini_, {"C:\\Users", "C:\\Windows"}));
    EXPECT_TRUE(WaitFor([&] { return GetForegroundWindow() == shown.window; }));
    EXPECT_TRUE(WaitFor([&] { return VisibleMenus().empty(); }));

    // From the tray icon, chosen with the keyboard.
    Activate(other);
    SetAddressText(shown, "C:\\Windows");  // the window moves on (not foreground: no capture)
    ASSERT_NE(ClickTrayIcon(true), nullptr);
    ASSERT_NE(OpenHistoryWithKeys(), nullptr);
    Press(VK_DOWN);    // C:\Windows, second in the history
    Press(VK_RETURN);
    EXPECT_TRUE(FileHistoryBecomes(ini_, {"C:\\Windows", "C:\\Users"}));
    EXPECT_TRUE(WaitFor([&] { return GetForegroundWindow() == shown.window; }));
}

// Choosing an entry that no window shows starts Explorer on it, and records nothing
// itself: the new window's own navigation is what gets captured.
TEST_F(Menus, ChosenEntryWithoutAWindowStartsExplorer)
{
    const std::string target = MakeScratchDir("menu-visit-me");
    Launch("[Path_Log]\r\nLog_00=C:\\Windows\r\nLog_01=" + target + "\r\n");
    ASSERT_NE(ClickTrayIcon(true), nullptr);
    ASSERT_NE(OpenHistoryWithKeys(), nullptr);
    Press(VK_DOWN);
    Press(VK_RETURN);

    HWND started = nullptr;
    ASSERT_TRUE(WaitFor([&] {
        started = FindTopWindow([](HWND w) {
            char cls[32];
            GetClassNameA(w, cls, sizeof cls);
            return IsWindowVisible(w) && lstrcmpA(cls, "ExplorerWClass") == 0 &&
                   WindowText(w).find("menu-visit-me") != std::string::npos;
        });
        return started != nullptr;
    }, 60000)) << "no Explorer window on " << target;
    PostMessageA(started, WM_CLOSE, 0, 0);

    // A later visit shows that nothing was recorded for the chosen entry.
    Explorer cabinet;
    ASSERT_TRUE(StartExplorer(&cabinet, "later"));
    Activate(cabinet);
    SetAddressText(cabinet, "C:\\later");
    EXPECT_TRUE(FileHistoryBecomes(ini_, {"C:\\later", "C:\\Windows", target}));
}

// Another program closes Trailkeep while its folder menu is open: the menu ends, and the
// program saves and exits as at any other time.
TEST_F(Menus, CloseWhileTheFolderMenuIsOpenEndsInOrder)
{
    Launch("[Setting]\r\nMaxLogData=7\r\n[Path_Log]\r\nLog_00=C:\\Windows\r\n");
    ASSERT_EQ(RunTrailmenu(), 1);
    ASSERT_NE(WaitForMenus(1), nullptr);
    PostMessageA(main_, WM_CLOSE, 0, 0);
    EXPECT_EQ(tk_.WaitExit(), 0);
    std::string max;
    EXPECT_TRUE(IniValue(ini_, "Setting", "MaxLogData", &max));
    EXPECT_EQ(max, "7");
    EXPECT_TRUE(FileHistoryBecomes(ini_, {"C:\\Windows"}));
}

// "フォルダを開く" shows the folder picker in front; cancelled, it opens nothing. While it
// is up, a capture is dropped but its path never stays in the main window's title, where
// it would hide Trailkeep from every lookup; a launcher request opens no folder menu over
// the picker, and the picker keeps Trailkeep busy until it closes.
TEST_F(Menus, CancelledPickerOpensNothingAndKeepsTheTitleAtRestAndMenusOff)
{
    Launch("");
    Explorer cabinet;
    ASSERT_TRUE(StartExplorer(&cabinet, "beside the picker"));
    ASSERT_NE(ClickTrayIcon(true), nullptr);
    Press(VK_DOWN);
    Press(VK_DOWN);
    Press(VK_DOWN);  // フォルダを開く
    Press(VK_RETURN);
    HWND picker = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (picker = FindDialog(tk_.info.dwProcessId)) != nullptr; }))
        << "no folder picker";
    // It comes up in front of the user, though Trailkeep runs in the background.
    ASSERT_TRUE(WaitFor([&] { return GetForegroundWindow() == picker; }));

    Activate(cabinet);
    ASSERT_TRUE(SetAddressText(cabinet, "C:\\while-picking"));
    EXPECT_TRUE(WaitFor([&] { return FindTrailkeep() == main_; })) << "title: " << WindowText(main_);
    // A second start finds the running one; the launcher reaches it.
    const std::string other = MakeScratchDir("second-beside-the-picker");
    Process second;
    ASSERT_TRUE(Start(&second, "Trailkeep.exe", "", other));
    EXPECT_EQ(second.WaitExit(), 0);
    EXPECT_EQ(RunTrailmenu(), 1);
    // A capture posted after the request has been handled once the title is back at rest:
    // by then a menu opened for the request would be up.
    ASSERT_TRUE(SetAddressText(cabinet, "C:\\after-the-request"));
    ASSERT_TRUE(WaitFor([&] { return FindTrailkeep() == main_; }));
    EXPECT_TRUE(VisibleMenus().empty());
    CloseMenus();

    PostMessageA(picker, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(picker); }));
    Activate(cabinet);
    SetAddressText(cabinet, "C:\\after-picking");
    EXPECT_TRUE(FileHistoryBecomes(ini_, {"C:\\after-picking"}));
}

// The launcher is the keyboard user's way in. An entry chosen with Enter in its menu is
// opened and recorded like any other, and so is every visit after it.
TEST_F(Menus, LauncherMenuUsedWithTheKeyboardLeavesNothingBusy)
{
    Launch("[Path_Log]\r\nLog_00=C:\\first\r\nLog_01=C:\\Windows\r\n");
    Explorer shown, cabinet;
    ASSERT_TRUE(StartExplorer(&shown, "C:\\Windows", "--background"));
    ASSERT_TRUE(StartExplorer(&cabinet, "navigating"));
    ASSERT_EQ(RunTrailmenu(), 1);
    ASSERT_NE(WaitForMenus(1), nullptr);
    ASSERT_NE(OpenHistoryWithKeys(), nullptr);
    Press(VK_DOWN);  // C:\Windows
    Press(VK_RETURN);
    EXPECT_TRUE(FileHistoryBecomes(ini_, {"C:\\Windows", "C:\\first"}));

    // Closed with Escape, no release of a button follows either.
    ASSERT_EQ(RunTrailmenu(), 1);
    ASSERT_NE(WaitForMenus(1), nullptr);
    Press(VK_ESCAPE);
    ASSERT_TRUE(WaitFor([] { return VisibleMenus().empty(); }));
    Activate(cabinet);
    SetAddressText(cabinet, "C:\\next");
    EXPECT_TRUE(FileHistoryBecomes(ini_, {"C:\\next", "C:\\Windows", "C:\\first"}));
}

}  // namespace
