// Checks of what Trailkeep shows at a display scale.
#include "screencheck.h"

#include <commctrl.h>

#include <sstream>
#include <string>

#include "testsupport.h"

namespace tk {

int ScreenDpi()
{
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return dpi;
}

BITMAPINFO PixelFormat(int width, int height)
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

std::vector<DWORD> ReadScreenArea(POINT at, int width, int height)
{
    std::vector<DWORD> pixels(width * height);
    BITMAPINFO info = PixelFormat(width, height);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ initial = SelectObject(memory, dib);
    BitBlt(memory, 0, 0, width, height, screen, at.x, at.y, SRCCOPY | CAPTUREBLT);
    GdiFlush();
    const DWORD* read = static_cast<const DWORD*>(bits);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = read[i] & 0xFFFFFF;
    SelectObject(memory, initial);
    DeleteObject(dib);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return pixels;
}

std::vector<DWORD> IconFrame(const std::string& file, int id, int size)
{
    std::vector<DWORD> pixels;
    HMODULE module = LoadLibraryExA(file.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    HICON icon = module != nullptr ? static_cast<HICON>(LoadImageA(
                                         module, MAKEINTRESOURCEA(id), IMAGE_ICON, size, size, 0))
                                   : nullptr;
    ICONINFO info = {};
    if (icon != nullptr && GetIconInfo(icon, &info)) {
        BITMAPINFO format = PixelFormat(size, size);
        pixels.resize(size * size);
        HDC screen = GetDC(nullptr);
        if (GetDIBits(screen, info.hbmColor, 0, size, pixels.data(), &format, DIB_RGB_COLORS) !=
            size)
            pixels.clear();
        ReleaseDC(nullptr, screen);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
    }
    if (icon != nullptr)
        DestroyIcon(icon);
    if (module != nullptr)
        FreeLibrary(module);
    return pixels;
}

bool Contains(const RECT& outer, const RECT& inner)
{
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

namespace {

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

// The dialog's own font as this program can make it: the face and point size of the
// template, at the scale of the screen.
HFONT DialogFont(const char* face, int dpi)
{
    return CreateFontA(-MulDiv(10, dpi, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                       SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                       DEFAULT_QUALITY, DEFAULT_PITCH, face);
}

}  // namespace

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

}  // namespace tk
