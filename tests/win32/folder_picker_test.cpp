// The folder picker around the shell's folder-browse dialog, driven from a second thread
// as a user would press its buttons.
#include <gtest/gtest.h>

#include "testsupport.h"

#include <commctrl.h>

#include "core/paths.h"
#include "dialogs/folderpicker.h"

using namespace tk;

namespace {

// Waits for the picker's dialog in this process and presses a button on it. (The
// dialog of the test bed does not select folders nested deeper than a few levels, so
// the refusal of paths longer than a slot is tested on the copy into the slot.)
struct DialogPresser {
    int button;
    std::string selected;  // when set: press only once the tree shows this folder selected
    volatile LONG pressed = 0;
    HANDLE thread = nullptr;

    static DWORD WINAPI Run(LPVOID self)
    {
        DialogPresser* p = static_cast<DialogPresser*>(self);
        HWND dialog = nullptr;
        if (WaitFor([&] { return (dialog = FindDialog(GetCurrentProcessId())) != nullptr; })) {
            // The dialog applies the initial selection after it shows; press once it has.
            if (!p->selected.empty())
                WaitFor([&] {
                    HWND tree = FindWindowExA(dialog, nullptr, WC_TREEVIEWA, nullptr);
                    return TreeSelectionText(tree) == p->selected;
                });
            PostMessageA(dialog, WM_COMMAND, p->button, 0);
            p->pressed = 1;
        }
        return 0;
    }
    explicit DialogPresser(int button, const std::string& selectedPath = "")
        : button(button),
          selected(selectedPath.substr(selectedPath.find_last_of('\\') + 1))
    {
        thread = CreateThread(nullptr, 0, Run, this, 0, nullptr);
    }
    ~DialogPresser()
    {
        WaitForSingleObject(thread, 60000);
        CloseHandle(thread);
    }
};

const char kTitle[] = "フォルダを選択して下さい";

TEST(FolderPicker, CancelGivesZeroAndAnEmptyPath)
{
    char result[kPathSize];
    lstrcpyA(result, "stale");
    DialogPresser presser(IDCANCEL);
    EXPECT_EQ(PickFolder(nullptr, result, "", kTitle), 0);
    EXPECT_EQ(presser.pressed, 1);
    EXPECT_STREQ(result, "");
}

TEST(FolderPicker, ConfirmedFolderComesBackWithItsPath)
{
    // A folder at the root of C:. Under Wine, the dialog's walk to a folder inside the
    // user profile sometimes takes the profile's Desktop item for a parent of every path,
    // expands it and stops there, leaving the selection on the desktop.
    const std::string dir = "C:\\tk-picker-chosen";
    CreateDirectoryA(dir.c_str(), nullptr);
    char result[kPathSize];
    DialogPresser presser(IDOK, dir);
    EXPECT_EQ(PickFolder(nullptr, result, dir.c_str(), kTitle), 1);
    EXPECT_EQ(presser.pressed, 1);
    EXPECT_STREQ(result, dir.c_str());
}

}  // namespace
