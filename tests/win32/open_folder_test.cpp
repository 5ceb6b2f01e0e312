// Opening a folder: an Explorer window that already shows it is found by its title or by
// the text of one of its descendants, and brought forward.
#include <gtest/gtest.h>

#include "testsupport.h"

#include "core/settings.h"
#include "menus/openfolder.h"
#include "tests/support/u16.h"

using namespace tk;

namespace {

LRESULT CALLBACK PlainProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(wnd, msg, wParam, lParam);
}

// An Explorer-like window of this process: a top-level window of an Explorer class with
// an address band and an Edit inside it.
struct FolderWindow {
    HWND top = nullptr;
    HWND edit = nullptr;
    FolderWindow(const char* cls, const char* title, const char* address)
    {
        WNDCLASSA wc{};
        wc.lpfnWndProc = PlainProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = cls;
        RegisterClassA(&wc);
        top = CreateWindowExA(0, cls, title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50, 300, 200,
                              nullptr, nullptr, wc.hInstance, nullptr);
        HWND band = CreateWindowExA(0, "Static", "", WS_CHILD | WS_VISIBLE, 0, 0, 280, 30, top,
                                    nullptr, wc.hInstance, nullptr);
        edit = CreateWindowExA(0, "Edit", address, WS_CHILD | WS_VISIBLE, 0, 0, 280, 20, band,
                               nullptr, wc.hInstance, nullptr);
    }
    ~FolderWindow() { DestroyWindow(top); }
};

// Presses OK on the message box "開けません" when it comes up; remembers whether it did.
struct BoxWatcher {
    HANDLE thread = nullptr;
    volatile LONG seen = 0;
    static DWORD WINAPI Watch(LPVOID self)
    {
        BoxWatcher* watcher = static_cast<BoxWatcher*>(self);
        WaitFor([&] {
            HWND box = FindDialog(GetCurrentProcessId(), "開けません");
            if (box == nullptr)
                return false;
            watcher->seen = 1;
            PostMessageA(box, WM_COMMAND, IDOK, 0);
            return true;
        });
        return 0;
    }
    BoxWatcher() { thread = CreateThread(nullptr, 0, Watch, this, 0, nullptr); }
    ~BoxWatcher()
    {
        WaitForSingleObject(thread, 30000);
        CloseHandle(thread);
    }
};

class OpenFolderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        OpenExistFolder = 0;
        OpenMode = 0;
    }
};

TEST_F(OpenFolderTest, WindowTitledWithThePathIsBroughtForward)
{
    FolderWindow other("CabinetWClass", "C:\\Other", "C:\\Other");
    FolderWindow cabinet("CabinetWClass", "C:\\Users\\Public", "");
    FolderWindow explore("ExploreWClass", "C:\\Program Files", "");
    ASSERT_TRUE(BringToFront(other.top));
    EXPECT_EQ(OpenFolder(u"C:\\Users\\Public"), cabinet.top);
    EXPECT_TRUE(WaitFor([&] { return GetForegroundWindow() == cabinet.top; }));
    EXPECT_EQ(OpenFolder(u"C:\\Program Files"), explore.top);
    EXPECT_TRUE(WaitFor([&] { return GetForegroundWindow() == explore.top; }));
}

// A window titled with the folder's name only is found through its address field: the
// field is returned (its text is what a delayed capture reads again), and its top-level
// window comes forward.
TEST_F(OpenFolderTest, AddressFieldShowingThePathIsFoundThroughItsWindow)
{
    FolderWindow named("CabinetWClass", "Public", "C:\\Users\\Public");
    FolderWindow other("ExploreWClass", "Other", "C:\\Other");
    ASSERT_TRUE(BringToFront(other.top));
    EXPECT_EQ(OpenFolder(u"C:\\Users\\Public"), named.edit);
    EXPECT_TRUE(WaitFor([&] { return GetForegroundWindow() == named.top; }));
}

// Folders with names outside the ANSI code page, and with "&", are found as they are: by a
// Unicode window's title, and by an address field's text.
TEST_F(OpenFolderTest, UnicodeAndAmpersandPathsAreFoundAsTheyAre)
{
    const wchar_t cafe[] = L"C:\\tk\\Caf\u00e9 \u0101 \U00020BB7 \U0001F4C1";
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"ExploreWClass";
    RegisterClassW(&wc);
    HWND titled = CreateWindowExW(0, L"ExploreWClass", cafe, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50,
                                  50, 300, 200, nullptr, nullptr, wc.hInstance, nullptr);
    FolderWindow named("CabinetWClass", "R&D", "");
    HWND edit = CreateWindowExW(0, L"Edit", L"C:\\tk\\R&D \u0101", WS_CHILD | WS_VISIBLE, 0,
                                40, 280, 20, named.top, nullptr, wc.hInstance, nullptr);
    FolderWindow other("CabinetWClass", "Other", "C:\\Other");
    ASSERT_TRUE(BringToFront(other.top));
    EXPECT_EQ(OpenFolder(reinterpret_cast<const char16_t*>(cafe)), titled);
    EXPECT_TRUE(WaitFor([&] { return GetForegroundWindow() == titled; }));
    EXPECT_EQ(OpenFolder(u"C:\\tk\\R&D \u0101"), edit);
    EXPECT_TRUE(WaitFor([&] { return GetForegroundWindow() == named.top; }));
    DestroyWindow(titled);
}

// Only an exact match counts; a path that cannot be reached then tells the user so.
TEST_F(OpenFolderTest, NearMatchesAreNotTheFolder)
{
    FolderWindow upper("CabinetWClass", "Near", "C:\\NO\\SUCH\\FOLDER");
    FolderWindow slash("CabinetWClass", "Slash", "C:\\no\\such\\folder\\");
    FolderWindow notExplorer("Notepad", "C:\\no\\such\\folder", "C:\\no\\such\\folder");
    BoxWatcher watcher;
    EXPECT_EQ(OpenFolder(u"C:\\no\\such\\folder"), nullptr);
    EXPECT_EQ(watcher.seen, 1) << "no box 開けません for an unreachable folder";
}

// With OpenExistFolder set no window is looked for: an open window showing the folder
// does not keep the unreachable path from being reported.
TEST_F(OpenFolderTest, AlwaysNewWindowSkipsTheSearch)
{
    OpenExistFolder = 1;
    FolderWindow cabinet("CabinetWClass", "C:\\gone\\away", "C:\\gone\\away");
    BoxWatcher watcher;
    EXPECT_EQ(OpenFolder(u"C:\\gone\\away"), nullptr);
    EXPECT_EQ(watcher.seen, 1);
}

}  // namespace
