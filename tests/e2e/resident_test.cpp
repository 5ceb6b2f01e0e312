// The resident program as a user meets it: one instance, a hidden main window, the
// settings file of the current directory, start-up upkeep of the history, orderly exit.
#include <gtest/gtest.h>

#include "testsupport.h"

using namespace tk;

namespace {

class Resident : public ::testing::Test {
protected:
    void SetUp() override { EndStrayTrailkeeps(); }
    void TearDown() override { EndStrayTrailkeeps(); }
};

std::string Value(const std::string& ini, const char* section, const char* key)
{
    std::string value;
    return IniValue(ini, section, key, &value) ? value : "<absent>";
}

TEST_F(Resident, HiddenWindowOneInstanceAndOrderlyExit)
{
    const std::string dir = MakeScratchDir("resident-first");
    const std::string other = MakeScratchDir("resident-second");
    Process first;
    HWND main = StartTrailkeep(&first, dir);
    ASSERT_NE(main, nullptr) << "no main window of class TrailkeeperClass titled Trailkeeper";
    EXPECT_FALSE(IsWindowVisible(main));
    char cls[64];
    GetClassNameA(main, cls, sizeof cls);
    EXPECT_STREQ(cls, "TrailkeeperClass");

    // A second start finds the window and ends at once, touching nothing.
    Process second;
    ASSERT_TRUE(Start(&second, "Trailkeep.exe", "", other));
    EXPECT_EQ(second.WaitExit(), 0);
    EXPECT_FALSE(FileExists(other + "\\Trailkeep.ini"));
    EXPECT_TRUE(first.Running());

    // Closing saves every setting but DebugBeep, with the defaults of a missing file.
    EXPECT_EQ(CloseTrailkeep(&first, main), 0);
    const std::string ini = dir + "\\Trailkeep.ini";
    ASSERT_TRUE(FileExists(ini));
    EXPECT_EQ(Value(ini, "Setting", "MaxLogData"), "20");
    EXPECT_EQ(IniKeys(ini, "Setting"),
              "MaxLogData LogDelay LogTourokuData LogRemovable LogNetwork OpenExistFolder "
              "DeletedFolder DeletedFolderTime SwapMouseLR LogSort OpenMode SwitchFileDialog "
              "ShowOpenFolders");
    EXPECT_EQ(Value(ini, "Setting", "SwitchFileDialog"), "1");
    EXPECT_EQ(Value(ini, "Setting", "ShowOpenFolders"), "1");
    for (const char* key : {"LogDelay", "LogTourokuData", "LogRemovable", "LogNetwork",
                            "OpenExistFolder", "DeletedFolder", "DeletedFolderTime",
                            "SwapMouseLR", "LogSort", "OpenMode"})
        EXPECT_EQ(Value(ini, "Setting", key), "0") << key;
    EXPECT_EQ(IniKeys(ini, "Path_Log"), "");
    EXPECT_EQ(IniKeys(ini, "Path_Touroku"), "");
}

// A 32-bit and a 64-bit Trailkeep share one desktop: whichever starts second finds the
// first and ends, and the launcher of either bitness reaches the one that runs.
TEST_F(Resident, OneTrailkeepPerDesktopWhateverItsBitness)
{
    // The other build's folder, set by the test run where this host runs both.
    const char* peerBin = getenv("TK_PEER_BIN");
    if (peerBin == nullptr || peerBin[0] == '\0')
        GTEST_SKIP() << "the programs of the other architecture do not run on this host";
    const std::string own = BinDir() + "\\", peer = std::string(peerBin) + "\\";
    DWORD ownKind = 0, peerKind = 0;
    ASSERT_TRUE(GetBinaryTypeA((own + "Trailkeep.exe").c_str(), &ownKind));
    ASSERT_TRUE(GetBinaryTypeA((peer + "Trailkeep.exe").c_str(), &peerKind)) << peer;
    ASSERT_NE(ownKind, peerKind) << "the other build is of this build's own bitness";
    for (const auto& [first, second] : {std::pair(own, peer), std::pair(peer, own)}) {
        SCOPED_TRACE("running: " + first + ", started second: " + second);
        const std::string dir = MakeScratchDir("bitness-first");
        const std::string other = MakeScratchDir("bitness-second");
        Process running;
        HWND main = StartTrailkeep(&running, dir, first + "Trailkeep.exe");
        ASSERT_NE(main, nullptr);

        Process late;
        ASSERT_TRUE(Start(&late, second + "Trailkeep.exe", "", other));
        EXPECT_EQ(late.WaitExit(), 0);
        EXPECT_FALSE(FileExists(other + "\\Trailkeep.ini"));

        for (const std::string& launcher : {first, second}) {
            EXPECT_EQ(RunTrailmenu(launcher + "Trailmenu.exe"), 1) << launcher;
            EXPECT_TRUE(WaitFor([] { return !VisibleMenus().empty(); })) << launcher;
            EXPECT_TRUE(CloseMenus());
        }
        EXPECT_EQ(CloseTrailkeep(&running, main), 0);
    }
}

TEST_F(Resident, SettingsFileRulesOnLoadAndSave)
{
    const std::string dir = MakeScratchDir("resident-rules");
    const std::string ini = dir + "\\Trailkeep.ini";
    WriteFileBytes(ini,
                   "[Setting]\r\n"
                   "MaxLogData=3\r\n"
                   "LogDelay=1234567890\r\n"       // only nine characters count
                   "LogSort=  +2xyz\r\n"           // blanks, sign, digits up to the first other
                   "OpenMode=abc\r\n"              // no digits: 0
                   "SwapMouseLR=\r\n"              // present but empty: 0, not the default
                   "DebugBeep=7\r\n"               // read, never written
                   "SaveTime=20261208\r\n"         // removed by every save of the settings
                   "Unknown=kept\r\n"
                   "[Path_Log]\r\n"
                   "Log_00=C:\\one\r\nLog_01=C:\\two\r\nLog_02=C:\\three\r\n"
                   "Log_03=C:\\four\r\nLog_04=C:\\five\r\nLog_06=C:\\after-gap\r\n"
                   "[Path_Touroku]\r\n"
                   "Touroku_00=C:\\reg0\r\nTouroku_01=C:\\reg1\r\nTouroku_03=C:\\reg3\r\n"
                   "[Other]\r\nFoo=bar\r\n");
    Process tk;
    HWND main = StartTrailkeep(&tk, dir);
    ASSERT_NE(main, nullptr);
    ASSERT_EQ(CloseTrailkeep(&tk, main), 0);

    EXPECT_EQ(Value(ini, "Setting", "MaxLogData"), "3");
    EXPECT_EQ(Value(ini, "Setting", "LogDelay"), "123456789");
    EXPECT_EQ(Value(ini, "Setting", "LogSort"), "2");
    EXPECT_EQ(Value(ini, "Setting", "OpenMode"), "0");
    EXPECT_EQ(Value(ini, "Setting", "SwapMouseLR"), "0");
    EXPECT_EQ(Value(ini, "Setting", "DebugBeep"), "7");
    EXPECT_EQ(Value(ini, "Setting", "SaveTime"), "<absent>");
    EXPECT_EQ(Value(ini, "Setting", "Unknown"), "kept");
    EXPECT_EQ(Value(ini, "Other", "Foo"), "bar");
    // The history ends at the gap and is cut to MaxLogData at start-up; the keys left are
    // exactly those of the entries.
    EXPECT_EQ(IniKeys(ini, "Path_Log"), "Log_00 Log_01 Log_02");
    EXPECT_EQ(Value(ini, "Path_Log", "Log_00"), "C:\\one");
    EXPECT_EQ(Value(ini, "Path_Log", "Log_02"), "C:\\three");
    EXPECT_EQ(IniKeys(ini, "Path_Touroku"), "Touroku_00 Touroku_01");
    EXPECT_EQ(Value(ini, "Path_Touroku", "Touroku_01"), "C:\\reg1");
}

// Hand-edited history lengths: above 50 keeps all 50 entries; below 1 keeps the most
// recent entry, and the value itself stays as the user wrote it.
TEST_F(Resident, OutOfRangeHistoryLengthStaysWithinTheSlots)
{
    for (const char* max : {"99", "0", "-5"}) {
        const std::string dir = MakeScratchDir("resident-max");
        const std::string ini = dir + "\\Trailkeep.ini";
        std::string text = std::string("[Setting]\r\nMaxLogData=") + max + "\r\n[Path_Log]\r\n";
        for (int i = 0; i < 50; ++i) {
            char line[64];
            wsprintfA(line, "Log_%02d=C:\\folder%02d\r\n", i, i);
            text += line;
        }
        WriteFileBytes(ini, text);
        Process tk;
        HWND main = StartTrailkeep(&tk, dir);
        ASSERT_NE(main, nullptr) << max;
        ASSERT_EQ(CloseTrailkeep(&tk, main), 0) << max;
        EXPECT_EQ(Value(ini, "Setting", "MaxLogData"), max);
        const std::string keys = IniKeys(ini, "Path_Log");
        if (std::string(max) == "99") {
            EXPECT_EQ(Value(ini, "Path_Log", "Log_49"), "C:\\folder49");
        } else {
            EXPECT_EQ(keys, "Log_00") << max;
            EXPECT_EQ(Value(ini, "Path_Log", "Log_00"), "C:\\folder00");
        }
    }
}

// Start-up removes what the capture filters now refuse and local folders that are gone,
// and keeps the order of the rest. D: is a CD-ROM, E: removable, N: a network drive and
// R: a RAM disk on the test bed.
TEST_F(Resident, StartupPurgesKeepSurvivorsInOrder)
{
    const std::string dir = MakeScratchDir("resident-purge");
    const std::string ini = dir + "\\Trailkeep.ini";
    const std::string kept1 = dir + "\\kept1", kept2 = dir + "\\kept2", reg = dir + "\\reg";
    CreateDirectoryA(kept1.c_str(), nullptr);
    CreateDirectoryA(kept2.c_str(), nullptr);
    CreateDirectoryA(reg.c_str(), nullptr);
    const std::string history = "[Path_Log]\r\nLog_00=" + kept1 + "\r\nLog_01=" + dir +
                                "\\gone\r\nLog_02=D:\\disc\r\nLog_03=E:\\stick\r\n"
                                "Log_04=N:\\share\r\nLog_05=\\\\server\\share\r\nLog_06=R:\\gone\r\n"
                                "Log_07=" + reg + "\r\nLog_08=" + kept2 + "\r\n"
                                "[Path_Touroku]\r\nTouroku_00=" + reg + "\r\n";

    // Every filter off: everything the filters refuse goes, and vanished local folders.
    WriteFileBytes(ini, "[Setting]\r\nDeletedFolder=1\r\n" + history);
    Process tk;
    HWND main = StartTrailkeep(&tk, dir);
    ASSERT_NE(main, nullptr);
    ASSERT_EQ(CloseTrailkeep(&tk, main), 0);
    EXPECT_EQ(IniKeys(ini, "Path_Log"), "Log_00 Log_01");
    EXPECT_EQ(Value(ini, "Path_Log", "Log_00"), kept1);
    EXPECT_EQ(Value(ini, "Path_Log", "Log_01"), kept2);

    // Every kind recorded: only the vanished folders on local disks go. A folder gone from
    // a disc, a stick, a share or a server is kept: it may come back.
    WriteFileBytes(ini, "[Setting]\r\nDeletedFolder=1\r\nLogTourokuData=1\r\nLogRemovable=1\r\n"
                        "LogNetwork=1\r\n" + history);
    Process again;
    main = StartTrailkeep(&again, dir);
    ASSERT_NE(main, nullptr);
    ASSERT_EQ(CloseTrailkeep(&again, main), 0);
    EXPECT_EQ(IniKeys(ini, "Path_Log"), "Log_00 Log_01 Log_02 Log_03 Log_04 Log_05 Log_06");
    EXPECT_EQ(Value(ini, "Path_Log", "Log_00"), kept1);
    EXPECT_EQ(Value(ini, "Path_Log", "Log_01"), "D:\\disc");
    EXPECT_EQ(Value(ini, "Path_Log", "Log_04"), "\\\\server\\share");
    EXPECT_EQ(Value(ini, "Path_Log", "Log_05"), reg);
    EXPECT_EQ(Value(ini, "Path_Log", "Log_06"), kept2);
}

// With no deletion of vanished folders and every filter on, start-up changes nothing.
TEST_F(Resident, StartupWithAllFiltersOnKeepsHistory)
{
    const std::string dir = MakeScratchDir("resident-nopurge");
    const std::string ini = dir + "\\Trailkeep.ini";
    WriteFileBytes(ini, "[Setting]\r\nLogTourokuData=1\r\nLogRemovable=1\r\nLogNetwork=1\r\n"
                        "[Path_Log]\r\nLog_00=C:\\gone\r\nLog_01=Deleted\r\nLog_02=N:\\x\r\n");
    Process tk;
    HWND main = StartTrailkeep(&tk, dir);
    ASSERT_NE(main, nullptr);
    ASSERT_EQ(CloseTrailkeep(&tk, main), 0);
    EXPECT_EQ(IniKeys(ini, "Path_Log"), "Log_00 Log_01 Log_02");
    EXPECT_EQ(Value(ini, "Path_Log", "Log_01"), "Deleted");
}

// A current directory too long for the settings path: the program runs with its defaults
// and writes no file anywhere.
TEST_F(Resident, OverlongCurrentDirectoryWritesNoFile)
{
    std::string dir = MakeScratchDir("resident-long");
    while (dir.size() < 245) {
        dir += "\\" + std::string(std::min<size_t>(40, 245 - dir.size()), 'd');
        CreateDirectoryA(dir.c_str(), nullptr);
    }
    ASSERT_GT(dir.size() + strlen("\\Trailkeep.exe"), 255u);
    Process tk;
    HWND main = StartTrailkeep(&tk, dir);
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(CloseTrailkeep(&tk, main), 0);
    EXPECT_FALSE(FileExists(dir + "\\Trailkeep.ini"));
}

// Closes a message box with the given text and caption; returns whether one was found.
bool CloseMessageBox(const char* caption, const char* text)
{
    HWND box = nullptr;
    // The box is found as soon as it exists; its text is there once it shows.
    if (!WaitFor([&] {
            box = FindWindowA("#32770", caption);
            return box != nullptr && IsWindowVisible(box);
        }))
        return false;
    HWND label = FindWindowExA(box, nullptr, "Static", text);
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    WaitFor([&] { return !IsWindow(box); });
    return label != nullptr;
}

// A failed start-up shows its boxes, ends with 0, and leaves the user's file as it was:
// an object of another kind holding the handoff mutex's name makes the mutex fail.
TEST_F(Resident, FailedStartupLeavesSettingsFileUntouched)
{
    const std::string dir = MakeScratchDir("resident-fail");
    const std::string ini = dir + "\\Trailkeep.ini";
    const std::string original = "[Setting]\r\nMaxLogData=2\r\nSaveTime=1\r\n"
                                 "[Path_Log]\r\nLog_00=C:\\a\r\nLog_01=C:\\b\r\nLog_02=C:\\c\r\n";
    WriteFileBytes(ini, original);
    HANDLE squatter = CreateEventA(nullptr, TRUE, FALSE, "TrailkeeperMutex");
    ASSERT_NE(squatter, nullptr);
    Process tk;
    ASSERT_TRUE(Start(&tk, "Trailkeep.exe", "", dir));
    EXPECT_TRUE(CloseMessageBox("Trailhook.dll", "Mutex作成失敗"));
    EXPECT_TRUE(CloseMessageBox("Trailkeep.exe", "DLL Load Error"));
    EXPECT_EQ(tk.WaitExit(), 0);
    CloseHandle(squatter);
    EXPECT_EQ(ReadFileBytes(ini), original);
}

}  // namespace
