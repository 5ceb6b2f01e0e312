// Makes the pictures of Trailkeeper's user interface for the documentation: starts the
// real Trailkeep in a folder that holds a sample settings file and drives it as a user
// does (clicks on the tray icon, menu items and dialog buttons). For each picture it
// writes NAME.bmp, the screen area that the picture shows, and NAME.txt, the rectangles
// of the windows in it (relative to the area), so that what lies between them can be
// made transparent. scripts/screenshots.sh runs it and turns the pictures into PNG.
//
//   tk_screenshots SAMPLE_DIR OUT_DIR
//
// A picture whose user interface does not appear is reported on stderr and skipped; the
// exit code is the number of pictures not made.
#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <string>
#include <vector>

#include "testsupport.h"

using namespace tk;

namespace {

// How long a window that should come up is waited for before the picture is given up.
constexpr DWORD kAppearMs = 10000;

std::string gOut;
// Appended to each picture's name: "-150" for the pictures at a scale of 150 %.
std::string gSuffix;
int gHistoryEntries;    // in the sample settings file
std::string gDragView;  // the folder the drag picture's folder window shows
Process gTrailkeep;
HWND gMain;

int Fail(const char* picture, const char* why)
{
    fprintf(stderr, "screenshots: %s%s: %s\n", picture, gSuffix.c_str(), why);
    return 1;
}

// The pixels of the screen area `area` as a 24-bit bottom-up BMP file.
std::string ScreenBmp(const RECT& area)
{
    const int width = area.right - area.left, height = area.bottom - area.top;
    if (width <= 0 || height <= 0)
        return std::string();
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    const DWORD stride = (width * 3 + 3) & ~3u;
    std::vector<char> pixels(static_cast<size_t>(stride) * height);

    bool ok = false;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ initial = SelectObject(memory, bitmap);
    ok = BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY | CAPTUREBLT);
    SelectObject(memory, initial);
    ok = ok && GetDIBits(memory, bitmap, 0, height, pixels.data(), &info, DIB_RGB_COLORS) == height;
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    if (!ok)
        return std::string();

    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
    std::string bytes(reinterpret_cast<const char*>(&file), sizeof file);
    bytes.append(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
    bytes.append(pixels.data(), pixels.size());
    return bytes;
}

RECT Union(const std::vector<RECT>& rects)
{
    RECT area = rects.front();
    for (const RECT& r : rects)
        UnionRect(&area, &area, &r);
    return area;
}

// One picture: the smallest area that holds all `windows`, and their rectangles.
bool Shoot(const char* name, const std::vector<RECT>& windows)
{
    const RECT area = Union(windows);
    std::string rects;
    for (const RECT& r : windows) {
        char line[80];
        snprintf(line, sizeof line, "%ld %ld %ld %ld\n", r.left - area.left, r.top - area.top,
                 r.right - area.left - 1, r.bottom - area.top - 1);
        rects += line;
    }
    const std::string bmp = ScreenBmp(area);
    if (bmp.empty()) {
        Fail(name, "the screen could not be read");
        return false;
    }
    const std::string base = gOut + "\\" + name + gSuffix;
    WriteFileBytes(base + ".txt", rects);
    WriteFileBytes(base + ".bmp", bmp);
    printf("screenshots: %s%s: %ldx%ld\n", name, gSuffix.c_str(), area.right - area.left,
           area.bottom - area.top);
    return true;
}

std::vector<RECT> MenuRects()
{
    std::vector<RECT> rects;
    for (HWND menu : VisibleMenus()) {
        RECT r;
        GetWindowRect(menu, &r);
        rects.push_back(r);
    }
    return rects;
}

// Waits until windows have stopped changing on screen: two reads in a row agree.
// Menus and dialogs paint after they show; a picture taken too early is half drawn.
void WaitSettled(const std::vector<RECT>& rects)
{
    const RECT area = Union(rects);
    std::string last = ScreenBmp(area);
    WaitFor([&] {
        Sleep(150);
        std::string now = ScreenBmp(area);
        const bool same = now == last;
        last = now;
        return same;
    }, kAppearMs, 50);
}

bool ShootMenus(const char* name)
{
    std::vector<RECT> rects = MenuRects();
    WaitSettled(rects);
    return Shoot(name, MenuRects());
}

int FolderMenu()
{
    const char* name = "folder-menu";
    int failed = 0;
    if (!ClickTrayIcon(true))
        failed = Fail(name, "no menu opened on a right click on the tray icon");
    else {
        // The first item, the history sub-menu, opened as the keyboard opens it.
        if (OpenHistoryWithKeys() == nullptr)
            failed = Fail(name, "the history sub-menu did not open");
        else if (!ShootMenus(name))
            failed = 1;
    }
    CloseMenus();
    return failed;
}

int TrayMenu()
{
    const char* name = "tray-menu";
    int failed = 0;
    if (!ClickTrayIcon(false))
        failed = Fail(name, "no menu opened on a left click on the tray icon");
    else if (!ShootMenus(name))
        failed = 1;
    CloseMenus();
    return failed;
}

// A visible dialog of Trailkeep with this caption (code page 932).
HWND WaitDialog(const char* caption)
{
    HWND found = nullptr;
    WaitFor([&] {
        found = FindWindowA("#32770", caption);
        DWORD pid = 0;
        if (found != nullptr)
            GetWindowThreadProcessId(found, &pid);
        if (pid != gTrailkeep.info.dwProcessId || !IsWindowVisible(found))
            found = nullptr;
        return found != nullptr;
    }, kAppearMs);
    return found;
}

// Clicks a button of a dialog where the user would, at its centre.
void ClickButton(HWND dialog, int id)
{
    RECT r;
    GetWindowRect(GetDlgItem(dialog, id), &r);
    Click((r.left + r.right) / 2, (r.top + r.bottom) / 2);
}

bool ShootWindow(const char* name, HWND window)
{
    RECT r;
    GetWindowRect(window, &r);
    WaitSettled({r});
    return Shoot(name, {r});
}

// Opens a dialog from a button of `owner`, pictures it and closes it with `closeId`.
int DialogFromButton(const char* name, HWND owner, int buttonId, const char* caption,
                     int closeId, const char* missing)
{
    BringToFront(owner);
    ClickButton(owner, buttonId);
    HWND dialog = WaitDialog(caption);
    if (dialog == nullptr)
        return Fail(name, missing);
    const int failed = ShootWindow(name, dialog) ? 0 : 1;
    ClickButton(dialog, closeId);
    if (!WaitFor([&] { return !IsWindow(dialog); }, kAppearMs))
        return Fail(name, "the dialog did not close");
    return failed;
}

// The settings dialog from the tray menu's "設定(&S)", and from it (withSubDialogs) the
// registered-folders dialog and the about box.
int Dialogs(bool withSubDialogs)
{
    const char* settingsMissing =
        "the settings dialog did not open from the tray menu's settings item "
        "(is the settings dialog built?)";
    if (!ClickTrayIcon(false)) {
        Fail("settings", "no menu opened on a left click on the tray icon");
        return 3;
    }
    HWND menu = VisibleMenus().front();
    RECT r;
    GetWindowRect(menu, &r);
    // Two items: "設定(&S)" above "終了(&X)".
    Click((r.left + r.right) / 2, r.top + (r.bottom - r.top) / 4);
    HWND settings = WaitDialog("設定 - Trailkeeper");
    if (settings == nullptr) {
        CloseMenus();
        Fail("settings", settingsMissing);
        Fail("registered-folders", "opens from the settings dialog, which is missing");
        Fail("about", "opens from the settings dialog, which is missing");
        return 3;
    }
    int failed = ShootWindow("settings", settings) ? 0 : 1;
    if (withSubDialogs) {
        failed += DialogFromButton("registered-folders", settings, 121, "フォルダ登録", 201,
                                   "the registered-folders dialog did not open from the "
                                   "settings dialog's button (is it built?)");
        failed += DialogFromButton("about", settings, 101, "About...", 300,
                                   "the about box did not open from the settings dialog's "
                                   "About button (is it built?)");
    }
    BringToFront(settings);
    ClickButton(settings, 102);  // Cancel: the sample settings stay as they are
    if (!WaitFor([&] { return !IsWindow(settings); }, kAppearMs))
        Fail("settings", "the settings dialog did not close on Cancel");
    return failed;
}

// Moves the mouse as a user does, in small steps, with the button state unchanged.
void MoveMouse(POINT from, POINT to, int steps)
{
    const int cx = GetSystemMetrics(SM_CXSCREEN) - 1, cy = GetSystemMetrics(SM_CYSCREEN) - 1;
    for (int i = 1; i <= steps; ++i) {
        INPUT input{};
        input.type = INPUT_MOUSE;
        input.mi.dx = (from.x + (to.x - from.x) * i / steps) * 65535 / cx;
        input.mi.dy = (from.y + (to.y - from.y) * i / steps) * 65535 / cy;
        input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
        SendInput(1, &input, sizeof input);
        Sleep(20);
    }
}

void Button(bool down)
{
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
    SendInput(1, &input, sizeof input);
}

// A folder window to drag onto: Wine's own file browser stands in for Explorer here; the
// picture shows the drag, not a drop.
HWND StartFolderWindow(Process* browser)
{
    if (!Start(browser, "C:\\windows\\explorer.exe", "\"" + gDragView + "\"", "C:\\"))
        return nullptr;
    HWND window = nullptr;
    WaitFor([&] {
        window = FindTopWindow([&](HWND w) {
            DWORD pid = 0;
            GetWindowThreadProcessId(w, &pid);
            return pid == browser->info.dwProcessId && IsWindowVisible(w);
        });
        return window != nullptr;
    }, kAppearMs);
    return window;
}

// An entry of the history sub-menu dragged out of the menu onto a folder window, caught
// with the marker on its way.
int Drag()
{
    const char* name = "drag";
    Process browser;
    HWND target = StartFolderWindow(&browser);
    if (target == nullptr)
        return Fail(name, "no folder window to drag onto");
    SetWindowPos(target, HWND_TOP, 420, 260, 700, 380, SWP_SHOWWINDOW);
    BringToFront(target);
    RECT window;
    GetWindowRect(target, &window);
    WaitSettled({window});
    const POINT drop = {window.left + 300, window.top + 200};
    const RECT marker = {drop.x, drop.y, drop.x + 32, drop.y + 32};
    const std::string before = ScreenBmp(marker);

    int failed = 0;
    if (!ClickTrayIcon(true)) {
        failed = Fail(name, "no menu opened on a right click on the tray icon");
    } else {
        HWND historyMenu = OpenHistoryWithKeys();
        if (historyMenu == nullptr) {
            failed = Fail(name, "the history sub-menu did not open");
        } else {
            // The second entry of the history sub-menu. (Its menu handle belongs to
            // Trailkeep's process: the item is found by its place.)
            RECT history;
            GetWindowRect(historyMenu, &history);
            const int height = (history.bottom - history.top) / gHistoryEntries;
            const POINT press = {(history.left + history.right) / 2,
                                 history.top + height + height / 2};
            SetCursorPos(press.x, press.y);
            MoveMouse(press, press, 1);
            Button(true);
            MoveMouse(press, {press.x + 40, press.y + 10}, 4);
            if (!WaitFor([] { return VisibleMenus().empty(); }, kAppearMs)) {
                failed = Fail(name, "the menu did not close when an entry was dragged out of "
                                    "it (is dragging out of the menu built?)");
            } else {
                // A last movement to the same point: the marker stands where the cursor
                // does, whichever position the hook reads during a movement.
                MoveMouse({press.x + 40, press.y + 10}, drop, 12);
                MoveMouse(drop, drop, 1);
                if (!WaitFor([&] { return ScreenBmp(marker) != before; }, kAppearMs))
                    failed = Fail(name, "no drag marker was drawn at the cursor");
                else if (!Shoot(name, {window}))
                    failed = 1;
            }
            Button(false);
        }
    }
    CloseMenus();
    browser.Kill();
    return failed;
}

// Trailmenu's folder menu over another program's Save As dialog, the registered folders
// open: a folder chosen there is shown in the dialog.
int FileDialogMenu()
{
    const char* name = "file-dialog";
    Process program;
    HWND dialog = nullptr;
    if (Start(&program, "file_dialog.exe",
              "--kind save --folder \"" + gDragView + "\" --name 報告書.txt", ""))
        WaitFor([&] { return (dialog = FindDialog(program.info.dwProcessId)) != nullptr; },
                kAppearMs);
    if (dialog == nullptr)
        return Fail(name, "no Save As dialog came up (is the file_dialog fixture built?)");
    SetWindowPos(dialog, HWND_TOP, 160, 120, 0, 0, SWP_NOSIZE);
    BringToFront(dialog);
    RECT window;
    GetWindowRect(dialog, &window);
    SetCursorPos(window.left + 140, window.top + 110);
    int failed = 0;
    if (RunTrailmenu() != 1 || WaitForMenus(1) == nullptr) {
        failed = Fail(name, "no folder menu opened from Trailmenu");
    } else {
        if (OpenSubMenuWithKeys(1) == nullptr) {
            failed = Fail(name, "the registered-folders sub-menu did not open");
        } else {
            std::vector<RECT> rects = MenuRects();
            rects.push_back(window);
            WaitSettled(rects);
            failed = Shoot(name, rects) ? 0 : 1;
        }
    }
    CloseMenus();
    program.Kill();
    return failed;
}

// The sample's folders on drive C: are made in this prefix, so that the folder window of
// the drag picture shows some of them: it shows the folder that holds the first
// registered folder.
void MakeSampleFolders(const std::string& ini)
{
    const struct {
        const char* section;
        const char* format;
        int count;
    } lists[] = {{"Path_Log", "Log_%02d", 50}, {"Path_Touroku", "Touroku_%02d", 30}};
    for (const auto& list : lists) {
        for (int i = 0; i < list.count; ++i) {
            char key[16], path[MAX_PATH];
            snprintf(key, sizeof key, list.format, i);
            GetPrivateProfileStringA(list.section, key, "", path, sizeof path, ini.c_str());
            if (path[0] == '\0')
                break;
            if (path[0] != 'C' || path[1] != ':')
                continue;
            SHCreateDirectoryExA(nullptr, path, nullptr);
            if (i == 0 && gDragView.empty() && lstrcmpA(list.section, "Path_Touroku") == 0) {
                // The parent, found by the platform: a byte 0x5C may end a Shift-JIS
                // character rather than a name.
                char parent[MAX_PATH];
                if (GetFullPathNameA((std::string(path) + "\\..").c_str(), sizeof parent, parent,
                                     nullptr) != 0)
                    gDragView = parent;
            }
        }
    }
    if (gDragView.empty())
        gDragView = "C:\\";
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3 && argc != 4) {
        fprintf(stderr, "usage: tk_screenshots SAMPLE_DIR OUT_DIR [SUFFIX]\n"
                        "  with SUFFIX (a run at another display scale): only the folder menu\n"
                        "  and the settings dialog, their pictures' names ending in SUFFIX\n");
        return 100;
    }
    gOut = argv[2];
    const bool all = argc == 3;
    if (!all)
        gSuffix = argv[3];
    const std::string ini = std::string(argv[1]) + "\\Trailkeep.ini";
    for (char c : HistoryInFile(ini))
        gHistoryEntries += c == '\n';
    MakeSampleFolders(ini);
    if (gHistoryEntries < 2) {
        fprintf(stderr, "screenshots: the sample settings file needs two history entries\n");
        return 100;
    }
    EndStrayTrailkeeps();
    gMain = StartTrailkeep(&gTrailkeep, argv[1]);
    if (gMain == nullptr) {
        fprintf(stderr, "screenshots: Trailkeep did not start in %s\n", argv[1]);
        return 100;
    }
    int failed = FolderMenu();
    if (all)
        failed += TrayMenu();
    failed += Dialogs(all);
    if (all) {
        failed += Drag();
        failed += FileDialogMenu();
    }
    CloseTrailkeep(&gTrailkeep, gMain);
    return failed;
}
