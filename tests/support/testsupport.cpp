#include "testsupport.h"

#include "fixtures/standin_shell.h"

#include <commctrl.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <cstdio>
#include <type_traits>
#include <vector>

namespace tk {

bool WaitFor(const std::function<bool()>& condition, DWORD deadlineMs, DWORD pollMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (condition())
            return true;
        if (GetTickCount() - start > deadlineMs)
            return false;
        Sleep(pollMs);
    }
}

std::string BinDir()
{
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir(path, n);
    return dir.substr(0, dir.find_last_of('\\'));
}

// In UTF-16: a test leaves folders that the code page cannot spell.
static void RemoveTree(const std::wstring& dir)
{
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((dir + L"\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..")
                continue;
            const std::wstring path = dir + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(path);
            else
                DeleteFileW(path.c_str());
        } while (FindNextFileW(find, &found));
        FindClose(find);
    }
    RemoveDirectoryW(dir.c_str());
}

std::string MakeScratchDir(const char* name)
{
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string dir = std::string(temp) + "tk-" + name;
    RemoveTree(Wide(dir));
    CreateDirectoryA(dir.c_str(), nullptr);
    return dir;
}

std::wstring Wide(const std::string& ansi)
{
    wchar_t wide[MAX_PATH] = L"";
    MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, wide, MAX_PATH);
    return wide;
}

void WriteFileBytes(const std::string& path, const std::string& bytes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

std::string ReadFileBytes(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::string();
    std::string bytes;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
        bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}

bool FileExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

static std::string Trim(const std::string& s)
{
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t'))
        ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r'))
        --e;
    return s.substr(b, e - b);
}

// Visits the key lines of one section: fn(key, value).
static void ForEachKey(const std::string& file, const char* section,
                       const std::function<void(const std::string&, const std::string&)>& fn)
{
    std::string bytes = ReadFileBytes(file);
    // A file in its UTF-16 form is read in the code page of the tests' own texts; a
    // character the code page lacks reads as "?" (never as a look-alike).
    if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
        const std::wstring wide(reinterpret_cast<const wchar_t*>(bytes.data() + 2),
                                (bytes.size() - 2) / 2);
        std::string ansi(wide.size() * 2 + 1, '\0');
        const int n = wide.empty() ? 0
                                   : WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(),
                                                         static_cast<int>(wide.size()), &ansi[0],
                                                         static_cast<int>(ansi.size()), nullptr,
                                                         nullptr);
        bytes = ansi.substr(0, n > 0 ? n : 0);
    }
    bool inSection = false;
    size_t pos = 0;
    while (pos < bytes.size()) {
        size_t end = bytes.find('\n', pos);
        if (end == std::string::npos)
            end = bytes.size();
        const std::string line = Trim(bytes.substr(pos, end - pos));
        pos = end + 1;
        if (!line.empty() && line[0] == '[') {
            inSection = lstrcmpiA(line.substr(1, line.find(']') - 1).c_str(), section) == 0;
            continue;
        }
        const size_t eq = line.find('=');
        if (inSection && eq != std::string::npos)
            fn(Trim(line.substr(0, eq)), Trim(line.substr(eq + 1)));
    }
}

bool IniValue(const std::string& file, const char* section, const char* key, std::string* value)
{
    bool found = false;
    ForEachKey(file, section, [&](const std::string& k, const std::string& v) {
        if (!found && lstrcmpiA(k.c_str(), key) == 0) {
            found = true;
            *value = v;
        }
    });
    return found;
}

std::string IniKeys(const std::string& file, const char* section)
{
    std::string keys;
    ForEachKey(file, section, [&](const std::string& k, const std::string&) {
        keys += keys.empty() ? k : " " + k;
    });
    return keys;
}

std::string HistoryInFile(const std::string& file)
{
    std::string lines;
    ForEachKey(file, "Path_Log", [&](const std::string& k, const std::string& v) {
        lines += k + "=" + v + "\n";
    });
    return lines;
}

std::string HistoryLines(const std::vector<std::string>& paths)
{
    std::string lines;
    for (size_t i = 0; i < paths.size(); ++i) {
        char key[16];
        wsprintfA(key, "Log_%02d=", static_cast<int>(i));
        lines += key + paths[i] + "\n";
    }
    return lines;
}

::testing::AssertionResult FileHistoryBecomes(const std::string& file,
                                              const std::vector<std::string>& paths)
{
    const std::string expected = HistoryLines(paths);
    if (WaitFor([&] { return HistoryInFile(file) == expected; }))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "history in the file:\n" << Utf8(HistoryInFile(file))
                                         << "expected:\n" << Utf8(expected);
}

bool Process::Running() const
{
    return info.hProcess != nullptr && WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT;
}

int Process::WaitExit(DWORD deadlineMs)
{
    if (info.hProcess == nullptr)
        return -1;
    if (!WaitFor([&] { return !Running(); }, deadlineMs))
        return -1;
    DWORD code = 0;
    GetExitCodeProcess(info.hProcess, &code);
    return static_cast<int>(code);
}

void Process::Kill()
{
    if (Running()) {
        TerminateProcess(info.hProcess, 99);
        WaitForSingleObject(info.hProcess, 5000);
    }
}

Process::~Process()
{
    Kill();
    if (info.hProcess != nullptr)
        CloseHandle(info.hProcess);
    if (info.hThread != nullptr)
        CloseHandle(info.hThread);
}

bool Start(Process* process, const std::string& exe, const std::string& args,
           const std::string& dir)
{
    const std::string path = exe.find('\\') == std::string::npos ? BinDir() + "\\" + exe : exe;
    std::string command = "\"" + path + "\"" + (args.empty() ? "" : " " + args);
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    return CreateProcessA(path.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          dir.empty() ? nullptr : dir.c_str(), &startup, &process->info) != 0;
}

HWND FindTrailkeep()
{
    return FindWindowA("TrailkeeperClass", "Trailkeeper");
}

HWND StartTrailkeep(Process* process, const std::string& dir, const std::string& exe)
{
    if (!Start(process, exe, "", dir))
        return nullptr;
    HWND main = nullptr;
    WaitFor([&] {
        HWND found = FindTrailkeep();
        DWORD pid = 0;
        if (found != nullptr)
            GetWindowThreadProcessId(found, &pid);
        if (pid == process->info.dwProcessId)
            main = found;
        return main != nullptr || !process->Running();
    });
    return main;
}

int CloseTrailkeep(Process* process, HWND main)
{
    PostMessageA(main, WM_CLOSE, 0, 0);
    return process->WaitExit();
}

void EndStrayTrailkeeps()
{
    for (int i = 0; i < 10; ++i) {
        HWND main = FindWindowA("TrailkeeperClass", nullptr);
        if (main == nullptr)
            return;
        DWORD pid = 0;
        GetWindowThreadProcessId(main, &pid);
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
        if (process != nullptr) {
            TerminateProcess(process, 98);
            WaitForSingleObject(process, 5000);
            CloseHandle(process);
        }
    }
}

bool StartExplorer(Explorer* explorer, const std::string& title, const std::string& args)
{
    if (!Start(&explorer->process, "standin_explorer.exe",
               "--title \"" + title + "\" " + args, ""))
        return false;
    WaitFor([&] {
        // The fixture names its class on the command line; find it by title and process.
        HWND found = FindTopWindow([&](HWND w) {
            DWORD pid = 0;
            GetWindowThreadProcessId(w, &pid);
            return pid == explorer->process.info.dwProcessId && WindowText(w) == title;
        });
        explorer->window = found;
        if (found != nullptr)
            explorer->edit = FindWindowExA(FindWindowExA(found, nullptr, nullptr, nullptr),
                                           nullptr, nullptr, nullptr);
        return explorer->edit != nullptr || !explorer->process.Running();
    });
    return explorer->edit != nullptr;
}

bool SetAddressText(const Explorer& explorer, const char* text)
{
    // The fixture sets the text from its own thread, as Explorer does when it navigates.
    COPYDATASTRUCT data;
    data.dwData = 0x54584554;
    data.cbData = lstrlenA(text);
    data.lpData = const_cast<char*>(text);
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(explorer.window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data),
                               SMTO_NORMAL, kDeadlineMs, &result) != 0;
}

bool SetWideAddressText(const Explorer& explorer, const wchar_t* text)
{
    COPYDATASTRUCT data;
    data.dwData = 0x57584554;
    data.cbData = lstrlenW(text) * sizeof(wchar_t);
    data.lpData = const_cast<wchar_t*>(text);
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(explorer.window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data),
                               SMTO_NORMAL, kDeadlineMs, &result) != 0;
}

std::string WindowText(HWND wnd)
{
    char text[1024];
    text[0] = '\0';
    DWORD_PTR copied = 0;
    SendMessageTimeoutA(wnd, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                        SMTO_ABORTIFHUNG, 5000, &copied);
    return text;
}

void Click(int x, int y, bool rightButton)
{
    SetCursorPos(x, y);
    // Both events carry the point. Under X the pointer motion of a warp reaches the
    // window's program later, as input of its own; one from an earlier click arriving
    // between press and release would otherwise move the release off the control.
    const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    INPUT input[2] = {};
    for (INPUT& event : input) {
        event.type = INPUT_MOUSE;
        event.mi.dx = (x * 65536 + width - 1) / width;  // normalised, rounded up: exactly x
        event.mi.dy = (y * 65536 + height - 1) / height;
    }
    const DWORD at = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    input[0].mi.dwFlags = at | (rightButton ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN);
    input[1].mi.dwFlags = at | (rightButton ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP);
    SendInput(2, input, sizeof(INPUT));
}

bool MouseMove(int x, int y)
{
    // The pointer of the display goes there first, as a hand on the mouse moves both. (For
    // an input event of another program Wine moves only its own record of the cursor, and
    // reads the display's pointer back once the cursor has stood still for a moment.)
    SetCursorPos(x, y);
    // Then the movement event. Absolute positions run from 0 to 65536 across the screen,
    // each pixel taking the range from its left edge: rounding up lands on the pixel itself.
    const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dx = (x * 65536 + width - 1) / width;
    input.mi.dy = (y * 65536 + height - 1) / height;
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &input, sizeof(INPUT));
    return WaitFor([&] {
        POINT at;
        return GetCursorPos(&at) && at.x == x && at.y == y;
    }, 5000, 1);
}

void MouseButton(bool down)
{
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
    SendInput(1, &input, sizeof(INPUT));
}

void Press(WORD vk)
{
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_KEYBOARD;
    input[0].ki.wVk = input[1].ki.wVk = vk;
    input[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, input, sizeof(INPUT));
}

static BOOL CALLBACK ListTopWindow(HWND w, LPARAM windows)
{
    reinterpret_cast<std::vector<HWND>*>(windows)->push_back(w);
    return TRUE;
}

// Every top-level window, front-most first, through EnumWindows, which lists them before
// it calls back.
static std::vector<HWND> TopWindows()
{
    std::vector<HWND> windows;
    EnumWindows(ListTopWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

HWND FindTopWindow(const std::function<bool(HWND)>& match)
{
    for (HWND w : TopWindows()) {
        if (match(w))
            return w;
    }
    return nullptr;
}

static bool IsVisibleDialogOf(HWND w, DWORD processId)
{
    char cls[16];
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    return pid == processId && IsWindowVisible(w) && GetClassNameA(w, cls, sizeof cls) &&
           lstrcmpA(cls, "#32770") == 0;
}

HWND FindDialog(DWORD processId, const char* text)
{
    return FindTopWindow([&](HWND w) {
        return IsVisibleDialogOf(w, processId) &&
               (text == nullptr || FindWindowExA(w, nullptr, "Static", text) != nullptr);
    });
}

HWND FindDialogTitled(DWORD processId, const std::string& caption)
{
    return FindTopWindow(
        [&](HWND w) { return IsVisibleDialogOf(w, processId) && WindowText(w) == caption; });
}

void ClickControl(HWND dialog, int id)
{
    RECT r{};
    GetWindowRect(GetDlgItem(dialog, id), &r);
    Click((r.left + r.right) / 2, (r.top + r.bottom) / 2);
}

// A block of memory in the process of a window, freed at the end of its scope.
struct RemoteBlock {
    HANDLE process = nullptr;
    char* base = nullptr;

    RemoteBlock(HWND wnd, size_t size)
    {
        DWORD pid = 0;
        GetWindowThreadProcessId(wnd, &pid);
        process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE,
                              FALSE, pid);
        if (process != nullptr)
            base = static_cast<char*>(VirtualAllocEx(process, nullptr, size,
                                                     MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    }
    ~RemoteBlock()
    {
        if (base != nullptr)
            VirtualFreeEx(process, base, 0, MEM_RELEASE);
        if (process != nullptr)
            CloseHandle(process);
    }
    bool Put(size_t offset, const void* data, size_t size)
    {
        return base != nullptr &&
               WriteProcessMemory(process, base + offset, data, size, nullptr) != 0;
    }
    bool Get(size_t offset, void* data, size_t size) const
    {
        return base != nullptr &&
               ReadProcessMemory(process, base + offset, data, size, nullptr) != 0;
    }
    // Sends a message whose lParam is the block's address at `offset`.
    LRESULT Send(HWND wnd, UINT msg, WPARAM wParam, size_t offset = 0) const
    {
        DWORD_PTR result = 0;
        SendMessageTimeoutA(wnd, msg, wParam, reinterpret_cast<LPARAM>(base + offset),
                            SMTO_ABORTIFHUNG, 5000, &result);
        return static_cast<LRESULT>(result);
    }
};

// Reads an item text into the block after the item structure: `item` points its text
// field there and is sent with `msg` (an ANSI or a Unicode message, as Char says).
template <typename Char, typename Item>
static std::basic_string<Char> RemoteItemText(HWND control, UINT msg, WPARAM wParam, Item item)
{
    const size_t textSize = 512;
    RemoteBlock block(control, sizeof item + textSize * sizeof(Char));
    item.pszText = reinterpret_cast<Char*>(block.base + sizeof item);
    item.cchTextMax = textSize;
    Char text[textSize] = {};
    if (!block.Put(0, &item, sizeof item) || !block.Put(sizeof item, text, sizeof(Char)))
        return std::basic_string<Char>();
    block.Send(control, msg, wParam);
    block.Get(sizeof item, text, (textSize - 1) * sizeof(Char));
    return text;
}

std::string ListItemText(HWND list, int item)
{
    LVITEMA info{};
    return RemoteItemText<char>(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(item), info);
}

std::wstring ListItemTextW(HWND list, int item)
{
    LVITEMW info{};
    return RemoteItemText<wchar_t>(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(item), info);
}

bool ListItemCentre(HWND list, int item, POINT* centre)
{
    RECT r{};
    r.left = LVIR_LABEL;
    RemoteBlock block(list, sizeof r);
    if (!block.Put(0, &r, sizeof r) || !block.Send(list, LVM_GETITEMRECT, item) ||
        !block.Get(0, &r, sizeof r))
        return false;
    centre->x = (r.left + r.right) / 2;
    centre->y = (r.top + r.bottom) / 2;
    return ClientToScreen(list, centre) != 0;
}

// The selected item's text by the tree's ANSI or Unicode message, as Char says.
template <typename Char>
static std::basic_string<Char> TreeSelection(HWND tree)
{
    DWORD_PTR selected = 0;
    SendMessageTimeoutA(tree, TVM_GETNEXTITEM, TVGN_CARET, 0, SMTO_ABORTIFHUNG, 5000, &selected);
    if (selected == 0)
        return std::basic_string<Char>();
    typename std::conditional<sizeof(Char) == 1, TVITEMA, TVITEMW>::type info{};
    info.mask = TVIF_TEXT;
    info.hItem = reinterpret_cast<HTREEITEM>(selected);
    return RemoteItemText<Char>(tree, sizeof(Char) == 1 ? TVM_GETITEMA : TVM_GETITEMW, 0, info);
}

std::string TreeSelectionText(HWND tree)
{
    return TreeSelection<char>(tree);
}

// The path goes to the dialog in the form that its message takes: bytes of the code page
// or UTF-16. The tree shows the folder's name.
template <typename Char>
static bool SelectPath(HWND picker, const std::basic_string<Char>& path)
{
    RemoteBlock block(picker, (path.size() + 1) * sizeof(Char));
    if (!block.Put(0, path.c_str(), (path.size() + 1) * sizeof(Char)))
        return false;
    block.Send(picker, sizeof(Char) == 1 ? BFFM_SETSELECTIONA : BFFM_SETSELECTIONW, TRUE);
    const std::basic_string<Char> name = path.substr(path.find_last_of('\\') + 1);
    HWND tree = FindWindowExA(picker, nullptr, WC_TREEVIEWA, nullptr);
    return WaitFor([&] { return TreeSelection<Char>(tree) == name; });
}

bool SelectInPicker(HWND picker, const std::string& path)
{
    return SelectPath(picker, path);
}

bool SelectInPicker(HWND picker, const std::wstring& path)
{
    return SelectPath(picker, path);
}

std::vector<std::string> MenuTexts(HWND menuWindow)
{
    std::vector<std::string> texts;
    DWORD_PTR menu = 0;
    SendMessageTimeoutA(menuWindow, MN_GETHMENU, 0, 0, SMTO_ABORTIFHUNG, 5000, &menu);
    HMENU handle = reinterpret_cast<HMENU>(menu);
    const int count = menu != 0 ? GetMenuItemCount(handle) : 0;
    for (int i = 0; i < count; ++i) {
        char text[MAX_PATH] = "";
        GetMenuStringA(handle, i, text, sizeof text, MF_BYPOSITION);
        const bool grey = (GetMenuState(handle, i, MF_BYPOSITION) & MF_GRAYED) != 0;
        texts.push_back((grey ? "(grey)" : "") + std::string(text));
    }
    return texts;
}

std::string AskFileDialog(const std::string& report)
{
    HWND fixture = FindWindowA("TkFileDialogFixture", nullptr);
    DWORD_PTR answered = 0;
    SendMessageTimeoutA(fixture, WM_APP, 0, 0, SMTO_ABORTIFHUNG, 5000, &answered);
    return answered ? ReadFileBytes(report) : "(no answer)";
}

std::string DialogShowing(const std::string& folder)
{
    return folder + "\r\n" + kTypedName + "\r\n";
}

HWND StartFileDialog(Process* process, const char* kind, const std::string& folder,
                     const std::string& report)
{
    if (!Start(process, "file_dialog.exe",
               std::string("--kind ") + kind + " --folder \"" + folder + "\" --name \"" +
                   kTypedName + "\" --report \"" + report + "\"",
               ""))
        return nullptr;
    HWND window = nullptr;
    if (!WaitFor([&] { return (window = FindDialog(process->info.dwProcessId)) != nullptr; }) ||
        !WaitFor([&] { return AskFileDialog(report) == DialogShowing(folder); }))
        return nullptr;
    return window;
}

std::vector<HWND> VisibleMenus()
{
    std::vector<HWND> menus;
    for (HWND w : TopWindows()) {
        char cls[16];
        if (IsWindowVisible(w) && GetClassNameA(w, cls, sizeof cls) && lstrcmpA(cls, "#32768") == 0)
            menus.push_back(w);
    }
    return menus;
}

HWND WaitForMenus(size_t count)
{
    HWND top = nullptr;
    WaitFor([&] {
        const std::vector<HWND> menus = VisibleMenus();
        top = menus.size() == count ? menus.front() : nullptr;
        return top != nullptr;
    });
    return top;
}

// Told apart by identity, not by z-order: under Wine the parent menu was seen in front of
// its newly opened sub-menu now and then.
HWND WaitForSubMenu(HWND parent)
{
    HWND sub = nullptr;
    WaitFor([&] {
        const std::vector<HWND> menus = VisibleMenus();
        sub = nullptr;
        if (menus.size() == 2 && (menus[0] == parent || menus[1] == parent))
            sub = menus[0] == parent ? menus[1] : menus[0];
        return sub != nullptr;
    });
    return sub;
}

bool CloseMenus()
{
    for (int i = 0; i < 5 && !VisibleMenus().empty(); ++i) {
        const size_t open = VisibleMenus().size();
        Press(VK_ESCAPE);
        WaitFor([&] { return VisibleMenus().size() < open; }, 2000);
    }
    return VisibleMenus().empty();
}

bool TrayIconCentre(POINT* centre)
{
    HWND icon = nullptr;
    WaitFor([&] {
        HWND tray = FindWindowA("__winex11_standalone_tray", nullptr);
        icon = tray != nullptr ? FindWindowExA(tray, nullptr, "__winex11_tray_icon", nullptr)
                               : nullptr;
        return icon != nullptr && IsWindowVisible(icon);
    });
    RECT rect;
    if (icon == nullptr || !GetWindowRect(icon, &rect))
        return false;
    centre->x = (rect.left + rect.right) / 2;
    centre->y = (rect.top + rect.bottom) / 2;
    return true;
}

HWND ClickTrayIcon(bool rightButton)
{
    POINT icon;
    if (!TrayIconCentre(&icon))
        return nullptr;
    Click(icon.x, icon.y, rightButton);
    return WaitForMenus(1);
}

HWND OpenSubMenuWithKeys(int position)
{
    const std::vector<HWND> open = VisibleMenus();
    if (open.size() != 1)
        return nullptr;
    for (int i = 0; i <= position; ++i)
        Press(VK_DOWN);
    Press(VK_RIGHT);
    return WaitForSubMenu(open.front());
}

HWND OpenHistoryWithKeys()
{
    return OpenSubMenuWithKeys(0);
}

int RunTrailmenu(const std::string& exe)
{
    Process launcher;
    if (!Start(&launcher, exe, "", ""))
        return -1;
    return launcher.WaitExit();
}

void TrailkeepTest::SetUp()
{
    EndStrayTrailkeeps();
}

void TrailkeepTest::TearDown()
{
    CloseMenus();
    if (main_ != nullptr && tk_.Running()) {
        EXPECT_EQ(CloseTrailkeep(&tk_, main_), 0);
    }
    EndStrayTrailkeeps();
}

void TrailkeepTest::Launch(const std::string& ini)
{
    dir_ = MakeScratchDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    ini_ = dir_ + "\\Trailkeep.ini";
    WriteFileBytes(ini_, ini);
    main_ = StartTrailkeep(&tk_, dir_);
    ASSERT_NE(main_, nullptr);
}

bool BringToFront(HWND window)
{
    // Activation is asynchronous under X: a window of another program that is still
    // coming up can take the foreground after this call. Ask again until it holds, as a
    // user clicks the window again.
    return WaitFor([&] {
        if (GetForegroundWindow() == window)
            return true;
        SetForegroundWindow(window);
        return false;
    });
}

void TrailkeepTest::Activate(const Explorer& explorer)
{
    ASSERT_TRUE(BringToFront(explorer.window));
}

std::string Utf8(const std::string& cp932)
{
    wchar_t wide[2048];
    const int n = MultiByteToWideChar(932, 0, cp932.c_str(), -1, wide, 2048);
    char out[4096];
    if (n <= 0 || WideCharToMultiByte(CP_UTF8, 0, wide, -1, out, sizeof out, nullptr, nullptr) <= 0)
        return cp932;
    return out;
}

// --- The stand-in shell ------------------------------------------------------------------

static HWND StandinControl()
{
    return FindWindowW(kStandinShellControlClass, nullptr);
}

// Ends every running stand-in: asked to close, ended if it does not (it may be hung).
static void EndStandinShells()
{
    for (int i = 0; i < 10; ++i) {
        HWND control = StandinControl();
        if (control == nullptr)
            return;
        DWORD pid = 0;
        GetWindowThreadProcessId(control, &pid);
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
        SuspendProcess(pid, false);
        PostMessageW(control, WM_CLOSE, 0, 0);
        if (process != nullptr) {
            if (WaitForSingleObject(process, 5000) != WAIT_OBJECT_0)
                TerminateProcess(process, 97);
            WaitForSingleObject(process, 5000);
            CloseHandle(process);
        }
    }
}

// The stand-in's class and the TreatAs that sends the shell's window list to it, in the
// 64-bit and the 32-bit registry view, so that clients of both kinds reach it.
static bool SetStandinKeys(REGSAM view, bool on, const char* args = "")
{
    HKEY classes = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Classes\\CLSID", 0, nullptr, 0,
                        KEY_ALL_ACCESS | view, nullptr, &classes, nullptr) != ERROR_SUCCESS)
        return false;
    const std::wstring treatAs = std::wstring(kShellWindowsClsidText) + L"\\TreatAs";
    bool ok;
    if (on) {
        wchar_t server[MAX_PATH];
        const DWORD n = GetModuleFileNameW(nullptr, server, MAX_PATH);
        std::wstring exe(server, n);
        // Quoted: COM runs the value as a command line, with " -Embedding" after it.
        exe = L"\"" + exe.substr(0, exe.find_last_of(L'\\') + 1) + L"standin_shell.exe\"";
        for (const char* c = args; *c != '\0'; ++c)
            exe += static_cast<wchar_t>(*c);
        const std::wstring local = std::wstring(kStandinShellClsidText) + L"\\LocalServer32";
        ok = RegSetKeyValueW(classes, local.c_str(), nullptr, REG_SZ, exe.c_str(),
                             static_cast<DWORD>((exe.size() + 1) * sizeof(wchar_t))) ==
                 ERROR_SUCCESS &&
             RegSetKeyValueW(classes, treatAs.c_str(), nullptr, REG_SZ, kStandinShellClsidText,
                             sizeof kStandinShellClsidText) == ERROR_SUCCESS;
    } else {
        RegDeleteKeyExW(classes, treatAs.c_str(), view, 0);
        RegDeleteTreeW(classes, kStandinShellClsidText);
        HKEY left = nullptr;
        ok = RegOpenKeyExW(classes, treatAs.c_str(), 0, KEY_READ | view, &left) != ERROR_SUCCESS;
        if (left != nullptr)
            RegCloseKey(left);
    }
    RegCloseKey(classes);
    return ok;
}

bool UseStandinShell(bool on)
{
    EndStandinShells();
    if (on)
        DeleteFileA((BinDir() + "\\" + kStandinShellLog).c_str());
    const bool wide = SetStandinKeys(KEY_WOW64_64KEY, on);
    return SetStandinKeys(KEY_WOW64_32KEY, on) && wide;
}

bool SetStandinServerPresent(bool present)
{
    const char* args = present ? "" : " --refuse-start";
    const bool wide = SetStandinKeys(KEY_WOW64_64KEY, true, args);
    return SetStandinKeys(KEY_WOW64_32KEY, true, args) && wide;
}

DWORD StartStandinShell(bool announce)
{
    // Its output goes to a file, and it inherits no handle: a program that holds the
    // test's own output open would keep the test runner waiting for it.
    HANDLE out = CreateFileA((BinDir() + "\\standin_shell.out").c_str(), FILE_APPEND_DATA,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    const std::string exe = BinDir() + "\\" + kStandinShellExe;
    std::string command = "\"" + exe + "\"";
    if (announce)
        command = command + " " + kStandinShellAnnounce;
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = startup.hStdOutput = startup.hStdError = out;
    PROCESS_INFORMATION info{};
    const bool started = CreateProcessA(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0,
                                        nullptr, nullptr, &startup, &info) != 0;
    CloseHandle(out);
    if (!started)
        return 0;
    CloseHandle(info.hThread);
    bool up = WaitFor([&] {
        DWORD pid = 0;
        GetWindowThreadProcessId(StandinControl(), &pid);
        return pid == info.dwProcessId || WaitForSingleObject(info.hProcess, 0) == WAIT_OBJECT_0;
    });
    up = up && WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT;
    CloseHandle(info.hProcess);
    return up ? info.dwProcessId : 0;
}

bool ShellCommand(UINT cmd, HWND target, const wchar_t* path, HWND* result, unsigned value)
{
    StandinShellCommand command{};
    command.target = HandleToULong(target);
    command.value = value;
    if (path != nullptr)
        lstrcpynW(command.path, path, MAX_PATH);
    COPYDATASTRUCT data = {cmd, sizeof command, &command};
    DWORD_PTR answer = 0;
    // With a timeout: a suspended stand-in never answers.
    if (!SendMessageTimeoutW(StandinControl(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data),
                             SMTO_NORMAL, kDeadlineMs, &answer))
        answer = 0;
    if (result != nullptr)
        *result = reinterpret_cast<HWND>(answer);
    return answer != 0;
}

std::set<DWORD> ExplorerProcesses()
{
    std::set<DWORD> ids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
        if (lstrcmpiA(entry.szExeFile, "explorer.exe") == 0)
            ids.insert(entry.th32ProcessID);
    CloseHandle(snapshot);
    return ids;
}

void EndExplorersSince(const std::set<DWORD>& before)
{
    for (DWORD id : ExplorerProcesses()) {
        HANDLE started = before.count(id) ? nullptr : OpenProcess(PROCESS_TERMINATE, FALSE, id);
        if (started != nullptr)
            TerminateProcess(started, 0), CloseHandle(started);
    }
}

void SuspendProcess(DWORD pid, bool suspend)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID != pid)
            continue;
        HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, entry.th32ThreadID);
        if (thread == nullptr)
            continue;
        if (suspend)
            SuspendThread(thread);
        else
            while (static_cast<int>(ResumeThread(thread)) > 1) {
            }
        CloseHandle(thread);
    }
    CloseHandle(snapshot);
}

std::string ShellLog()
{
    return ReadFileBytes(BinDir() + "\\" + kStandinShellLog);
}

bool WaitShellLog(const char* needle, DWORD timeoutMs)
{
    return WaitFor([&] { return ShellLog().find(needle) != std::string::npos; }, timeoutMs);
}

}  // namespace tk
