// Trailkeep at the display scale of the screen: the dialogs and menus laid out without a
// control cut off or over another, and the tray icon handed to the shell at the small-icon
// size of the scale. These run at 100 % with the other tests, and again in a prefix of
// 150 % (TK_EXPECT_DPI says which scale the run must have).
#include <gtest/gtest.h>

#include "testsupport.h"

#include "core/protocol.h"

#include <commctrl.h>

#include <cstdlib>
#include <sstream>
#include <vector>

using namespace tk;

namespace {

int ScreenDpi()
{
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return dpi;
}

struct Control {
    HWND wnd;
    int id;
    std::string cls, text;
    LONG style;
    RECT rect;  // on the screen
};

std::vector<Control> ControlsOf(HWND dialog)
{
    std::vector<Control> controls;
    for (HWND c = GetWindow(dialog, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
        if (!IsWindowVisible(c))
            continue;
        Control control;
        control.wnd = c;
        control.id = GetDlgCtrlID(c);
        char cls[32] = "";
        GetClassNameA(c, cls, sizeof cls);
        control.cls = cls;
        control.text = WindowText(c);
        control.style = GetWindowLongA(c, GWL_STYLE);
        GetWindowRect(c, &control.rect);
        controls.push_back(control);
    }
    return controls;
}

bool IsGroupBox(const Control& c)
{
    return lstrcmpiA(c.cls.c_str(), "Button") == 0 && (c.style & BS_TYPEMASK) == BS_GROUPBOX;
}

bool IsCheckOrRadio(const Control& c)
{
    const LONG type = c.style & BS_TYPEMASK;
    return lstrcmpiA(c.cls.c_str(), "Button") == 0 &&
           (type == BS_AUTOCHECKBOX || type == BS_CHECKBOX || type == BS_AUTORADIOBUTTON ||
            type == BS_RADIOBUTTON);
}

bool IsTextStatic(const Control& c)
{
    const LONG type = c.style & SS_TYPEMASK;
    return lstrcmpiA(c.cls.c_str(), "Static") == 0 &&
           (type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT);
}

std::string Name(const Control& c)
{
    std::ostringstream out;
    out << c.id << " \"" << Utf8(c.text) << "\" (" << c.rect.left << "," << c.rect.top << ")-("
        << c.rect.right << "," << c.rect.bottom << ")";
    return out.str();
}

bool Contains(const RECT& outer, const RECT& inner)
{
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

// The dialog's own font as this program can make it: the face and point size of the
// template, at the scale of the screen.
HFONT DialogFont(const char* face, int dpi)
{
    return CreateFontA(-MulDiv(10, dpi, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                       SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                       DEFAULT_QUALITY, DEFAULT_PITCH, face);
}

// Every control lies inside the dialog's client area; no two overlap, but for the
// controls a group box frames, which lie wholly inside it, and an up-down control over its
// buddy's border; each text fits its control on the lines the control has room for (a
// check box or radio button beside its box).
::testing::AssertionResult LaidOut(HWND dialog, const char* face)
{
    if (dialog == nullptr)
        return ::testing::AssertionFailure() << "the dialog did not open";
    RECT client;
    GetClientRect(dialog, &client);
    MapWindowPoints(dialog, nullptr, reinterpret_cast<POINT*>(&client), 2);
    const std::vector<Control> controls = ControlsOf(dialog);
    std::ostringstream faults;
    HDC dc = GetDC(nullptr);
    HFONT font = DialogFont(face, ScreenDpi());
    HGDIOBJ initial = SelectObject(dc, font);
    for (size_t i = 0; i < controls.size(); ++i) {
        const Control& a = controls[i];
        if (!Contains(client, a.rect))
            faults << "outside the dialog: " << Name(a) << "\n";
        for (size_t j = i + 1; j < controls.size(); ++j) {
            const Control& b = controls[j];
            RECT common;
            if (!IntersectRect(&common, &a.rect, &b.rect))
                continue;
            // The dialog manager converts a control's position and its size from dialog
            // units each on its own: controls that abut in the template may share a row or
            // column of pixels.
            const int across = common.right - common.left, down = common.bottom - common.top;
            if (across <= 1 || down <= 1)
                continue;
            // An up-down control sits over the border of its buddy, the control before it,
            // so that the two look joined; it leaves the buddy's text alone.
            auto buddyOf = [](const Control& updown) {
                return updown.cls == "msctls_updown32"
                           ? reinterpret_cast<HWND>(SendMessageA(updown.wnd, UDM_GETBUDDY, 0, 0))
                           : nullptr;
            };
            const bool joined = (buddyOf(a) == b.wnd || buddyOf(b) == a.wnd) &&
                                across <= 2 * GetSystemMetrics(SM_CXEDGE);
            const bool framed = (IsGroupBox(a) && Contains(a.rect, b.rect)) ||
                                (IsGroupBox(b) && Contains(b.rect, a.rect));
            if (!framed && !joined)
                faults << "overlap: " << Name(a) << " and " << Name(b) << "\n";
        }
        if (!IsTextStatic(a) && !IsCheckOrRadio(a))
            continue;
        SIZE extent = {};
        GetTextExtentPoint32A(dc, a.text.c_str(), static_cast<int>(a.text.size()), &extent);
        int room = a.rect.right - a.rect.left;
        if (IsCheckOrRadio(a))
            room -= GetSystemMetrics(SM_CXMENUCHECK) + GetSystemMetrics(SM_CXEDGE);
        const int lines = extent.cy > 0 ? (a.rect.bottom - a.rect.top) / extent.cy : 0;
        const bool wraps = IsTextStatic(a) || (a.style & BS_MULTILINE) != 0;
        if (extent.cx > room * (wraps ? lines : 1) || lines < 1)
            faults << "text cut off: " << Name(a) << " needs " << extent.cx << " x " << extent.cy
                   << "\n";
    }
    SelectObject(dc, initial);
    DeleteObject(font);
    ReleaseDC(nullptr, dc);
    if (controls.empty())
        faults << "no controls\n";
    if (!faults.str().empty())
        return ::testing::AssertionFailure() << "at " << ScreenDpi() << " dpi:\n" << faults.str();
    return ::testing::AssertionSuccess();
}

class Scale : public TrailkeepTest {
protected:
    void SetUp() override
    {
        TrailkeepTest::SetUp();
        // A run at another scale says which: a prefix that did not take it fails here.
        const char* expected = getenv("TK_EXPECT_DPI");
        if (expected != nullptr && *expected != '\0') {
            ASSERT_EQ(ScreenDpi(), atoi(expected)) << "the prefix is not at the scale asked for";
        }
    }
    // A visible dialog of Trailkeep with this caption, once there.
    HWND WaitDialog(const char* caption)
    {
        HWND found = nullptr;
        WaitFor([&] {
            for (HWND w = GetTopWindow(nullptr); w != nullptr; w = GetWindow(w, GW_HWNDNEXT)) {
                char cls[16] = "";
                DWORD pid = 0;
                GetWindowThreadProcessId(w, &pid);
                if (pid == tk_.info.dwProcessId && IsWindowVisible(w) &&
                    GetClassNameA(w, cls, sizeof cls) && lstrcmpA(cls, "#32770") == 0 &&
                    WindowText(w) == caption) {
                    found = w;
                    return true;
                }
            }
            return false;
        });
        return found;
    }
    // Sends a dialog a button's command, as a click on the button would, and waits for the
    // dialog it opens or for the dialog to close.
    static void Command(HWND dialog, int id) { PostMessageA(dialog, WM_COMMAND, id, 0); }
};

const char kSettingsCaption[] = "設定 - Trailkeeper";
const char kTourokuCaption[] = "フォルダ登録";
const char kPGothic[] = "ＭＳ Ｐゴシック";

// The settings dialog, the about box and the registered-folders dialog, each as Trailkeep
// shows it at the screen's scale.
TEST_F(Scale, EveryDialogHoldsItsControlsWithoutOverlapOrCutText)
{
    Launch("[Path_Touroku]\r\nTouroku_00=C:\\Windows\r\n");
    PostMessageA(main_, WM_COMMAND, CMD_SETTINGS, 0);
    HWND settings = WaitDialog(kSettingsCaption);
    EXPECT_TRUE(LaidOut(settings, kPGothic)) << "settings";
    ASSERT_NE(settings, nullptr);

    Command(settings, 101);  // About...
    HWND about = WaitDialog("About...");
    EXPECT_TRUE(LaidOut(about, "MS UI Gothic")) << "about box";
    if (about != nullptr) {
        Command(about, 300);
        EXPECT_TRUE(WaitFor([&] { return !IsWindow(about); }));
    }

    Command(settings, 121);  // フォルダ登録 >>
    HWND touroku = WaitDialog(kTourokuCaption);
    EXPECT_TRUE(LaidOut(touroku, kPGothic)) << "registered folders";
    if (touroku != nullptr) {
        Command(touroku, 201);  // Cancel
        EXPECT_TRUE(WaitFor([&] { return !IsWindow(touroku); }));
    }
    Command(settings, 102);  // Cancel
    EXPECT_TRUE(WaitFor([&] { return !IsWindow(settings); }));
}

// The items of the folder menu and of its history sub-menu lie inside their menus, one
// below the other.
TEST_F(Scale, MenuItemsLieInsideTheirMenus)
{
    Launch("[Path_Log]\r\nLog_00=C:\\Windows\r\nLog_01=C:\\Users\r\n");
    SetCursorPos(400, 100);
    ASSERT_EQ(RunTrailmenu(), 1);
    ASSERT_NE(WaitForMenus(1), nullptr);
    ASSERT_NE(OpenHistoryWithKeys(), nullptr);
    for (HWND window : VisibleMenus()) {
        HMENU menu = reinterpret_cast<HMENU>(SendMessageA(window, MN_GETHMENU, 0, 0));
        ASSERT_NE(menu, nullptr);
        RECT frame;
        GetWindowRect(window, &frame);
        RECT previous = {};
        for (int i = 0; i < GetMenuItemCount(menu); ++i) {
            RECT item;
            ASSERT_TRUE(GetMenuItemRect(nullptr, menu, i, &item));
            EXPECT_TRUE(Contains(frame, item)) << "item " << i << " outside its menu";
            EXPECT_GE(item.top, previous.bottom) << "item " << i << " over the one before";
            previous = item;
        }
    }
    EXPECT_TRUE(CloseMenus());
}

// The icon that Trailkeep hands to the shell has the small-icon size of the scale: the
// shell draws it as it came, pixel for pixel the frame of that size in Trailkeep's icon.
// (Wine draws every tray icon at the small-icon size; one of another size would come out
// shrunk or stretched.)
TEST_F(Scale, TrayIconIsTheFrameOfTheSmallIconSize)
{
    Launch("");
    const int size = GetSystemMetrics(SM_CXSMICON);
    EXPECT_EQ(size, MulDiv(16, ScreenDpi(), 96));
    // The frame of that size, as Trailkeep.exe carries it: its opaque pixels.
    HMODULE exe = LoadLibraryExA((BinDir() + "\\Trailkeep.exe").c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE);
    HICON icon = static_cast<HICON>(
        LoadImageA(exe, MAKEINTRESOURCEA(400), IMAGE_ICON, size, size, 0));
    ASSERT_NE(icon, nullptr);
    ICONINFO info = {};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    std::vector<DWORD> frame(size * size);
    BITMAPINFO format = {};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = size;
    format.bmiHeader.biHeight = -size;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    HDC screen = GetDC(nullptr);
    ASSERT_EQ(GetDIBits(screen, info.hbmColor, 0, size, frame.data(), &format, DIB_RGB_COLORS),
              size);
    ReleaseDC(nullptr, screen);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(icon);
    FreeLibrary(exe);

    POINT centre;
    ASSERT_TRUE(TrayIconCentre(&centre));
    HWND tray = WindowFromPoint(centre);
    RECT area;
    ASSERT_TRUE(GetWindowRect(tray, &area));
    const int width = area.right - area.left, height = area.bottom - area.top;
    ASSERT_GE(width, size);
    ASSERT_GE(height, size);
    // The frame drawn anywhere in the icon's window, its opaque pixels exactly.
    auto shown = [&] {
        std::vector<DWORD> pixels(width * height);
        HDC dc = GetDC(nullptr);
        HDC memory = CreateCompatibleDC(dc);
        BITMAPINFO whole = format;
        whole.bmiHeader.biWidth = width;
        whole.bmiHeader.biHeight = -height;
        void* bits = nullptr;
        HBITMAP dib = CreateDIBSection(dc, &whole, DIB_RGB_COLORS, &bits, nullptr, 0);
        HGDIOBJ old = SelectObject(memory, dib);
        BitBlt(memory, 0, 0, width, height, dc, area.left, area.top, SRCCOPY);
        GdiFlush();
        memcpy(pixels.data(), bits, pixels.size() * sizeof(DWORD));
        SelectObject(memory, old);
        DeleteObject(dib);
        DeleteDC(memory);
        ReleaseDC(nullptr, dc);
        for (int y0 = 0; y0 + size <= height; ++y0) {
            for (int x0 = 0; x0 + size <= width; ++x0) {
                bool same = true;
                for (int i = 0; i < size * size && same; ++i) {
                    if ((frame[i] >> 24) == 0xFF)
                        same = (pixels[(y0 + i / size) * width + x0 + i % size] & 0xFFFFFF) ==
                               (frame[i] & 0xFFFFFF);
                }
                if (same)
                    return true;
            }
        }
        return false;
    };
    EXPECT_TRUE(WaitFor(shown)) << "the tray shows no " << size << " x " << size
                                << " frame of the icon as drawn";
}

}  // namespace
