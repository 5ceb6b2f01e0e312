// The watcher against what a real Explorer may do where its documentation is silent: busy,
// hung and dying windows, a list that shrinks while it is read, late and odd events, tabs
// that stay visible behind the active one, and a shell that is not up when Trailkeep starts.
// The stand-in shell plays each on command (tests/fixtures/standin_shell.h).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "shell_watch.h"

using namespace tk;

namespace {

int CountOf(const std::string& text, const std::string& what)
{
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// A window of five tabs closes tab after tab while the watcher reads the list, and the
// process of another window dies while the list still holds it. Neither costs any other
// window anything: no visit that was not made, no new start, no lost navigation.
TEST_F(ShellWatch, AClosingWindowAndADeadOneCostOnlyThemselves)
{
    HWND first = Open(L"C:\\tabs0");
    ASSERT_NE(first, nullptr);
    HWND tabbed = GetAncestor(first, GA_ROOT);
    const wchar_t* more[] = {L"C:\\tabs1", L"C:\\tabs2", L"C:\\tabs3", L"C:\\tabs4"};
    for (const wchar_t* path : more)
        ASSERT_NE(NewTab(tabbed, path), nullptr);
    // After the five tabs in the list: each tab revoked moves them one place up, and a
    // reader that goes on to the next place passes over one of them.
    HWND before = Open(L"C:\\before");
    ASSERT_NE(before, nullptr);
    HWND steady = Open(L"C:\\steady");
    ASSERT_NE(steady, nullptr);
    // Open before Trailkeep starts: followed, not recorded.
    LaunchWatched("[Path_Log]\r\nLog_00=C:\\Windows\r\n");
    ASSERT_TRUE(WaitFor([&] { return Sinks(steady) == 1 && Sinks(before) == 1 && Sinks(first) == 1; }))
        << ShellLog();

    ASSERT_TRUE(Tell(kShellCloseTabByTab, tabbed));
    ASSERT_TRUE(WaitShellLog("Revoke 5")) << ShellLog();
    ASSERT_TRUE(BringToFront(GetAncestor(steady, GA_ROOT)));
    Go(steady, L"C:\\steady2");
    // "C:\before" and "C:\steady" were never visited: were one followed anew, it would
    // read as an opening.
    EXPECT_TRUE(FileHistoryBecomes(ini_, {"C:\\steady2", "C:\\Windows"})) << ShellLog();

    HWND dying = Open(L"C:\\dying");
    ASSERT_NE(dying, nullptr);
    EXPECT_TRUE(FileHistoryBecomes(ini_, {"C:\\dying", "C:\\steady2", "C:\\Windows"}));
    ASSERT_TRUE(Tell(kShellKillTab, dying));
    // The next look at the list meets the dead item.
    HWND next = Open(L"C:\\next");
    ASSERT_NE(next, nullptr);
    EXPECT_TRUE(FileHistoryBecomes(ini_, {"C:\\next", "C:\\dying", "C:\\steady2", "C:\\Windows"}));
    // Trailkeep answers: its menu opens, and a window followed before still reports.
    EXPECT_NE(ClickTrayIcon(true), nullptr) << "Trailkeep no longer answers";
    EXPECT_TRUE(CloseMenus());
    ASSERT_TRUE(BringToFront(GetAncestor(steady, GA_ROOT)));
    Go(steady, L"C:\\steady3");
    EXPECT_TRUE(NewestBecomes("C:\\steady3"));
    // One connection to the list all along.
    EXPECT_EQ(CountOf(ShellLog(), "Advise list"), 1) << ShellLog();
    EXPECT_TRUE(tk_.Running());
}

// A busy shell that refuses calls for a while, events whose pDisp is another object of
// the tab, a NavigateComplete2 that comes after the view has moved on, a window revoked
// without OnQuit whose OnQuit comes late, and a tab that closes while Trailkeep exits.
TEST_F(ShellWatch, BusyShellOddEventsAndLateQuitsLoseNothing)
{
    LaunchWatched("");
    HWND w = Open(L"C:\\b1");  // the first window followed
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(FileHistoryBecomes(ini_, {"C:\\b1"}));
    ASSERT_TRUE(BringToFront(GetAncestor(w, GA_ROOT)));

    // Another object than the list's item as the events' pDisp.
    ASSERT_TRUE(Tell(kShellSetTabQuirks, w, kTabForeignDispatch));
    Go(w, L"C:\\b2");
    EXPECT_TRUE(FileHistoryBecomes(ini_, {"C:\\b2", "C:\\b1"}));
    ASSERT_TRUE(Tell(kShellSetTabQuirks, w, 0));

    // Busy for 1.5 s from just before a navigation: its folder is read all the same.
    ASSERT_TRUE(Tell(kShellRefuseCalls, nullptr, 1500));
    Go(w, L"C:\\b3");
    EXPECT_TRUE(FileHistoryBecomes(ini_, {"C:\\b3", "C:\\b2", "C:\\b1"}));
    EXPECT_GT(Refused(), 0) << "the watcher was never refused";

    // A window that opens while the shell is busy is followed all the same.
    ASSERT_TRUE(Tell(kShellRefuseCalls, nullptr, 1500));
    HWND w2 = Open(L"C:\\b4");
    ASSERT_NE(w2, nullptr);
    ASSERT_TRUE(BringToFront(GetAncestor(w2, GA_ROOT)));
    Go(w2, L"C:\\b5");
    EXPECT_TRUE(NewestBecomes("C:\\b5")) << ShellLog();
    // Followed since at the latest: the list's next event makes any watcher look again.
    HWND spare = Open(L"C:\\spare");
    ASSERT_NE(spare, nullptr);
    EXPECT_TRUE(WaitFor([&] { return Sinks(w2) == 1; })) << ShellLog();
    ASSERT_TRUE(BringToFront(GetAncestor(w2, GA_ROOT)));

    // Two navigations whose events come after both: the folder shown is recorded once.
    HWND result = nullptr;
    ASSERT_TRUE(Tell(kShellHoldEvents, w2, 1));
    ASSERT_TRUE(ShellCommand(kShellNavigate, w2, L"C:\\b6", &result));
    ASSERT_TRUE(ShellCommand(kShellNavigate, w2, L"C:\\b7", &result));
    ASSERT_TRUE(Tell(kShellHoldEvents, w2, 0));
    ASSERT_TRUE(Fired(w2, L"C:\\b7"));
    EXPECT_TRUE(NewestBecomes("C:\\b7"));

    // Revoked without OnQuit: let go of all the same. A navigation after it shows that the
    // watcher has looked at the list since.
    ASSERT_TRUE(Tell(kShellClose, spare));
    ASSERT_TRUE(Tell(kShellSetTabQuirks, w, kTabRevokeWithoutQuit));
    ASSERT_TRUE(ShellCommand(kShellClose, w, nullptr, &result));
    ASSERT_TRUE(WaitShellLog("Revoke 1")) << ShellLog();
    ASSERT_TRUE(BringToFront(GetAncestor(w2, GA_ROOT)));
    Go(w2, L"C:\\b8");
    EXPECT_TRUE(NewestBecomes("C:\\b8")) << ShellLog();
    // A new window takes the place the closed one had; the closed one's OnQuit comes late.
    HWND w3 = Open(L"C:\\b9");
    ASSERT_NE(w3, nullptr);
    EXPECT_TRUE(NewestBecomes("C:\\b9"));
    ASSERT_TRUE(Tell(kShellLateQuit, w));
    ASSERT_TRUE(WaitShellLog((std::string("OnQuit ") + ShellLogTab(w).text).c_str()));
    ASSERT_TRUE(BringToFront(GetAncestor(w3, GA_ROOT)));
    Go(w3, L"C:\\b10");
    EXPECT_TRUE(NewestBecomes("C:\\b10")) << ShellLog();
    EXPECT_EQ(Sinks(w3), 1) << ShellLog();
    // "C:\b6" was shown only while its event waited.
    EXPECT_EQ(HistoryInFile(ini_).find("C:\\b6"), std::string::npos) << HistoryInFile(ini_);

    // Tabs that close while Trailkeep lets go of them on its way out.
    ASSERT_TRUE(Tell(kShellSetTabQuirks, w2, kTabQuitInUnadvise));
    ASSERT_TRUE(Tell(kShellSetTabQuirks, w3, kTabQuitInUnadvise));
    EXPECT_EQ(CloseTrailkeep(&tk_, main_), 0);
    main_ = nullptr;
}

// Tabs left visible behind the active one, as Windows 11 may: the active tab is the first
// in z-order. A navigation in a background tab, or in a window that is not in front, is
// not a visit; a tab whose list item comes 1.5 s after its registration is followed.
// Choosing the entry that only a background tab shows ends with that folder in front,
// never with a window on another folder: the tab's browser opens it in a new window (an
// Explorer started on the folder, Wine's, would bring the tabbed window forward on its
// other folder). Every folder window's title is its active tab's folder.
TEST_F(ShellWatch, TabsInFrontLateTabsAndAFolderOnlyABackgroundTabShows)
{
    ASSERT_TRUE(Tell(kShellSetListQuirks, nullptr, kListTabsStayVisible));
    const std::string behind = MakeScratchDir("tab-behind");
    HWND back = Open(L"C:\\one");
    ASSERT_NE(back, nullptr);
    HWND root = GetAncestor(back, GA_ROOT);
    HWND front = NewTab(root, L"C:\\front");
    ASSERT_NE(front, nullptr);
    HWND other = Open(L"C:\\other");
    ASSERT_NE(other, nullptr);
    ASSERT_TRUE(IsWindowVisible(back) && IsWindowVisible(front));
    // Open before Trailkeep starts: followed, not recorded (the exact histories below).
    LaunchWatched("[Path_Log]\r\nLog_00=" + behind + "\r\n");
    ASSERT_TRUE(WaitFor([&] { return Sinks(back) == 1 && Sinks(front) == 1 && Sinks(other) == 1; }));

    ASSERT_TRUE(BringToFront(root));
    wchar_t wide[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, behind.c_str(), -1, wide, MAX_PATH);
    Go(back, L"C:\\seen-behind");
    Go(front, L"C:\\front2");
    EXPECT_TRUE(FileHistoryBecomes(ini_, {"C:\\front2", behind}));
    Go(back, wide);
    // The other window is not in front: its navigation is not what the user looks at.
    Go(other, L"C:\\unseen");
    Go(front, L"C:\\front3");
    EXPECT_TRUE(FileHistoryBecomes(ini_, {"C:\\front3", "C:\\front2", behind}));

    // A tab whose item enters the list 1.5 s after its registration.
    ASSERT_TRUE(Tell(kShellSetListQuirks, nullptr, kListTabsStayVisible | kListLateItems));
    HWND late = NewTab(root, L"C:\\late");
    ASSERT_NE(late, nullptr);
    EXPECT_TRUE(WaitFor([&] { return Sinks(late) == 1; }, 10000)) << "the late tab is not followed";
    ASSERT_TRUE(BringToFront(root));
    Go(late, L"C:\\late2");
    EXPECT_TRUE(NewestBecomes("C:\\late2"));

    // The folder that only the tab behind shows: late2, front3, front2, then it.
    ASSERT_TRUE(ChooseHistoryEntry(4));
    HWND shown = nullptr;
    EXPECT_TRUE(WaitFor([&] {
        shown = GetForegroundWindow();
        char cls[32] = "";
        GetClassNameA(shown, cls, sizeof cls);
        return (lstrcmpA(cls, "CabinetWClass") == 0 || lstrcmpA(cls, "ExplorerWClass") == 0) &&
               WindowText(shown).find("tab-behind") != std::string::npos;
    })) << "in front: " << WindowText(shown);
    EXPECT_TRUE(WaitShellLog("Navigate2 new window")) << "not opened through the tab's browser";
}

// One window's thread hangs (a folder on a share that does not answer) while the list and
// the other windows answer: another window's navigation is recorded all the same.
TEST_F(ShellWatch, AHungWindowHoldsUpNoOtherWindow)
{
    LaunchWatched("");
    HWND slow = nullptr;
    ASSERT_TRUE(ShellCommand(kShellOpenWindowOwnThread, nullptr, L"C:\\share", &slow));
    ASSERT_TRUE(Fired(slow, L"C:\\share"));
    EXPECT_TRUE(FileHistoryBecomes(ini_, {"C:\\share"}));
    // On a thread of its own too, as Explorer's windows are: not the list's.
    HWND quick = nullptr;
    ASSERT_TRUE(ShellCommand(kShellOpenWindowOwnThread, nullptr, L"C:\\quick", &quick));
    ASSERT_TRUE(Fired(quick, L"C:\\quick"));
    EXPECT_TRUE(FileHistoryBecomes(ini_, {"C:\\quick", "C:\\share"}));

    // Its navigation's event, then its thread stops answering for 8 s, while Trailkeep
    // reads what it shows.
    HWND result = nullptr;
    ASSERT_TRUE(ShellCommand(kShellNavigate, slow, L"C:\\share\\deeper", &result, 8000));
    ASSERT_TRUE(WaitShellLog("Hang ")) << ShellLog();
    HWND quickRoot = GetAncestor(quick, GA_ROOT);
    auto recordedAtOnce = [&](const wchar_t* wide, const char* path, const char* when) {
        ASSERT_TRUE(BringToFront(quickRoot));
        const DWORD asked = GetTickCount();
        Go(quick, wide);
        const bool recorded = NewestBecomes(path, 20000);
        const DWORD took = GetTickCount() - asked;
        std::printf("recorded %lu ms after the navigation, %s\n",
                    static_cast<unsigned long>(took), when);
        EXPECT_TRUE(recorded) << when;
        EXPECT_LT(took, 1000u) << when;
    };
    recordedAtOnce(L"C:\\quick2", "C:\\quick2", "another window hung");

    // A window opens: Trailkeep looks at the list, and the list's handing out of the hung
    // window's item waits for that window. A navigation meanwhile is recorded all the same.
    HWND third = nullptr;
    ASSERT_TRUE(ShellCommand(kShellOpenWindow, nullptr, L"C:\\third", &third));
    ASSERT_TRUE(WaitShellLog("Listed while hung ")) << ShellLog();
    recordedAtOnce(L"C:\\quick3", "C:\\quick3", "a look at the list held up by it");
}

// No shell when Trailkeep starts (its first connection fails), and the shell that comes
// up later announces nothing that Trailkeep hears: Trailkeep connects by itself.
TEST_F(ShellWatch, AShellNotUpAtStartIsConnectedOnceItIs)
{
    ASSERT_TRUE(UseStandinShell(true));  // ends the stand-in that the fixture started
    ASSERT_TRUE(SetStandinServerPresent(false));
    Launch("");
    ASSERT_TRUE(WaitShellLog("Start refused")) << "Trailkeep never asked for the shell";
    ASSERT_TRUE(SetStandinServerPresent(true));
    const DWORD up = GetTickCount();
    EXPECT_TRUE(WaitFor([] { return Sinks(nullptr) == 1; }, 30000)) << ShellLog();
    std::printf("connected %lu ms after the shell could start\n",
                static_cast<unsigned long>(GetTickCount() - up));
    HWND tab = Open(L"C:\\up");
    ASSERT_NE(tab, nullptr);
    EXPECT_TRUE(FileHistoryBecomes(ini_, {"C:\\up"}));
}

}  // namespace
