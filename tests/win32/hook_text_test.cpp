// The address-bar hook reads the text of a WM_SETTEXT on its way to an Explorer address
// field, inside Explorer's process: it hands paths over in either text form and never
// reads past the text it was given.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "testsupport.h"

#include "core/protocol.h"

HOOKPROC AddressBarHookUnderTest(void);  // support/hook_under_test.cpp

using namespace tk;

namespace {

LRESULT CALLBACK PlainProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(wnd, msg, wParam, lParam);
}

HWND MakeWindow(const char* cls, const char* title, DWORD style, HWND parent)
{
    WNDCLASSA wc{};
    wc.lpfnWndProc = PlainProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = cls;
    RegisterClassA(&wc);
    return CreateWindowExA(0, cls, title, style, 50, 50, 300, 100, parent, nullptr,
                           wc.hInstance, nullptr);
}

// An Explorer window with an ANSI and a Unicode address field, in front. Null when any of
// the three could not be made.
HWND MakeExplorerWithFields(HWND* ansi, HWND* wide)
{
    HWND root = MakeWindow("CabinetWClass", "Explorer", WS_OVERLAPPEDWINDOW | WS_VISIBLE, nullptr);
    *ansi = CreateWindowExA(0, "Edit", "", WS_CHILD | WS_VISIBLE, 0, 0, 200, 20, root, nullptr,
                            nullptr, nullptr);
    *wide = CreateWindowExW(0, L"Edit", L"", WS_CHILD | WS_VISIBLE, 0, 30, 200, 20, root,
                            nullptr, nullptr, nullptr);
    return root && *ansi && *wide && BringToFront(root) ? root : nullptr;
}

TEST(AddressBarHook, HandsPathsOverInBothFormsAndNeverReadsPastTheText)
{
    EndStrayTrailkeeps();
    // Trailkeep's main window and an Explorer window with an ANSI and a Unicode field.
    HWND main = MakeWindow(TK_MAIN_CLASS, TK_MAIN_TITLE, WS_POPUP, nullptr);
    HWND ansi = nullptr, wide = nullptr;
    HWND root = MakeExplorerWithFields(&ansi, &wide);
    ASSERT_TRUE(main && root);
    ASSERT_TRUE(IsWindowUnicode(wide));
    ASSERT_FALSE(IsWindowUnicode(ansi));

    // Each text ends where a readable page ends; the page after it cannot be read.
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    const DWORD page = system.dwPageSize;
    char* pages = static_cast<char*>(
        VirtualAlloc(nullptr, 2 * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    ASSERT_NE(pages, nullptr);
    DWORD old = 0;
    ASSERT_TRUE(VirtualProtect(pages + page, page, PAGE_NOACCESS, &old));

    struct Case {
        const char* name;
        HWND field;
        const void* text;
        size_t size;         // bytes with the terminator
        const char* handed;  // the title the hand-over leaves, or null for none
    };
    const Case cases[] = {
        {"one ANSI character, ANSI field", ansi, "x", 2, nullptr},
        {"one ANSI character, Unicode field", wide, "x", 2, nullptr},
        {"one wide character, Unicode field", wide, L"x", 4, nullptr},
        {"empty text", wide, "", 1, nullptr},
        {"ANSI path, ANSI field", ansi, "C:\\dir", 7, "C:\\dir"},
        {"ANSI path, Unicode field", wide, "D:\\x", 5, "D:\\x"},
        {"UTF-16 path, Unicode field", wide, L"C:\\dir", 14, "C:\\dir"},
        {"UTF-16 UNC path", wide, L"\\\\srv\\share", 24, "\\\\srv\\share"},
        {"UTF-16 text that is no path", wide, L"xy:z", 10, nullptr},
        // An older Trailkeep's main window is an ANSI window. No ANSI code page of Windows
        // holds "ā"; a best fit would hand "C:\\a\\ab" over to it.
        {"UTF-16 path the code page cannot hold", wide, L"C:\\a\\\u0101b", 16, nullptr},
    };
    for (const Case& c : cases) {
        SetWindowTextA(main, TK_MAIN_TITLE);
        char* text = pages + page - c.size;
        std::memcpy(text, c.text, c.size);
        CWPSTRUCT call = {reinterpret_cast<LPARAM>(text), 0, WM_SETTEXT, c.field};
        AddressBarHookUnderTest()(HC_ACTION, 0, reinterpret_cast<LPARAM>(&call));

        EXPECT_EQ(WindowText(main), c.handed ? c.handed : TK_MAIN_TITLE) << c.name;
        MSG msg;
        const bool posted = PeekMessageA(&msg, main, WM_TK_CAPTURED, WM_TK_CAPTURED, PM_REMOVE);
        EXPECT_EQ(posted, c.handed != nullptr) << c.name;
        if (posted) {
            EXPECT_EQ(msg.wParam, static_cast<WPARAM>(TK_HANDOFF_TAG)) << c.name;
            EXPECT_EQ(msg.lParam, reinterpret_cast<LPARAM>(c.field)) << c.name;
        }
    }
    VirtualFree(pages, 0, MEM_RELEASE);
    DestroyWindow(root);
    DestroyWindow(main);
}

// This version's main window is a Unicode window: every path reaches it as it is, a
// Unicode field's text unchanged and an ANSI field's converted with the code page (932
// here: the Wine layers run under ja_JP.UTF-8). Texts over 255 units are not cut.
TEST(AddressBarHook, HandsUnicodePathsWholeToAUnicodeMainWindow)
{
    EndStrayTrailkeeps();
    UnregisterClassA(TK_MAIN_CLASS, GetModuleHandleA(nullptr));
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"" TK_MAIN_CLASS;
    RegisterClassW(&wc);
    HWND main = CreateWindowExW(0, L"" TK_MAIN_CLASS, L"" TK_MAIN_TITLE, WS_POPUP, 0, 0, 10, 10,
                                nullptr, nullptr, wc.hInstance, nullptr);
    HWND ansi = nullptr, wide = nullptr;
    HWND root = MakeExplorerWithFields(&ansi, &wide);
    ASSERT_TRUE(main && root);
    ASSERT_TRUE(IsWindowUnicode(main));

    const std::wstring longest = L"C:\\" + std::wstring(252, L'x');
    const std::wstring tooLong = longest + L"y";
    struct Case {
        const char* name;
        HWND field;
        const void* text;
        const wchar_t* handed;  // the title the hand-over leaves, or null for none
    };
    const Case cases[] = {
        {"UTF-16 path outside the code page", wide, L"C:\\tk\\Caf\u00e9 \u0101 \U00020BB7 \U0001F4C1",
         L"C:\\tk\\Caf\u00e9 \u0101 \U00020BB7 \U0001F4C1"},
        {"Shift-JIS path, ANSI field", ansi, "C:\\表示\\ソフト", L"C:\\表示\\ソフト"},
        {"a lead byte without its trail byte", ansi, "C:\\\x95", nullptr},
        {"255 units", wide, longest.c_str(), longest.c_str()},
        {"256 units", wide, tooLong.c_str(), nullptr},
    };
    for (const Case& c : cases) {
        SetWindowTextW(main, L"" TK_MAIN_TITLE);
        CWPSTRUCT call = {reinterpret_cast<LPARAM>(c.text), 0, WM_SETTEXT, c.field};
        AddressBarHookUnderTest()(HC_ACTION, 0, reinterpret_cast<LPARAM>(&call));

        wchar_t title[300] = {};
        GetWindowTextW(main, title, 300);
        EXPECT_TRUE(std::wstring(title) == (c.handed ? c.handed : L"" TK_MAIN_TITLE)) << c.name;
        MSG msg;
        const bool posted = PeekMessageW(&msg, main, WM_TK_CAPTURED, WM_TK_CAPTURED, PM_REMOVE);
        EXPECT_EQ(posted, c.handed != nullptr) << c.name;
    }
    DestroyWindow(root);
    DestroyWindow(main);
}

}  // namespace
