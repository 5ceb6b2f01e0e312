// Helpers for the Windows test programs: scratch folders, settings files, the real
// Trailkeep process, the stand-in Explorer, and waiting on conditions with a deadline.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace tk {

// Generous: a loaded machine under Wine is slow, but a condition that holds is seen
// within milliseconds of becoming true.
constexpr DWORD kDeadlineMs = 20000;

// Polls `condition` every `pollMs` milliseconds, pumping this thread's messages, until it
// holds or the deadline passes. Returns whether it held. (Timing measurements poll every
// 1 ms; Sleep(1) lasts about a millisecond under Wine.)
bool WaitFor(const std::function<bool()>& condition, DWORD deadlineMs = kDeadlineMs,
             DWORD pollMs = 10);

// The folder this test program lies in (where the deliverables are built too).
std::string BinDir();

// A fresh, empty folder for one test, under the temporary folder.
std::string MakeScratchDir(const char* name);
// A path of the tests' code page in UTF-16.
std::wstring Wide(const std::string& ansi);
void WriteFileBytes(const std::string& path, const std::string& bytes);
std::string ReadFileBytes(const std::string& path);
bool FileExists(const std::string& path);

// One value of an INI file read straight from its bytes (no profile cache involved).
// Returns false when the section or key is absent.
bool IniValue(const std::string& file, const char* section, const char* key, std::string* value);
// The keys of a section in file order.
std::string IniKeys(const std::string& file, const char* section);
// The folder history as the settings file holds it: "key=value" lines in file order.
std::string HistoryInFile(const std::string& file);
// The history lines that `paths` would give, Log_00 first.
std::string HistoryLines(const std::vector<std::string>& paths);
// Waits until the file holds exactly that history (a save in progress rewrites the file
// key by key); on failure the message shows what it holds.
::testing::AssertionResult FileHistoryBecomes(const std::string& file,
                                              const std::vector<std::string>& paths);

// A running program started by a test; ended by Stop() or at destruction.
struct Process {
    PROCESS_INFORMATION info{};
    bool Running() const;
    // Waits for the process to end; returns its exit code, or -1 on timeout.
    int WaitExit(DWORD deadlineMs = kDeadlineMs);
    void Kill();
    ~Process();
};

// Starts `exe` (a file name in BinDir, or a full path) with `args` in `dir`.
bool Start(Process* process, const std::string& exe, const std::string& args,
           const std::string& dir);

// The main window of Trailkeep, by class and title (null when none is found).
HWND FindTrailkeep();
// Starts Trailkeep.exe in `dir` and waits for its main window.
// `exe` may name the program of another build by its full path.
HWND StartTrailkeep(Process* process, const std::string& dir,
                    const std::string& exe = "Trailkeep.exe");
// Asks Trailkeep to close (WM_CLOSE) and returns its exit code (-1 on timeout).
int CloseTrailkeep(Process* process, HWND main);
// Ends every Trailkeep left running by an earlier failed test.
void EndStrayTrailkeeps();

// A stand-in Explorer window of the fixture program: its top-level window and the Edit
// that plays its address field.
struct Explorer {
    Process process;
    HWND window = nullptr;
    HWND edit = nullptr;
};
// Starts the fixture with its own arguments (see standin_explorer.cpp) and waits for the
// window titled `title`.
bool StartExplorer(Explorer* explorer, const std::string& title, const std::string& args = "");
// The stand-in sets `text` (code page 932) into its address field from its own thread.
// Returns whether the setting, hook included, was over within the deadline.
bool SetAddressText(const Explorer& explorer, const char* text);
// The same with a UTF-16 text, which the stand-in's Unicode field takes as it is.
bool SetWideAddressText(const Explorer& explorer, const wchar_t* text);
std::string WindowText(HWND wnd);

// Simulated input, as the user gives it: mouse clicks at screen points and key presses.
void Click(int x, int y, bool rightButton = false);
// Brings a top-level window to the foreground, as a user's click does; false when it
// never gets there.
bool BringToFront(HWND window);
void Press(WORD vk);
// Moves the mouse to a screen point as the user's hand does (a movement event, absolute);
// returns once the cursor stands there, false when it never gets there.
bool MouseMove(int x, int y);
// Presses or releases the left button where the cursor stands.
void MouseButton(bool down);

// The front-most top-level window for which `match` holds; null when there is none. The
// windows are listed before any is looked at: a walk from window to window would end at
// one destroyed meanwhile and miss those behind it.
HWND FindTopWindow(const std::function<bool(HWND)>& match);

// A visible dialog (class "#32770") of the process, holding a Static control that reads
// `text` when one is given; null when there is none.
HWND FindDialog(DWORD processId, const char* text = nullptr);
// A visible dialog of the process whose caption reads `caption`; null when there is none.
HWND FindDialogTitled(DWORD processId, const std::string& caption);

// Clicks the centre of control `id` of a dialog of any process.
void ClickControl(HWND dialog, int id);

// Controls of another process whose messages carry pointers: the structures and texts go
// through memory in that process (the two processes share the pointer size).
// The text of item `item` of a list-view control.
std::string ListItemText(HWND list, int item);
std::wstring ListItemTextW(HWND list, int item);
// The centre of item `item` of a list-view control, in screen coordinates.
bool ListItemCentre(HWND list, int item, POINT* centre);
// The text of the selected item of a tree-view control; empty when none is selected.
std::string TreeSelectionText(HWND tree);
// Asks an open folder-browse dialog to select `path`, as an initial path would, and waits
// until its tree shows the folder selected.
bool SelectInPicker(HWND picker, const std::string& path);
// The same with a UTF-16 path, which the dialog takes as it is.
bool SelectInPicker(HWND picker, const std::wstring& path);

// Visible popup menus (class "#32768"), the topmost first.
std::vector<HWND> VisibleMenus();
// Waits until exactly `count` menus are open; returns the topmost (null when that never
// happens).
HWND WaitForMenus(size_t count);
// Waits until `parent` and one other menu are open; returns that other, the sub-menu
// (null when that never happens).
HWND WaitForSubMenu(HWND parent);
// Closes every open menu with Escape; returns whether none is left.
bool CloseMenus();
// The items of the menu shown in a menu window ("#32768"), one text each; a greyed item's
// text starts with "(grey)".
std::vector<std::string> MenuTexts(HWND menuWindow);

// What the file_dialog fixture's dialog shows: its folder and name lines as it writes them
// into `report`, or "(no answer)".
std::string AskFileDialog(const std::string& report);
// The file name the tests type into the fixture's dialogs.
constexpr char kTypedName[] = "typed name.txt";
// What AskFileDialog reads while the dialog shows `folder` with kTypedName.
std::string DialogShowing(const std::string& folder);
// Starts the file_dialog fixture's dialog of `kind` at `folder` with kTypedName, reporting
// into `report`; returns the dialog once it shows both (null when it never does).
HWND StartFileDialog(Process* process, const char* kind, const std::string& folder,
                     const std::string& report);

// The centre of Trailkeep's tray icon. Without a shell, Wine shows tray icons in a window
// of its own at the top-left corner; Trailkeep's is the only icon there in the tests.
bool TrayIconCentre(POINT* centre);
// Clicks Trailkeep's tray icon with a button; returns the menu it opens.
HWND ClickTrayIcon(bool rightButton);
// Opens sub-menu `position` of the one open menu with the keyboard; returns it.
HWND OpenSubMenuWithKeys(int position);
// Opens the history sub-menu of an open folder menu with the keyboard; returns it.
HWND OpenHistoryWithKeys();

// Runs Trailmenu.exe and returns its exit code.
int RunTrailmenu(const std::string& exe = "Trailmenu.exe");

// A test that runs the real Trailkeep in a scratch folder of its own, named for the test.
// Whatever the test leaves open (menus, the program itself) is closed after it.
class TrailkeepTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Writes the settings file `ini` and starts Trailkeep on it.
    void Launch(const std::string& ini);
    // Brings a stand-in window to the foreground, as the user would by clicking it.
    static void Activate(const Explorer& explorer);

    Process tk_;
    HWND main_ = nullptr;
    std::string dir_, ini_;
};

// The stand-in shell (tests/fixtures/standin_shell.h): a COM server that plays the shell's
// window list and modern folder windows.
// on: CLSID_ShellWindows is treated as the stand-in's class (both registry views, under
// HKLM), so that a plain CoCreateInstance reaches it; the call log is emptied and a
// stand-in left running is ended. off: the keys are removed, so that Wine's own list
// answers again, and a running stand-in is ended (resumed first if suspended).
// Returns whether the registry now says what was asked.
bool UseStandinShell(bool on);
// Starts standin_shell.exe (its output to a file), waits for its control window and
// returns its process id, 0 on failure. announce: it broadcasts "TaskbarCreated" once its
// class is registered.
DWORD StartStandinShell(bool announce);
// Sends a command (kShell...) to the running stand-in: a window handle or a count, as
// the command says. False when no stand-in answers or the command failed (0).
bool ShellCommand(UINT cmd, HWND target, const wchar_t* path, HWND* result,
                  unsigned value = 0);
// present false: COM's start of the stand-in fails (it ends at once, logging "Start
// refused"), as while no shell is up; true: it starts again. Returns whether it holds.
bool SetStandinServerPresent(bool present);
// The processes of Wine's own Explorer now running: a new one means a folder was opened.
std::set<DWORD> ExplorerProcesses();
// Ends the Explorer processes that are not in `before`: a window of theirs that came up
// late would take the foreground from whatever test runs next.
void EndExplorersSince(const std::set<DWORD>& before);
// Suspends or resumes every thread of a process (a hung shell).
void SuspendProcess(DWORD pid, bool suspend);
// Waits until a line of the stand-in's call log contains `needle` (UTF-8).
bool WaitShellLog(const char* needle, DWORD timeoutMs = kDeadlineMs);
// The stand-in's call log as it stands (UTF-8), for messages and order checks.
std::string ShellLog();

// Converts a string between code page 932 and UTF-8 for messages of failed checks.
std::string Utf8(const std::string& cp932);

}  // namespace tk
