// The fixture of the tests that watch the stand-in shell's folder windows: the stand-in
// runs, Trailkeep is started on it, and the stand-in's commands are at hand.
#pragma once
#include <string>

#include "fixtures/standin_shell.h"
#include "testsupport.h"

namespace tk {

class ShellWatch : public TrailkeepTest {
protected:
    void SetUp() override
    {
        TrailkeepTest::SetUp();
        ASSERT_TRUE(UseStandinShell(true));
        shell_ = StartStandinShell(false);
        ASSERT_NE(shell_, 0u);
    }
    void TearDown() override
    {
        TrailkeepTest::TearDown();
        UseStandinShell(false);
    }
    // Starts Trailkeep and waits until its watcher has connected to the stand-in's list.
    void LaunchWatched(const std::string& ini)
    {
        Launch(ini);
        ASSERT_TRUE(WaitFor([] { return Sinks(nullptr) == 1; })) << ShellLog();
    }
    // How many event sinks are connected to a tab's browser, or to the list (null).
    static int Sinks(HWND tab)
    {
        HWND count = nullptr;
        if (!ShellCommand(kShellCountSinks, tab, nullptr, &count))
            return -1;
        return static_cast<int>(reinterpret_cast<INT_PTR>(count)) - 1;
    }
    // Each command waits until the stand-in has fired its event: a command that reaches
    // the stand-in while it still waits on a client's sink runs nested, and under Wine
    // the events it fires there can be lost.
    static bool Fired(HWND tab, const wchar_t* path)
    {
        char utf8[MAX_PATH * 3];
        WideCharToMultiByte(CP_UTF8, 0, path, -1, utf8, sizeof utf8, nullptr, nullptr);
        const std::string line =
            std::string("NavigateComplete2 ") + ShellLogTab(tab).text + " " + utf8;
        return WaitShellLog(line.c_str());
    }
    static HWND Open(const wchar_t* path)
    {
        HWND tab = nullptr;
        if (!ShellCommand(kShellOpenWindow, nullptr, path, &tab) || !Fired(tab, path))
            return nullptr;
        return tab;
    }
    static HWND NewTab(HWND root, const wchar_t* path)
    {
        HWND tab = nullptr;
        if (!ShellCommand(kShellNewTab, root, path, &tab) || !Fired(tab, path))
            return nullptr;
        return tab;
    }
    static void Go(HWND tab, const wchar_t* path)
    {
        HWND result = nullptr;
        EXPECT_TRUE(ShellCommand(kShellNavigate, tab, path, &result) && Fired(tab, path));
    }
    static std::string Unadvised(HWND tab)
    {
        return std::string("Unadvise ") + ShellLogTab(tab).text;
    }

    // Sends a command with a value; false when the stand-in refused it.
    static bool Tell(UINT cmd, HWND target, unsigned value = 0)
    {
        HWND result = nullptr;
        return ShellCommand(cmd, target, nullptr, &result, value);
    }
    // How many calls the busy stand-in has refused so far.
    static int Refused()
    {
        HWND count = nullptr;
        ShellCommand(kShellRefusedCount, nullptr, nullptr, &count);
        return static_cast<int>(reinterpret_cast<INT_PTR>(count)) - 1;
    }
    // Waits until the history's most recent entry is `path` (cp932), whatever follows.
    bool NewestBecomes(const char* path, DWORD deadlineMs = kDeadlineMs)
    {
        const std::string line = std::string("Log_00=") + path + "\n";
        return WaitFor([&] { return HistoryInFile(ini_).rfind(line, 0) == 0; }, deadlineMs);
    }

    DWORD shell_ = 0;
};

// Chooses entry `n` (1 = the newest) of the history menu, opened from the tray icon.
inline ::testing::AssertionResult ChooseHistoryEntry(int n)
{
    if (ClickTrayIcon(true) == nullptr)
        return ::testing::AssertionFailure() << "no folder menu from the tray icon";
    if (OpenHistoryWithKeys() == nullptr)
        return ::testing::AssertionFailure() << "no history menu";
    for (int i = 1; i < n; ++i)
        Press(VK_DOWN);
    Press(VK_RETURN);
    return ::testing::AssertionSuccess();
}

// A visible top-level window of Wine's own Explorer whose title holds `name`.
inline HWND FindWineFolderWindow(const wchar_t* name)
{
    return FindTopWindow([&](HWND w) {
        wchar_t cls[32], title[MAX_PATH] = L"";
        GetClassNameW(w, cls, 32);
        GetWindowTextW(w, title, MAX_PATH);
        return IsWindowVisible(w) && lstrcmpW(cls, L"ExplorerWClass") == 0 &&
               wcsstr(title, name) != nullptr;
    });
}


}  // namespace tk
