// Latencies with the real Trailkeep under Wine, timed with QueryPerformanceCounter:
//   capture  a stand-in Explorer in the foreground sets a new path into its address field;
//            timed until the path stands as Log_00 in Trailkeep.ini, and until the whole
//            history is saved; beside it one SaveHistory() run in this process; and a
//            navigation of a modern folder window of the stand-in shell, learned by the
//            shell-window watcher, until it stands as Log_00; and where the watcher's time
//            goes: one call into the stand-in shell, the watcher's read of a tab's folder
//            (ResolveFolder) on this thread, and the same read through a reader thread as
//            the watcher makes it (AskReader);
//   menu     a launcher request (posted, or by starting Trailmenu.exe) until the folder
//            menu is on screen, also with 20 folder windows in the open-folder list;
//            beside each, a bare one-item menu that a thread of this process tracks the
//            same way: the system's own time to show a menu (under Wine, its popup
//            window made and mapped on X11), which Trailkeep's share is reckoned beyond;
//   drag     one movement of the drag marker (restore, save, transparent blit), drawn by
//            Trailkeep's own code in this process.
// Prints one table row per figure. Run by run-bench.sh as
//   tk_bench.exe [capture runs] [menu runs] [drag movements]
// or, to leave Trailkeep idle with a followed folder window for the script to watch,
//   tk_bench.exe --idle SECONDS
// or, for the menu figures alone,
//   tk_bench.exe --menus MENU_RUNS
// or, for the hung-neighbour figure alone, each run's time on a line,
//   tk_bench.exe --hung RUNS
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fixtures/standin_shell.h"
#include "testsupport.h"

#include "core/history.h"
#include "core/shellcalls.h"
#include "core/protocol.h"
#include "core/settings.h"
#include "core/trailkeep.h"
#include "core/wide.h"
#include "menus/menus.h"

using namespace tk;

namespace {

constexpr DWORD kStepDeadlineMs = 5000;
constexpr int kOpenFolderWindows = 20;  // folder windows open while the menu is timed  // for one capture or one menu to show or close
constexpr DWORD kPollMs = 1;             // how often a timed condition is looked at
constexpr DWORD kChangeWaitMs = 20;      // a look at the file at least this often

double Now()
{
    static LARGE_INTEGER frequency;
    if (frequency.QuadPart == 0)
        QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// The samples of one figure in milliseconds, and how many runs missed their deadline.
struct Figure {
    explicit Figure(const char* name) : label(name) {}
    const char* label;
    std::vector<double> ms;
    int missed = 0;
};

// One run's sample, or a miss when it did not finish in time.
void AddSample(Figure* figure, bool finished, double ms)
{
    if (finished)
        figure->ms.push_back(ms);
    else
        ++figure->missed;
}

double Quantile(const std::vector<double>& sorted, double q)
{
    const double at = q * static_cast<double>(sorted.size() - 1);
    const size_t below = static_cast<size_t>(at);
    if (below + 1 >= sorted.size())
        return sorted.back();
    return sorted[below] + (at - static_cast<double>(below)) * (sorted[below + 1] - sorted[below]);
}

void PrintHeader()
{
    std::printf("  %-50s %4s %8s %8s %8s %8s %8s %6s\n", "latency (ms)", "runs", "median", "p25",
                "p75", "min", "max", "missed");
}

void Print(Figure figure)
{
    std::vector<double>& v = figure.ms;
    if (v.empty()) {
        std::printf("  %-50s %4d %8s %8s %8s %8s %8s %6d\n", figure.label, 0, "-", "-", "-", "-",
                    "-", figure.missed);
        return;
    }
    std::sort(v.begin(), v.end());
    std::printf("  %-50s %4d %8.2f %8.2f %8.2f %8.2f %8.2f %6d\n", figure.label,
                static_cast<int>(v.size()), Quantile(v, 0.5), Quantile(v, 0.25),
                Quantile(v, 0.75), v.front(), v.back(), figure.missed);
}

// The numbered paths of a list, as the settings file holds them.
std::vector<std::string> Paths(const char* stem, int count)
{
    std::vector<std::string> paths;
    for (int i = 0; i < count; ++i) {
        char path[64];
        wsprintfA(path, "C:\\bench\\%s%02d", stem, i);
        paths.push_back(path);
    }
    return paths;
}

// A settings file with LogDelay 0, a full history and `registered` registered folders.
std::string SettingsText(int registered)
{
    std::string text = "[Setting]\r\nMaxLogData=50\r\nLogDelay=0\r\n[Path_Log]\r\n";
    const std::vector<std::string> history = Paths("visited", kHistorySlots);
    for (size_t i = 0; i < history.size(); ++i) {
        char key[16];
        wsprintfA(key, "Log_%02d=", static_cast<int>(i));
        text += key + history[i] + "\r\n";
    }
    text += "[Path_Touroku]\r\n";
    const std::vector<std::string> folders = Paths("registered", registered);
    for (size_t i = 0; i < folders.size(); ++i) {
        char key[16];
        wsprintfA(key, "Touroku_%02d=", static_cast<int>(i));
        text += key + folders[i] + "\r\n";
    }
    return text;
}

// The history the file holds, Log_00 first.
std::vector<std::string> HistoryPaths(const std::string& ini)
{
    std::vector<std::string> paths;
    for (int i = 0; i < kHistorySlots; ++i) {
        char key[16];
        wsprintfA(key, "Log_%02d", i);
        std::string value;
        if (!IniValue(ini, "Path_Log", key, &value))
            break;
        paths.push_back(value);
    }
    return paths;
}

// The settings file's folder, watched for renames: the timed waits read the file only when
// a name in its folder has changed, which is how a save puts its new text in place. A poll
// that opened the file every millisecond loaded the wine server, which every measured step
// goes through, and took processor time from the threads it timed, on two cores.
// A save written in place (the rename refused) is still seen by the look every
// kChangeWaitMs, and shows as a sample of up to that length.
HANDLE WatchFolder(const std::string& dir)
{
    return FindFirstChangeNotificationA(dir.c_str(), FALSE, FILE_NOTIFY_CHANGE_FILE_NAME);
}

// Waits until `condition` holds, looked at after each change in the watched folder (a
// change between two looks is kept by the system for the next wait) and at least every
// kChangeWaitMs. Polls where the folder cannot be watched.
bool WaitForWrite(HANDLE change, const std::function<bool()>& condition, DWORD deadlineMs)
{
    if (change == INVALID_HANDLE_VALUE)
        return WaitFor(condition, deadlineMs, kPollMs);
    const DWORD start = GetTickCount();
    for (;;) {
        if (condition())
            return true;
        const DWORD spent = GetTickCount() - start;
        if (spent >= deadlineMs)
            return false;
        WaitForSingleObject(change, std::min(deadlineMs - spent, kChangeWaitMs));
        FindNextChangeNotification(change);
    }
}

void EndWatch(HANDLE change)
{
    if (change != INVALID_HANDLE_VALUE)
        FindCloseChangeNotification(change);
}

bool LogZeroIs(const std::string& ini, const std::string& path)
{
    std::string first;
    return IniValue(ini, "Path_Log", "Log_00", &first) && first == path;
}

// Each run sets a new path; Trailkeep records it at the front of its full history.
void MeasureCapture(int runs, Figure* logZero, Figure* saved)
{
    const std::string dir = MakeScratchDir("bench-capture");
    const std::string ini = dir + "\\Trailkeep.ini";
    WriteFileBytes(ini, SettingsText(0));
    Process trailkeep;
    HWND main = StartTrailkeep(&trailkeep, dir);
    Explorer explorer;
    if (main == nullptr || !StartExplorer(&explorer, "bench capture")) {
        std::printf("  capture: Trailkeep or the stand-in Explorer did not start\n");
        return;
    }
    const HANDLE change = WatchFolder(dir);
    for (int run = -1; run < runs; ++run) {  // run -1 warms up and is not counted
        if (GetForegroundWindow() != explorer.window) {
            SetForegroundWindow(explorer.window);
            WaitFor([&] { return GetForegroundWindow() == explorer.window; }, kStepDeadlineMs);
        }
        char path[64];
        wsprintfA(path, "C:\\bench\\captured%03d", run + 1);
        std::vector<std::string> expected = HistoryPaths(ini);
        expected.insert(expected.begin(), path);
        expected.resize(std::min<size_t>(expected.size(), kHistorySlots));
        const std::string expectedLines = HistoryLines(expected);

        const double start = Now();
        SetAddressText(explorer, path);
        const bool front =
            WaitForWrite(change, [&] { return LogZeroIs(ini, path); }, kStepDeadlineMs);
        const double atFront = Now();
        const bool whole =
            front && WaitForWrite(change, [&] { return HistoryInFile(ini) == expectedLines; },
                                  kStepDeadlineMs);
        const double atWhole = Now();
        if (run < 0)
            continue;
        AddSample(logZero, front, atFront - start);
        AddSample(saved, whole, atWhole - start);
    }
    CloseTrailkeep(&trailkeep, main);
    EndWatch(change);
}

// Trailkeep started on a full history with the stand-in shell's list, and one modern
// folder window in the foreground that its watcher follows. Returns the window's tab.
HWND StartWatched(const std::string& dir, Process* trailkeep, HWND* main,
                  ULONG_PTR open = kShellOpenWindow)
{
    const std::string ini = dir + "\\Trailkeep.ini";
    WriteFileBytes(ini, SettingsText(0));
    if (!UseStandinShell(true) || StartStandinShell(false) == 0)
        return nullptr;
    *main = StartTrailkeep(trailkeep, dir);
    HWND tab = nullptr;
    if (*main == nullptr || !WaitShellLog("Advise list", kStepDeadlineMs) ||
        !ShellCommand(open, nullptr, L"C:\\bench\\opened", &tab) ||
        !WaitShellLog((std::string("Advise ") + ShellLogTab(tab).text).c_str(), kStepDeadlineMs))
        return nullptr;
    HWND root = GetAncestor(tab, GA_ROOT);
    SetForegroundWindow(root);
    WaitFor([&] { return GetForegroundWindow() == root; }, kStepDeadlineMs);
    return tab;
}

// Each run navigates the followed window; Trailkeep records the folder at the front.
void MeasureShellCapture(int runs, Figure* logZero)
{
    const std::string dir = MakeScratchDir("bench-shell");
    const std::string ini = dir + "\\Trailkeep.ini";
    Process trailkeep;
    HWND main = nullptr;
    HWND tab = StartWatched(dir, &trailkeep, &main);
    if (tab == nullptr) {
        std::printf("  capture: the stand-in shell or Trailkeep's watcher did not start\n");
        UseStandinShell(false);
        return;
    }
    const HANDLE change = WatchFolder(dir);
    for (int run = -1; run < runs; ++run) {  // run -1 warms up and is not counted
        wchar_t wide[64];
        wsprintfW(wide, L"C:\\bench\\navigated%03d", run + 1);
        char path[64];
        wsprintfA(path, "C:\\bench\\navigated%03d", run + 1);
        const std::string line =
            std::string("NavigateComplete2 ") + ShellLogTab(tab).text + " " + path;
        HWND result = nullptr;
        const double start = Now();
        ShellCommand(kShellNavigate, tab, wide, &result);
        const bool front =
            WaitForWrite(change, [&] { return LogZeroIs(ini, path); }, kStepDeadlineMs);
        const double atFront = Now();
        // The next command only once the stand-in has fired this one's event.
        WaitShellLog(line.c_str(), kStepDeadlineMs);
        if (run >= 0)
            AddSample(logZero, front, atFront - start);
    }
    CloseTrailkeep(&trailkeep, main);
    EndWatch(change);
    UseStandinShell(false);
}

// The parts of a watcher's navigation, timed in this process with the watcher's own calls
// against a window of the stand-in shell: one round trip (the browser's window handle),
// one read of the tab's folder, and the same read through a reader thread. What remains
// of "stand-in navigation -> Log_00" is the event's delivery, the main thread and the save.
// The readers' answers come as sent messages, which no GetMessage hands back: a window
// procedure takes them, as the watcher's does. Its last answer: the reader, or -1.
LONG_PTR gReaderAnswered = -1;

LRESULT CALLBACK ReadsProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_APP + 1) {
        gReaderAnswered = static_cast<LONG_PTR>(wParam);
        return 0;
    }
    return DefWindowProcA(wnd, msg, wParam, lParam);
}

void MeasureReadParts(int runs, Figure* oneCall, Figure* resolve, Figure* reader)
{
    IShellWindows* list = nullptr;
    IDispatch* item = nullptr;
    IWebBrowser2* browser = nullptr;
    HWND tab = nullptr;
    VARIANT first;
    VariantInit(&first);
    first.vt = VT_I4;
    first.lVal = 0;
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    WNDCLASSA reads{};
    reads.lpfnWndProc = ReadsProc;
    reads.lpszClassName = "TkBenchReads";
    RegisterClassA(&reads);
    HWND ticks = CreateWindowExA(0, reads.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                 nullptr, nullptr, nullptr);
    if (!UseStandinShell(true) || StartStandinShell(false) == 0 ||
        !ShellCommand(kShellOpenWindow, nullptr, L"C:\\bench\\read", &tab) ||
        FAILED(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER,
                                IID_IShellWindows, reinterpret_cast<void**>(&list))) ||
        list->Item(first, &item) != S_OK || item == nullptr ||
        FAILED(item->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&browser))) ||
        !StartShellCalls(ticks, WM_APP, WM_APP + 1)) {
        std::printf("  read parts: the stand-in shell's window could not be reached\n");
    } else {
        const DWORD shared = ShareBrowser(browser);
        for (int run = -1; run < runs; ++run) {  // run -1 warms up and is not counted
            SHANDLE_PTR handle = 0;
            PathSlot path;
            HWND shown = nullptr;
            double start = Now();
            const bool called = SUCCEEDED(browser->get_HWND(&handle));
            const double atCall = Now();
            const bool read = ResolveFolder(browser, &shown, path) == kFolderRead;
            const double atRead = Now();
            // Asked of a reader, its answer taken from the message it posts, as the
            // watcher does.
            gReaderAnswered = -1;
            bool readAside = AskReader(shared, 0, 1, 0) != 0;
            MSG msg;
            while (readAside && gReaderAnswered < 0) {
                MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
                while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
                    DispatchMessageA(&msg);
            }
            int entry = 0, connection = 0, why = 0;
            readAside = readAside && TakeReaderAnswer(static_cast<WPARAM>(gReaderAnswered), &entry,
                                                      &connection, &why, &shown, path) ==
                                         kFolderRead;
            const double atReader = Now();
            if (run < 0)
                continue;
            AddSample(oneCall, called, atCall - start);
            AddSample(resolve, read, atRead - atCall);
            AddSample(reader, readAside, atReader - atRead);
        }
        UnshareBrowser(shared);
    }
    if (browser != nullptr)
        browser->Release();
    if (item != nullptr)
        item->Release();
    if (list != nullptr)
        list->Release();
    EndShellCalls();
    DestroyWindow(ticks);
    CoUninitialize();
    UseStandinShell(false);
}

// Each run makes another followed window's thread hang right after its navigation's
// event, while the watcher reads its folder, and then navigates the foreground window:
// the time until that folder stands as Log_00.
void MeasureHungNeighbour(int runs, Figure* logZero)
{
    const std::string dir = MakeScratchDir("bench-hung");
    const std::string ini = dir + "\\Trailkeep.ini";
    Process trailkeep;
    HWND main = nullptr;
    // Each window on a thread of its own, as Explorer's are: the stand-in's list shares
    // its thread with the windows opened there, and waits while it hands out a hung one.
    HWND tab = StartWatched(dir, &trailkeep, &main, kShellOpenWindowOwnThread);
    HWND slow = nullptr;
    if (tab == nullptr ||
        !ShellCommand(kShellOpenWindowOwnThread, nullptr, L"C:\\bench\\share", &slow) ||
        !WaitShellLog((std::string("Advise ") + ShellLogTab(slow).text).c_str(), kStepDeadlineMs)) {
        std::printf("  hung: the stand-in shell or Trailkeep's watcher did not start\n");
        UseStandinShell(false);
        return;
    }
    HWND root = GetAncestor(tab, GA_ROOT);
    const DWORD hangMs = 3000;
    const HANDLE change = WatchFolder(dir);
    for (int run = 0; run < runs; ++run) {
        wchar_t wide[64];
        char path[64];
        wsprintfW(wide, L"C:\\bench\\beside%03d", run);
        wsprintfA(path, "C:\\bench\\beside%03d", run);
        wchar_t deeper[64];
        char deeperA[64];
        wsprintfW(deeper, L"C:\\bench\\share\\deeper%03d", run);
        wsprintfA(deeperA, "C:\\bench\\share\\deeper%03d", run);
        HWND result = nullptr;
        ShellCommand(kShellNavigate, slow, deeper, &result, hangMs);
        // Its thread hangs as soon as its event has been fired.
        WaitShellLog((std::string("NavigateComplete2 ") + ShellLogTab(slow).text + " " + deeperA).c_str(),
                     kStepDeadlineMs);
        SetForegroundWindow(root);
        WaitFor([&] { return GetForegroundWindow() == root; }, kStepDeadlineMs);
        const double start = Now();
        ShellCommand(kShellNavigate, tab, wide, &result);
        const bool front =
            WaitForWrite(change, [&] { return LogZeroIs(ini, path); }, kStepDeadlineMs);
        AddSample(logZero, front, Now() - start);
        Sleep(hangMs);  // the hung thread answers again before the next run
    }
    CloseTrailkeep(&trailkeep, main);
    EndWatch(change);
    UseStandinShell(false);
}

// Trailkeep left alone with a followed folder window, for the script that counts its
// threads' wake-ups meanwhile.
int StayIdle(int seconds)
{
    const std::string dir = MakeScratchDir("bench-idle");
    Process trailkeep;
    HWND main = nullptr;
    if (StartWatched(dir, &trailkeep, &main) == nullptr) {
        UseStandinShell(false);
        return 1;
    }
    std::printf("idle\n");
    std::fflush(stdout);
    Sleep(static_cast<DWORD>(seconds) * 1000);
    CloseTrailkeep(&trailkeep, main);
    UseStandinShell(false);
    return 0;
}

// Trailkeep started while the shell's list cannot be had: each try to reach it starts the
// stand-in shell, which logs "Start refused" and ends. Prints when each try came over
// `seconds`: the interval grows to a minute and stays there.
int CountNoListTries(int seconds)
{
    const std::string dir = MakeScratchDir("bench-nolist");
    WriteFileBytes(dir + "\\Trailkeep.ini", SettingsText(0));
    Process trailkeep;
    HWND main = nullptr;
    if (UseStandinShell(true) && SetStandinServerPresent(false))
        main = StartTrailkeep(&trailkeep, dir);
    if (main == nullptr) {
        std::printf("  no list: Trailkeep did not start\n");
    } else {
        const double start = Now();
        const std::string needle = "Start refused";
        size_t from = 0;
        std::vector<double> tries;
        while (Now() - start < seconds * 1000.0) {
            const std::string log = ShellLog();
            for (size_t at; (at = log.find(needle, from)) != std::string::npos; from = at + 1)
                tries.push_back((Now() - start) / 1000);
            Sleep(100);
        }
        std::printf("  tries, s after start:");
        int lastMinute = 0;
        double longest = 0;
        for (size_t i = 0; i < tries.size(); ++i) {
            std::printf(" %.1f", tries[i]);
            lastMinute += tries[i] > seconds - 60;
            if (i > 0)
                longest = std::max(longest, tries[i] - tries[i - 1]);
        }
        std::printf("\n  longest interval %.1f s; %d tries in the last minute\n", longest,
                    lastMinute);
        CloseTrailkeep(&trailkeep, main);
    }
    SetStandinServerPresent(true);
    UseStandinShell(false);
    return main == nullptr;
}

// The history save as it was before saves replaced the file in one step: one profile
// write per key, straight into the file. Kept here to compare the two in the same run.
void SaveHistoryKeyByKey()
{
    wchar_t path[MAX_PATH];
    GetFullPathNameW(L"Trailkeep.ini", MAX_PATH, path, nullptr);
    for (int i = 0; i < kHistorySlots; ++i) {
        wchar_t key[16];
        wsprintfW(key, L"Log_%02d", i);
        WritePrivateProfileStringW(L"Path_Log", key, gHistory[i][0] != u'\0' ? W(gHistory[i]) : nullptr,
                                   path);
    }
}

// A history save (this build's SaveHistory(), or the former one) on the same full history,
// in a scratch current directory.
void MeasureSaveHistory(int runs, void (*save)(), Figure* figure)
{
    char saved[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, saved);
    const std::string dir = MakeScratchDir("bench-save");
    WriteFileBytes(dir + "\\Trailkeep.ini", SettingsText(0));
    SetCurrentDirectoryA(dir.c_str());
    LoadSettings();
    for (int run = -1; run < runs; ++run) {
        char16_t path[64];
        wsprintfW(W(path), L"C:\\bench\\saved%03d", run + 1);
        RecordPath(gHistory, MaxLogData, path);
        const double start = Now();
        save();
        const double end = Now();
        if (run >= 0)
            figure->ms.push_back(end - start);
    }
    SetCurrentDirectoryA(saved);
}

// Whether a popup menu of the process `pid` is on screen. (Menu handles of another
// process cannot be read under Wine, so the menu is known by its owner alone.) Only the
// menu windows are looked at, found by their class. A walk through every top-level
// window, with questions to the window server for each, took about 9 ms a look under
// Wine with 20 folder windows open: polled every millisecond, it kept the wine server
// and a core busy while the menu was being shown, and saw the menu up to a look late.
bool MenuShownBy(DWORD pid)
{
    for (HWND menu = FindWindowExA(nullptr, nullptr, "#32768", nullptr); menu != nullptr;
         menu = FindWindowExA(nullptr, menu, "#32768", nullptr)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(menu, &owner);
        if (owner == pid && IsWindowVisible(menu))
            return true;
    }
    return false;
}

// How long one look for the menu takes (the poll's own cost), and one walk through
// every top-level window as tests/support's VisibleMenus() makes it, in this state of
// the desktop.
void MeasurePoll(Figure* look, Figure* walk, int runs)
{
    for (int run = 0; run < runs; ++run) {
        double start = Now();
        MenuShownBy(0);
        look->ms.push_back(Now() - start);
        start = Now();
        VisibleMenus();
        walk->ms.push_back(Now() - start);
    }
}

// Each run asks the running Trailkeep for the folder menu, times its appearance, and
// closes it again.
void TimeMenus(DWORD pid, HWND main, int runs, bool withLauncher, Figure* figure)
{
    for (int run = -1; run < runs; ++run) {
        if (!CloseMenus()) {
            std::printf("  menu: a menu stays open; runs end here\n");
            break;
        }
        Process launcher;
        const double start = Now();
        if (withLauncher)
            Start(&launcher, "Trailmenu.exe", "", "");
        else
            PostMessageA(main, WM_TK_TRAY, TK_ICON_ID, TK_ICON_ID);
        const bool shown = WaitFor([&] { return MenuShownBy(pid); }, kStepDeadlineMs, kPollMs);
        const double end = Now();
        if (withLauncher)
            launcher.WaitExit(kStepDeadlineMs);
        if (run < 0)
            continue;
        AddSample(figure, shown, end - start);
    }
    CloseMenus();
}

void MeasureMenu(int runs, bool withLauncher, Figure* figure)
{
    const std::string dir = MakeScratchDir("bench-menu");
    WriteFileBytes(dir + "\\Trailkeep.ini", SettingsText(kRegisteredSlots));
    Process trailkeep;
    HWND main = StartTrailkeep(&trailkeep, dir);
    if (main == nullptr) {
        std::printf("  menu: Trailkeep did not start\n");
        return;
    }
    TimeMenus(trailkeep.info.dwProcessId, main, runs, withLauncher, figure);
    CloseTrailkeep(&trailkeep, main);
}

// A bare pop-up menu of one item, tracked by a thread of this process when its window
// gets the launcher's request, as Trailkeep tracks its menu: made foreground, then
// TrackPopupMenu at the cursor. What the system alone takes to put a menu on screen;
// Trailkeep's own share of its menu's time is what it takes beyond this.
LRESULT CALLBACK BareMenuProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg != WM_TK_TRAY)
        return DefWindowProcW(wnd, msg, wParam, lParam);
    HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, MF_STRING, 1, L"bench");
    POINT pt;
    GetCursorPos(&pt);
    SetForegroundWindow(wnd);
    TrackPopupMenu(menu, 0, pt.x, pt.y, 0, wnd, nullptr);
    PostMessageA(wnd, WM_NULL, 0, 0);
    DestroyMenu(menu);
    return 0;
}

DWORD WINAPI BareMenuThread(void* param)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = BareMenuProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TkBenchBareMenu";
    RegisterClassW(&wc);
    HWND wnd = CreateWindowW(wc.lpszClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                             wc.hInstance, nullptr);
    *static_cast<HWND*>(param) = wnd;
    MSG msg;
    while (wnd != nullptr && GetMessageW(&msg, nullptr, 0, 0) > 0)
        DispatchMessageW(&msg);
    if (wnd != nullptr)
        DestroyWindow(wnd);
    return 0;
}

void MeasureBareMenu(int runs, Figure* figure)
{
    HWND wnd = nullptr;
    HANDLE thread = CreateThread(nullptr, 0, BareMenuThread, &wnd, 0, nullptr);
    WaitFor([&] { return wnd != nullptr; }, kStepDeadlineMs);
    if (wnd != nullptr)
        TimeMenus(GetCurrentProcessId(), wnd, runs, false, figure);
    else
        std::printf("  menu: the bare menu's window was not made\n");
    PostThreadMessageW(GetThreadId(thread), WM_QUIT, 0, 0);
    WaitForSingleObject(thread, kStepDeadlineMs);
    CloseHandle(thread);
}

// The folder menu with its open-folder list while the watcher follows 20 folder windows
// of the stand-in shell: the list is read from the watcher's table as the menu is built.
// Beside it, with the same windows open: the bare menu, and what one look of the poll
// costs (and cost when it looked at every top-level window).
void MeasureOpenFolderMenu(int runs, Figure* figure, Figure* bare, Figure* look, Figure* walk)
{
    const std::string dir = MakeScratchDir("bench-open-folders");
    Process trailkeep;
    HWND main = nullptr;
    bool ready = StartWatched(dir, &trailkeep, &main) != nullptr;
    for (int k = 1; ready && k < kOpenFolderWindows; ++k) {
        wchar_t wide[64];
        wsprintfW(wide, L"C:\\bench\\open%02d", k);
        HWND tab = nullptr;
        ready = ShellCommand(kShellOpenWindow, nullptr, wide, &tab) &&
                WaitShellLog((std::string("Advise ") + ShellLogTab(tab).text).c_str(),
                             kStepDeadlineMs);
    }
    if (ready) {
        MeasurePoll(look, walk, runs);
        TimeMenus(trailkeep.info.dwProcessId, main, runs, false, figure);
        MeasureBareMenu(runs, bare);
    } else
        std::printf("  menu: the stand-in shell's %d windows were not followed\n",
                    kOpenFolderWindows);
    if (main != nullptr)
        CloseTrailkeep(&trailkeep, main);
    UseStandinShell(false);
}

// One movement of a drag as the menu mouse hook makes it, in this process on this
// display: the marker's drawing is under way, so it is put back where it stood (restoring
// blit), and the screen under the new point is saved (saving blit) before the marker is
// drawn there (transparent blit). The drawing begins once, before the first movement.
void MeasureDragMove(int movements, Figure* figure)
{
    gInstance = GetModuleHandleA(nullptr);  // this program carries bitmap 600 too
    POINT point = {200, 200};
    DrawDragMarker(point, kMarkerBegin);
    DrawDragMarker(point, kMarkerDraw);
    for (int run = -1; run < movements; ++run) {
        point.x = 200 + (run + 1) % 400;  // a slow drag to the right, again and again
        const double start = Now();
        if (DrawDragMarker(point, kMarkerBegin) == 0)
            DrawDragMarker(point, kMarkerRemove);
        DrawDragMarker(point, kMarkerDraw);
        const double end = Now();
        if (run >= 0)
            figure->ms.push_back(end - start);
    }
    DrawDragMarker(point, kMarkerRemove);
    DrawDragMarker(point, kMarkerEnd);
}

// Trailkeep's own share of a menu's time: its median beyond the bare menu's, shown under
// the same conditions.
void PrintShare(const char* label, Figure menu, Figure bare)
{
    if (menu.ms.empty() || bare.ms.empty())
        return;
    std::sort(menu.ms.begin(), menu.ms.end());
    std::sort(bare.ms.begin(), bare.ms.end());
    std::printf("  %-50s %4s %8.2f\n", label, "", Quantile(menu.ms, 0.5) - Quantile(bare.ms, 0.5));
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 2 && std::string(argv[1]) == "--idle")
        return StayIdle(std::atoi(argv[2]));
    if (argc > 2 && std::string(argv[1]) == "--hung") {
        Figure hung{"hung"};
        MeasureHungNeighbour(std::atoi(argv[2]), &hung);
        for (double ms : hung.ms)
            std::printf("%.2f\n", ms);
        return 0;
    }
    if (argc > 2 && std::string(argv[1]) == "--no-list")
        return CountNoListTries(std::atoi(argv[2]));
    // `--menus RUNS`: the menu figures alone.
    const bool menusOnly = argc > 2 && std::string(argv[1]) == "--menus";
    const int captureRuns = menusOnly ? 0 : argc > 1 ? std::atoi(argv[1]) : 50;
    const int menuRuns = argc > 2 ? std::atoi(argv[2]) : 20;
    const int dragMoves = argc > 3 ? std::atoi(argv[3]) : 500;
    EndStrayTrailkeeps();

    Figure logZero{"capture: path set -> Log_00 in Trailkeep.ini"};
    Figure wholeSave{"capture: path set -> whole history saved"};
    Figure shellZero{"capture: stand-in navigation -> Log_00 (watcher)"};
    Figure hungZero{"capture: as above, another window's thread hung"};
    Figure oneCall{"  of it: one call into the stand-in shell"};
    Figure resolve{"  of it: a tab's folder read (ResolveFolder)"};
    Figure reader{"  of it: the same read through a reader thread"};
    Figure saveHistory{"SaveHistory(), 50 entries, in this process"};
    Figure saveByKey{"former save: a profile write per key, 50 entries"};
    Figure bare{"menu, bare one-item menu: posted -> visible"};
    Figure posted{"menu: WM_TK_TRAY posted -> \"#32768\" visible"};
    Figure launched{"menu: Trailmenu.exe started -> \"#32768\" visible"};
    Figure bareOpen{"menu, bare, 20 folder windows open"};
    Figure openFolders{"menu: posted -> visible, 20 open folders listed"};
    Figure look{"poll: one look for the menu, 20 windows open"};
    Figure walk{"former poll: every top-level window looked at"};
    Figure dragMove{"drag move: restore, save, transparent blit"};
    if (!menusOnly) {
        MeasureCapture(captureRuns, &logZero, &wholeSave);
        MeasureShellCapture(captureRuns, &shellZero);
        MeasureReadParts(captureRuns, &oneCall, &resolve, &reader);
        MeasureHungNeighbour(5, &hungZero);
        MeasureSaveHistory(captureRuns, SaveHistory, &saveHistory);
        MeasureSaveHistory(captureRuns, SaveHistoryKeyByKey, &saveByKey);
    }
    MeasureBareMenu(menuRuns, &bare);
    MeasureMenu(menuRuns, false, &posted);
    if (!menusOnly)
        MeasureMenu(menuRuns, true, &launched);
    MeasureOpenFolderMenu(menuRuns, &openFolders, &bareOpen, &look, &walk);
    if (!menusOnly)
        MeasureDragMove(dragMoves, &dragMove);

    std::printf("\n");
    PrintHeader();
    std::vector<Figure> figures = {bare, posted, bareOpen, openFolders, look, walk};
    if (!menusOnly)
        figures = {logZero, shellZero, oneCall, resolve, reader, hungZero, wholeSave,
                   saveHistory, saveByKey, bare, posted, launched, bareOpen, openFolders,
                   look, walk, dragMove};
    for (const Figure& figure : figures)
        Print(figure);
    std::printf("\n  Trailkeep's own share, its median beyond the bare menu's (ms):\n");
    PrintShare("menu: posted -> visible", posted, bare);
    PrintShare("menu: posted -> visible, 20 open folders listed", openFolders, bareOpen);
    return 0;
}
