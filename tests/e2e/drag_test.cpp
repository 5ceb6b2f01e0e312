// Dragging a folder out of the folder menu, end to end, with simulated mouse input: the
// entry dropped on an Explorer window, the marker on the screen, the click on the taskbar
// after a rest over it, and what ends a drag. A stand-in taskbar records the clicks it gets.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fixtures/standin_shell.h"
#include "screencheck.h"
#include "testsupport.h"

#include "core/protocol.h"
#include "menus/menus.h"

using namespace tk;

namespace {

constexpr int kMarkerSize = 32;
// The folder menu: history, registered folders, フォルダを開く, open folders.
constexpr int kFolderMenuItems = 4;
// No call tells whether another thread has a low-level mouse hook. A movement made while
// that thread is held still tells: Wine holds it for the hook exactly 2000 ms (a fixed
// timeout in its sources, where Windows reads LowLevelHooksTimeout) before passing it on,
// and a movement that no hook holds arrives in milliseconds.
constexpr DWORD kHookHeldMs = 1900;
// How long a rest must last for the hover timer, due one second after the last movement,
// to have fired: that second and room for a late timer message. Where nothing may happen
// there is nothing to wait on, so the rest lasts no longer than that.
constexpr DWORD kPastHoverMs = 1500;

// A 32 x 32 screen area or bitmap, row by row, each pixel 0x00RRGGBB.
using Area = std::vector<DWORD>;

BITMAPINFO AreaFormat()
{
    return PixelFormat(kMarkerSize, kMarkerSize);
}

Area ColoursOnly(Area area)
{
    for (DWORD& pixel : area)
        pixel &= 0xFFFFFF;
    return area;
}

// The screen area whose top-left corner is `at`.
Area ReadScreen(POINT at)
{
    return ReadScreenArea(at, kMarkerSize, kMarkerSize);
}

// The marker as Trailkeep.exe carries it: bitmap 600.
Area MarkerBitmap()
{
    Area pixels;
    HMODULE exe = LoadLibraryExA((BinDir() + "\\Trailkeep.exe").c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE);
    HBITMAP bitmap = static_cast<HBITMAP>(
        LoadImageA(exe, MAKEINTRESOURCEA(600), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    BITMAP shape = {};
    if (bitmap != nullptr && GetObjectA(bitmap, sizeof shape, &shape) &&
        shape.bmWidth == kMarkerSize && shape.bmHeight == kMarkerSize && shape.bmBitsPixel == 4) {
        BITMAPINFO info = AreaFormat();
        pixels.resize(kMarkerSize * kMarkerSize);
        HDC screen = GetDC(nullptr);
        GetDIBits(screen, bitmap, 0, kMarkerSize, pixels.data(), &info, DIB_RGB_COLORS);
        ReleaseDC(nullptr, screen);
    }
    if (bitmap != nullptr)
        DeleteObject(bitmap);
    if (exe != nullptr)
        FreeLibrary(exe);
    return ColoursOnly(pixels);
}

// The screen as the marker drawn over `under` shows it: white is left out.
Area WithMarker(const Area& under, const Area& marker)
{
    Area shown = under;
    for (size_t i = 0; i < shown.size(); ++i) {
        if (marker[i] != 0xFFFFFF)
            shown[i] = marker[i];
    }
    return shown;
}

// Whether the marker's own pixels stand on the screen at `at`, whatever lies below.
bool MarkerShownAt(POINT at, const Area& marker)
{
    const Area screen = ReadScreen(at);
    for (size_t i = 0; i < screen.size(); ++i) {
        if (marker[i] != 0xFFFFFF && screen[i] != marker[i])
            return false;
    }
    return true;
}

POINT Centre(HWND window)
{
    RECT r;
    GetWindowRect(window, &r);
    return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

// Lines of a fixture's log that begin with `prefix`.
int CountLines(const std::string& file, const std::string& prefix)
{
    const std::string text = ReadFileBytes(file);
    int count = 0;
    for (size_t pos = 0; pos < text.size();) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        if (text.compare(pos, prefix.size(), prefix) == 0)
            ++count;
        pos = end + 1;
    }
    return count;
}

class Drags : public TrailkeepTest {
protected:
    void SetUp() override
    {
        TrailkeepTest::SetUp();
        // The taskbar comes before Trailkeep, which looks its windows up once, as it
        // starts. Wine keeps a hidden "Shell_TrayWnd" of its own with nothing inside;
        // Trailkeep takes the one that holds a task-switch window, this one.
        ASSERT_TRUE(StartTaskbar());
        marker_ = MarkerBitmap();
        ASSERT_EQ(marker_.size(), size_t(kMarkerSize * kMarkerSize)) << "no 32 x 32 bitmap 600";
    }
    void TearDown() override
    {
        MouseButton(false);  // a drag that a failed check left under way
        TrailkeepTest::TearDown();
    }

    bool StartTaskbar()
    {
        taskbarLog_ = MakeScratchDir("drag-taskbar") + "\\clicks.log";
        if (!Start(&taskbarProcess_, "standin_taskbar.exe", "--log \"" + taskbarLog_ + "\"", ""))
            return false;
        // Its windows are all there once the task-switch window and the notification area
        // are.
        return WaitFor([&] {
            for (HWND w = FindWindowExA(nullptr, nullptr, "Shell_TrayWnd", nullptr); w != nullptr;
                 w = FindWindowExA(nullptr, w, "Shell_TrayWnd", nullptr)) {
                DWORD pid = 0;
                GetWindowThreadProcessId(w, &pid);
                if (pid == taskbarProcess_.info.dwProcessId && IsWindowVisible(w))
                    taskbar_ = w;
            }
            if (taskbar_ == nullptr)
                return false;
            taskSwitch_ = FindWindowExA(FindWindowExA(taskbar_, nullptr, "ReBarWindow32", nullptr),
                                        nullptr, "MSTaskSwWClass", nullptr);
            notifyArea_ = FindWindowExA(taskbar_, nullptr, "TrayNotifyWnd", nullptr);
            return taskbar_ != nullptr && taskSwitch_ != nullptr && notifyArea_ != nullptr;
        });
    }
    int TaskbarClicks() const { return CountLines(taskbarLog_, "down "); }

    // Whether Trailkeep's main thread has a low-level mouse hook installed. Such a hook is
    // called on that thread for every mouse event, and the system holds the event until
    // it returns or times out (kHookHeldMs). With the thread held still, a movement
    // reaches the cursor at once only when no hook is there.
    bool MenuHookInstalled()
    {
        HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE,
                                   GetWindowThreadProcessId(main_, nullptr));
        if (thread == nullptr)
            return false;
        POINT from;
        GetCursorPos(&from);
        SuspendThread(thread);
        const DWORD start = GetTickCount();
        const bool moved = MouseMove(from.x + 1, from.y);
        const DWORD took = GetTickCount() - start;
        ResumeThread(thread);
        CloseHandle(thread);
        return !moved || took >= kHookHeldMs;
    }

    // Whatever ended the drag, the taskbar is enabled and the hook is gone.
    void ExpectDragEnded()
    {
        EXPECT_TRUE(WaitFor([&] { return IsWindowEnabled(taskbar_) != FALSE; }))
            << "the taskbar stays disabled";
        EXPECT_FALSE(MenuHookInstalled()) << "the menu mouse hook stays";
    }

    // Presses the left button at `at`. The pointer of the display is moved there first;
    // Trailkeep, whose menu lies under it, may hear of that movement from the display a
    // moment later, and a movement after a press on an entry starts a drag. A message
    // that Trailkeep answers is handled after what its display had sent it by then.
    bool PressAt(POINT at)
    {
        if (!MouseMove(at.x, at.y))
            return false;
        DWORD_PTR answer = 0;
        SendMessageTimeoutA(main_, WM_NULL, 0, 0, SMTO_NORMAL, kDeadlineMs, &answer);
        MouseButton(true);
        return true;
    }

    // Opens the folder menu with the launcher, its top-left corner at (850, 100); returns
    // its window.
    static HWND OpenFolderMenu()
    {
        SetCursorPos(850, 100);
        if (RunTrailmenu() != 1)
            return nullptr;
        return WaitForMenus(1);
    }
    // Opens the folder menu and its history sub-menu with a click on its header; returns the
    // sub-menu's window.
    static HWND OpenHistory()
    {
        HWND folder = OpenFolderMenu();
        if (folder == nullptr)
            return nullptr;
        const POINT header = ItemCentre(folder, 0, kFolderMenuItems);
        Click(header.x, header.y);
        return WaitForSubMenu(folder);
    }
    // Presses on an item of the folder menu and slides along it with the button held, each
    // step beyond the drag thresholds.
    bool PressAndSlide(HWND folder, int position)
    {
        const POINT item = ItemCentre(folder, position, kFolderMenuItems);
        if (!PressAt({item.x - 30, item.y}))
            return false;
        return MouseMove(item.x - 15, item.y) && MouseMove(item.x + 15, item.y);
    }
    // The centre of the item at `position` of a menu window holding `items` items.
    static POINT ItemCentre(HWND menu, int position, int items)
    {
        RECT r;
        GetWindowRect(menu, &r);
        const int height = (r.bottom - r.top) / items;
        return {(r.left + r.right) / 2, r.top + height * position + height / 2};
    }
    // Presses on an entry of the open history sub-menu and moves off: the drag starts, the
    // menu closes and the taskbar is disabled.
    bool StartDrag(HWND history, int position, int items)
    {
        const POINT entry = ItemCentre(history, position, items);
        if (!PressAt(entry))
            return false;
        MouseMove(entry.x - 10, entry.y + 10);
        MouseMove(entry.x - 30, entry.y + 30);
        return WaitFor([] { return VisibleMenus().empty(); }) &&
               WaitFor([&] { return !IsWindowEnabled(taskbar_); });
    }
    // Moves the dragging cursor to `at`, with a last movement to the same point: the marker
    // stands where the cursor does, whichever position the hook reads during a movement.
    static bool DragTo(POINT at)
    {
        return MouseMove(at.x - 7, at.y - 5) && MouseMove(at.x, at.y) && MouseMove(at.x, at.y);
    }

    // Starts a stand-in Explorer titled `title` that logs what its address field gets;
    // returns the log's path.
    static std::string StartLoggedExplorer(Explorer* explorer, const char* title)
    {
        const std::string log =
            MakeScratchDir(::testing::UnitTest::GetInstance()->current_test_info()->name()) +
            "\\explorer.log";
        return StartExplorer(explorer, title, "--log \"" + log + "\"") ? log : "";
    }
    // Returns once whatever a release handed to Trailkeep's queue has run: a click on the
    // tray icon, posted now, is handled after it, and its tray menu then shows. Closes the
    // menus.
    bool WaitQueuedDropHandled()
    {
        PostMessageA(main_, WM_TK_TRAY, TK_ICON_ID, WM_LBUTTONUP);
        return WaitFor([] { return !VisibleMenus().empty(); }) && CloseMenus();
    }

    Process taskbarProcess_;
    HWND taskbar_ = nullptr, taskSwitch_ = nullptr, notifyArea_ = nullptr;
    std::string taskbarLog_;
    Area marker_;
};

const char kTwoEntries[] = "[Path_Log]\r\nLog_00=C:\\Windows\r\nLog_01=C:\\Users\r\n";

// The entry dropped on an Explorer window: its address field gets the path and one Enter
// (down and up), the window comes to the front and navigates, and the visit is recorded.
TEST_F(Drags, EntryDroppedOnExplorerTakesItThere)
{
    const std::string log = MakeScratchDir("drag-explorer") + "\\explorer.log";
    Explorer target;
    ASSERT_TRUE(StartExplorer(&target, "drop here", "--log \"" + log + "\""));
    Launch(kTwoEntries);
    HWND history = OpenHistory();
    ASSERT_NE(history, nullptr);
    ASSERT_TRUE(StartDrag(history, 1, 2));  // C:\Users
    EXPECT_TRUE(MenuHookInstalled()) << "no hook seen during the drag: the probe is blind";
    ASSERT_TRUE(DragTo({Centre(target.window).x, Centre(target.window).y + 40}));
    MouseButton(false);

    EXPECT_TRUE(WaitFor([&] { return CountLines(log, "navigate ") > 0; }))
        << Utf8(ReadFileBytes(log));
    EXPECT_EQ(ReadFileBytes(log), "settext C:\\Users\nkeydown 13\nkeyup 13\n"
                                  "settext C:\\Users\nnavigate C:\\Users\n");
    EXPECT_EQ(WindowText(target.window), "C:\\Users");
    EXPECT_TRUE(WaitFor([&] { return GetForegroundWindow() == target.window; }));
    EXPECT_TRUE(FileHistoryBecomes(ini_, {"C:\\Users", "C:\\Windows"}));
    EXPECT_EQ(TaskbarClicks(), 0);
    ExpectDragEnded();
}

// A history entry dropped on another program's Save As dialog: the dialog shows the
// folder and keeps the typed name, and no Explorer starts.
TEST_F(Drags, EntryDroppedOnASaveAsDialogIsShownThereKeepingTheName)
{
    const std::string start = MakeScratchDir("drag-dialog-start");
    const std::string target = MakeScratchDir("drag-dialog-target");
    const std::string report = start + "\\report.txt";
    Process dialog;
    HWND window = StartFileDialog(&dialog, "save", start, report);
    ASSERT_NE(window, nullptr);
    Launch("[Path_Log]\r\nLog_00=C:\\Windows\r\nLog_01=" + target + "\r\n");
    const std::set<DWORD> explorers = ExplorerProcesses();
    HWND history = OpenHistory();
    ASSERT_NE(history, nullptr);
    ASSERT_TRUE(StartDrag(history, 1, 2));
    ASSERT_TRUE(DragTo(Centre(window)));
    MouseButton(false);

    std::string shown;
    EXPECT_TRUE(WaitFor([&] { return (shown = AskFileDialog(report)) == DialogShowing(target); }))
        << shown;
    EXPECT_EQ(ExplorerProcesses(), explorers) << "Explorer was started";
    EXPECT_TRUE(dialog.Running()) << "the dialog chose";
    ExpectDragEnded();
    dialog.Kill();
}

// The entry dropped on a modern folder window, which has no address field: the window is
// navigated through its browser (the stand-in shell logs the call), and its navigation
// is recorded like any other.
TEST_F(Drags, EntryDroppedOnAModernFolderWindowGoesThereThroughItsBrowser)
{
    ASSERT_TRUE(UseStandinShell(true));
    struct ShellOff {
        ~ShellOff() { UseStandinShell(false); }
    } shellOff;
    ASSERT_NE(StartStandinShell(false), 0u);
    Launch(kTwoEntries);
    // Windows open before the watcher has connected are only followed: open it after.
    ASSERT_TRUE(WaitShellLog("Advise list"));
    HWND tab = nullptr;
    ASSERT_TRUE(ShellCommand(kShellOpenWindow, nullptr, L"C:\\start", &tab));
    // Followed by Trailkeep's watcher, which saw it open on its folder.
    ASSERT_TRUE(WaitShellLog((std::string("Advise ") + ShellLogTab(tab).text).c_str()));
    ASSERT_TRUE(FileHistoryBecomes(ini_, {"C:\\start", "C:\\Windows", "C:\\Users"}));
    HWND window = GetAncestor(tab, GA_ROOT);

    HWND history = OpenHistory();
    ASSERT_NE(history, nullptr);
    ASSERT_TRUE(StartDrag(history, 2, 3));  // C:\Users
    ASSERT_TRUE(DragTo(Centre(window)));
    MouseButton(false);

    const std::string call = std::string("Navigate2 ") + ShellLogTab(tab).text + " C:\\Users";
    EXPECT_TRUE(WaitShellLog(call.c_str())) << ShellLog();
    // The drop is handled on Trailkeep's main thread, which waits there for the watcher's
    // call without taking messages: once it answers one, the drop has made every call it
    // was going to make.
    DWORD_PTR answer = 0;
    ASSERT_TRUE(SendMessageTimeoutA(main_, WM_NULL, 0, 0, SMTO_NORMAL, kDeadlineMs, &answer));
    HWND browsed = nullptr;
    ASSERT_TRUE(ShellCommand(kShellBrowseCount, tab, nullptr, &browsed));
    EXPECT_EQ(browsed, reinterpret_cast<HWND>(2));  // one call, the drop's
    EXPECT_TRUE(WaitFor([&] { return GetForegroundWindow() == window; }));
    EXPECT_TRUE(FileHistoryBecomes(ini_, {"C:\\Users", "C:\\start", "C:\\Windows"}));
    ExpectDragEnded();
}

// Folders whose names read differently as URLs, dropped on a modern folder window: each
// arrives exactly ("#" is no fragment, "%20" no escape).
TEST_F(Drags, FoldersWithHashAndPercentDroppedOnAModernWindowArriveExactly)
{
    const char* const kFolders[] = {"C:\\a%20b", "C:\\50%", "C:\\work\\C#"};
    CreateDirectoryA("C:\\work", nullptr);
    for (const char* folder : kFolders)
        CreateDirectoryA(folder, nullptr);
    ASSERT_TRUE(UseStandinShell(true));
    struct ShellOff {
        ~ShellOff() { UseStandinShell(false); }
    } shellOff;
    ASSERT_NE(StartStandinShell(false), 0u);
    std::string ini = "[Path_Log]\r\n";
    for (int i = 0; i < 3; ++i)
        ini += "Log_0" + std::to_string(i) + "=" + kFolders[i] + "\r\n";
    Launch(ini);
    ASSERT_TRUE(WaitShellLog("Advise list"));
    HWND tab = nullptr;
    ASSERT_TRUE(ShellCommand(kShellOpenWindow, nullptr, L"C:\\start", &tab));
    std::vector<std::string> history = {"C:\\start", kFolders[0], kFolders[1], kFolders[2]};
    ASSERT_TRUE(FileHistoryBecomes(ini_, history));
    HWND window = GetAncestor(tab, GA_ROOT);

    // The oldest entry each time: dropped, it becomes the newest.
    for (int i = 2; i >= 0; --i) {
        HWND menu = OpenHistory();
        ASSERT_NE(menu, nullptr);
        ASSERT_TRUE(StartDrag(menu, 3, 4));
        ASSERT_TRUE(DragTo(Centre(window)));
        MouseButton(false);
        const std::string call =
            std::string("Navigate2 ") + ShellLogTab(tab).text + " " + kFolders[i] + "\n";
        ASSERT_TRUE(WaitShellLog(call.c_str())) << ShellLog();
        history.pop_back();
        history.insert(history.begin(), kFolders[i]);
        ASSERT_TRUE(FileHistoryBecomes(ini_, history));
        ExpectDragEnded();
    }
}

// The marker follows the cursor over a window that is not Explorer's; dropped there, the
// entry goes nowhere, and the screen under the marker is as it was.
TEST_F(Drags, MarkerFollowsTheCursorAndADropElsewhereWritesNothing)
{
    const std::string log = MakeScratchDir("drag-elsewhere") + "\\other.log";
    Explorer other;
    ASSERT_TRUE(StartExplorer(&other, "not explorer", "--class Notepad --log \"" + log + "\""));
    Launch(kTwoEntries);
    const std::string settings = ReadFileBytes(ini_);
    const POINT spot = {Centre(other.window).x - 60, Centre(other.window).y + 30};
    const Area before = ReadScreen(spot);

    HWND history = OpenHistory();
    ASSERT_NE(history, nullptr);
    ASSERT_TRUE(StartDrag(history, 0, 2));
    ASSERT_TRUE(DragTo(spot));
    EXPECT_TRUE(WaitFor([&] { return ReadScreen(spot) == WithMarker(before, marker_); }))
        << "the marker is not drawn at the cursor";
    MouseButton(false);
    EXPECT_TRUE(WaitFor([&] { return ReadScreen(spot) == before; }))
        << "the screen under the marker was not put back";

    // A click on the tray icon, posted after the drop was handed to Trailkeep's queue, is
    // handled after it: once its tray menu shows, the drop has run.
    PostMessageA(main_, WM_TK_TRAY, TK_ICON_ID, WM_LBUTTONUP);
    EXPECT_TRUE(WaitFor([] { return !VisibleMenus().empty(); }));
    EXPECT_TRUE(CloseMenus());
    EXPECT_EQ(ReadFileBytes(log), "");
    EXPECT_EQ(WindowText(other.window), "not explorer");
    EXPECT_EQ(ReadFileBytes(ini_), settings);
    EXPECT_EQ(TaskbarClicks(), 0);
    ExpectDragEnded();
}

// Resting one second over the task-switch window clicks it once; resting over another part
// of the taskbar does nothing, and neither does the timer of a drag released within the
// second.
TEST_F(Drags, RestOverTheTaskSwitchWindowClicksItOnce)
{
    Launch(kTwoEntries);
    HWND history = OpenHistory();
    ASSERT_NE(history, nullptr);
    ASSERT_TRUE(StartDrag(history, 0, 2));

    ASSERT_TRUE(DragTo(Centre(notifyArea_)));
    EXPECT_FALSE(WaitFor([&] { return TaskbarClicks() > 0; }, kPastHoverMs))
        << "a rest outside the task-switch window clicked the taskbar";

    // Near the top of the button, so that the whole marker is on the screen.
    RECT buttons;
    GetWindowRect(taskSwitch_, &buttons);
    const POINT button = {Centre(taskSwitch_).x, buttons.top + 2};
    ASSERT_TRUE(DragTo(button));
    // Pressed and released there.
    EXPECT_TRUE(WaitFor([&] {
        return CountLines(taskbarLog_, "down MSTaskSwWClass ") == 1 &&
               CountLines(taskbarLog_, "up MSTaskSwWClass ") == 1;
    })) << ReadFileBytes(taskbarLog_);
    EXPECT_EQ(TaskbarClicks(), 1);
    // The drag goes on: the marker is drawn again at the cursor, the taskbar disabled.
    EXPECT_TRUE(WaitFor([&] { return MarkerShownAt(button, marker_); }));
    EXPECT_TRUE(WaitFor([&] { return !IsWindowEnabled(taskbar_); }));
    EXPECT_FALSE(WaitFor([&] { return TaskbarClicks() > 1; }, kPastHoverMs))
        << "resting on clicked again";
    EXPECT_EQ(CountLines(taskbarLog_, "up "), 1);

    // Moved on and released at once: the timer that the movement started clicks nothing.
    ASSERT_TRUE(MouseMove(button.x + 20, button.y));
    MouseButton(false);
    EXPECT_FALSE(WaitFor([&] { return TaskbarClicks() > 1; }, kPastHoverMs))
        << "the hover timer clicked after the drag had ended";
    EXPECT_FALSE(MarkerShownAt({button.x + 20, button.y}, marker_));
    ExpectDragEnded();
}

// Trailkeep closed during a drag: the marker leaves the screen and the taskbar is enabled.
TEST_F(Drags, CloseDuringADragLeavesScreenAndTaskbarAsTheyWere)
{
    Explorer other;
    ASSERT_TRUE(StartExplorer(&other, "under the marker", "--class Notepad"));
    Launch(kTwoEntries);
    const POINT spot = {Centre(other.window).x + 50, Centre(other.window).y + 20};
    const Area before = ReadScreen(spot);
    HWND history = OpenHistory();
    ASSERT_NE(history, nullptr);
    ASSERT_TRUE(StartDrag(history, 0, 2));
    ASSERT_TRUE(DragTo(spot));
    ASSERT_TRUE(WaitFor([&] { return ReadScreen(spot) == WithMarker(before, marker_); }))
        << "marker's own pixels there: " << MarkerShownAt(spot, marker_)
        << ", drag going on (taskbar disabled): " << !IsWindowEnabled(taskbar_);

    PostMessageA(main_, WM_CLOSE, 0, 0);
    EXPECT_EQ(tk_.WaitExit(), 0);
    EXPECT_TRUE(IsWindowEnabled(taskbar_));
    EXPECT_TRUE(ReadScreen(spot) == before) << "the marker stays on the screen";
}

// A press on the folder menu itself (the open command, a sub-menu header) and a movement
// start no drag: the menu stays and the command comes through. A plain click on an entry
// still opens it.
TEST_F(Drags, PressOnTheFolderMenuStartsNoDragAndAClickStillOpens)
{
    Explorer shown, other;
    ASSERT_TRUE(StartExplorer(&shown, "C:\\Users"));
    ASSERT_TRUE(StartExplorer(&other, "elsewhere"));
    Launch(kTwoEntries);

    // "フォルダを開く": pressed, moved along, released on it: the folder picker.
    HWND folder = OpenFolderMenu();
    ASSERT_NE(folder, nullptr);
    ASSERT_TRUE(PressAndSlide(folder, 2));
    EXPECT_EQ(VisibleMenus().size(), 1u) << "the menu closed: a drag started";
    EXPECT_TRUE(IsWindowEnabled(taskbar_));
    MouseButton(false);
    HWND picker = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (picker = FindDialog(tk_.info.dwProcessId)) != nullptr; }))
        << "the open command did not come through";
    PostMessageA(picker, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(picker); }));

    // "フォルダ履歴": pressed, moved along, released: its sub-menu is open.
    folder = OpenFolderMenu();
    ASSERT_NE(folder, nullptr);
    ASSERT_TRUE(PressAndSlide(folder, 0));
    EXPECT_TRUE(IsWindowEnabled(taskbar_));
    MouseButton(false);
    HWND history = WaitForSubMenu(folder);
    ASSERT_NE(history, nullptr) << "the sub-menu is not open: a drag started";
    EXPECT_TRUE(IsWindowEnabled(taskbar_));

    // A plain click on C:\Users brings its window forward and records the visit.
    ASSERT_TRUE(PressAt(ItemCentre(history, 1, 2)));
    MouseButton(false);
    EXPECT_TRUE(WaitFor([&] { return GetForegroundWindow() == shown.window; }));
    EXPECT_TRUE(FileHistoryBecomes(ini_, {"C:\\Users", "C:\\Windows"}));
    EXPECT_TRUE(WaitFor([] { return VisibleMenus().empty(); }));
    ExpectDragEnded();
}

// A hand that moves a few pixels between press and release still clicks: the entry opens
// (its window comes forward) and nothing is dragged into it.
TEST_F(Drags, ClickWithAFewPixelsOfMovementOpensTheEntry)
{
    Explorer shown;
    const std::string log = StartLoggedExplorer(&shown, "C:\\Users");
    ASSERT_NE(log, "");
    Explorer other;
    ASSERT_TRUE(StartExplorer(&other, "elsewhere"));
    Launch(kTwoEntries);
    HWND history = OpenHistory();
    ASSERT_NE(history, nullptr);
    const POINT entry = ItemCentre(history, 1, 2);  // C:\Users
    ASSERT_TRUE(PressAt(entry));
    ASSERT_TRUE(MouseMove(entry.x + 2, entry.y + 1));
    ASSERT_TRUE(MouseMove(entry.x + 3, entry.y - 2));
    MouseButton(false);

    EXPECT_TRUE(WaitFor([&] { return GetForegroundWindow() == shown.window; }));
    EXPECT_TRUE(FileHistoryBecomes(ini_, {"C:\\Users", "C:\\Windows"}));
    EXPECT_EQ(CountLines(log, "settext "), 0) << "the entry was dropped, not opened";
    EXPECT_TRUE(WaitFor([] { return VisibleMenus().empty(); }));
    ExpectDragEnded();
}

// The grey placeholder of an empty list is no folder: pressed and moved off onto an
// Explorer window, it starts no drag, and nothing is typed into the window.
TEST_F(Drags, GreyPlaceholderCannotBeDragged)
{
    Explorer target;
    const std::string log = StartLoggedExplorer(&target, "drop here");
    ASSERT_NE(log, "");
    Launch("[Setting]\r\nMaxLogData=20\r\n");
    HWND history = OpenHistory();  // "履歴なし", greyed
    ASSERT_NE(history, nullptr);
    const POINT placeholder = ItemCentre(history, 0, 1);
    ASSERT_TRUE(PressAt(placeholder));
    ASSERT_TRUE(MouseMove(placeholder.x - 10, placeholder.y + 10));
    ASSERT_TRUE(MouseMove(placeholder.x - 30, placeholder.y + 30));
    EXPECT_TRUE(IsWindowEnabled(taskbar_)) << "a drag started";
    ASSERT_TRUE(DragTo({Centre(target.window).x, Centre(target.window).y + 40}));
    MouseButton(false);

    EXPECT_TRUE(CloseMenus());
    EXPECT_TRUE(WaitQueuedDropHandled());
    EXPECT_EQ(Utf8(ReadFileBytes(log)), "");
    EXPECT_EQ(WindowText(target.window), "drop here");
    ExpectDragEnded();
}

// Resting over a taskbar button brings its window forward; the drag goes on and the drop
// then takes the Explorer window there. Windows calls a low-level hook on the thread that
// installed it, and the hover click is injected from that very thread: its release may
// reach the hook only once the drag has resumed. Such a late release, which carries the
// click's mark, ends nothing.
TEST_F(Drags, HoverThenDropNavigatesExplorer)
{
    Explorer target;
    const std::string log = StartLoggedExplorer(&target, "drop here");
    ASSERT_NE(log, "");
    Launch(kTwoEntries);
    HWND history = OpenHistory();
    ASSERT_NE(history, nullptr);
    ASSERT_TRUE(StartDrag(history, 1, 2));  // C:\Users

    RECT buttons;
    GetWindowRect(taskSwitch_, &buttons);
    ASSERT_TRUE(DragTo({Centre(taskSwitch_).x, buttons.top + 2}));
    ASSERT_TRUE(WaitFor([&] { return CountLines(taskbarLog_, "up MSTaskSwWClass ") == 1; }))
        << ReadFileBytes(taskbarLog_);
    ASSERT_TRUE(WaitFor([&] { return !IsWindowEnabled(taskbar_); }));
    mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, kHoverClickMark);

    ASSERT_TRUE(DragTo({Centre(target.window).x, Centre(target.window).y + 40}));
    EXPECT_FALSE(IsWindowEnabled(taskbar_)) << "the drag ended over the taskbar";
    MouseButton(false);
    EXPECT_TRUE(WaitFor([&] { return CountLines(log, "navigate C:\\Users") == 1; }))
        << Utf8(ReadFileBytes(log));
    EXPECT_EQ(WindowText(target.window), "C:\\Users");
    EXPECT_TRUE(FileHistoryBecomes(ini_, {"C:\\Users", "C:\\Windows"}));
    EXPECT_EQ(TaskbarClicks(), 1);
    ExpectDragEnded();
}

// The marker drawn at the scale of the screen: 32 pixels wide at 100 %, 48 at 150 %,
// measured from its hot spot, the top-left corner, which stands at the cursor.
TEST_F(Drags, MarkerIsDrawnAtTheScreensScale)
{
    const int dpi = ScreenDpi();
    Explorer other;
    ASSERT_TRUE(StartExplorer(&other, "not explorer", "--class Notepad"));
    Launch(kTwoEntries);
    const POINT spot = {Centre(other.window).x - 60, Centre(other.window).y - 20};
    // Room around the spot for the largest marker, and for a marker drawn off the spot.
    constexpr int kSpan = 160;
    const POINT corner = {spot.x - kSpan / 4, spot.y - kSpan / 4};
    auto area = [&] { return ReadScreenArea(corner, kSpan, kSpan); };
    const std::vector<DWORD> before = area();
    // What the marker changed: its extent on the screen.
    RECT drawn = {};
    auto measure = [&] {
        const std::vector<DWORD> now = area();
        SetRectEmpty(&drawn);
        for (int i = 0; i < kSpan * kSpan; ++i) {
            if (now[i] == before[i])
                continue;
            const RECT pixel = {corner.x + i % kSpan, corner.y + i / kSpan,
                                corner.x + i % kSpan + 1, corner.y + i / kSpan + 1};
            UnionRect(&drawn, &drawn, &pixel);
        }
        return !IsRectEmpty(&drawn) && drawn.left >= spot.x && drawn.top >= spot.y;
    };

    HWND history = OpenHistory();
    ASSERT_NE(history, nullptr);
    ASSERT_TRUE(StartDrag(history, 0, 2));
    ASSERT_TRUE(DragTo(spot));
    EXPECT_TRUE(WaitFor(measure)) << "no marker drawn right of and below the cursor";
    // The drawing fills its bitmap but for a column of white (transparent) at each side.
    const int width = drawn.right - spot.x;
    EXPECT_NEAR(width, MulDiv(kMarkerSize, dpi, 96), dpi > 96 ? 2 : 1) << "at " << dpi << " dpi";
    EXPECT_LE(drawn.left - spot.x, MulDiv(2, dpi, 96)) << "the marker stands off the cursor";
    MouseButton(false);
    EXPECT_TRUE(WaitFor([&] { return area() == before; }))
        << "the screen under the marker was not put back";
    ExpectDragEnded();
}

}  // namespace
