// The settings dialog and the registered-folders dialog end to end: opened from the tray
// menu of the real Trailkeep and driven with simulated mouse and keyboard input.
#include <gtest/gtest.h>

#include "testsupport.h"

#include <commctrl.h>

using namespace tk;

namespace {

typedef std::vector<std::string> List;

// Controls of the dialog templates.
enum {
    kOk = 100, kAbout = 101, kCancel = 102, kMaxLogData = 103, kMaxLogDataArrows = 104,
    kLogDelay = 105, kLogDelayArrows = 106, kLogNetwork = 109, kSwapMouseLR = 114,
    kSortFirst = 115, kSortLast = 118, kPlainWindow = 119, kWithTree = 120, kTouroku = 121,
    kSwitchFileDialog = 128, kShowOpenFolders = 129,
    kAboutOk = 300, kAboutExeVersion = 304,
    kTourokuOk = 200, kTourokuCancel = 201, kList = 202, kAdd = 203, kDelete = 204,
    kMoveUp = 205, kMoveDown = 206,
};

const char kFieldLabel[] = "フォルダ履歴保持数";  // a label only the settings dialog has

class Dialogs : public TrailkeepTest {
protected:
    // Clicks until the click's effect shows, for clicks that are safe to repeat (selecting
    // an item, opening a menu that is not open). A click that comes soon after another
    // program's window was activated is now and then lost on the test bed (Wine under X):
    // as a user would, the test clicks again when nothing has happened.
    static bool ClickFor(const std::function<void()>& click, const std::function<bool()>& effect)
    {
        for (int attempt = 0; attempt < 3; ++attempt) {
            click();
            if (WaitFor(effect, 3000))
                return true;
        }
        return WaitFor(effect);
    }
    // The left button down or up at a point of the screen.
    static void ButtonAt(POINT at, bool down)
    {
        const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
        INPUT input = {};
        input.type = INPUT_MOUSE;
        input.mi.dx = (at.x * 65536 + width - 1) / width;
        input.mi.dy = (at.y * 65536 + height - 1) / height;
        input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE |
                           (down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP);
        SendInput(1, &input, sizeof input);
    }
    // Clicks a control where a second click would change the result (a button, a check
    // box, an up-down arrow): it is pressed once. Such a control takes the mouse capture
    // while its button is down, and a press can come late but is not lost, so the press is
    // released only once it has reached the control. Then the effect is waited for; a click
    // that was meant to change nothing is done with once released.
    static bool ClickOnce(HWND control, POINT at, const std::function<bool()>& effect)
    {
        const DWORD thread = GetWindowThreadProcessId(control, nullptr);
        auto captured = [&] {
            GUITHREADINFO gui = {};
            gui.cbSize = sizeof gui;
            return GetGUIThreadInfo(thread, &gui) && gui.hwndCapture == control;
        };
        // A press that follows another window's activation is the one the test bed (Wine
        // under X) has been seen to lose: the dialog is brought in front, and its thread
        // has handled what that started (it answers a message only then), before the press.
        if (!BringToFront(GetAncestor(control, GA_ROOT)))
            return false;
        DWORD_PTR answer = 0;
        SendMessageTimeoutA(control, WM_NULL, 0, 0, SMTO_NORMAL, kDeadlineMs, &answer);
        SetCursorPos(at.x, at.y);
        ButtonAt(at, true);
        const bool reached = WaitFor(captured);
        ButtonAt(at, false);
        if (!reached)
            return false;
        // The release gives the capture back before the control tells its dialog; a
        // message that the dialog's thread answers is handled after what that started.
        const bool released = WaitFor([&] { return !captured(); });
        SendMessageTimeoutA(control, WM_NULL, 0, 0, SMTO_NORMAL, kDeadlineMs, &answer);
        return released && WaitFor(effect);
    }
    static POINT CentreOf(HWND control)
    {
        RECT r{};
        GetWindowRect(control, &r);
        return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    }
    static bool Press(HWND dlg, int id, const std::function<bool()>& effect)
    {
        HWND control = GetDlgItem(dlg, id);
        return ClickOnce(control, CentreOf(control), effect);
    }
    static bool Closes(HWND dlg, int id)
    {
        return Press(dlg, id, [&] { return !IsWindow(dlg); });
    }
    // A visible dialog of Trailkeep with this caption (null when there is none).
    HWND DialogTitled(const char* caption)
    {
        return FindDialogTitled(tk_.info.dwProcessId, caption);
    }
    // The dialog that button `id` of `dlg` opens, once it is active.
    HWND OpenFrom(HWND dlg, int id, const char* caption)
    {
        HWND opened = nullptr;
        Press(dlg, id, [&] { return (opened = DialogTitled(caption)) != nullptr; });
        return opened != nullptr && BringToFront(opened) ? opened : nullptr;
    }
    // The tray menu's "設定(&S)": the button that opens the tray menu depends on SwapMouseLR.
    HWND OpenSettings(bool rightButton)
    {
        POINT icon;
        if (!TrayIconCentre(&icon))
            return nullptr;
        if (!ClickFor([&] { Click(icon.x, icon.y, rightButton); },
                      [] { return VisibleMenus().size() == 1; }))
            return nullptr;
        tk::Press('S');
        HWND dlg = nullptr;
        WaitFor([&] { return (dlg = FindDialog(tk_.info.dwProcessId, kFieldLabel)) != nullptr; });
        return dlg != nullptr && BringToFront(dlg) ? dlg : nullptr;
    }
    // Returns once Trailkeep's main thread takes messages again: the command that ran the
    // settings dialog has ended, its saves included. Until then the file is not read: a
    // save replaces it by a rename, which fails under Wine while any handle is open on it.
    void WaitCommandEnded()
    {
        DWORD_PTR result = 0;
        EXPECT_TRUE(SendMessageTimeoutA(main_, WM_NULL, 0, 0, SMTO_NORMAL, kDeadlineMs, &result));
    }
    // The folder-browse dialog that opens over `under`.
    HWND WaitPicker(HWND under)
    {
        HWND picker = nullptr;
        WaitFor([&] {
            picker = FindDialog(tk_.info.dwProcessId);
            return picker != nullptr && picker != under &&
                   FindWindowExA(picker, nullptr, WC_TREEVIEWA, nullptr) != nullptr;
        });
        return picker;
    }
    // Adds `path` with the registered-folders dialog's Add button and the picker; with
    // `request`, Trailmenu asks for the folder menu while the picker is up.
    template <typename Path>
    void AddThroughPicker(HWND touroku, const Path& path, bool request = false)
    {
        HWND picker = nullptr;
        ASSERT_TRUE(Press(touroku, kAdd, [&] { return (picker = WaitPicker(touroku)) != nullptr; }))
            << "no folder picker";
        if (request) {
            ASSERT_EQ(RunTrailmenu(), 1);
        }
        ASSERT_TRUE(SelectInPicker(picker, path));
        // Once: the picker takes seconds to close under Wine, and a second click would land
        // on the list under it.
        ASSERT_TRUE(Press(picker, IDOK, [&] { return !IsWindow(picker); }));
    }
    static std::string Field(HWND dlg, int id) { return WindowText(GetDlgItem(dlg, id)); }
    static bool Checked(HWND dlg, int id)
    {
        return SendMessageA(GetDlgItem(dlg, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
    }
    // One click on the upper or lower arrow of the up-down `arrows`; the field before it
    // then shows `value`.
    static ::testing::AssertionResult Step(HWND dlg, int arrows, bool up, const char* value)
    {
        const int field = arrows - 1;
        HWND control = GetDlgItem(dlg, arrows);
        RECT r;
        GetWindowRect(control, &r);
        const int quarter = (r.bottom - r.top) / 4;
        const POINT arrow = {(r.left + r.right) / 2, up ? r.top + quarter : r.bottom - 1 - quarter};
        if (ClickOnce(control, arrow, [&] { return Field(dlg, field) == value; }))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "field " << field << " shows "
                                             << Field(dlg, field) << ", not " << value;
    }
    static List Entries(HWND list)
    {
        List entries;
        const int count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
        for (int i = 0; i < count; ++i)
            entries.push_back(ListItemText(list, i));
        return entries;
    }
    static int Selection(HWND list)
    {
        return static_cast<int>(
            SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    }
    static std::function<bool()> Shows(HWND list, const List& expected, int selected)
    {
        return [=] { return Entries(list) == expected && Selection(list) == selected; };
    }
    static ::testing::AssertionResult ListBecomes(HWND list, const List& expected, int selected)
    {
        if (WaitFor(Shows(list, expected, selected)))
            return ::testing::AssertionSuccess();
        return Described(list);
    }
    // A button of the registered-folders dialog, and the list it leaves.
    static ::testing::AssertionResult Edit(HWND touroku, int id, const List& expected,
                                           int selected)
    {
        HWND list = GetDlgItem(touroku, kList);
        if (Press(touroku, id, Shows(list, expected, selected)))
            return ::testing::AssertionSuccess();
        return Described(list);
    }
    static ::testing::AssertionResult Described(HWND list)
    {
        ::testing::AssertionResult failure = ::testing::AssertionFailure();
        failure << "the list shows";
        for (const std::string& e : Entries(list))
            failure << " " << e;
        return failure << " with item " << Selection(list) << " selected";
    }
    // Clicks an item. The list tracks a pressed button for a drag: the next input waits
    // for the click to have selected, or its movement would start one.
    static bool ClickItem(HWND list, int item)
    {
        POINT centre{};
        return ListItemCentre(list, item, &centre) &&
               ClickFor([&] { Click(centre.x, centre.y); },
                        [&] { return Selection(list) == item; });
    }
    std::string Setting(const char* key)
    {
        std::string value;
        return IniValue(ini_, "Setting", key, &value) ? value : "<absent>";
    }
    std::string RegisteredInFile()
    {
        std::string keys = IniKeys(ini_, "Path_Touroku"), values;
        for (int i = 0; i < 30; ++i) {
            char key[16];
            wsprintfA(key, "Touroku_%02d", i);
            std::string value;
            if (IniValue(ini_, "Path_Touroku", key, &value))
                values += values.empty() ? value : " " + value;
        }
        return keys + " = " + values;
    }
};

// OK applies what the dialog shows: the history loses its network entries and is cut to
// the new length, and the file gets every setting. While the dialog is up the tray icon
// does nothing, a launcher request still opens the folder menu, and captures are dropped
// even after that menu has gone.
TEST_F(Dialogs, SettingsOkAppliesTheFiltersAndTheCapAndSavesEverySetting)
{
    Explorer one;
    ASSERT_TRUE(StartExplorer(&one, "C:\\one"));
    Launch("[Setting]\r\nMaxLogData=5\r\nLogNetwork=1\r\nLogSort=5\r\nDeletedFolderTime=3\r\n"
           "[Path_Log]\r\nLog_00=C:\\one\r\nLog_01=N:\\share\r\nLog_02=C:\\two\r\n"
           "Log_03=\\\\server\\share\r\nLog_04=C:\\three\r\n");
    HWND dlg = OpenSettings(false);
    ASSERT_NE(dlg, nullptr) << "no settings dialog";
    EXPECT_EQ(Field(dlg, kMaxLogData), "5");
    EXPECT_EQ(Field(dlg, kLogDelay), "0");

    // A click on the tray icon opens nothing: the menu that shows is the launcher's, with
    // its top-left corner at the cursor (the icon's folder menu would stand above it).
    POINT icon;
    ASSERT_TRUE(TrayIconCentre(&icon));
    Click(icon.x, icon.y, true);
    SetCursorPos(400, 300);
    ASSERT_EQ(RunTrailmenu(), 1);
    HWND launched = WaitForMenus(1);
    ASSERT_NE(launched, nullptr);
    RECT menu;
    GetWindowRect(launched, &menu);
    EXPECT_EQ(menu.left, 400);
    EXPECT_EQ(menu.top, 300);
    ASSERT_NE(OpenHistoryWithKeys(), nullptr);
    tk::Press(VK_RETURN);  // C:\one, which the stand-in shows: it comes forward
    EXPECT_TRUE(WaitFor([&] { return GetForegroundWindow() == one.window; }));

    // Esc does nothing: the step after it is made in the open dialog. The menu has let go
    // of Trailkeep; the dialog's own hold stays, so the capture below is dropped.
    ASSERT_TRUE(BringToFront(dlg));
    tk::Press(VK_ESCAPE);
    EXPECT_TRUE(Step(dlg, kMaxLogDataArrows, false, "4"));
    EXPECT_TRUE(IsWindowVisible(dlg));
    Activate(one);
    SetAddressText(one, "C:\\while-settings");

    // Down to the lower bound, held there, and up again.
    ASSERT_TRUE(BringToFront(dlg));
    for (const char* value : {"3", "2", "1"})
        EXPECT_TRUE(Step(dlg, kMaxLogDataArrows, false, value));
    EXPECT_TRUE(Step(dlg, kMaxLogDataArrows, false, "1")) << "not held at 1";
    EXPECT_TRUE(Step(dlg, kMaxLogDataArrows, true, "2"));
    EXPECT_TRUE(Step(dlg, kLogDelayArrows, true, "1"));

    // LogSort 5 checks no button of its group; OK keeps it.
    for (int id = kSortFirst; id <= kSortLast; ++id)
        EXPECT_FALSE(Checked(dlg, id)) << id;
    EXPECT_TRUE(Checked(dlg, kPlainWindow));
    EXPECT_TRUE(Checked(dlg, kLogNetwork));
    EXPECT_TRUE(Press(dlg, kWithTree, [&] { return !Checked(dlg, kPlainWindow); }));
    EXPECT_TRUE(Press(dlg, kSwapMouseLR, [&] { return Checked(dlg, kSwapMouseLR); }));
    EXPECT_TRUE(Press(dlg, kLogNetwork, [&] { return !Checked(dlg, kLogNetwork); }));
    EXPECT_TRUE(Press(dlg, kSwitchFileDialog, [&] { return !Checked(dlg, kSwitchFileDialog); }))
        << "SwitchFileDialog is on by default";
    EXPECT_TRUE(Press(dlg, kShowOpenFolders, [&] { return !Checked(dlg, kShowOpenFolders); }))
        << "ShowOpenFolders is on by default";
    EXPECT_TRUE(Checked(dlg, kWithTree));

    // The about box, closed by its OK, leaves the settings dialog open.
    HWND about = OpenFrom(dlg, kAbout, "About...");
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(Field(about, kAboutExeVersion), "Trailkeep.exe Version 1.10");
    ASSERT_TRUE(Closes(about, kAboutOk));
    EXPECT_TRUE(IsWindowVisible(dlg));

    // Enter acts as OK.
    ASSERT_TRUE(BringToFront(dlg));
    tk::Press(VK_RETURN);
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(dlg); }));
    WaitCommandEnded();
    EXPECT_EQ(HistoryInFile(ini_), HistoryLines({"C:\\one", "C:\\two"}));
    const char* const kExpected[][2] = {
        {"MaxLogData", "2"},      {"LogDelay", "1"},          {"LogTourokuData", "0"},
        {"LogRemovable", "0"},    {"LogNetwork", "0"},        {"OpenExistFolder", "0"},
        {"DeletedFolder", "0"},   {"DeletedFolderTime", "3"}, {"SwapMouseLR", "1"},
        {"LogSort", "5"},         {"OpenMode", "1"},          {"SwitchFileDialog", "0"},
        {"ShowOpenFolders", "0"},
    };
    for (const auto& setting : kExpected)
        EXPECT_EQ(Setting(setting[0]), setting[1]) << setting[0];

    // Captures are taken again (after the new one-second delay); the one made while the
    // dialog was up never reached the history.
    Activate(one);
    SetAddressText(one, "C:\\after-settings");
    EXPECT_TRUE(FileHistoryBecomes(ini_, {"C:\\after-settings", "C:\\one"}));

    // The tray icon reacts again, with the buttons swapped now. A close that arrives
    // while the dialog is up waits for it: the dialog goes on working, and Trailkeep ends
    // in order once the dialog has been cancelled.
    dlg = OpenSettings(true);
    ASSERT_NE(dlg, nullptr) << "the tray icon does not react after the dialog";
    EXPECT_EQ(Field(dlg, kMaxLogData), "2");
    PostMessageA(main_, WM_CLOSE, 0, 0);
    EXPECT_TRUE(Step(dlg, kMaxLogDataArrows, true, "3"));
    EXPECT_TRUE(tk_.Running());
    EXPECT_TRUE(Closes(dlg, kCancel));
    EXPECT_EQ(tk_.WaitExit(), 0);
    EXPECT_EQ(Setting("MaxLogData"), "2");
    EXPECT_EQ(HistoryInFile(ini_), HistoryLines({"C:\\after-settings", "C:\\one"}));
}

// The registered-folders dialog edits a copy: Add (through the folder picker) inserts at
// the selection, a duplicate is refused, Move and Delete keep the selection rules. Its OK
// changes the list at once; the file gets it at the settings' OK. Cancel in either dialog
// leaves things as they were.
TEST_F(Dialogs, RegisteredFoldersAreEditedInTheirDialogAndSavedWithTheSettings)
{
    // Folders at the root of C:, where the picker's tree finds them reliably.
    CreateDirectoryA("C:\\tk-reg-a", nullptr);
    CreateDirectoryA("C:\\tk-reg-new", nullptr);
    Explorer shown;
    ASSERT_TRUE(StartExplorer(&shown, "C:\\tk-reg-new"));
    const std::string file = "[Setting]\r\nMaxLogData=20\r\n[Path_Touroku]\r\n"
                             "Touroku_00=C:\\tk-reg-a\r\nTouroku_01=C:\\tk-reg-b\r\n"
                             "Touroku_02=C:\\tk-reg-c\r\n";
    Launch(file);
    HWND dlg = OpenSettings(false);
    ASSERT_NE(dlg, nullptr) << "no settings dialog";
    EXPECT_TRUE(Step(dlg, kMaxLogDataArrows, true, "21"));

    HWND touroku = OpenFrom(dlg, kTouroku, "フォルダ登録");
    ASSERT_NE(touroku, nullptr);
    HWND list = GetDlgItem(touroku, kList);
    EXPECT_TRUE(ListBecomes(list, {"C:\\tk-reg-a", "C:\\tk-reg-b", "C:\\tk-reg-c"}, -1));

    // Add with item 1 selected: the new folder becomes item 1, selected.
    ASSERT_TRUE(ClickItem(list, 1));
    AddThroughPicker(touroku, "C:\\tk-reg-new");
    const List added = {"C:\\tk-reg-a", "C:\\tk-reg-new", "C:\\tk-reg-b", "C:\\tk-reg-c"};
    EXPECT_TRUE(ListBecomes(list, added, 1));

    // The same bytes again: refused with the message box, the selection kept. A launcher
    // request while the picker is up opens no menu over it (the picker took the click).
    AddThroughPicker(touroku, "C:\\tk-reg-a", true);
    HWND box = nullptr;
    ASSERT_TRUE(WaitFor([&] {
        return (box = FindDialog(tk_.info.dwProcessId, "既に登録されています")) != nullptr;
    })) << "no refusal";
    EXPECT_EQ(WindowText(box), "登録済");
    EXPECT_TRUE(VisibleMenus().empty());
    ASSERT_TRUE(BringToFront(box));
    tk::Press(VK_RETURN);
    ASSERT_TRUE(WaitFor([&] { return !IsWindow(box); }));
    EXPECT_TRUE(ListBecomes(list, added, 1));

    // Up to the top, where it stays; a click on empty space clears the selection, and
    // Delete without a selection does nothing.
    const List moved = {"C:\\tk-reg-new", "C:\\tk-reg-a", "C:\\tk-reg-b", "C:\\tk-reg-c"};
    EXPECT_TRUE(Edit(touroku, kMoveUp, moved, 0));
    EXPECT_TRUE(Edit(touroku, kMoveUp, moved, 0)) << "the top item moved";
    RECT space;
    GetWindowRect(list, &space);
    EXPECT_TRUE(ClickFor([&] { Click(space.left + 20, space.bottom - 20); },
                         Shows(list, moved, -1)));
    EXPECT_TRUE(Edit(touroku, kDelete, moved, -1)) << "Delete without a selection deleted";

    // Delete item 2: the one after it takes its place, selected; Move down on the last
    // item keeps it there.
    ASSERT_TRUE(ClickItem(list, 2));
    EXPECT_TRUE(ListBecomes(list, moved, 2));
    const List kept = {"C:\\tk-reg-new", "C:\\tk-reg-a", "C:\\tk-reg-c"};
    EXPECT_TRUE(Edit(touroku, kDelete, kept, 2));
    EXPECT_TRUE(Edit(touroku, kMoveDown, kept, 2)) << "the last item moved";
    ASSERT_TRUE(Closes(touroku, kTourokuOk));
    EXPECT_EQ(ReadFileBytes(ini_), file) << "the registered folders reach the file only later";

    // The folder menu shows the new list at once: its first registered folder is the new
    // one, whose window comes forward.
    SetCursorPos(400, 300);
    ASSERT_EQ(RunTrailmenu(), 1);
    ASSERT_NE(WaitForMenus(1), nullptr);
    ASSERT_NE(OpenSubMenuWithKeys(1), nullptr);  // 登録フォルダ
    tk::Press(VK_RETURN);
    EXPECT_TRUE(WaitFor([&] { return GetForegroundWindow() == shown.window; }));

    // Changes cancelled in the registered-folders dialog are gone; the settings dialog's
    // Cancel saves nothing and keeps the old values.
    ASSERT_TRUE(BringToFront(dlg));
    touroku = OpenFrom(dlg, kTouroku, "フォルダ登録");
    ASSERT_NE(touroku, nullptr);
    list = GetDlgItem(touroku, kList);
    EXPECT_TRUE(ListBecomes(list, kept, -1));
    ASSERT_TRUE(ClickItem(list, 0));
    EXPECT_TRUE(Edit(touroku, kDelete, {"C:\\tk-reg-a", "C:\\tk-reg-c"}, 0));
    ASSERT_TRUE(Closes(touroku, kTourokuCancel));
    ASSERT_TRUE(Closes(dlg, kCancel));

    // Reopened (so the command has ended): old settings, the committed list.
    dlg = OpenSettings(false);
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(ReadFileBytes(ini_), file) << "Cancel wrote the file";
    EXPECT_EQ(Field(dlg, kMaxLogData), "20");
    touroku = OpenFrom(dlg, kTouroku, "フォルダ登録");
    ASSERT_NE(touroku, nullptr);
    EXPECT_TRUE(ListBecomes(GetDlgItem(touroku, kList), kept, -1));
    ASSERT_TRUE(Closes(touroku, kTourokuCancel));
    ASSERT_TRUE(Closes(dlg, kOk));
    WaitCommandEnded();
    EXPECT_EQ(RegisteredInFile(),
              "Touroku_00 Touroku_01 Touroku_02 = C:\\tk-reg-new C:\\tk-reg-a C:\\tk-reg-c");
    EXPECT_EQ(Setting("MaxLogData"), "20");
}

// A folder outside the ANSI code page, picked for the registered folders: listed as it is,
// saved, and read back after a restart (the next save writes it again unchanged).
TEST_F(Dialogs, UnicodeRegisteredFolderIsSavedAndReadBack)
{
    const std::wstring folder = L"C:\\tk-reg-R\u00e9sum\u00e9 \u0101 \U00020BB7";
    CreateDirectoryW(folder.c_str(), nullptr);
    Launch("[Setting]\r\nMaxLogData=20\r\n");
    for (const char* max : {"21", "22"}) {
        HWND dlg = OpenSettings(false);
        ASSERT_NE(dlg, nullptr) << "no settings dialog";
        EXPECT_TRUE(Step(dlg, kMaxLogDataArrows, true, max));
        HWND touroku = OpenFrom(dlg, kTouroku, "フォルダ登録");
        ASSERT_NE(touroku, nullptr);
        HWND list = GetDlgItem(touroku, kList);
        if (max == std::string("21"))
            AddThroughPicker(touroku, folder);
        EXPECT_TRUE(WaitFor([&] {
            return SendMessageA(list, LVM_GETITEMCOUNT, 0, 0) == 1 && ListItemTextW(list, 0) == folder;
        })) << Described(list);
        ASSERT_TRUE(Closes(touroku, kTourokuOk));
        ASSERT_TRUE(Closes(dlg, kOk));
        WaitCommandEnded();
        EXPECT_EQ(Setting("MaxLogData"), max);
        wchar_t saved[MAX_PATH] = L"";
        GetPrivateProfileStringW(L"Path_Touroku", L"Touroku_00", L"", saved, MAX_PATH,
                                 Wide(ini_).c_str());
        EXPECT_TRUE(saved == folder);
        EXPECT_EQ(ReadFileBytes(ini_).substr(0, 2), "\xFF\xFE");
        if (max == std::string("21")) {
            ASSERT_EQ(CloseTrailkeep(&tk_, main_), 0);
            main_ = StartTrailkeep(&tk_, dir_);
            ASSERT_NE(main_, nullptr);
        }
    }
}

// What Trailkeep holds only in memory when the session ends: registered folders confirmed
// in their dialog with the settings dialog then cancelled, and a history cut at start-up.
const char kHeldInMemory[] = "[Setting]\r\nMaxLogData=2\r\n"
                             "[Path_Log]\r\nLog_00=C:\\one\r\nLog_01=C:\\two\r\nLog_02=C:\\three\r\n"
                             "[Path_Touroku]\r\nTouroku_00=C:\\tk-reg-a\r\n"
                             "Touroku_01=C:\\tk-reg-b\r\nTouroku_02=C:\\tk-reg-c\r\n";

class SessionEnd : public Dialogs {
protected:
    // Deletes the first registered folder in its dialog and confirms with OK; the settings
    // dialog (settings_) stays open, or is cancelled with `cancel`.
    void DeleteFirstRegistered(bool cancel)
    {
        HWND dlg = settings_ = OpenSettings(false);
        ASSERT_NE(dlg, nullptr) << "no settings dialog";
        HWND touroku = OpenFrom(dlg, kTouroku, "フォルダ登録");
        ASSERT_NE(touroku, nullptr);
        ASSERT_TRUE(ClickItem(GetDlgItem(touroku, kList), 0));
        ASSERT_TRUE(Edit(touroku, kDelete, {"C:\\tk-reg-b", "C:\\tk-reg-c"}, 0));
        ASSERT_TRUE(Closes(touroku, kTourokuOk));
        if (cancel) {
            ASSERT_TRUE(Closes(dlg, kCancel));
            WaitCommandEnded();
        }
        ASSERT_EQ(ReadFileBytes(ini_), kHeldInMemory) << "saved before the session ended";
    }
    void ExpectSaved()
    {
        EXPECT_EQ(RegisteredInFile(), "Touroku_00 Touroku_01 = C:\\tk-reg-b C:\\tk-reg-c");
        EXPECT_EQ(HistoryInFile(ini_), HistoryLines({"C:\\one", "C:\\two"}));
        EXPECT_EQ(Setting("MaxLogData"), "2");
    }
    static bool TrayIconShown()
    {
        HWND tray = FindWindowA("__winex11_standalone_tray", nullptr);
        HWND icon = tray != nullptr ? FindWindowExA(tray, nullptr, "__winex11_tray_icon", nullptr)
                                    : nullptr;
        return icon != nullptr && IsWindowVisible(icon);
    }
    HWND settings_ = nullptr;
};

// The system's messages, sent while the settings dialog is up: both are answered at once,
// and when WM_ENDSESSION returns the file holds what was in memory and the icon is gone.
TEST_F(SessionEnd, MessagesAreAnsweredAtOnceAndSaveWhatIsInMemory)
{
    Launch(kHeldInMemory);
    DeleteFirstRegistered(false);
    DWORD_PTR answer = 0;
    ASSERT_TRUE(SendMessageTimeoutA(main_, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL,
                                    kDeadlineMs, &answer));
    EXPECT_EQ(answer, static_cast<DWORD_PTR>(TRUE)) << "the session's end was refused";
    ASSERT_TRUE(SendMessageTimeoutA(main_, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_NORMAL,
                                    kDeadlineMs, &answer));
    ExpectSaved();
    EXPECT_TRUE(WaitFor([] { return !TrayIconShown(); })) << "the tray icon stays";
    EXPECT_TRUE(Closes(settings_, kCancel));
}

// Wine's own end of session (wineboot --end-session), while the folder menu is open: the
// registered folders confirmed earlier and the history reach the file before Wine ends the
// process.
TEST_F(SessionEnd, WineEndOfSessionLeavesEverythingInTheFile)
{
    Launch(kHeldInMemory);
    DeleteFirstRegistered(true);
    SetCursorPos(400, 300);
    ASSERT_EQ(RunTrailmenu(), 1);
    ASSERT_NE(WaitForMenus(1), nullptr);

    Process wineboot;
    ASSERT_TRUE(Start(&wineboot, "C:\\windows\\system32\\wineboot.exe", "--end-session --shutdown",
                      "C:\\"));
    EXPECT_EQ(wineboot.WaitExit(60000), 0);
    EXPECT_NE(tk_.WaitExit(), -1) << "Trailkeep outlived the session";
    ExpectSaved();
}

}  // namespace
