// The folder picker around the shell's folder-browse dialog, driven from a second thread
// as a user would press its buttons.
#include <gtest/gtest.h>

#include <string>

#include "testsupport.h"

#include <commctrl.h>

#include "core/paths.h"
#include "core/trailkeep.h"
#include "dialogs/dialogs.h"
#include "dialogs/folderpicker.h"
#include "menus/menus.h"
#include "tests/support/u16.h"

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

const wchar_t kTitle[] = L"フォルダを選択して下さい";

TEST(FolderPicker, CancelGivesZeroAndAnEmptyPath)
{
    PathSlot result;
    CopyPath(result, u"stale");
    DialogPresser presser(IDCANCEL);
    EXPECT_EQ(PickFolder(nullptr, result, u"", kTitle), 0);
    EXPECT_EQ(presser.pressed, 1);
    EXPECT_EQ(result[0], u'\0');
}

TEST(FolderPicker, ConfirmedFolderComesBackWithItsPath)
{
    // A folder at the root of C:. Under Wine, the dialog's walk to a folder inside the
    // user profile sometimes takes the profile's Desktop item for a parent of every path,
    // expands it and stops there, leaving the selection on the desktop.
    const std::string dir = "C:\\tk-picker-chosen";
    CreateDirectoryA(dir.c_str(), nullptr);
    PathSlot result;
    DialogPresser presser(IDOK, dir);
    EXPECT_EQ(PickFolder(nullptr, result, PA(dir), kTitle), 1);
    EXPECT_EQ(presser.pressed, 1);
    EXPECT_EQ(AnsiOf(result), dir);
}

// A folder the ANSI code page (932 in the Wine layers) cannot spell comes back as it is.
TEST(FolderPicker, ConfirmedUnicodeFolderComesBackWithItsPath)
{
    const wchar_t dir[] = L"C:\\tk-picker-R\u00e9sum\u00e9-\u0101";
    CreateDirectoryW(dir, nullptr);
    // The tree's text as the ANSI tree message gives it, to know when it is selected.
    char shown[MAX_PATH];
    WideCharToMultiByte(CP_ACP, 0, dir, -1, shown, MAX_PATH, nullptr, nullptr);
    PathSlot result;
    DialogPresser presser(IDOK, shown);
    EXPECT_EQ(PickFolder(nullptr, result, reinterpret_cast<const char16_t*>(dir), kTitle), 1);
    EXPECT_EQ(presser.pressed, 1);
    EXPECT_TRUE(std::wstring(reinterpret_cast<const wchar_t*>(result)) == dir);
}

// A folder picker of this process owned by `owner` (null when none is up).
HWND PickerOwnedBy(HWND owner)
{
    return FindTopWindow([&](HWND w) {
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        return pid == GetCurrentProcessId() && IsWindowVisible(w) &&
               GetWindow(w, GW_OWNER) == owner &&
               FindWindowExA(w, nullptr, WC_TREEVIEWA, nullptr) != nullptr;
    });
}

const UINT WM_OPEN_TOUROKU = WM_APP + 7;

LRESULT CALLBACK OwnerProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_OPEN_TOUROKU) {
        DialogBoxParamA(gInstance, "IDD_TOUROKU", wnd, TourokuDlgProc, 0);
        return 0;
    }
    return DefWindowProcA(wnd, msg, wParam, lParam);
}

// Over the open-a-folder command's picker, the registered-folders dialog's Add opens a
// second one (the settings dialog stays usable under the first). Each holds Trailkeep
// busy: the first to close leaves the other's hold in place.
struct TwoPickers {
    volatile LONG busyBoth = -1, busyOuter = -1, done = 0;
    HANDLE thread = nullptr;

    static DWORD WINAPI Run(LPVOID self)
    {
        TwoPickers* t = static_cast<TwoPickers*>(self);
        HWND outer = nullptr, touroku = nullptr, inner = nullptr;
        if (WaitFor([&] { return (outer = PickerOwnedBy(gMainWnd)) != nullptr; })) {
            PostMessageA(gMainWnd, WM_OPEN_TOUROKU, 0, 0);
            if (WaitFor([&] { return (touroku = FindWindowA("#32770", "フォルダ登録")) != nullptr; })) {
                PostMessageA(touroku, WM_COMMAND, kIdTourokuAdd, 0);
                if (WaitFor([&] { return (inner = PickerOwnedBy(touroku)) != nullptr; })) {
                    t->busyBoth = *static_cast<volatile int*>(&gBusy);
                    PostMessageA(inner, WM_COMMAND, IDCANCEL, 0);
                    WaitFor([&] { return !IsWindow(inner) && IsWindowEnabled(touroku); });
                    // The picker's window is gone before its call returns and the busy
                    // hold is let go: the dialog's thread answers this message only once
                    // it is back in the dialog's loop, with that done.
                    DWORD_PTR answer = 0;
                    SendMessageTimeoutA(touroku, WM_NULL, 0, 0, SMTO_NORMAL, kDeadlineMs, &answer);
                    t->busyOuter = *static_cast<volatile int*>(&gBusy);
                    t->done = 1;
                }
                PostMessageA(touroku, WM_COMMAND, kTourokuCancel, 0);
                WaitFor([&] { return !IsWindow(touroku); });
            }
            PostMessageA(outer, WM_COMMAND, IDCANCEL, 0);
        }
        return 0;
    }
    enum { kIdTourokuAdd = 203 };
    TwoPickers() { thread = CreateThread(nullptr, 0, Run, this, 0, nullptr); }
    ~TwoPickers()
    {
        WaitForSingleObject(thread, 120000);
        CloseHandle(thread);
    }
};

TEST(FolderPicker, TwoPickersHoldTrailkeepBusyUntilBothHaveClosed)
{
    gInstance = GetModuleHandleA(nullptr);
    INITCOMMONCONTROLSEX classes{sizeof classes, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&classes);
    WNDCLASSA wc{};
    wc.lpfnWndProc = OwnerProc;
    wc.hInstance = gInstance;
    wc.lpszClassName = "picker owner";
    RegisterClassA(&wc);
    gMainWnd = CreateWindowExA(0, wc.lpszClassName, "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                               gInstance, nullptr);
    ASSERT_NE(gMainWnd, nullptr);
    gBusy = 0;
    {
        TwoPickers driver;
        OnOpenFolderCommand();
        EXPECT_EQ(driver.done, 1) << "the second picker never came up";
        EXPECT_EQ(driver.busyBoth, kBusyPicker);
        EXPECT_EQ(driver.busyOuter, kBusyPicker) << "the first picker is up, Trailkeep not busy";
    }
    EXPECT_EQ(gBusy, 0);
    DestroyWindow(gMainWnd);
}

}  // namespace
