// The launcher's folder menu over another program's Open or Save As dialog: the chosen
// folder is shown in the dialog, which keeps the typed file name. Wine's real dialogs,
// shown by the file_dialog fixture.
#include "testsupport.h"
#include "tests/support/u16.h"

#include <set>
#include <vector>

using namespace tk;

namespace {

const char kTyped[] = "typed name.txt";

// Lists `folder` and returns the folders in it.
std::vector<std::wstring> ListFolder(const std::wstring& folder)
{
    std::vector<std::wstring> folders;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return folders;
    do {
        const std::wstring name = found.cFileName;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name != L"." && name != L"..")
            folders.push_back(folder + L"\\" + name);
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return folders;
}

// Lists `folder`, each folder above it and each folder in it.
//
// Wine's Browse-for-folder dialog finds the folder it is told to select by comparing ID
// lists byte for byte, and Wine's ID list of a folder holds its last access time (to 2 s).
// The dialog lists folders as it fills its tree. On a Linux disk mounted "relatime" (the
// default), the first listing after a change moves that time: the tree keeps the old time,
// a later selection parses the new one, and the folder is not found. Listed once before
// the dialog is up, no folder on the way has a time left to move.
void StampAccessTimes(const std::wstring& folder)
{
    for (size_t at = folder.find(L'\\', 3); at != std::wstring::npos;
         at = folder.find(L'\\', at + 1))
        ListFolder(folder.substr(0, at));
    for (const std::wstring& inside : ListFolder(folder))
        ListFolder(inside);
}

class FileDialogs : public TrailkeepTest {
protected:
    // Shows a dialog of `kind` (open, save, item, pickfolder, browse) at the start folder,
    // the name typed, in front of the user. The item dialog that opens files has a file
    // type, as programs give it.
    void OpenDialog(const char* kind)
    {
        report_ = start_ + "\\report.txt";
        for (const std::string& folder : {start_, target_})
            StampAccessTimes(Wide(folder));
        const char* types = std::string(kind) == "item" ? " --types" : "";
        ASSERT_TRUE(Start(&dialog_, "file_dialog.exe",
                          std::string("--kind ") + kind + types + " --folder \"" + start_ +
                              "\" --name \"" + kTyped + "\" --report \"" + report_ + "\"",
                          ""));
        ASSERT_TRUE(WaitFor([&] { return (window_ = FindDialog(dialog_.info.dwProcessId)); }));
        ASSERT_TRUE(BringToFront(window_));
        ASSERT_TRUE(Shows(start_));
        explorers_ = ExplorerProcesses();
    }
    // Waits until the dialog shows `folder` with the typed name in its name field.
    // `folder` in UTF-8, as the fixture reports (an ANSI path of the tests' own is ASCII).
    ::testing::AssertionResult Shows(const std::string& folder)
    {
        const std::string expected = folder + "\r\n" + kTyped + "\r\n";
        std::string shown;
        const bool held = WaitFor([&] { return (shown = AskFileDialog(report_)) == expected; });
        if (held)
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "the dialog shows:\n" << shown;
    }
    // Calls the folder menu up with the launcher and opens sub-menu `sub` (0 history,
    // 1 registered folders) with the keyboard, its first entry selected.
    static void OpenSubMenu(int sub)
    {
        ASSERT_EQ(RunTrailmenu(), 1);
        ASSERT_NE(WaitForMenus(1), nullptr);
        ASSERT_NE(OpenSubMenuWithKeys(sub), nullptr);
    }
    // Once a later launcher menu is up, Trailkeep has carried out the choice: no Explorer
    // was started for it, and no box is up.
    void ExpectNothingElseHappened()
    {
        ASSERT_EQ(RunTrailmenu(), 1);
        EXPECT_NE(WaitForMenus(1), nullptr);
        EXPECT_TRUE(CloseMenus());
        EXPECT_EQ(ExplorerProcesses(), explorers_) << "Explorer was started";
        EXPECT_EQ(FindDialog(tk_.info.dwProcessId), nullptr) << "Trailkeep shows a box";
    }

    // Trailkeep started on `history` (by default C:\Windows, then the target), a dialog of
    // `kind` in front, and the launcher's history sub-menu open on the second entry: Enter
    // chooses it.
    void OnSecondEntryOver(const char* kind, std::string history = "")
    {
        Launch(history.empty() ? "[Path_Log]\r\nLog_00=C:\\Windows\r\nLog_01=" + target_ + "\r\n"
                               : history);
        OpenDialog(kind);
        OpenSubMenu(0);
        Press(VK_DOWN);
    }
    // Explorer opened the folder instead, and the dialog still shows where it started.
    void ExpectExplorerOpenedItInstead()
    {
        EXPECT_TRUE(WaitFor([&] { return ExplorerProcesses() != explorers_; }, 60000))
            << "Explorer did not open the folder";
        EXPECT_TRUE(Shows(start_));
        EndExplorersSince(explorers_);
    }
    // Ends one round of a test that goes through several kinds of dialog.
    void EndRound()
    {
        EXPECT_EQ(CloseTrailkeep(&tk_, main_), 0);
        dialog_.Kill();
    }

    Process dialog_;
    HWND window_ = nullptr;
    const std::string start_ = MakeScratchDir("dialog-start");
    const std::string target_ = MakeScratchDir("dialog-target");
    std::string report_;
    std::set<DWORD> explorers_;
};

// A history entry chosen over the Open dialog, and a folder picked through "フォルダを開く"
// over the item dialog: the dialog comes back in front showing the folder, the typed name
// kept.
TEST_F(FileDialogs, HistoryEntryOrPickedFolderChosenOverAnOpenDialogIsShownThere)
{
    for (const char* kind : {"open", "item"}) {
        SCOPED_TRACE(kind);
        OnSecondEntryOver(kind);
        // The second history entry; or back to the folder menu and down to "フォルダを開く".
        const bool pick = kind == std::string("item");
        if (pick) {
            for (WORD key : {VK_LEFT, VK_DOWN, VK_DOWN})
                Press(key);
        }
        Press(VK_RETURN);
        HWND picker = nullptr;
        if (pick) {
            ASSERT_TRUE(WaitFor([&] { return (picker = FindDialog(tk_.info.dwProcessId)); }));
            ASSERT_TRUE(SelectInPicker(picker, target_));
            PostMessageA(picker, WM_COMMAND, IDOK, 0);
        }
        EXPECT_TRUE(Shows(target_));
        EXPECT_TRUE(WaitFor([&] { return GetForegroundWindow() == window_; }));
        ExpectNothingElseHappened();
        EndRound();
    }
}

// A registered folder chosen over a Save As dialog is shown there. Once the dialog has
// closed while the menu is up, the choice does nothing, and Trailkeep goes on.
TEST_F(FileDialogs, RegisteredFolderOverASaveDialogAndNothingOnceItClosed)
{
    Launch("[Path_Touroku]\r\nTouroku_00=" + target_ + "\r\n");
    OpenDialog("save");
    OpenSubMenu(1);
    Press(VK_RETURN);
    EXPECT_TRUE(Shows(target_));
    ExpectNothingElseHappened();

    ASSERT_TRUE(BringToFront(window_));
    OpenSubMenu(1);
    PostMessageA(window_, WM_COMMAND, IDCANCEL, 0);
    ASSERT_EQ(dialog_.WaitExit(), 0);
    Press(VK_RETURN);
    ASSERT_TRUE(WaitFor([] { return VisibleMenus().empty(); }));
    ExpectNothingElseHappened();
}

// A history entry chosen over a dialog that picks folders chooses nothing for its
// program: the Browse-for-folder dialog selects the folder, the item dialog picking
// folders stays as it was while Explorer opens the folder. Either way the dialog is still
// up and its program still waits in it.
TEST_F(FileDialogs, FolderPickersAreShownTheFolderAndNeverChoose)
{
    for (const char* kind : {"browse", "pickfolder"}) {
        SCOPED_TRACE(kind);
        OnSecondEntryOver(kind);
        Press(VK_RETURN);
        if (kind == std::string("browse")) {
            EXPECT_TRUE(Shows(target_));
            EXPECT_TRUE(WaitFor([&] { return GetForegroundWindow() == window_; }));
            ExpectNothingElseHappened();
        } else {
            ExpectExplorerOpenedItInstead();
        }
        EXPECT_TRUE(IsWindow(window_) && IsWindowVisible(window_)) << "the dialog closed";
        EXPECT_TRUE(dialog_.Running()) << "the program returned from its dialog";
        EXPECT_FALSE(FileExists(report_ + ".returned")) << ReadFileBytes(report_ + ".returned");
        EndRound();
    }
}

// The dialog's program is busy in it when the choice comes. The Browse-for-folder dialog
// selects the folder once its program is free again; the Open dialog, whose name field
// cannot wait, is left as it was, and Explorer opens the folder instead.
TEST_F(FileDialogs, ABusyDialogSelectsTheFolderOnceFreeOrLeavesItToExplorer)
{
    for (const char* kind : {"browse", "open"}) {
        SCOPED_TRACE(kind);
        OnSecondEntryOver(kind);
        PostMessageA(FindWindowA("TkFileDialogFixture", nullptr), WM_APP + 1, 4000, 0);
        Press(VK_RETURN);
        if (kind == std::string("browse"))
            EXPECT_TRUE(Shows(target_));
        else
            ExpectExplorerOpenedItInstead();
        EndRound();
    }
}

// Switched off, the choice opens the folder in Explorer as ever; the dialog stays.
TEST_F(FileDialogs, SwitchedOffTheChoiceOpensExplorer)
{
    Launch("[Setting]\r\nSwitchFileDialog=0\r\n[Path_Touroku]\r\nTouroku_00=" + target_ + "\r\n");
    OpenDialog("open");
    OpenSubMenu(1);
    Press(VK_RETURN);
    ExpectExplorerOpenedItInstead();
}

// A folder outside the ANSI code page, chosen over each kind of dialog that takes one: the
// dialog shows it as it is, the typed name kept.
TEST_F(FileDialogs, UnicodeFolderChosenOverADialogIsShownThere)
{
    const std::u16string folder = PA(target_).text + u"\\R\u00e9sum\u00e9 \u0101 \U0001F4C1";
    ASSERT_TRUE(CreateDirectoryW(reinterpret_cast<const wchar_t*>(folder.c_str()), nullptr));
    for (const char* kind : {"open", "item", "browse"}) {
        SCOPED_TRACE(kind);
        OnSecondEntryOver(kind, Utf16File(u"[Path_Log]\r\nLog_00=C:\\Windows\r\nLog_01=" +
                                          folder + u"\r\n"));
        Press(VK_RETURN);
        EXPECT_TRUE(Shows(Utf8(folder.c_str())));
        ExpectNothingElseHappened();
        EndRound();
    }
}

}  // namespace
