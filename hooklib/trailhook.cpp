// Trailhook: the system-wide address-bar hook. Windows maps this library into every GUI
// process of the desktop, so it carries no C runtime, allocates nothing, and does the
// cheap tests first: the hook is called for every sent message of every thread.
#include <windows.h>

#define TRAILHOOK_BUILD
#include "trailhook.h"

#include "ansipath.h"
#include "pathtest.h"
#include "../core/mainlookup.h"
#include "../core/protocol.h"

// Per-process state: each process that maps the library has its own copy.
static HINSTANCE gModule;  // this library, for SetWindowsHookExA
static HWND gMainWnd;      // Trailkeep's main window, once found in this process
static HHOOK gHook;        // the installed hook (in Trailkeep's process only)
static HANDLE gMutex;      // the handoff mutex as created by sethook

enum {
    kClassSize = 20,
    kTextSize = 256,
    kTitleWriteTimeoutMs = 1000,  // the longest a navigation in Explorer waits on Trailkeep
};

static int SameText(const char* a, const char* b)
{
    for (; *a == *b; ++a, ++b) {
        if (*a == '\0')
            return 1;
    }
    return 0;
}

// 1 when the memory at `p` can be read.
static int Readable(const void* p)
{
    MEMORY_BASIC_INFORMATION info;
    if (VirtualQuery(p, &info, sizeof info) == 0)
        return 0;
    return info.State == MEM_COMMIT && (info.Protect & (PAGE_NOACCESS | PAGE_GUARD)) == 0;
}

// Whether the text of a WM_SETTEXT to `edit` is a UTF-16 path rather than ANSI text.
//
// Explorer's address field is a Unicode window, and its text may reach this ANSI hook as
// it was set, in UTF-16; a NUL second byte marks that form. But a one-character ANSI text
// has a NUL second byte too, and ends there: nothing after it may be read blindly. So the
// window must be a Unicode one (an ANSI window's texts are ANSI), and the first three wide
// characters are looked at only where their bytes are readable, and must begin a path.
static int IsWidePath(HWND edit, const char* text)
{
    if (text[0] == '\0' || text[1] != '\0' || !IsWindowUnicode(edit))
        return 0;
    // Bytes 2 to 5 share the page of byte 1 (pages are 4 KiB on x86 and x86-64 Windows),
    // or the page after it is readable.
    const ULONG_PTR first = reinterpret_cast<ULONG_PTR>(text + 1);
    const ULONG_PTR last = reinterpret_cast<ULONG_PTR>(text + 5);
    if ((first >> 12) != (last >> 12) && !Readable(text + 5))
        return 0;
    const WCHAR* wide = reinterpret_cast<const WCHAR*>(text);
    return (wide[1] == L':' && wide[2] == L'\\') || (wide[0] == L'\\' && wide[1] == L'\\');
}

// Copies the text of a WM_SETTEXT to `edit` into a path slot in UTF-16: a Unicode field's
// text as it is, an ANSI field's converted with the code page (exactly: its bytes are what
// the field holds). Returns 0 when it is no text of at most 255 units.
static int CopyText(HWND edit, const char* text, WCHAR* path)
{
    if (IsWidePath(edit, text)) {
        const WCHAR* wide = reinterpret_cast<const WCHAR*>(text);
        int n = 0;
        for (; n < kTextSize && wide[n] != L'\0'; ++n)
            path[n] = wide[n];
        if (n == kTextSize)
            return 0;
        path[n] = L'\0';
        return 1;
    }
    int n = 0;
    while (n < kTextSize && text[n] != '\0')
        ++n;
    if (n == kTextSize)
        return 0;
    // Whole bytes of the code page only: a text with a broken double-byte character is
    // no folder's name.
    const int units = n == 0 ? 0
                             : MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, n, path,
                                                   kTextSize - 1);
    if (n != 0 && units <= 0)
        return 0;
    path[units] = L'\0';
    return 1;
}

// Writes the path into the main window's title. A Trailkeep of this version has a Unicode
// main window and takes the path in UTF-16. An older one has an ANSI window, which the
// system would hand a best-fit look-alike of a wide text: it gets the path in the code page
// where that spells it exactly, else nothing (as older hooks did). Returns 0 when nothing
// was written, and then nothing is to be posted either. The title write is a
// message sent to Trailkeep's thread, and this thread is Explorer's: it never waits long
// for a busy Trailkeep, nor at all for a hung one.
static int WriteTitle(const WCHAR* path)
{
    DWORD_PTR result = 0;
    if (IsWindowUnicode(gMainWnd)) {
        SendMessageTimeoutW(gMainWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path),
                            SMTO_ABORTIFHUNG, kTitleWriteTimeoutMs, &result);
        return 1;
    }
    char ansi[kTextSize];
    if (!WideToAnsiPath(path, ansi, kTextSize))
        return 0;
    SendMessageTimeoutA(gMainWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(ansi),
                        SMTO_ABORTIFHUNG, kTitleWriteTimeoutMs, &result);
    return 1;
}

// Hands a path over through the main window's title; the main window reads it back on
// WM_TK_CAPTURED. The text is that of a WM_SETTEXT about to reach `edit`.
static void HandOver(HWND edit, const char* text)
{
    char cls[kClassSize];
    if (GetClassNameA(edit, cls, kClassSize) == 0 || !SameText(cls, "Edit"))
        return;
    // The text belongs to the thread that owns the Edit, where the hook normally runs. On
    // 64-bit Windows, a hook library of one bitness is not mapped into processes of the
    // other: the system calls the hook for their messages on the thread that installed
    // it, inside Trailkeep, where the text pointer means nothing. Such calls pass on.
    if (GetWindowThreadProcessId(edit, nullptr) != GetCurrentThreadId())
        return;
    HWND root = GetAncestor(edit, GA_ROOT);
    if (GetClassNameA(root, cls, kClassSize) == 0 ||
        !(SameText(cls, "ExploreWClass") || SameText(cls, "CabinetWClass")))
        return;
    if (GetForegroundWindow() != root || text == nullptr)
        return;

    // A text that does not fit a path slot is no folder Trailkeep could reopen:
    // it is ignored rather than cut into the name of some other folder.
    WCHAR path[kTextSize];
    if (!CopyText(edit, text, path))
        return;
    if (!IsPathText(path))
        return;

    // A handle found by an earlier Trailkeep of this session goes stale when it exits,
    // while this library may stay mapped; look the window up again then.
    if (gMainWnd == nullptr || !IsWindow(gMainWnd))
        gMainWnd = FindMainWindow();
    if (gMainWnd == nullptr)
        return;
    // The notice is posted whatever came of the write: should the write still be delivered
    // later, it is handled before the posted notice, and a notice that finds no path in
    // the title is dropped by the reader.
    if (!WriteTitle(path))
        return;
    PostMessageA(gMainWnd, WM_TK_CAPTURED, TK_HANDOFF_TAG, reinterpret_cast<LPARAM>(edit));
}

static LRESULT CALLBACK AddressBarHookProc(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION) {
        const CWPSTRUCT* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
        if (call->message == WM_SETTEXT)
            HandOver(call->hwnd, reinterpret_cast<const char*>(call->lParam));
    }
    // Every message goes on unchanged. Outside Trailkeep's process gHook is null; the
    // system does not use this argument.
    return CallNextHookEx(gHook, code, wParam, lParam);
}

int sethook(void)
{
    gHook = SetWindowsHookExA(WH_CALLWNDPROC, AddressBarHookProc, gModule, 0);
    if (gHook == nullptr) {
        MessageBoxA(nullptr, "グローバルフック作成失敗", "Trailhook.dll", MB_OK);
        return 0;
    }
    // Created owned by the calling thread, Trailkeep's main thread, which keeps it.
    gMutex = CreateMutexA(nullptr, TRUE, TK_HANDOFF_MUTEX);
    if (gMutex == nullptr) {
        MessageBoxA(nullptr, "Mutex作成失敗", "Trailhook.dll", MB_OK);
        return 0;
    }
    return 1;
}

int freehook(void)
{
    if (gMutex != nullptr)
        CloseHandle(gMutex);
    gMutex = nullptr;
    const BOOL removed = UnhookWindowsHookEx(gHook);
    gHook = nullptr;
    return removed;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        gModule = instance;
    // Trailkeep's window may not exist yet (in Trailkeep itself, at load); the lookup
    // is repeated at every thread attach and detach until it succeeds.
    if (gMainWnd == nullptr && reason != DLL_PROCESS_DETACH)
        gMainWnd = FindMainWindow();
    return TRUE;
}
