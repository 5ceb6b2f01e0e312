// The folder menu as Trailkeep builds it from its menu resource and the two lists, and the
// commands that come back from it.
#include <gtest/gtest.h>

#include "testsupport.h"

#include "core/capture.h"
#include "core/history.h"
#include "core/protocol.h"
#include "core/settings.h"
#include "core/trailkeep.h"
#include "menus/menus.h"
#include "tests/support/u16.h"

using namespace tk;

namespace {

struct Item {
    UINT id;
    UINT state;
    bool popup;
    std::string text;     // in the ANSI code page
    std::u16string wide;  // as the menu holds it
};

Item ItemAt(HMENU menu, int position)
{
    wchar_t text[2 * kPathSize + 8] = {};
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_ID | MIIM_STATE | MIIM_SUBMENU | MIIM_TYPE;
    info.dwTypeData = text;
    info.cch = 2 * kPathSize + 8;
    GetMenuItemInfoW(menu, position, TRUE, &info);
    const char16_t* wide = reinterpret_cast<const char16_t*>(text);
    return {info.wID, info.fState, info.hSubMenu != nullptr, AnsiOf(wide), wide};
}

void SetList(PathSlot* slots, int count, const std::vector<std::string>& paths)
{
    for (int i = 0; i < count; ++i)
        CopyPath(slots[i], PA(i < static_cast<int>(paths.size()) ? paths[i] : std::string()));
}

LRESULT CALLBACK PlainProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(wnd, msg, wParam, lParam);
}

class FolderMenu : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        gInstance = GetModuleHandleA(nullptr);
        InitializeCriticalSection(&gHistoryLock);
    }
    void SetUp() override
    {
        LogSort = 0;
        OpenExistFolder = 0;
        gDragState = 0;
        SetList(gHistory, kHistorySlots, {});
        SetList(gRegistered, kRegisteredSlots, {});
    }
    void TearDown() override
    {
        if (menu_ != nullptr)
            DestroyMenu(menu_);
    }
    HMENU Build()
    {
        menu_ = BuildFolderMenu();
        return menu_;
    }
    HMENU History() { return GetSubMenu(GetSubMenu(menu_, 0), 0); }
    HMENU Registered() { return GetSubMenu(GetSubMenu(menu_, 0), 1); }
    HMENU menu_ = nullptr;
};

TEST_F(FolderMenu, EmptyListsShowGrayedPlaceholders)
{
    gDisplayOrder[0] = 77;
    ASSERT_NE(Build(), nullptr);
    HMENU folder = GetSubMenu(menu_, 0);
    ASSERT_EQ(GetMenuItemCount(folder), 3);
    EXPECT_EQ(ItemAt(folder, 0).text, "フォルダ履歴");
    EXPECT_TRUE(ItemAt(folder, 0).popup);
    EXPECT_EQ(ItemAt(folder, 1).text, "登録フォルダ");
    const Item open = ItemAt(folder, 2);
    EXPECT_EQ(open.id, 502u);
    EXPECT_EQ(open.text, "フォルダを開く");
    EXPECT_EQ(open.state & MFS_GRAYED, 0u);

    ASSERT_EQ(GetMenuItemCount(History()), 1);
    const Item noHistory = ItemAt(History(), 0);
    EXPECT_EQ(noHistory.id, 500u);
    EXPECT_EQ(noHistory.text, "履歴なし");
    EXPECT_NE(noHistory.state & MFS_GRAYED, 0u);
    ASSERT_EQ(GetMenuItemCount(Registered()), 1);
    const Item noRegistered = ItemAt(Registered(), 0);
    EXPECT_EQ(noRegistered.id, 501u);
    EXPECT_EQ(noRegistered.text, "登録なし");
    EXPECT_NE(noRegistered.state & MFS_GRAYED, 0u);
    EXPECT_EQ(gDisplayOrder[0], 77) << "the order is not computed for an empty history";

    HMENU tray = GetSubMenu(menu_, 1);
    ASSERT_EQ(GetMenuItemCount(tray), 2);
    EXPECT_EQ(ItemAt(tray, 0).id, 503u);
    EXPECT_EQ(ItemAt(tray, 0).text, "設定(&S)");
    EXPECT_EQ(ItemAt(tray, 1).id, 504u);
    EXPECT_EQ(ItemAt(tray, 1).text, "終了(&X)");
}

TEST_F(FolderMenu, FullListsGiveEveryCommandId)
{
    std::vector<std::string> history, registered;
    for (int i = 0; i < kHistorySlots; ++i)
        history.push_back("C:\\h" + std::to_string(i));
    for (int i = 0; i < kRegisteredSlots; ++i)
        registered.push_back("C:\\r" + std::to_string(i));
    SetList(gHistory, kHistorySlots, history);
    SetList(gRegistered, kRegisteredSlots, registered);
    ASSERT_NE(Build(), nullptr);
    ASSERT_EQ(GetMenuItemCount(History()), kHistorySlots);
    for (int p = 0; p < kHistorySlots; ++p) {
        EXPECT_EQ(ItemAt(History(), p).id, static_cast<UINT>(CMD_HISTORY_BASE + p));
        EXPECT_EQ(ItemAt(History(), p).text, history[p]);
    }
    ASSERT_EQ(GetMenuItemCount(Registered()), kRegisteredSlots);
    for (int i = 0; i < kRegisteredSlots; ++i) {
        EXPECT_EQ(ItemAt(Registered(), i).id, static_cast<UINT>(CMD_REGISTERED_BASE + i));
        EXPECT_EQ(ItemAt(Registered(), i).text, registered[i]);
    }
}

// Items read back the stored bytes exactly: Shift-JIS with backslash trail bytes, blanks,
// and an ampersand (which the menu shows as a mnemonic).
// Items show the paths as they are: each "&" doubled in the text, so that the menu shows
// it rather than underlining the next letter; characters outside the ANSI code page kept.
TEST_F(FolderMenu, ItemTextsShowThePathsAsTheyAre)
{
    SetList(gHistory, kHistorySlots,
            {"C:\\表示\\ソフト", "C:\\My Documents", "C:\\A&B", "\\\\server\\共有", "C:\\&&"});
    CopyPath(gHistory[5], u"C:\\tk\\Café ā 𠮷 📁");
    SetList(gRegistered, kRegisteredSlots, {"D:\\データ", "C:\\tk\\R&D"});
    ASSERT_NE(Build(), nullptr);
    const std::vector<std::string> shown = {"C:\\表示\\ソフト", "C:\\My Documents", "C:\\A&&B",
                                            "\\\\server\\共有", "C:\\&&&&"};
    for (size_t p = 0; p < shown.size(); ++p)
        EXPECT_EQ(ItemAt(History(), static_cast<int>(p)).text, shown[p]) << Utf8(shown[p]);
    const std::u16string cafe = u"C:\\tk\\Café ā 𠮷 📁";  // no narrow form in a macro's text
    EXPECT_TRUE(ItemAt(History(), 5).wide == cafe);
    EXPECT_EQ(ItemAt(Registered(), 0).text, "D:\\データ");
    EXPECT_EQ(ItemAt(Registered(), 1).text, "C:\\tk\\R&&D");
    // The path itself goes with the entry, "&" single.
    EXPECT_TRUE(std::u16string(PathOfCommand(CMD_HISTORY_BASE + 2)) == u"C:\\A&B");
    EXPECT_TRUE(std::u16string(PathOfCommand(CMD_REGISTERED_BASE + 1)) == u"C:\\tk\\R&D");
    EXPECT_EQ(PathOfCommand(CMD_REGISTERED_BASE + 2), nullptr);
}

// Alphabetical order: a history whose every entry has an ANSI spelling keeps its byte
// order; one with a name outside the code page compares what the user reads, without
// regard to case in any script.
TEST_F(FolderMenu, AlphabeticalOrderOfUnicodeNames)
{
    LogSort = 2;
    SetList(gHistory, kHistorySlots, {"C:\\_x", "C:\\b", "C:\\A"});
    ASSERT_NE(Build(), nullptr);
    // Byte order: "_" (0x5F) after the capital letters.
    EXPECT_EQ(ItemAt(History(), 0).text, "C:\\A");
    EXPECT_EQ(ItemAt(History(), 1).text, "C:\\_x");
    EXPECT_EQ(ItemAt(History(), 2).text, "C:\\b");
    DestroyMenu(menu_);
    menu_ = nullptr;
    CopyPath(gHistory[0], u"C:\\ā");
    CopyPath(gHistory[1], u"C:\\Ā b");
    CopyPath(gHistory[2], u"C:\\a");
    ASSERT_NE(Build(), nullptr);
    EXPECT_TRUE(ItemAt(History(), 0).wide == u"C:\\a");
    const std::u16string small = u"C:\\ā", capital = u"C:\\Ā b";
    EXPECT_TRUE(ItemAt(History(), 1).wide == small);
    EXPECT_TRUE(ItemAt(History(), 2).wide == capital);
}

// The command id carries the display position: with the history sorted, the top item
// has id 1032 and opens the slot shown there.
TEST_F(FolderMenu, CommandIdsFollowTheDisplayOrder)
{
    LogSort = 2;
    SetList(gHistory, kHistorySlots, {"C:\\b", "C:\\c", "C:\\a"});
    ASSERT_NE(Build(), nullptr);
    EXPECT_EQ(ItemAt(History(), 0).text, "C:\\a");
    EXPECT_EQ(ItemAt(History(), 0).id, 1032u);
    EXPECT_EQ(ItemAt(History(), 2).text, "C:\\c");

    // An open window shows C:\a: choosing the top item brings it forward and hands the
    // visit to the capture logic with that window.
    WNDCLASSA wc{};
    wc.lpfnWndProc = PlainProc;
    wc.hInstance = gInstance;
    wc.lpszClassName = "CabinetWClass";
    RegisterClassA(&wc);
    HWND shown = CreateWindowExA(0, "CabinetWClass", "C:\\a", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                 0, 0, 200, 100, nullptr, nullptr, gInstance, nullptr);
    gMainWnd = CreateWindowExA(0, "Static", "main", 0, 0, 0, 0, 0, nullptr, nullptr, gInstance,
                               nullptr);
    OnFolderCommand(1032);
    MSG msg;
    // Posted to this thread's window before OnFolderCommand returned.
    ASSERT_TRUE(PeekMessageA(&msg, gMainWnd, WM_TK_CAPTURED, WM_TK_CAPTURED, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 0u);
    EXPECT_EQ(reinterpret_cast<HWND>(msg.lParam), shown);
    EXPECT_EQ(AnsiOf(gCapturedPath), "C:\\a");

    // While an entry is dragged, what the menu reports is no choice.
    gCapturedPath[0] = '\0';
    gDragState = 1;
    OnFolderCommand(1032);
    EXPECT_FALSE(PeekMessageA(&msg, gMainWnd, WM_TK_CAPTURED, WM_TK_CAPTURED, PM_REMOVE));
    EXPECT_EQ(AnsiOf(gCapturedPath), "");
    DestroyWindow(shown);
    DestroyWindow(gMainWnd);
}

// The command opens the entry the menu showed, even if a recording that waited for the
// menu to close has since moved the history on.
TEST_F(FolderMenu, CommandOpensTheEntryTheMenuShowed)
{
    SetList(gHistory, kHistorySlots, {"C:\\first", "C:\\second"});
    ASSERT_NE(Build(), nullptr);
    RecordPath(gHistory, 20, u"C:\\newer");
    WNDCLASSA wc{};
    wc.lpfnWndProc = PlainProc;
    wc.hInstance = gInstance;
    wc.lpszClassName = "CabinetWClass";
    RegisterClassA(&wc);
    HWND shown = CreateWindowExA(0, "CabinetWClass", "C:\\second", WS_OVERLAPPEDWINDOW, 0, 0,
                                 200, 100, nullptr, nullptr, gInstance, nullptr);
    gMainWnd = CreateWindowExA(0, "Static", "main", 0, 0, 0, 0, 0, nullptr, nullptr, gInstance,
                               nullptr);
    OnFolderCommand(1033);
    MSG msg;
    // Posted to this thread's window before OnFolderCommand returned.
    ASSERT_TRUE(PeekMessageA(&msg, gMainWnd, WM_TK_CAPTURED, WM_TK_CAPTURED, PM_REMOVE));
    EXPECT_EQ(reinterpret_cast<HWND>(msg.lParam), shown);
    EXPECT_EQ(AnsiOf(gCapturedPath), "C:\\second");
    DestroyWindow(shown);
    DestroyWindow(gMainWnd);
}

}  // namespace
