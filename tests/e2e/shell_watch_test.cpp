// Folder windows of modern Explorer, learned through the shell's window list: a stand-in
// shell whose windows have no address field that a hook could see, and Wine's own folder
// window, which registers with Wine's list.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "shell_watch.h"


using namespace tk;

namespace {

const wchar_t kVirtualFolder[] = L"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}";

// Nothing that a hook could see: the navigations reach the history through the list.
TEST_F(ShellWatch, NavigationsInWindowsAndTabsAreRecordedAndClosingLeavesNoConnection)
{
    LaunchWatched("");
    HWND tab1 = Open(L"C:\\Windows");
    ASSERT_NE(tab1, nullptr);
    HWND root = GetAncestor(tab1, GA_ROOT);
    // A window that opens on a folder: its folder counts.
    EXPECT_TRUE(FileHistoryBecomes(ini_, {"C:\\Windows"}));
    ASSERT_TRUE(BringToFront(root));
    Go(tab1, L"C:\\Program Files");
    EXPECT_TRUE(FileHistoryBecomes(ini_, {"C:\\Program Files", "C:\\Windows"}));

    // Not recorded: a virtual folder. Recorded as it is: a folder the ANSI code page (932
    // here) cannot spell ("ā", which the helper reads as "?"), and one whose file: URL
    // reads otherwise ("%20" is no escape).
    Go(tab1, kVirtualFolder);
    Go(tab1, L"C:\\a%20b");
    EXPECT_TRUE(FileHistoryBecomes(ini_, {"C:\\a%20b", "C:\\Program Files", "C:\\Windows"}));
    Go(tab1, L"C:\\a\u0101");
    EXPECT_TRUE(
        FileHistoryBecomes(ini_, {"C:\\a?", "C:\\a%20b", "C:\\Program Files", "C:\\Windows"}));

    // A second tab, its own entry of the list, opens active: its folder counts.
    HWND tab2 = NewTab(root, L"C:\\Users");
    ASSERT_NE(tab2, nullptr);
    EXPECT_TRUE(FileHistoryBecomes(
        ini_, {"C:\\Users", "C:\\a?", "C:\\a%20b", "C:\\Program Files", "C:\\Windows"}));
    // A tab in the background is not what the user looks at.
    Go(tab1, L"C:\\background");
    Go(tab2, L"C:\\tab2");
    EXPECT_TRUE(FileHistoryBecomes(ini_, {"C:\\tab2", "C:\\Users", "C:\\a?", "C:\\a%20b",
                                          "C:\\Program Files", "C:\\Windows"}));
    HWND selected = nullptr;
    ASSERT_TRUE(ShellCommand(kShellSelectTab, tab1, nullptr, &selected));
    Go(tab1, L"C:\\tab1");
    EXPECT_TRUE(FileHistoryBecomes(ini_, {"C:\\tab1", "C:\\tab2", "C:\\Users", "C:\\a?",
                                          "C:\\a%20b", "C:\\Program Files", "C:\\Windows"}));

    // Closing a tab, then the window: each connection ends while the shell still takes
    // calls for the tab (it lets go of the tab's sinks after OnQuit, then revokes it).
    EXPECT_EQ(Sinks(tab2), 1);
    HWND done = nullptr;
    ASSERT_TRUE(ShellCommand(kShellSelectTab, tab2, nullptr, &selected));
    ASSERT_TRUE(ShellCommand(kShellClose, tab2, nullptr, &done));
    ASSERT_TRUE(WaitShellLog("Revoke 2")) << ShellLog();
    EXPECT_NE(ShellLog().find(Unadvised(tab2)), std::string::npos) << ShellLog();
    ASSERT_TRUE(ShellCommand(kShellClose, root, nullptr, &done));
    ASSERT_TRUE(WaitShellLog("Revoke 1")) << ShellLog();
    EXPECT_NE(ShellLog().find(Unadvised(tab1)), std::string::npos) << ShellLog();
    EXPECT_EQ(Sinks(nullptr), 1);  // the list's own, and no other

    // A window that is not in front: not what the user looks at either.
    HWND seen = Open(L"C:\\fg1");
    ASSERT_NE(seen, nullptr);
    EXPECT_TRUE(NewestBecomes("C:\\fg1"));
    HWND other = Open(L"C:\\fg2");
    ASSERT_NE(other, nullptr);
    EXPECT_TRUE(NewestBecomes("C:\\fg2"));
    ASSERT_TRUE(BringToFront(GetAncestor(seen, GA_ROOT)));
    Go(other, L"C:\\unseen");
    Go(seen, L"C:\\seen");
    EXPECT_TRUE(NewestBecomes("C:\\seen"));
    EXPECT_EQ(HistoryInFile(ini_).find("unseen"), std::string::npos) << HistoryInFile(ini_);
}

// With a delay, the latest of quick navigations is recorded, and only if still shown.
TEST_F(ShellWatch, WithADelayOnlyTheFolderStillShownIsRecorded)
{
    LaunchWatched("[Setting]\r\nLogDelay=2\r\n");
    HWND tab = Open(L"C:\\d1");
    ASSERT_NE(tab, nullptr);
    ASSERT_TRUE(BringToFront(GetAncestor(tab, GA_ROOT)));
    Go(tab, L"C:\\d2");
    Go(tab, L"C:\\d3");
    EXPECT_TRUE(FileHistoryBecomes(ini_, {"C:\\d3"}));

    // Gone on to a virtual folder before the delay ran out: not recorded. Another
    // window's folder, parked later, shows when the first delay has run out.
    Go(tab, L"C:\\d4");
    Go(tab, kVirtualFolder);
    HWND other = Open(L"C:\\d5");
    ASSERT_NE(other, nullptr);
    EXPECT_TRUE(FileHistoryBecomes(ini_, {"C:\\d5", "C:\\d3"}));
}

// The shell ends without a word and starts again, announcing itself: the watcher starts
// over, and the next navigation is recorded.
TEST_F(ShellWatch, ShellThatEndsAndStartsAgainIsFollowedAgain)
{
    LaunchWatched("");
    ASSERT_NE(Open(L"C:\\before"), nullptr);
    EXPECT_TRUE(FileHistoryBecomes(ini_, {"C:\\before"}));
    HWND none = nullptr;
    ShellCommand(kShellQuitNoRevoke, nullptr, nullptr, &none);
    ASSERT_TRUE(WaitFor([] { return FindWindowW(kStandinShellControlClass, nullptr) == nullptr; }));

    shell_ = StartStandinShell(true);
    ASSERT_NE(shell_, 0u);
    ASSERT_TRUE(WaitFor([] { return Sinks(nullptr) == 1; })) << ShellLog();
    ASSERT_NE(Open(L"C:\\after"), nullptr);
    EXPECT_TRUE(FileHistoryBecomes(ini_, {"C:\\after", "C:\\before"}));
}

// A hung shell (every thread suspended) holds up neither the menus nor the exit.
TEST_F(ShellWatch, HungShellHoldsUpNeitherMenusNorExit)
{
    const std::string target = MakeScratchDir("hung-shell-visit");
    // Open before Trailkeep starts, so that no list event follows the connection: the
    // watcher then looks again at the list a while after each, and the shell would hang
    // in one of those looks instead of in the call the new start makes.
    HWND followed = Open(L"C:\\Windows");
    ASSERT_NE(followed, nullptr);
    LaunchWatched("[Path_Log]\r\nLog_00=C:\\Windows\r\nLog_01=" + target + "\r\n");
    ASSERT_TRUE(WaitFor([&] { return Sinks(followed) == 1; })) << ShellLog();
    ASSERT_TRUE(FileHistoryBecomes(ini_, {"C:\\Windows", target}));
    SuspendProcess(shell_, true);
    // Explorer announcing a new start sends the watcher to the hung shell's objects.
    PostMessageA(HWND_BROADCAST, RegisterWindowMessageA("TaskbarCreated"), 0, 0);

    const std::set<DWORD> explorers = ExplorerProcesses();
    const DWORD menuAsked = GetTickCount();
    ASSERT_TRUE(ChooseHistoryEntry(2));
    const DWORD menuTook = GetTickCount() - menuAsked;
    std::printf("folder menu and history open %lu ms after the click\n",
                static_cast<unsigned long>(menuTook));
    EXPECT_LT(menuTook, 5000u);
    // Explorer is started on the folder after a search of the open windows that gives up
    // on the hung shell at its first unanswered read, whatever its number of windows.
    // (Under Wine, Explorer itself asks the shell's list for its window, which the test
    // bed has sent to the hung stand-in: its process is what shows.)
    const DWORD chosen = GetTickCount();
    EXPECT_TRUE(WaitFor([&] { return ExplorerProcesses() != explorers; }, 60000))
        << "no Explorer started on " << target;
    const DWORD started = GetTickCount() - chosen;
    std::printf("Explorer started %lu ms after the choice\n", static_cast<unsigned long>(started));
    EXPECT_LT(started, 8000u);
    // The watcher was held: the call it was waiting in reaches the shell once the shell
    // answers again (it lets go of the window it followed, for the new start), and it
    // connects anew.
    SuspendProcess(shell_, false);
    EXPECT_TRUE(WaitShellLog(Unadvised(followed).c_str())) << ShellLog();
    EXPECT_TRUE(WaitFor([] { return ShellLog().find("Advise list", ShellLog().find("Unadvise")) !=
                                    std::string::npos; }))
        << ShellLog();
    // And the Explorer started shows the chosen folder, once the shell's list answers it.
    EXPECT_TRUE(WaitFor([] { return FindWineFolderWindow(L"hung-shell-visit") != nullptr; }, 30000))
        << "no Explorer window on " << target;

    // Hung again, with the watcher sent to it: the exit is not held up either.
    SuspendProcess(shell_, true);
    PostMessageA(HWND_BROADCAST, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    const DWORD closeAsked = GetTickCount();
    EXPECT_EQ(CloseTrailkeep(&tk_, main_), 0);
    const DWORD exitTook = GetTickCount() - closeAsked;
    std::printf("exit took %lu ms with the shell hung\n", static_cast<unsigned long>(exitTook));
    EXPECT_LT(exitTook, 5000u);
    main_ = nullptr;
    SuspendProcess(shell_, false);
    EndExplorersSince(explorers);
}

// An entry that a followed tab shows: its window comes forward, restored, nothing is
// started, and the visit is recorded once the delay has run out.
TEST_F(ShellWatch, ChosenEntryShownByAModernWindowComesForwardAndIsRecorded)
{
    HWND tab = Open(L"C:\\reuse");
    ASSERT_NE(tab, nullptr);
    HWND root = GetAncestor(tab, GA_ROOT);
    // Open before Trailkeep starts: followed, not recorded.
    LaunchWatched("[Setting]\r\nLogDelay=1\r\n[Path_Log]\r\nLog_00=C:\\Windows\r\nLog_01=C:\\reuse\r\n");
    ASSERT_TRUE(WaitFor([&] { return Sinks(tab) == 1; }));
    ShowWindow(root, SW_MINIMIZE);
    ASSERT_TRUE(WaitFor([&] { return IsIconic(root) != FALSE; }));

    const std::set<DWORD> explorers = ExplorerProcesses();
    ASSERT_TRUE(ChooseHistoryEntry(2));
    EXPECT_TRUE(WaitFor([&] { return !IsIconic(root) && GetForegroundWindow() == root; }));
    EXPECT_TRUE(FileHistoryBecomes(ini_, {"C:\\reuse", "C:\\Windows"}));
    // Nothing started: Explorer would have been started before the choice's handling
    // returned, and the recording comes after it.
    EXPECT_EQ(ExplorerProcesses(), explorers);
    EndExplorersSince(explorers);
}

// Counts the saves of the settings file: each one writes its new text to a new file
// first. (Wine refuses the rename that follows while the test happens to read the file,
// and the save then writes in place.) It watches from its construction on: the first
// read of the folder's changes is under way before the constructor returns.
class SaveCounter {
public:
    explicit SaveCounter(const std::string& dir)
    {
        folder_ = CreateFileA(dir.c_str(), FILE_LIST_DIRECTORY,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED,
                              nullptr);
        read_.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        reading_ = Read();
        watching_ = std::thread([this] { Watch(); });
    }
    ~SaveCounter()
    {
        stop_ = true;
        CancelIoEx(folder_, nullptr);
        watching_.join();
        CloseHandle(folder_);
        CloseHandle(read_.hEvent);
    }
    bool Watching() const { return reading_; }
    int Saves() const { return saves_; }
    // Whether a file "asked.mark" has been made in the folder since the construction: the
    // changes come in order, so every save before it has been counted.
    bool Asked() const { return asked_; }

private:
    bool Read()
    {
        return ReadDirectoryChangesW(folder_, buffer_, sizeof buffer_, FALSE,
                                     FILE_NOTIFY_CHANGE_FILE_NAME, nullptr, &read_,
                                     nullptr) != 0;
    }
    void Watch()
    {
        DWORD got = 0;
        while (!stop_ && GetOverlappedResult(folder_, &read_, &got, TRUE)) {
            for (DWORD at = 0; got != 0;) {
                const auto* note = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(buffer_ + at);
                const std::wstring name(note->FileName, note->FileNameLength / sizeof(WCHAR));
                if (note->Action == FILE_ACTION_ADDED && name == L"Trailkeep.ini.new")
                    ++saves_;
                else if (note->Action == FILE_ACTION_ADDED && name == L"asked.mark")
                    asked_ = true;
                if (note->NextEntryOffset == 0)
                    break;
                at += note->NextEntryOffset;
            }
            if (stop_ || !Read())
                break;
        }
    }

    HANDLE folder_;
    OVERLAPPED read_{};
    bool reading_ = false;
    alignas(DWORD) char buffer_[16384];
    std::atomic<bool> stop_{false};
    std::atomic<int> saves_{0};
    std::atomic<bool> asked_{false};
    std::thread watching_;
};

// One navigation that the address-bar hook and the watcher both report is one recording:
// one save. (A window of Windows XP reports both ways.)
TEST_F(ShellWatch, NavigationReportedByHookAndWatcherIsRecordedOnce)
{
    LaunchWatched("");
    // From before the first save: a window that opens is reported once, not once when it
    // is followed and again for its navigation's event, which comes after.
    SaveCounter counter(dir_);
    ASSERT_TRUE(counter.Watching());
    ASSERT_TRUE(Tell(kShellSetListQuirks, nullptr, kListLateFirstEvent));
    HWND tab = nullptr;
    ASSERT_TRUE(ShellCommand(kShellOpenWindow, nullptr, L"C:\\first", &tab));
    ASSERT_TRUE(Tell(kShellSetListQuirks, nullptr, 0));
    ASSERT_TRUE(WaitFor([&] { return Sinks(tab) == 1; }));
    ASSERT_TRUE(FileHistoryBecomes(ini_, {"C:\\first"}));
    ASSERT_TRUE(Tell(kShellHoldEvents, tab, 0));
    ASSERT_TRUE(Fired(tab, L"C:\\first"));
    HWND root = GetAncestor(tab, GA_ROOT);
    // An address field in the window, as XP's Explorer has: the hook sees its text.
    HWND edit = CreateWindowExW(0, L"Edit", L"", WS_CHILD | WS_VISIBLE, 0, 0, 200, 20, root,
                                nullptr, nullptr, nullptr);
    ASSERT_NE(edit, nullptr);
    ASSERT_TRUE(BringToFront(root));

    // A folder the ANSI code page (932 here) cannot spell, from both: recorded once, as it
    // is ("?" is how the helper reads a character outside the code page).
    SetWindowTextW(edit, L"C:\\\u0101");
    Go(tab, L"C:\\\u0101");
    SetWindowTextW(edit, L"C:\\both");
    Go(tab, L"C:\\both");
    EXPECT_TRUE(FileHistoryBecomes(ini_, {"C:\\both", "C:\\?", "C:\\first"}));
    wchar_t entry[16] = {};
    GetPrivateProfileStringW(L"Path_Log", L"Log_01", L"", entry, 16,
                             std::wstring(ini_.begin(), ini_.end()).c_str());
    EXPECT_TRUE(std::wstring(entry) == L"C:\\\u0101");
    // A navigation after it shows that both reports have been handled.
    Go(tab, L"C:\\after");
    EXPECT_TRUE(FileHistoryBecomes(ini_, {"C:\\after", "C:\\both", "C:\\?", "C:\\first"}));
    // A file made now is seen after every save before it.
    WriteFileBytes(dir_ + "\\asked.mark", "");
    ASSERT_TRUE(WaitFor([&] { return counter.Asked(); }));
    EXPECT_EQ(counter.Saves(), 4);  // "C:\first", "C:\ā", "C:\both", "C:\after"
    DestroyWindow(edit);
}

// Wine's own folder window registers with Wine's list, which finds windows by folder but
// cannot be enumerated. Found by Trailkeep, the visit is recorded at once; had Trailkeep
// started Explorer instead, Wine's Explorer would have brought the window forward by itself

// The open-folder sub-menu ("開いているフォルダ(&W)", fourth in the folder menu), opened with
// the keyboard from an open folder menu; returns it.
HWND OpenFolderListWithKeys()
{
    return OpenSubMenuWithKeys(3);
}

// Brings `front` forward and above `behind` in the z-order. (Under Wine without a window
// manager, activation alone leaves a window where it stands among the others.)
bool RaiseAbove(HWND front, HWND behind)
{
    if (!BringToFront(front))
        return false;
    SetWindowPos(front, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    return WaitFor([&] {
        return FindTopWindow([&](HWND w) { return w == front || w == behind; }) == front;
    });
}

// Two folder windows, the second with two tabs, the first in front: the sub-menu lists
// the three folders, front-most window first (chosen one by one over Wine's Open dialog
// from the launcher, a fourth step down coming back to the first). Each shows in the
// dialog, the typed name kept, and no Explorer starts. Chosen from the tray, the second
// brings its window forward.
TEST_F(ShellWatch, OpenFoldersListedFrontMostFirstGoToTheDialogOrComeForward)
{
    LaunchWatched("");
    const std::string a = MakeScratchDir("open-a"), b = MakeScratchDir("open-b"),
                      c = MakeScratchDir("open-c"), start = MakeScratchDir("open-start");
    HWND tabA = Open(Wide(a).c_str());
    HWND tabB = Open(Wide(b).c_str());
    ASSERT_NE(tabA, nullptr);
    ASSERT_NE(tabB, nullptr);
    HWND rootA = GetAncestor(tabA, GA_ROOT), rootB = GetAncestor(tabB, GA_ROOT);
    ASSERT_NE(NewTab(rootB, Wide(c).c_str()), nullptr);
    ASSERT_TRUE(RaiseAbove(rootA, rootB));

    const std::string report = dir_ + "\\report.txt";
    Process dialog;
    HWND window = StartFileDialog(&dialog, "open", start, report);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(BringToFront(window));
    const std::set<DWORD> explorers = ExplorerProcesses();
    const std::string expected[] = {a, b, c, a};
    for (int k = 0; k < 4; ++k) {
        SCOPED_TRACE(k);
        ASSERT_EQ(RunTrailmenu(), 1);
        ASSERT_NE(WaitForMenus(1), nullptr);
        ASSERT_NE(OpenFolderListWithKeys(), nullptr);
        for (int i = 0; i < k; ++i)
            Press(VK_DOWN);
        Press(VK_RETURN);
        std::string shown;
        EXPECT_TRUE(WaitFor([&] {
            return (shown = AskFileDialog(report)) == DialogShowing(expected[k]);
        })) << shown;
    }
    EXPECT_EQ(ExplorerProcesses(), explorers) << "Explorer was started";
    dialog.Kill();

    ASSERT_TRUE(RaiseAbove(rootA, rootB));
    ASSERT_NE(ClickTrayIcon(true), nullptr);
    ASSERT_NE(OpenFolderListWithKeys(), nullptr);
    Press(VK_DOWN);
    Press(VK_RETURN);
    EXPECT_TRUE(WaitFor([&] { return GetForegroundWindow() == rootB; }));
    EXPECT_EQ(ExplorerProcesses(), explorers) << "Explorer was started";
}

// With no folder window the sub-menu holds its greyed placeholder, which Enter does not
// choose: once a later menu has come up, nothing has been opened. With ShowOpenFolders=0
// there is no sub-menu: four steps down come back to the history, whose entry is then
// chosen.
TEST_F(ShellWatch, NoOpenFolderShowsThePlaceholderAndTheSettingRemovesTheSubMenu)
{
    const std::string entry = MakeScratchDir("open-entry");
    const std::string ini = "[Path_Log]\r\nLog_00=" + entry + "\r\n";
    LaunchWatched(ini);
    const std::set<DWORD> explorers = ExplorerProcesses();
    ASSERT_NE(ClickTrayIcon(true), nullptr);
    ASSERT_NE(OpenFolderListWithKeys(), nullptr);
    Press(VK_RETURN);
    EXPECT_TRUE(CloseMenus());
    ASSERT_NE(ClickTrayIcon(true), nullptr);
    EXPECT_TRUE(CloseMenus());
    EXPECT_EQ(ExplorerProcesses(), explorers) << "the placeholder was chosen";
    ASSERT_EQ(CloseTrailkeep(&tk_, main_), 0);

    LaunchWatched("[Setting]\r\nShowOpenFolders=0\r\n" + ini);
    ASSERT_NE(ClickTrayIcon(true), nullptr);
    ASSERT_NE(OpenFolderListWithKeys(), nullptr);
    Press(VK_RETURN);
    EXPECT_TRUE(WaitFor([&] { return ExplorerProcesses() != explorers; }, 60000))
        << "the history entry was not opened";
    EndExplorersSince(explorers);
}

// and nothing would have been recorded.
TEST_F(TrailkeepTest, ChosenEntryShownByWinesOwnFolderWindowIsFoundThroughItsList)
{
    const std::string target = MakeScratchDir("wine-own-window");
    Process explorer;
    ASSERT_TRUE(Start(&explorer, "C:\\windows\\explorer.exe", "/root," + target, "C:\\"));
    HWND window = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (window = FindWineFolderWindow(L"wine-own-window")) != nullptr; },
                        60000));
    Launch("[Path_Log]\r\nLog_00=C:\\Windows\r\nLog_01=" + target + "\r\n");
    ASSERT_TRUE(ChooseHistoryEntry(2));
    EXPECT_TRUE(FileHistoryBecomes(ini_, {target, "C:\\Windows"}));
    EXPECT_TRUE(WaitFor([&] { return GetForegroundWindow() == window; }));
    PostMessageA(window, WM_CLOSE, 0, 0);
}

}  // namespace
