// Trailkeep under faults: a Trailkeep that stops answering, a close from inside a wait,
// hard kills while it records, navigation storms, and settings files nobody should write.
// Explorer never waits long on Trailkeep, and the user's stored entries survive.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

#include "testsupport.h"

#include <tlhelp32.h>

using namespace tk;

namespace {

using Hardening = TrailkeepTest;

// Suspends (or resumes) every thread of a process.
void SuspendProcess(DWORD processId, bool suspend)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID != processId)
            continue;
        HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, entry.th32ThreadID);
        if (thread != nullptr) {
            if (suspend)
                SuspendThread(thread);
            else
                ResumeThread(thread);
            CloseHandle(thread);
        }
    }
    CloseHandle(snapshot);
}

// The folder history as the profile API reads it from the file: Log_00 on, up to the
// first absent or empty key.
std::vector<std::string> ReadHistory(const std::string& ini)
{
    std::vector<std::string> entries;
    for (int i = 0; i < 50; ++i) {
        char key[16], value[256];
        wsprintfA(key, "Log_%02d", i);
        GetPrivateProfileStringA("Path_Log", key, "", value, sizeof value, ini.c_str());
        if (value[0] == '\0')
            break;
        entries.push_back(value);
    }
    return entries;
}

std::string ReadValue(const std::string& ini, const char* section, const char* key)
{
    char value[256];
    GetPrivateProfileStringA(section, key, "<absent>", value, sizeof value, ini.c_str());
    return value;
}

// The history invariants: no key after the first gap, no entry twice, at most `limit`.
::testing::AssertionResult HistoryIsSound(const std::string& ini, size_t limit)
{
    const std::vector<std::string> entries = ReadHistory(ini);
    if (entries.size() > limit)
        return ::testing::AssertionFailure() << entries.size() << " entries";
    if (std::set<std::string>(entries.begin(), entries.end()).size() != entries.size())
        return ::testing::AssertionFailure() << "an entry stands twice";
    char key[16], value[256];
    wsprintfA(key, "Log_%02d", static_cast<int>(entries.size()) + 1);
    GetPrivateProfileStringA("Path_Log", key, "", value, sizeof value, ini.c_str());
    if (value[0] != '\0')
        return ::testing::AssertionFailure() << "a key after the end: " << key;
    return ::testing::AssertionSuccess();
}

// With Trailkeep suspended, a navigation in Explorer still completes: the hook waits at
// most a second for the title write (asserted with room for a loaded machine). Afterwards
// Trailkeep takes up its work again.
TEST_F(Hardening, ExplorerNavigatesWhileTrailkeepIsSuspended)
{
    Launch("");
    Explorer cabinet;
    ASSERT_TRUE(StartExplorer(&cabinet, "suspended"));
    Activate(cabinet);
    SetAddressText(cabinet, "C:\\before");
    ASSERT_TRUE(FileHistoryBecomes(ini_, {"C:\\before"}));

    SuspendProcess(tk_.info.dwProcessId, true);
    const DWORD start = GetTickCount();
    const bool first = SetAddressText(cabinet, "C:\\while-suspended");
    const DWORD between = GetTickCount();
    const bool second = SetAddressText(cabinet, "C:\\still-suspended");
    const DWORD end = GetTickCount();
    SuspendProcess(tk_.info.dwProcessId, false);
    printf("navigations with Trailkeep suspended took %lu ms and %lu ms\n",
           static_cast<unsigned long>(between - start), static_cast<unsigned long>(end - between));
    EXPECT_TRUE(first) << "a navigation waited on a suspended Trailkeep";
    EXPECT_TRUE(second) << "a navigation waited on a suspended Trailkeep";
    // The hook gives up after one second; three leave room for a loaded test machine.
    EXPECT_LE(between - start, 3000u);
    EXPECT_LE(end - between, 3000u);

    SetAddressText(cabinet, "C:\\after");
    EXPECT_TRUE(WaitFor([&] {
        const std::vector<std::string> h = ReadHistory(ini_);
        return !h.empty() && h.front() == "C:\\after";
    }));
    EXPECT_TRUE(WaitFor([&] { return FindTrailkeep() == main_; }));
    EXPECT_TRUE(HistoryIsSound(ini_, 20));
}

// Another program closes Trailkeep from inside Trailkeep's read of its address field (a
// pending path's delay has run out). The close waits until that read is over, and then
// Trailkeep ends in order.
TEST_F(Hardening, CloseSentDuringAReadOfAnotherWindowWaitsForIt)
{
    Launch("[Setting]\r\nLogDelay=1\r\n");
    Explorer cabinet;
    ASSERT_TRUE(StartExplorer(&cabinet, "closing", "--close-on-gettext"));
    Activate(cabinet);
    SetAddressText(cabinet, "C:\\parked");
    ASSERT_TRUE(WaitFor([&] { return WindowText(cabinet.window).rfind("close returned", 0) == 0; }));
    EXPECT_EQ(WindowText(cabinet.window), "close returned: window alive");
    EXPECT_EQ(tk_.WaitExit(), 0);
    EXPECT_EQ(ReadValue(ini_, "Setting", "LogDelay"), "1");
    EXPECT_EQ(ReadValue(ini_, "Setting", "MaxLogData"), "20");
}

// Trailkeep killed outright while it records, and started again each time: every entry
// the file held is still there, and the file is whole. Every other kill comes the moment
// a save's new copy appears, so that some land inside a save; the rest at random moments.
// TK_KILL_ROUNDS sets the number of kills (the stress run uses many more).
TEST_F(Hardening, KilledWhileRecordingLosesNoStoredEntry)
{
    const char* rounds = getenv("TK_KILL_ROUNDS");
    const int kills = rounds != nullptr && atoi(rounds) > 0 ? atoi(rounds) : 20;
    std::string ini = "[Setting]\r\nMaxLogData=50\r\n[Own]\r\nnote=keep\r\n[Path_Log]\r\n";
    std::vector<std::string> kept;
    for (int i = 0; i < 30; ++i) {
        kept.push_back("C:\\kept\\" + std::to_string(i));
        ini += "Log_" + std::string(i < 10 ? "0" : "") + std::to_string(i) + "=" + kept.back() + "\r\n";
    }
    dir_ = MakeScratchDir("killed");
    ini_ = dir_ + "\\Trailkeep.ini";
    WriteFileBytes(ini_, ini);
    Explorer cabinet;
    ASSERT_TRUE(StartExplorer(&cabinet, "recording"));
    std::mt19937 random(1208);
    int cutSaves = 0;

    for (int round = 0; round < kills; ++round) {
        SCOPED_TRACE("kill " + std::to_string(round + 1));
        Process tk;
        ASSERT_NE(StartTrailkeep(&tk, dir_), nullptr);
        Activate(cabinet);
        // Navigations between five folders, then the kill at a random moment of recording.
        const int steps = 1 + random() % 12;
        for (int i = 0; i < steps; ++i)
            SetAddressText(cabinet, ("C:\\cycle\\" + std::to_string(random() % 5)).c_str());
        if (round % 2 == 0) {
            // The next save: one more navigation, and the kill as soon as its copy shows.
            SetAddressText(cabinet, ("C:\\cycle\\" + std::to_string(round % 5)).c_str());
            const DWORD start = GetTickCount();
            while (!FileExists(ini_ + ".new") && GetTickCount() - start < 5000)
                SwitchToThread();
        } else {
            Sleep(random() % 25);
        }
        tk.Kill();
        // A save cut short leaves its new copy beside the file.
        cutSaves += FileExists(ini_ + ".new");

        const std::vector<std::string> history = ReadHistory(ini_);
        for (const std::string& entry : kept)
            ASSERT_NE(std::find(history.begin(), history.end(), entry), history.end())
                << "lost " << entry << " (" << history.size() << " entries read)";
        for (const std::string& entry : history)
            ASSERT_TRUE(entry.rfind("C:\\kept\\", 0) == 0 || entry.rfind("C:\\cycle\\", 0) == 0)
                << entry;
        ASSERT_TRUE(HistoryIsSound(ini_, 50));
        ASSERT_EQ(ReadValue(ini_, "Setting", "MaxLogData"), "50");
        ASSERT_EQ(ReadValue(ini_, "Own", "note"), "keep");
    }
    printf("%d kills, %d of them during a save\n", kills, cutSaves);
    EXPECT_GT(cutSaves, 0) << "no kill landed inside a save: the atomic save went untested";
}

// Three windows navigate as fast as they can while launcher requests open and close the
// folder menu. Trailkeep neither crashes nor deadlocks, the history stays sound, and the
// last folder of a window that has gone quiet is recorded.
TEST_F(Hardening, NavigationStormWithMenusLeavesASoundHistory)
{
    Launch("[Setting]\r\nMaxLogData=30\r\n");
    Explorer storms[3];
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(StartExplorer(&storms[i], "storm" + std::to_string(i), "--storm 1000"));
    auto stormsDone = [&] {
        for (const Explorer& e : storms) {
            if (WindowText(e.window) != "storm done")
                return false;
        }
        return true;
    };
    int menus = 0;
    const DWORD start = GetTickCount();
    for (int turn = 0; !stormsDone() && turn < 200; ++turn) {
        SetForegroundWindow(storms[turn % 3].window);
        ASSERT_EQ(RunTrailmenu(), 1);
        if (WaitFor([] { return !VisibleMenus().empty(); }, 5000))
            ++menus;
        CloseMenus();
    }
    ASSERT_TRUE(WaitFor(stormsDone, 60000)) << "the storm did not end";
    printf("3000 navigations and %d folder menus in %lu ms\n", menus,
           static_cast<unsigned long>(GetTickCount() - start));
    EXPECT_GT(menus, 0);
    ASSERT_TRUE(tk_.Running());
    DWORD_PTR result = 0;
    EXPECT_NE(SendMessageTimeoutA(main_, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result), 0u)
        << "Trailkeep does not answer";

    Activate(storms[1]);
    SetAddressText(storms[1], "C:\\quiet\\last");
    EXPECT_TRUE(WaitFor([&] {
        const std::vector<std::string> h = ReadHistory(ini_);
        return !h.empty() && h.front() == "C:\\quiet\\last";
    }));
    EXPECT_TRUE(HistoryIsSound(ini_, 30));
    for (const std::string& entry : ReadHistory(ini_))
        EXPECT_TRUE(entry.rfind("C:\\storm\\", 0) == 0 || entry == "C:\\quiet\\last") << entry;
}

// Settings files as hand editing, other programs or broken disks leave them. Trailkeep
// starts on each, keeps every entry the profile API can read from it, and leaves a file
// that reads back the same after its save.
TEST_F(Hardening, HostileSettingsFilesKeepEveryReadableEntry)
{
    std::mt19937 random(7);
    std::string garbage;
    for (int i = 0; i < 4096; ++i)
        garbage += static_cast<char>(random());
    const std::string entries = "[Path_Log]\r\nLog_00=C:\\one\r\nLog_01=C:\\two\r\n";
    std::string utf16 = "\xFF\xFE";
    for (char c : "[Setting]\r\nMaxLogData=5\r\n" + entries)
        utf16 += std::string(1, c) + '\0';
    // Over the 1 MiB that Trailkeep rewrites in memory: such a file takes the profile API's way.
    std::string megabyte = "[Junk]\r\n";
    while (megabyte.size() < 1200000)
        megabyte += "line" + std::to_string(megabyte.size()) + "=" + std::string(60, 'j') + "\r\n";
    megabyte += entries;
    const std::string longValue = "C:\\" + std::string(1000, 'v');

    struct Case {
        const char* name;
        std::string text;
    };
    const Case cases[] = {
        {"binary garbage", garbage},
        {"garbage around the entries", garbage.substr(0, 900) + "\r\n" + entries + garbage.substr(900)},
        {"UTF-16 with a byte-order mark", utf16},
        {"UTF-8 with a byte-order mark", "\xEF\xBB\xBF" + entries},
        {"a file of over a megabyte", megabyte},
        {"duplicated keys", "[Path_Log]\r\nLog_00=C:\\first\r\nLog_00=C:\\second\r\nLog_01=C:\\b\r\n"},
        {"duplicated sections", entries + "[Setting]\r\nOpenMode=1\r\n[Path_Log]\r\nLog_02=C:\\hidden\r\n"},
        {"values of 1000 characters", "[Setting]\r\nMaxLogData=" + std::string(1000, '7') +
                                          "\r\n[Path_Log]\r\nLog_00=" + longValue + "\r\nLog_01=C:\\b\r\n"},
        {"no sections at all", "Log_00=C:\\nowhere\r\nMaxLogData=3\r\n"},
        {"no [Setting] section", entries},
        {"mixed line ends", "[Setting]\rMaxLogData=9\n[Path_Log]\r\nLog_00=C:\\cr\rLog_01=C:\\lf\nLog_02=C:\\crlf\r\n"},
        {"an empty file", ""},
        {"a header without its bracket", "[Path_Log\r\nLog_00=C:\\x\r\n"},
        {"blanks and quotes", "[ Path_Log ]\r\n  Log_00 =  C:\\spaced  \r\nLog_01=\"C:\\quoted\"\r\n"},
        {"a gap in the list", "[Path_Log]\r\nLog_00=C:\\a\r\nLog_01=\r\nLog_02=C:\\c\r\n"},
        {"lower-case names", "[path_log]\r\nlog_00=C:\\lower\r\n"},
        {"a NUL inside a value", std::string("[Path_Log]\r\nLog_00=C:\\nu\0l\r\nLog_01=C:\\b\r\n", 41)},
        {"a line of 100000 characters", std::string(100000, 'x') + "\r\n" + entries},
        {"out-of-range settings", "[Setting]\r\nMaxLogData=-5\r\nLogSort=99\r\nOpenMode=-1\r\n"
                                  "DeletedFolderTime=2147483647\r\nLogDelay=-3\r\n" + entries},
        {"Shift-JIS trail bytes", "[Path_Log]\r\nLog_00=C:\\\x95\x5C\\\x83\x5D\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string dir = MakeScratchDir("hostile");
        const std::string ini = dir + "\\Trailkeep.ini";
        WriteFileBytes(ini, c.text);
        // What Trailkeep can read, as the profile API reads it, cut to the history length
        // (read as Trailkeep reads it: the first nine characters count).
        std::vector<std::string> expected = ReadHistory(ini);
        char max[10];
        GetPrivateProfileStringA("Setting", "MaxLogData", "20", max, sizeof max, ini.c_str());
        expected.resize(std::min<size_t>(expected.size(), std::clamp(atoi(max), 1, 50)));
        const std::string ownValue = ReadValue(ini, "Junk", "line8");

        Process tk;
        HWND main = StartTrailkeep(&tk, dir);
        ASSERT_NE(main, nullptr) << "did not start";
        EXPECT_EQ(CloseTrailkeep(&tk, main), 0);
        EXPECT_EQ(ReadHistory(ini), expected);
        EXPECT_TRUE(HistoryIsSound(ini, 50));
        EXPECT_EQ(ReadValue(ini, "Junk", "line8"), ownValue);
        EXPECT_NE(ReadValue(ini, "Setting", "OpenMode"), "<absent>");
    }
}

}  // namespace
