// The settings command of the main window around the real settings dialog, driven from a
// second thread: what it holds while the dialog is up, and what OK and Cancel leave.
#include <gtest/gtest.h>

#include "testsupport.h"

#include "core/protocol.h"
#include "core/settings.h"
#include "core/trailkeep.h"
#include "tests/support/u16.h"

using namespace tk;

namespace {

// Waits for the settings dialog of this process, notes the busy state, clicks the given
// buttons and then presses `button`.
struct SettingsDriver {
    std::vector<int> clicks;
    int button;
    volatile LONG busySeen = -1;
    HANDLE thread = nullptr;

    static DWORD WINAPI Run(LPVOID self)
    {
        SettingsDriver* d = static_cast<SettingsDriver*>(self);
        HWND dlg = nullptr;
        if (WaitFor([&] {
                return (dlg = FindDialog(GetCurrentProcessId(), "フォルダ履歴保持数")) != nullptr;
            })) {
            d->busySeen = *static_cast<volatile int*>(&gBusy);
            for (int id : d->clicks)
                SendMessageA(GetDlgItem(dlg, id), BM_CLICK, 0, 0);
            PostMessageA(dlg, WM_COMMAND, d->button, 0);
        }
        return 0;
    }
    SettingsDriver(std::vector<int> clickIds, int pressed) : clicks(clickIds), button(pressed)
    {
        thread = CreateThread(nullptr, 0, Run, this, 0, nullptr);
    }
    ~SettingsDriver()
    {
        WaitForSingleObject(thread, 60000);
        CloseHandle(thread);
    }
};

void SetList(PathSlot* slots, int count, const std::vector<std::string>& paths)
{
    for (int i = 0; i < count; ++i)
        CopyPath(slots[i], PA(i < static_cast<int>(paths.size()) ? paths[i] : std::string()));
}

std::vector<std::string> HistoryEntries()
{
    std::vector<std::string> entries;
    for (int i = 0; i < kHistorySlots && gHistory[i][0] != '\0'; ++i)
        entries.push_back(AnsiOf(gHistory[i]));
    return entries;
}

class SettingsCommand : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        gInstance = GetModuleHandleA(nullptr);
        InitializeCriticalSection(&gHistoryLock);
    }
    void SetUp() override
    {
        dir_ = MakeScratchDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
        ASSERT_TRUE(SetCurrentDirectoryA(dir_.c_str()));
        gMainWnd = CreateWindowExA(0, "STATIC", "settings owner", WS_OVERLAPPED, 0, 0, 10, 10,
                                   nullptr, nullptr, gInstance, nullptr);
        ASSERT_NE(gMainWnd, nullptr);
        gStartStage = kStartComplete;
        MaxLogData = 20;
        LogTourokuData = LogRemovable = OpenExistFolder = SwapMouseLR = LogSort = OpenMode = 0;
        LogDelay = 0;
        LogNetwork = 0;
        SetList(gRegistered, kRegisteredSlots, {});
    }
    void TearDown() override
    {
        KillTimer(gMainWnd, TIMER_PURGE);
        DestroyWindow(gMainWnd);
        SetCurrentDirectoryA("C:\\");
    }
    std::string dir_;
};

// Cancel changes no setting and saves nothing, but the purge countdown starts again from
// the full period. Only the dialog's own hold on the busy state comes and goes.
TEST_F(SettingsCommand, CancelChangesNothingAndRestartsThePurgeCountdown)
{
    DeletedFolder = 1;
    DeletedFolderTime = 3;
    gPurgeCountdown = 1234;
    gBusy = kBusyMenu;  // a menu's hold, left from before: not the dialog's to clear
    SetList(gHistory, kHistorySlots, {"N:\\share", "C:\\kept"});
    SettingsDriver driver({109, 110, 114}, 102);
    OnSettingsCommand();
    EXPECT_EQ(driver.busySeen, kBusyMenu | kBusySettings);
    EXPECT_EQ(gBusy, kBusyMenu);
    EXPECT_EQ(LogNetwork, 0);
    EXPECT_EQ(DeletedFolder, 1);
    EXPECT_EQ(SwapMouseLR, 0);
    EXPECT_EQ(HistoryEntries(), std::vector<std::string>({"N:\\share", "C:\\kept"}));
    EXPECT_EQ(gPurgeCountdown, 3 * 60000);
    EXPECT_TRUE(KillTimer(gMainWnd, TIMER_PURGE)) << "the purge timer is not running";
    EXPECT_FALSE(FileExists(dir_ + "\\Trailkeep.ini"));
}

// OK turning DeletedFolder on purges vanished folders at once and starts the purge timer;
// OK turning it off leaves the timer stopped.
TEST_F(SettingsCommand, OkStartsAndStopsThePurgeTimerWithDeletedFolder)
{
    DeletedFolder = 0;
    DeletedFolderTime = 2;
    gPurgeCountdown = 0;
    gBusy = 0;
    SetList(gHistory, kHistorySlots, {dir_ + "\\gone", dir_, "C:\\tk-gone-too"});
    {
        SettingsDriver driver({110}, 100);
        OnSettingsCommand();
        EXPECT_EQ(driver.busySeen, kBusySettings);
    }
    EXPECT_EQ(gBusy, 0);
    EXPECT_EQ(DeletedFolder, 1);
    EXPECT_EQ(HistoryEntries(), std::vector<std::string>({dir_}));
    EXPECT_EQ(gPurgeCountdown, 2 * 60000);
    EXPECT_TRUE(KillTimer(gMainWnd, TIMER_PURGE)) << "the purge timer was not started";
    std::string value;
    EXPECT_TRUE(IniValue(dir_ + "\\Trailkeep.ini", "Setting", "DeletedFolder", &value));
    EXPECT_EQ(value, "1");
    EXPECT_TRUE(FileHistoryBecomes(dir_ + "\\Trailkeep.ini", {dir_}));

    // Running again, as the first OK left it; OK with DeletedFolder off stops it.
    SetTimer(gMainWnd, TIMER_PURGE, 1000, nullptr);
    {
        SettingsDriver driver({110}, 100);
        OnSettingsCommand();
    }
    EXPECT_EQ(DeletedFolder, 0);
    EXPECT_FALSE(KillTimer(gMainWnd, TIMER_PURGE)) << "the purge timer still runs";
    EXPECT_TRUE(IniValue(dir_ + "\\Trailkeep.ini", "Setting", "DeletedFolder", &value));
    EXPECT_EQ(value, "0");
}

}  // namespace
