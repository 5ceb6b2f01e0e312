// Capture and recording end to end: a stand-in Explorer window sets paths into its
// address field; the system maps Trailhook into it, and the real Trailkeep records.
#include <gtest/gtest.h>

#include "testsupport.h"

#include "core/protocol.h"

using namespace tk;

namespace {

using Capture = TrailkeepTest;

TEST_F(Capture, ForegroundExplorerPathGoesToTheFrontAndIsSavedAtOnce)
{
    Launch("[Setting]\r\nLogNetwork=1\r\n");
    Explorer cabinet;
    ASSERT_TRUE(StartExplorer(&cabinet, "cabinet"));
    Activate(cabinet);
    SetAddressText(cabinet, "C:\\Windows");
    EXPECT_TRUE(FileHistoryBecomes(ini_, {"C:\\Windows"}));
    // The title carried the path and is back at rest: the window is found by it again.
    EXPECT_TRUE(WaitFor([&] { return FindTrailkeep() == main_; }));

    // A UNC path, then the older path again: it moves to the front, with no duplicate.
    SetAddressText(cabinet, "\\\\server\\share\\docs");
    EXPECT_TRUE(FileHistoryBecomes(ini_, {"\\\\server\\share\\docs", "C:\\Windows"}));
    SetAddressText(cabinet, "C:\\Windows");
    EXPECT_TRUE(FileHistoryBecomes(ini_, {"C:\\Windows", "\\\\server\\share\\docs"}));

    // The other Explorer class, and a Shift-JIS path whose trail byte is a backslash.
    Explorer explore;
    ASSERT_TRUE(StartExplorer(&explore, "explore", "--class ExploreWClass"));
    Activate(explore);
    SetAddressText(explore, "C:\\表示");
    EXPECT_TRUE(FileHistoryBecomes(ini_, {"C:\\表示", "C:\\Windows", "\\\\server\\share\\docs"}));
    EXPECT_TRUE(WaitFor([&] { return FindTrailkeep() == main_; }));
}

// The window's own navigation (a text set from its own thread) is captured the same way.
TEST_F(Capture, NavigationFromTheWindowsOwnThreadIsRecorded)
{
    Launch("");
    Explorer cabinet;
    ASSERT_TRUE(StartExplorer(&cabinet, "self", "--ansi --text \"300:C:\\Program Files\""));
    EXPECT_TRUE(FileHistoryBecomes(ini_, {"C:\\Program Files"}));
}

// None of these reaches the history; the path set last, which is recordable, shows that
// everything set before it has been handled.
TEST_F(Capture, NothingIsRecordedThatTheHookOrTheFiltersRefuse)
{
    Launch("[Path_Touroku]\r\nTouroku_00=C:\\registered\r\n");
    Explorer cabinet, other, upper, background;
    ASSERT_TRUE(StartExplorer(&cabinet, "front"));
    ASSERT_TRUE(StartExplorer(&other, "other class", "--class Notepad"));
    // A control of another class in the address field's place. (A class named "EDIT"
    // cannot be registered beside the system's edit class on the test bed.)
    ASSERT_TRUE(StartExplorer(&upper, "other control", "--edit-class EditLike"));
    ASSERT_TRUE(StartExplorer(&background, "background", "--background"));

    char cls[32];
    GetClassNameA(upper.edit, cls, sizeof cls);
    ASSERT_STREQ(cls, "EditLike");

    Activate(other);
    SetAddressText(other, "C:\\other-class");
    Activate(upper);
    SetAddressText(upper, "C:\\other-control");
    Activate(cabinet);
    SetAddressText(background, "C:\\background");
    ASSERT_EQ(GetForegroundWindow(), cabinet.window);
    // Texts that are not folder paths.
    for (const char* text : {"C:", "x", "", "C:folder", "about:blank", "\\single"})
        SetAddressText(cabinet, text);
    // Longer than a path slot holds: not cut into the name of another folder.
    const std::string overlong = "C:\\" + std::string(253, 'a');
    ASSERT_EQ(overlong.size(), 256u);
    SetAddressText(cabinet, overlong.c_str());
    SetAddressText(cabinet, ("C:\\" + std::string(300, 'b')).c_str());
    // Refused by the capture filters (every kind is off by default).
    for (const char* text : {"C:\\registered", "E:\\stick", "D:\\disc", "Q:\\no-such-drive",
                             "N:\\share", "\\\\server\\share"})
        SetAddressText(cabinet, text);

    const std::string longest = "C:\\" + std::string(252, 'c');
    SetAddressText(cabinet, longest.c_str());
    EXPECT_TRUE(FileHistoryBecomes(ini_, {longest}));
}

// With every kind of folder wanted, the filters let each of them through: registered
// folders, removable media and discs, unknown drives, network drives and UNC paths.
TEST_F(Capture, SettingsLetEveryKindOfFolderThrough)
{
    Launch("[Setting]\r\nLogTourokuData=1\r\nLogRemovable=1\r\nLogNetwork=1\r\n"
           "[Path_Touroku]\r\nTouroku_00=C:\\registered\r\n");
    Explorer cabinet;
    ASSERT_TRUE(StartExplorer(&cabinet, "every kind"));
    Activate(cabinet);
    const std::vector<std::string> kinds = {"C:\\registered", "E:\\stick", "D:\\disc",
                                            "Q:\\no-such-drive", "N:\\share",
                                            "\\\\server\\share"};
    for (const std::string& path : kinds)
        SetAddressText(cabinet, path.c_str());
    EXPECT_TRUE(FileHistoryBecomes(ini_, std::vector<std::string>(kinds.rbegin(), kinds.rend())));
}

// With a delay, a window must go on showing a folder for LogDelay seconds; only the
// path it still shows then is recorded.
TEST_F(Capture, DelayRecordsOnlyWhatTheWindowStillShows)
{
    Launch("[Setting]\r\nLogDelay=1\r\n");
    Explorer first, second;
    ASSERT_TRUE(StartExplorer(&first, "first"));
    ASSERT_TRUE(StartExplorer(&second, "second"));
    Activate(first);

    // A newer capture from the same window cancels the older one.
    const DWORD start = GetTickCount();
    SetAddressText(first, "C:\\passed-through");
    SetAddressText(first, "C:\\stayed");
    EXPECT_TRUE(FileHistoryBecomes(ini_, {"C:\\stayed"}));
    EXPECT_GE(GetTickCount() - start, 900u) << "recorded before its delay ran out";

    // The window shows something else when the delay runs out: nothing is recorded.
    SetAddressText(first, "C:\\moved-on");
    SetAddressText(first, "not a folder");
    Activate(second);
    SetAddressText(second, "C:\\later");
    EXPECT_TRUE(FileHistoryBecomes(ini_, {"C:\\later", "C:\\stayed"}));

    // The window is closed before its delay runs out: nothing is recorded.
    Activate(first);
    SetAddressText(first, "C:\\closed-window");
    PostMessageA(first.window, WM_CLOSE, 0, 0);
    ASSERT_EQ(first.process.WaitExit(), 0);
    Activate(second);
    SetAddressText(second, "C:\\last");
    EXPECT_TRUE(FileHistoryBecomes(ini_, {"C:\\last", "C:\\later", "C:\\stayed"}));
}

// A full history loses its oldest entry; a hand-edited length above the slots keeps 50.
TEST_F(Capture, FullHistoryDropsItsLastEntry)
{
    std::string ini = "[Setting]\r\nMaxLogData=3\r\n[Path_Log]\r\n"
                      "Log_00=C:\\a\r\nLog_01=C:\\b\r\nLog_02=C:\\c\r\n";
    Launch(ini);
    Explorer cabinet;
    ASSERT_TRUE(StartExplorer(&cabinet, "full"));
    Activate(cabinet);
    SetAddressText(cabinet, "C:\\d");
    EXPECT_TRUE(FileHistoryBecomes(ini_, {"C:\\d", "C:\\a", "C:\\b"}));
    SetAddressText(cabinet, "C:\\b");
    EXPECT_TRUE(FileHistoryBecomes(ini_, {"C:\\b", "C:\\d", "C:\\a"}));
}

// Paths the hook hands over while the title still holds an earlier one: the reader
// never records the reset title "Trailkeeper" or any text that is not a path.
TEST_F(Capture, TitleWithoutAPathIsNeverRecorded)
{
    Launch("");
    Explorer cabinet;
    ASSERT_TRUE(StartExplorer(&cabinet, "title"));
    Activate(cabinet);
    // A stray handoff notice with the title at rest, and one with another program's text.
    PostMessageA(main_, WM_TK_CAPTURED, TK_HANDOFF_TAG, reinterpret_cast<LPARAM>(cabinet.edit));
    SetWindowTextA(main_, "some text");
    PostMessageA(main_, WM_TK_CAPTURED, TK_HANDOFF_TAG, reinterpret_cast<LPARAM>(cabinet.edit));
    EXPECT_TRUE(WaitFor([&] { return FindTrailkeep() == main_; }));
    // Quick handoffs, faster than the main window reads them back.
    for (int i = 0; i < 20; ++i) {
        char path[32];
        wsprintfA(path, "C:\\quick%02d", i);
        SetAddressText(cabinet, path);
    }
    SetAddressText(cabinet, "C:\\final");
    ASSERT_TRUE(WaitFor([&] {
        std::string first;
        return IniValue(ini_, "Path_Log", "Log_00", &first) && first == "C:\\final";
    }));
    for (const char* bad : {"Trailkeeper", "some text"})
        EXPECT_EQ(HistoryInFile(ini_).find(std::string("=") + bad), std::string::npos) << bad;
}

}  // namespace
