// Folder names the ANSI code page cannot spell, end to end: Explorer's Unicode address
// field hands one to the real Trailkeep, which records it, turns its settings file into
// UTF-16 on that save (and not before) and reads it back after a restart.
#include <gtest/gtest.h>

#include <string>

#include "shell_watch.h"
#include "testsupport.h"

using namespace tk;

namespace {

using Unicode = TrailkeepTest;

// A history entry as the profile API reads it in UTF-16.
std::wstring Entry(const std::string& ini, int index)
{
    wchar_t key[16], value[300] = {};
    wsprintfW(key, L"Log_%02d", index);
    wchar_t file[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, ini.c_str(), -1, file, MAX_PATH);
    GetPrivateProfileStringW(L"Path_Log", key, L"", value, 300, file);
    return value;
}

TEST_F(Unicode, APathOutsideTheCodePageIsRecordedSavedAndReadBackAfterARestart)
{
    const std::wstring cafe = L"C:\\tk\\Caf\u00e9 \u0101 \U00020BB7 \U0001F4C1";
    Launch("[Setting]\r\nOwn=1\r\n");
    Explorer cabinet;
    ASSERT_TRUE(StartExplorer(&cabinet, "cabinet"));
    Activate(cabinet);
    SetAddressText(cabinet, "C:\\tk\\plain");
    ASSERT_TRUE(FileHistoryBecomes(ini_, {"C:\\tk\\plain"}));
    EXPECT_NE(ReadFileBytes(ini_).substr(0, 2), "\xFF\xFE") << "ANSI while every path fits";

    SetWideAddressText(cabinet, cafe.c_str());
    EXPECT_TRUE(WaitFor([&] { return Entry(ini_, 0) == cafe; }));
    EXPECT_TRUE(Entry(ini_, 1) == L"C:\\tk\\plain");
    EXPECT_EQ(ReadFileBytes(ini_).substr(0, 2), "\xFF\xFE");
    EXPECT_TRUE(WaitFor([&] { return FindTrailkeep() == main_; }));  // the title is at rest

    // After a restart the entry is read back whole: the next recording saves it again.
    ASSERT_EQ(CloseTrailkeep(&tk_, main_), 0);
    main_ = StartTrailkeep(&tk_, dir_);
    ASSERT_NE(main_, nullptr);
    Activate(cabinet);
    SetAddressText(cabinet, "C:\\tk\\after");
    EXPECT_TRUE(WaitFor([&] { return Entry(ini_, 0) == L"C:\\tk\\after"; }));
    EXPECT_TRUE(Entry(ini_, 1) == cafe);
    EXPECT_TRUE(Entry(ini_, 2) == L"C:\\tk\\plain");
    char own[8];
    GetPrivateProfileStringA("Setting", "Own", "", own, sizeof own, ini_.c_str());
    EXPECT_STREQ(own, "1");
}

// "Café ā 𠮷 📁" and "R&D" reach the history through the hook (a Unicode address field) and
// the watcher, come back after a restart, and are opened from the menu: the first by its
// window, which the watcher follows, brought forward; the second by Explorer started on it.
TEST_F(ShellWatch, UnicodeAndAmpersandFoldersAreRecordedReadBackAndOpened)
{
    const std::wstring parent = Wide(MakeScratchDir("unicode-open"));
    const std::wstring cafe = parent + L"\\Caf\u00e9 \u0101 \U00020BB7 \U0001F4C1";
    const std::wstring rd = parent + L"\\R&D";
    ASSERT_TRUE(CreateDirectoryW(cafe.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(rd.c_str(), nullptr));
    LaunchWatched("");
    {
        Explorer cabinet;
        ASSERT_TRUE(StartExplorer(&cabinet, "cabinet"));
        Activate(cabinet);
        for (const std::wstring& path : {cafe, rd}) {
            SetWideAddressText(cabinet, path.c_str());
            EXPECT_TRUE(WaitFor([&] { return Entry(ini_, 0) == path; })) << "by the hook";
        }
    }  // its window would be found for "R&D"
    HWND tab = Open(cafe.c_str());
    ASSERT_NE(tab, nullptr);
    EXPECT_TRUE(WaitFor([&] { return Entry(ini_, 0) == cafe && Entry(ini_, 1) == rd; }))
        << "by the watcher";

    ASSERT_EQ(CloseTrailkeep(&tk_, main_), 0);
    main_ = StartTrailkeep(&tk_, dir_);
    ASSERT_NE(main_, nullptr);
    ASSERT_TRUE(WaitFor([&] { return Sinks(tab) == 1; })) << ShellLog();
    HWND root = GetAncestor(tab, GA_ROOT);
    ShowWindow(root, SW_MINIMIZE);
    ASSERT_TRUE(WaitFor([&] { return IsIconic(root) != FALSE; }));
    const std::set<DWORD> explorers = ExplorerProcesses();
    ASSERT_TRUE(ChooseHistoryEntry(1));
    EXPECT_TRUE(WaitFor([&] { return !IsIconic(root) && GetForegroundWindow() == root; }));
    EXPECT_EQ(ExplorerProcesses(), explorers);

    ASSERT_TRUE(ChooseHistoryEntry(2));
    EXPECT_TRUE(WaitFor([] { return FindWineFolderWindow(L"R&D") != nullptr; }, 60000))
        << "no Explorer window on R&D";
    EndExplorersSince(explorers);
}

}  // namespace
