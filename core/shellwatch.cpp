// The shell-window watcher. Explorer on Vista and later shows no address field that
// takes a WM_SETTEXT in normal use, and Windows 11 has no Win32 address field at all:
// the documented way to learn its navigations, on XP to 11, is the shell's window list
// (CLSID_ShellWindows) with its events, and per folder window or tab the browser's
// events. These are out-of-process COM objects in Explorer, so they reach folder windows
// of either bitness.
//
// Everything COM happens on the watcher's own thread, a single-threaded apartment with a
// message loop: the events arrive there, and the main thread never calls into Explorer.
// The main thread only reads the table (under a lock never held across a call) or asks
// the watcher a question and waits at most kAnswerWaitMs for the answer.
//
// While nothing happens the thread sleeps in GetMessage: no timer runs. A timer runs only
// shortly after a list event (to look again for a window that registers late) and, while
// no list could be had, a few times after Explorer announced a new start.
#include <windows.h>

#include <exdisp.h>
#include <exdispid.h>
#include <servprov.h>
#include <shlguid.h>
#include <shlobj.h>

#include "shellwatch.h"

#include "../hooklib/ansipath.h"
#include "../hooklib/pathtest.h"
#include "peers.h"
#include "protocol.h"
#include "shellnav.h"
#include "trailkeep.h"

enum {
    kAnswerWaitMs = 1000,    // the longest the main thread waits for the watcher
    kStopWaitMs = 1500,      // the longest the shut-down waits for the watcher to end
    kLookAgainMs = 1000,     // after a list event, once more: windows register late
    kInboxSize = 16,         // navigations not yet taken by the main thread
    kTimerLookAgain = 1,
    kTimerRetry = 2,
    kClassSize = 20,
};

// The watcher window's messages.
enum {
    WM_WATCH_LOOK = WM_APP + 20,  // the list changed: enumerate it
    WM_WATCH_QUIT,                // a browser quit: wParam entry, lParam its connection
    WM_WATCH_NAVIGATED,           // a browser navigated: wParam entry, lParam its connection
    WM_WATCH_ASK,                 // the main thread asks a question (gQuestion)
    WM_WATCH_STOP,                // end the thread
};

// Questions of the main thread.
enum { kAskFind = 1, kAskNavigate = 2 };

// --- State shared with the main thread, under gShellLock -------------------------------
static CRITICAL_SECTION gShellLock;
static ShellTable gTable;            // the followed tabs and the folders they show
static int gListEnumerates;          // the list answers Count and Item (and so the table
                                     // holds every folder window)
struct Navigation {
    HWND window;
    PathSlot path;
};
static Navigation gInbox[kInboxSize];  // navigations for the main thread, oldest first
static int gInboxCount;
struct Question {
    LONG serial;     // the question's number; the answer carries it
    int kind;        // kAsk*
    PathSlot path;
    HWND window;     // kAskNavigate: the folder window
    LONG answered;   // the serial of the last answer
    HWND found;      // kAskFind: the answer
    int done;        // kAskNavigate: the answer
};
static Question gQuestion;
static HANDLE gAnswered;             // auto-reset: an answer stands in gQuestion

// --- The watcher thread's own state ---------------------------------------------------
static HANDLE gWatcherThread;
static HWND gWatchWnd;               // the watcher's hidden top-level window
static UINT gTaskbarCreated;         // Explorer's broadcast when it (re)starts
static IShellWindows* gList;
static IConnectionPoint* gListPoint;
static DWORD gListCookie;
static int gEnumerating;             // an enumeration is under way (calls may nest in it)
static int gLookAgain;               // a list event arrived during it
static int gStartOverWanted;         // a disconnection was seen during it
static int gQuietEnumeration;        // the first enumeration after connecting: windows
                                     // already open are followed, not recorded
static int gRetry;                   // retries left after a new start of Explorer
static int gConnections;             // counts connections, so late events are told apart
static int gInHandler;               // a handler of the watcher's own runs (its calls may
                                     // let the shell's events in)
static DWORD gStopAsked;             // when the watcher was asked to end (main thread)

// Per followed entry (same index as the table), only on the watcher thread.
struct Followed {
    IWebBrowser2* browser;
    IConnectionPoint* point;
    DWORD cookie;
    int connection;      // gConnections when it was connected
    int sawEvent;        // a navigation event arrived since it was connected
    int quit;            // its browser quit while an enumeration was under way
    DWORD reportedTick;  // when its folder was last reported
    PathSlot reported;   // that folder; empty when none was reported
};
static Followed gFollowed[kShellEntries];

static int IsDisconnected(HRESULT hr)
{
    return hr == RPC_E_DISCONNECTED || hr == RPC_E_SERVER_DIED ||
           hr == RPC_E_SERVER_DIED_DNE || hr == CO_E_OBJNOTCONNECTED ||
           hr == HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE) ||
           hr == HRESULT_FROM_WIN32(RPC_S_CALL_FAILED) ||
           hr == HRESULT_FROM_WIN32(RPC_S_CALL_FAILED_DNE);
}

// --- Event sinks: the list's and one per followed tab ---------------------------------
// They live in static storage, as long as the process: a reference the shell still holds
// after the connection ended finds a live object, which then ignores the call.
class EventSink : public IDispatch {
public:
    const IID* events = nullptr;  // the event interface it answers for
    int entry = -1;               // the followed entry, -1 for the list
    int connection = 0;           // the connection it serves

    // A table of what it answers for, as QISearch walks one. (QISearch itself is
    // exported by name only from Vista on.)
    STDMETHODIMP QueryInterface(REFIID riid, void** out) override
    {
        const IID* const kInterfaces[] = {&IID_IUnknown, &IID_IDispatch, events};
        for (const IID* iid : kInterfaces) {
            if (iid != nullptr && IsEqualIID(riid, *iid)) {
                *out = static_cast<IDispatch*>(this);
                AddRef();
                return S_OK;
            }
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&refs_); }
    STDMETHODIMP_(ULONG) Release() override { return InterlockedDecrement(&refs_); }
    STDMETHODIMP GetTypeInfoCount(UINT* count) override
    {
        *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override
    {
        return E_NOTIMPL;
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                        EXCEPINFO*, UINT*) override;

private:
    LONG refs_ = 0;
};

static EventSink gListSink;
static EventSink gTabSinks[kShellEntries];

static void OnNavigateComplete(int entry, int connection, DISPPARAMS* params);
static void OnQuit(int entry, int connection);

STDMETHODIMP EventSink::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                               EXCEPINFO*, UINT*)
{
    // The list's events name a cookie, which is not to be trusted: the whole list is
    // looked at again, after the call has returned to the shell.
    if (entry < 0) {
        if (id == DISPID_WINDOWREGISTERED || id == DISPID_WINDOWREVOKED)
            PostMessageA(gWatchWnd, WM_WATCH_LOOK, 0, 0);
        return S_OK;
    }
    if (id == DISPID_NAVIGATECOMPLETE2)
        OnNavigateComplete(entry, connection, params);
    else if (id == DISPID_ONQUIT)
        OnQuit(entry, connection);
    return S_OK;
}

// --- Resolving the folder a browser shows ---------------------------------------------

// 1 when an ID list made by another party is well formed within the block that holds it:
// across processes a broken one can arrive with success reported.
static int IdListIsSound(PCIDLIST_ABSOLUTE list)
{
    IMalloc* malloc = nullptr;
    if (FAILED(CoGetMalloc(1, &malloc)))
        return 0;
    const SIZE_T size = malloc->GetSize(const_cast<ITEMIDLIST_ABSOLUTE*>(list));
    malloc->Release();
    const BYTE* bytes = reinterpret_cast<const BYTE*>(list);
    SIZE_T at = 0;
    for (;;) {
        if (size == static_cast<SIZE_T>(-1) || at + sizeof(USHORT) > size)
            return 0;
        USHORT cb = 0;
        CopyMemory(&cb, bytes + at, sizeof cb);
        if (cb == 0)
            return 1;
        if (cb < sizeof(USHORT))
            return 0;
        at += cb;
    }
}

// The folder by its ID list, the last resort: only a sound list that names an existing
// folder of the file system.
static int PathFromIdList(IFolderView* view, WCHAR* wide)
{
    IPersistFolder2* folder = nullptr;
    if (FAILED(view->GetFolder(IID_IPersistFolder2, reinterpret_cast<void**>(&folder))))
        return 0;
    PIDLIST_ABSOLUTE list = nullptr;
    int found = 0;
    if (folder->GetCurFolder(&list) == S_OK && list != nullptr) {
        if (IdListIsSound(list) && SHGetPathFromIDListW(list, wide)) {
            const DWORD attributes = GetFileAttributesW(wide);
            found = attributes != INVALID_FILE_ATTRIBUTES &&
                    (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        }
        CoTaskMemFree(list);
    }
    folder->Release();
    if (!found)
        wide[0] = L'\0';
    return found;
}

static int CopyWide(const WCHAR* from, WCHAR* to)
{
    int i = 0;
    for (; i < kWidePathSize - 1 && from[i] != L'\0'; ++i)
        to[i] = from[i];
    to[i] = L'\0';
    return from[i] == L'\0';
}

static int PathFromUrl(const WCHAR* url, WCHAR* wide)
{
    // The platform-free reader works on char16_t; WCHAR is the same 16-bit unit.
    static char16_t unit[kUrlSize];
    static char16_t path[kWidePathSize];
    int i = 0;
    for (; i < kUrlSize - 1 && url[i] != L'\0'; ++i)
        unit[i] = static_cast<char16_t>(url[i]);
    unit[i] = u'\0';
    if (url[i] != L'\0' || !FileUrlToPath(unit, path))
        return 0;
    for (i = 0; path[i] != u'\0'; ++i)
        wide[i] = static_cast<WCHAR>(path[i]);
    wide[i] = L'\0';
    return 1;
}

// The folder a browser shows, in the ANSI code page; empty for a virtual folder, one the
// code page cannot spell, or one that cannot be told. `tab` gets the tab's window when
// the browser names it. Returns 0 when the shell has gone away.
static int ResolveFolder(IWebBrowser2* browser, HWND* tab, char* path)
{
    WCHAR wide[kWidePathSize];
    wide[0] = L'\0';
    path[0] = '\0';
    int gone = 0;
    // Through the shell browser: the active view's folder and its file-system path.
    IFolderView* view = nullptr;
    IServiceProvider* services = nullptr;
    HRESULT hr = browser->QueryInterface(IID_IServiceProvider, reinterpret_cast<void**>(&services));
    gone |= IsDisconnected(hr);
    if (SUCCEEDED(hr)) {
        IShellBrowser* shell = nullptr;
        hr = services->QueryService(SID_STopLevelBrowser, IID_IShellBrowser,
                                    reinterpret_cast<void**>(&shell));
        gone |= IsDisconnected(hr);
        if (SUCCEEDED(hr)) {
            HWND window = nullptr;
            if (SUCCEEDED(shell->GetWindow(&window)) && window != nullptr)
                *tab = window;
            IShellView* shown = nullptr;
            if (SUCCEEDED(shell->QueryActiveShellView(&shown))) {
                shown->QueryInterface(IID_IFolderView, reinterpret_cast<void**>(&view));
                shown->Release();
            }
            shell->Release();
        }
        services->Release();
    }
    if (view != nullptr) {
        IShellItem* item = nullptr;
        if (SUCCEEDED(view->GetFolder(IID_IShellItem, reinterpret_cast<void**>(&item)))) {
            LPWSTR name = nullptr;
            if (SUCCEEDED(item->GetDisplayName(SIGDN_FILESYSPATH, &name)) && name != nullptr) {
                if (!CopyWide(name, wide))
                    wide[0] = L'\0';
                CoTaskMemFree(name);
            }
            item->Release();
        }
    }
    // Else the browser's location, a file: URL.
    if (wide[0] == L'\0') {
        BSTR url = nullptr;
        hr = browser->get_LocationURL(&url);
        gone |= IsDisconnected(hr);
        if (SUCCEEDED(hr) && url != nullptr)
            PathFromUrl(url, wide);
        SysFreeString(url);
    }
    // Else, where neither answered, the ID list, checked.
    if (wide[0] == L'\0' && view != nullptr)
        PathFromIdList(view, wide);
    if (view != nullptr)
        view->Release();
    if (wide[0] != L'\0' && WideToAnsiPath(wide, path, kPathSize) && !IsPathText(path))
        path[0] = '\0';
    return !gone;
}

// --- Reporting a navigation to the main window ----------------------------------------

static void Report(HWND window, const char* path)
{
    EnterCriticalSection(&gShellLock);
    if (gInboxCount == kInboxSize) {
        // The main thread has not taken them for a while: the oldest goes.
        for (int i = 1; i < kInboxSize; ++i)
            gInbox[i - 1] = gInbox[i];
        --gInboxCount;
    }
    gInbox[gInboxCount].window = window;
    CopyPath(gInbox[gInboxCount].path, path);
    ++gInboxCount;
    LeaveCriticalSection(&gShellLock);
    PostMessageA(gMainWnd, WM_TK_SHELLNAV, 0, 0);
}

// When a navigation counts, as the user sees it: a tab in the background does not (the
// user is not looking at it); in the foreground window it does, as for the address-bar
// hook; and so does the first folder of a window that has just opened, which need not be
// the foreground window yet when its folder is shown.
static int NavigationCounts(HWND tab, HWND root, int opening)
{
    // A window that is opening may not be shown yet when its first folder is; a new tab
    // in a shown window that stays hidden is one opened in the background.
    if (opening)
        return IsWindowVisible(tab) || !IsWindowVisible(root);
    return IsWindowVisible(tab) && GetForegroundWindow() == root;
}

// Stores the folder an entry shows, and the tab's window where the browser named it.
// Returns the entry's window (that tab, or the one known before) and its top-level window.
static HWND StoreFolder(int entry, HWND tab, const char* path, HWND* root)
{
    EnterCriticalSection(&gShellLock);
    ShellEntry* e = &gTable.entries[entry];
    if (tab != nullptr)
        e->window = tab;
    CopyPath(e->path, path);
    tab = static_cast<HWND>(e->window);
    *root = static_cast<HWND>(e->root);
    LeaveCriticalSection(&gShellLock);
    return tab;
}

// Reports a tab's folder, unless it was reported for the tab a moment ago: one navigation
// can be looked at twice. The first folder of a window that has just opened is reported
// when the window is followed, and its own event may come after. And the folder is asked
// for after the event: an event looked at once the tab has navigated again reads the later
// folder, which that navigation's own event then reports too.
static void ReportOnce(Followed* f, HWND tab, const char* path)
{
    const DWORD now = GetTickCount();
    if (f->reported[0] != '\0' && SamePath(f->reported, path) &&
        now - f->reportedTick < kSameNavigationMs)
        return;
    CopyPath(f->reported, path);
    f->reportedTick = now;
    Report(tab, path);
}

// NavigateComplete2, inside the shell's call: only noted here. The folder is asked for
// once the call has returned, so that the shell is never kept waiting on Trailkeep and no
// call of Trailkeep's runs nested inside one of the shell's.
static void OnNavigateComplete(int entry, int connection, DISPPARAMS* params)
{
    if (entry < 0 || entry >= kShellEntries)
        return;
    Followed* f = &gFollowed[entry];
    if (f->browser == nullptr || f->connection != connection)
        return;
    // Frames inside a page report their own navigations; only the browser's own counts.
    // (IUnknown of a proxy is answered in this process.)
    if (params != nullptr && params->cArgs == 2 && params->rgvarg[1].vt == VT_DISPATCH &&
        params->rgvarg[1].pdispVal != nullptr) {
        IUnknown* who = nullptr;
        IUnknown* mine = nullptr;
        params->rgvarg[1].pdispVal->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&who));
        f->browser->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&mine));
        const int other = who != nullptr && mine != nullptr && who != mine;
        if (who != nullptr)
            who->Release();
        if (mine != nullptr)
            mine->Release();
        if (other)
            return;
    }
    f->sawEvent = 1;
    PostMessageA(gWatchWnd, WM_WATCH_NAVIGATED, static_cast<WPARAM>(entry), connection);
}

// The folder a followed tab has navigated to, reported when the navigation counts.
static void OnNavigated(int entry, int connection)
{
    if (entry < 0 || entry >= kShellEntries)
        return;
    Followed* f = &gFollowed[entry];
    if (f->browser == nullptr || f->connection != connection)
        return;
    IWebBrowser2* browser = f->browser;
    browser->AddRef();  // calls below may let other messages in, which may end the entry
    HWND tab = nullptr;
    char path[kPathSize];
    const int alive = ResolveFolder(browser, &tab, path);
    browser->Release();
    if (!alive) {
        PostMessageA(gWatchWnd, WM_WATCH_LOOK, 0, 0);
        return;
    }
    if (f->connection != connection || f->browser == nullptr)
        return;
    HWND root = nullptr;
    tab = StoreFolder(entry, tab, path, &root);
    if (path[0] == '\0')
        return;  // a virtual folder, or one that cannot be told: not recorded
    if (NavigationCounts(tab, root, 0))
        ReportOnce(f, tab, path);
}

// --- Following windows ---------------------------------------------------------------

static int IsFolderWindow(HWND root)
{
    char cls[kClassSize];
    cls[0] = '\0';
    GetClassNameA(root, cls, kClassSize);
    return IsExplorerClass(cls);
}

static void Unfollow(int entry)
{
    Followed* f = &gFollowed[entry];
    if (f->point != nullptr) {
        f->point->Unadvise(f->cookie);  // fails harmlessly once the shell has gone
        f->point->Release();
    }
    if (f->browser != nullptr)
        f->browser->Release();
    f->point = nullptr;
    f->browser = nullptr;
    f->cookie = 0;
    f->connection = 0;
    gTabSinks[entry].connection = -1;
    EnterCriticalSection(&gShellLock);
    ClearShellEntry(&gTable.entries[entry]);
    LeaveCriticalSection(&gShellLock);
}

// OnQuit: the tab closes, and the shell drops its sinks right after this call. The
// connection ends inside the call, while the shell still takes calls for the tab, unless
// a handler of the watcher's own is under way (it may be using the entry): then once
// that has returned.
static void OnQuit(int entry, int connection)
{
    if (entry < 0 || entry >= kShellEntries || gFollowed[entry].browser == nullptr ||
        gFollowed[entry].connection != connection)
        return;
    if (gInHandler)
        PostMessageA(gWatchWnd, WM_WATCH_QUIT, static_cast<WPARAM>(entry), connection);
    else
        Unfollow(entry);
}

// Follows one browser of the list, unless it is followed already. Returns 0 when the
// shell has gone away.
static int Follow(IWebBrowser2* browser)
{
    IUnknown* identity = nullptr;
    HRESULT hr = browser->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity));
    if (FAILED(hr))
        return !IsDisconnected(hr);
    identity->Release();  // the browser reference kept below keeps the identity alive
    EnterCriticalSection(&gShellLock);
    int entry = FindShellEntry(&gTable, identity);
    if (entry >= 0)
        gTable.entries[entry].mark = gTable.generation;
    LeaveCriticalSection(&gShellLock);
    if (entry >= 0)
        return 1;

    SHANDLE_PTR handle = 0;
    hr = browser->get_HWND(&handle);
    if (FAILED(hr))
        return !IsDisconnected(hr);
    HWND root = GetAncestor(reinterpret_cast<HWND>(handle), GA_ROOT);
    if (root == nullptr || !IsFolderWindow(root))
        return 1;
    EnterCriticalSection(&gShellLock);
    entry = AddShellEntry(&gTable, identity);
    if (entry >= 0) {
        gTable.entries[entry].root = root;
        gTable.entries[entry].window = root;
    }
    LeaveCriticalSection(&gShellLock);
    if (entry < 0)
        return 1;  // the table is full: this window is not followed

    Followed* f = &gFollowed[entry];
    f->browser = browser;
    browser->AddRef();
    f->connection = ++gConnections;
    f->sawEvent = 0;
    f->quit = 0;
    f->reported[0] = '\0';
    EventSink* sink = &gTabSinks[entry];
    sink->events = &DIID_DWebBrowserEvents2;
    sink->entry = entry;
    sink->connection = f->connection;
    IConnectionPointContainer* points = nullptr;
    hr = browser->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&points));
    if (SUCCEEDED(hr)) {
        hr = points->FindConnectionPoint(DIID_DWebBrowserEvents2, &f->point);
        if (SUCCEEDED(hr) && FAILED(hr = f->point->Advise(sink, &f->cookie))) {
            f->point->Release();
            f->point = nullptr;
        }
        points->Release();
    }
    if (IsDisconnected(hr)) {
        Unfollow(entry);
        return 0;
    }
    // What it shows now. A window already open when the watcher connected is only
    // followed; a window that opened since shows its first folder: a navigation.
    const int connection = f->connection;
    HWND tab = nullptr;
    char path[kPathSize];
    if (!ResolveFolder(browser, &tab, path))
        return 0;
    if (f->connection != connection)
        return 1;  // it quit meanwhile
    tab = StoreFolder(entry, tab, path, &root);
    if (!gQuietEnumeration && !f->sawEvent && path[0] != '\0' && NavigationCounts(tab, root, 1))
        ReportOnce(f, tab, path);
    return 1;
}

static void UnfollowAll(void)
{
    for (int i = 0; i < kShellEntries; ++i) {
        if (gFollowed[i].browser != nullptr)
            Unfollow(i);
    }
}

static void ReleaseList(void)
{
    UnfollowAll();
    if (gListPoint != nullptr) {
        gListPoint->Unadvise(gListCookie);
        gListPoint->Release();
    }
    if (gList != nullptr)
        gList->Release();
    gListPoint = nullptr;
    gList = nullptr;
    gListCookie = 0;
    gListSink.connection = -1;
    EnterCriticalSection(&gShellLock);
    gListEnumerates = 0;
    LeaveCriticalSection(&gShellLock);
}

// One pass over the list. Returns 0 when the shell has gone away.
static int EnumerateOnce(void)
{
    long count = 0;
    HRESULT hr = gList->get_Count(&count);
    if (FAILED(hr)) {
        // A list without enumeration (Wine's own) can still find windows by folder.
        EnterCriticalSection(&gShellLock);
        gListEnumerates = 0;
        LeaveCriticalSection(&gShellLock);
        return !IsDisconnected(hr);
    }
    EnterCriticalSection(&gShellLock);
    gListEnumerates = 1;
    BeginEnumeration(&gTable);
    LeaveCriticalSection(&gShellLock);
    for (long i = 0; i < count; ++i) {
        VARIANT index;
        VariantInit(&index);
        index.vt = VT_I4;
        index.lVal = i;
        IDispatch* item = nullptr;
        hr = gList->Item(index, &item);
        if (IsDisconnected(hr))
            return 0;
        if (hr != S_OK || item == nullptr)
            continue;
        IWebBrowser2* browser = nullptr;
        hr = item->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&browser));
        item->Release();
        if (IsDisconnected(hr))
            return 0;
        if (SUCCEEDED(hr)) {
            const int alive = Follow(browser);
            browser->Release();
            if (!alive)
                return 0;
        }
    }
    // Windows the list no longer holds: closed, or revoked without a word.
    for (;;) {
        EnterCriticalSection(&gShellLock);
        const int stale = NextStaleEntry(&gTable, 0);
        LeaveCriticalSection(&gShellLock);
        if (stale < 0)
            break;
        Unfollow(stale);
    }
    return 1;
}

static int Connect(void);

static void StartOver(void)
{
    ReleaseList();
    Connect();
}

static void Enumerate(void)
{
    if (gList == nullptr)
        return;
    if (gEnumerating) {
        gLookAgain = 1;  // calls of the enumeration under way let this event in
        return;
    }
    gEnumerating = 1;
    int alive = 1;
    do {
        gLookAgain = 0;
        alive = EnumerateOnce() && !gStartOverWanted;
    } while (alive && gLookAgain);
    gQuietEnumeration = 0;
    gEnumerating = 0;
    gStartOverWanted = 0;
    if (!alive) {
        StartOver();
        return;
    }
    for (int i = 0; i < kShellEntries; ++i) {
        if (gFollowed[i].browser != nullptr && gFollowed[i].quit)
            Unfollow(i);
    }
}

// Connects to the shell's window list and its events. Returns 0 when there is none.
static int Connect(void)
{
    KillTimer(gWatchWnd, kTimerLookAgain);
    HRESULT hr = CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_ALL, IID_IShellWindows,
                                  reinterpret_cast<void**>(&gList));
    if (FAILED(hr) || gList == nullptr) {
        gList = nullptr;
        return 0;
    }
    gRetry = 0;
    KillTimer(gWatchWnd, kTimerRetry);
    // Windows open now are followed, not recorded; then the events, then once more for a
    // window that opened in between, which is new.
    gQuietEnumeration = 1;
    Enumerate();
    gListSink.events = &DIID_DShellWindowsEvents;
    gListSink.entry = -1;
    gListSink.connection = ++gConnections;
    IConnectionPointContainer* points = nullptr;
    if (SUCCEEDED(gList->QueryInterface(IID_IConnectionPointContainer,
                                        reinterpret_cast<void**>(&points)))) {
        if (SUCCEEDED(points->FindConnectionPoint(DIID_DShellWindowsEvents, &gListPoint)) &&
            FAILED(gListPoint->Advise(&gListSink, &gListCookie))) {
            gListPoint->Release();
            gListPoint = nullptr;
        }
        points->Release();
    }
    if (gList != nullptr)
        Enumerate();
    // A list that cannot be enumerated is asked by ID list when the user chooses a
    // folder; the shell's parsing of paths is loaded now, not while the main thread waits.
    if (gList != nullptr && !gListEnumerates) {
        PIDLIST_ABSOLUTE warm = nullptr;
        if (SUCCEEDED(SHParseDisplayName(L"C:\\", nullptr, &warm, 0, nullptr)))
            CoTaskMemFree(warm);
    }
    return 1;
}

// --- Questions of the main thread ------------------------------------------------------

// The folder window that Windows' own list holds for a folder (FindWindowSW by ID list).
static HWND FindInList(const char* path)
{
    if (gList == nullptr)
        return nullptr;
    WCHAR wide[kWidePathSize];
    if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, path, -1, wide, kWidePathSize) <= 0)
        return nullptr;
    PIDLIST_ABSOLUTE list = nullptr;
    if (FAILED(SHParseDisplayName(wide, nullptr, &list, 0, nullptr)) || list == nullptr)
        return nullptr;
    HWND found = nullptr;
    // The location as VT_ARRAY | VT_UI1, the ID list's bytes: the form Windows' own
    // InitVariantFromIDList makes and every list implementation takes.
    const UINT size = ILGetSize(list);
    SAFEARRAY* bytes = SafeArrayCreateVector(VT_UI1, 0, size);
    if (bytes != nullptr) {
        CopyMemory(bytes->pvData, list, size);
        VARIANT location, root;
        VariantInit(&location);
        VariantInit(&root);
        location.vt = VT_ARRAY | VT_UI1;
        location.parray = bytes;
        // Folder windows register as SWC_EXPLORER or, on later Windows, SWC_BROWSER.
        static const int kClasses[] = {SWC_EXPLORER, SWC_BROWSER};
        for (int cls : kClasses) {
            long handle = 0;
            IDispatch* unused = nullptr;
            const HRESULT hr = gList->FindWindowSW(&location, &root, cls, &handle, 0, &unused);
            if (unused != nullptr)
                unused->Release();
            if (IsDisconnected(hr))
                gStartOverWanted = 1;
            if (hr == S_OK && handle != 0) {
                found = static_cast<HWND>(LongToHandle(handle));
                break;
            }
        }
        VariantClear(&location);  // destroys the array too
    }
    CoTaskMemFree(list);
    return IsWindow(found) ? found : nullptr;
}

static int NavigateFollowed(HWND root, const char* path)
{
    // The visible tab of that window, else any of its tabs.
    int entry = -1;
    EnterCriticalSection(&gShellLock);
    for (int i = 0; i < kShellEntries; ++i) {
        const ShellEntry* e = &gTable.entries[i];
        if (e->browser == nullptr || e->root != root)
            continue;
        if (entry < 0 || IsWindowVisible(static_cast<HWND>(e->window)))
            entry = i;
    }
    LeaveCriticalSection(&gShellLock);
    if (entry < 0 || gFollowed[entry].browser == nullptr)
        return 0;
    WCHAR wide[kWidePathSize];
    if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, path, -1, wide, kWidePathSize) <= 0)
        return 0;
    VARIANT target, empty;
    VariantInit(&target);
    VariantInit(&empty);
    target.vt = VT_BSTR;
    target.bstrVal = SysAllocString(wide);
    if (target.bstrVal == nullptr)
        return 0;
    IWebBrowser2* browser = gFollowed[entry].browser;
    browser->AddRef();
    const HRESULT hr = browser->Navigate2(&target, &empty, &empty, &empty, &empty);
    browser->Release();
    VariantClear(&target);
    if (IsDisconnected(hr))
        PostMessageA(gWatchWnd, WM_WATCH_LOOK, 0, 0);
    return SUCCEEDED(hr);
}

static void Answer(void)
{
    EnterCriticalSection(&gShellLock);
    Question q = gQuestion;
    LeaveCriticalSection(&gShellLock);
    HWND found = nullptr;
    int done = 0;
    // Questions that come in while an enumeration waits on the shell are not answered
    // from inside it: the main thread goes on without the answer.
    if (!gEnumerating) {
        if (q.kind == kAskFind)
            found = FindInList(q.path);
        else if (q.kind == kAskNavigate)
            done = NavigateFollowed(q.window, q.path);
    }
    EnterCriticalSection(&gShellLock);
    if (gQuestion.serial == q.serial) {
        gQuestion.found = found;
        gQuestion.done = done;
        gQuestion.answered = q.serial;
        SetEvent(gAnswered);
    }
    LeaveCriticalSection(&gShellLock);
    if (gStartOverWanted && !gEnumerating) {
        gStartOverWanted = 0;
        StartOver();
    }
}

// Asks the watcher and waits at most kAnswerWaitMs. Returns 1 with the answer in *answer.
static int Ask(int kind, HWND window, const char* path, Question* answer)
{
    if (gWatchWnd == nullptr)
        return 0;
    EnterCriticalSection(&gShellLock);
    const LONG serial = ++gQuestion.serial;
    gQuestion.kind = kind;
    gQuestion.window = window;
    CopyPath(gQuestion.path, path);
    LeaveCriticalSection(&gShellLock);
    ResetEvent(gAnswered);
    if (!PostMessageA(gWatchWnd, WM_WATCH_ASK, 0, 0))
        return 0;
    const DWORD deadline = GetTickCount() + kAnswerWaitMs;
    for (;;) {
        const DWORD now = GetTickCount();
        const DWORD left = static_cast<LONG>(deadline - now) > 0 ? deadline - now : 0;
        WaitForSingleObject(gAnswered, left);
        EnterCriticalSection(&gShellLock);
        const int got = gQuestion.answered == serial;
        if (got)
            *answer = gQuestion;
        LeaveCriticalSection(&gShellLock);
        if (got)
            return 1;
        if (left == 0)
            return 0;
    }
}

// --- The watcher thread -----------------------------------------------------------------

static const int kRetryDelaysMs[] = {1000, 3000, 10000};

static void OnTaskbarCreated(void)
{
    // Explorer started again: whatever the watcher holds belongs to the old one.
    if (gEnumerating) {
        gStartOverWanted = 1;
        return;
    }
    ReleaseList();
    if (!Connect()) {
        // Its list may come a little after its announcement.
        gRetry = 0;
        SetTimer(gWatchWnd, kTimerRetry, kRetryDelaysMs[0], nullptr);
    }
}

static void OnRetryTimer(void)
{
    KillTimer(gWatchWnd, kTimerRetry);
    if (gList != nullptr || Connect())
        return;
    if (++gRetry < static_cast<int>(sizeof kRetryDelaysMs / sizeof kRetryDelaysMs[0]))
        SetTimer(gWatchWnd, kTimerRetry, kRetryDelaysMs[gRetry], nullptr);
}

static LRESULT HandleWatch(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);

static LRESULT CALLBACK WatchWndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    ++gInHandler;
    const LRESULT result = HandleWatch(wnd, msg, wParam, lParam);
    --gInHandler;
    return result;
}

static LRESULT HandleWatch(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg != 0 && msg == gTaskbarCreated) {
        OnTaskbarCreated();
        return 0;
    }
    switch (msg) {
    case WM_WATCH_LOOK:
        Enumerate();
        // A window may register only after the event that announced it.
        SetTimer(wnd, kTimerLookAgain, kLookAgainMs, nullptr);
        return 0;
    case WM_WATCH_QUIT: {
        const int entry = static_cast<int>(wParam);
        // The tab has gone: its connection ends now, or as soon as the enumeration under
        // way, which may be using it, is over.
        if (entry >= 0 && entry < kShellEntries && gFollowed[entry].browser != nullptr &&
            gFollowed[entry].connection == static_cast<int>(lParam)) {
            if (gEnumerating)
                gFollowed[entry].quit = 1;
            else
                Unfollow(entry);
        }
        return 0;
    }
    case WM_WATCH_NAVIGATED:
        OnNavigated(static_cast<int>(wParam), static_cast<int>(lParam));
        return 0;
    case WM_WATCH_ASK:
        Answer();
        return 0;
    case WM_WATCH_STOP:
        PostQuitMessage(0);
        return 0;
    case WM_TIMER:
        if (wParam == kTimerLookAgain) {
            KillTimer(wnd, kTimerLookAgain);
            Enumerate();
        } else if (wParam == kTimerRetry) {
            OnRetryTimer();
        }
        return 0;
    }
    return DefWindowProcA(wnd, msg, wParam, lParam);
}

static DWORD WINAPI WatcherThreadProc(LPVOID ready)
{
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    WNDCLASSA wc;
    ZeroMemory(&wc, sizeof wc);
    wc.lpfnWndProc = WatchWndProc;
    wc.hInstance = gInstance;
    wc.lpszClassName = "TrailkeeperShellWatch";
    RegisterClassA(&wc);
    // A top-level window, hidden: Explorer's "TaskbarCreated" is broadcast to those, and
    // a message-only window would not get it.
    gWatchWnd = CreateWindowExA(0, wc.lpszClassName, "", WS_POPUP, 0, 0, 0, 0, nullptr,
                                nullptr, gInstance, nullptr);
    gTaskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    SetEvent(static_cast<HANDLE>(ready));
    if (gWatchWnd != nullptr && SUCCEEDED(com)) {
        Connect();
        MSG msg;
        while (GetMessageA(&msg, nullptr, 0, 0) > 0)
            DispatchMessageA(&msg);
        ReleaseList();
    }
    if (gWatchWnd != nullptr)
        DestroyWindow(gWatchWnd);
    if (SUCCEEDED(com))
        CoUninitialize();
    return 0;
}

void StartShellWatcher(void)
{
    InitializeCriticalSection(&gShellLock);
    gAnswered = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (gAnswered == nullptr || ready == nullptr) {
        if (ready != nullptr)
            CloseHandle(ready);
        return;
    }
    DWORD id = 0;
    gWatcherThread = CreateThread(nullptr, 0, WatcherThreadProc, ready, 0, &id);
    // Until its window exists the watcher cannot be asked anything; it is made at once.
    if (gWatcherThread != nullptr)
        WaitForSingleObject(ready, INFINITE);
    CloseHandle(ready);
}

void AskShellWatcherToStop(void)
{
    if (gWatcherThread == nullptr || gStopAsked != 0)
        return;
    gStopAsked = GetTickCount() | 1;
    if (gWatchWnd != nullptr)
        PostMessageA(gWatchWnd, WM_WATCH_STOP, 0, 0);
}

void StopShellWatcher(void)
{
    if (gWatcherThread == nullptr)
        return;
    AskShellWatcherToStop();
    // The time since it was asked counts: the shut-down's other waits overlap this one.
    const DWORD spent = GetTickCount() - gStopAsked;
    const DWORD waited =
        WaitForSingleObject(gWatcherThread, spent < kStopWaitMs ? kStopWaitMs - spent : 0);
    gStopAsked = 0;
    CloseHandle(gWatcherThread);
    gWatcherThread = nullptr;
    gWatchWnd = nullptr;
    // A watcher that did not end waits on a hung shell, holding no lock of Trailkeep's
    // but its own: that one stays, and the process ends with the thread in it.
    if (waited == WAIT_OBJECT_0) {
        DeleteCriticalSection(&gShellLock);
        CloseHandle(gAnswered);
        gAnswered = nullptr;
    }
}

int TakeShellNavigation(HWND* window, char* path)
{
    if (gWatcherThread == nullptr)
        return 0;
    EnterCriticalSection(&gShellLock);
    const int taken = gInboxCount > 0;
    if (taken) {
        *window = gInbox[0].window;
        CopyPath(path, gInbox[0].path);
        for (int i = 1; i < gInboxCount; ++i)
            gInbox[i - 1] = gInbox[i];
        --gInboxCount;
    }
    LeaveCriticalSection(&gShellLock);
    return taken;
}

int ShellWindowShows(HWND window, const char* path)
{
    if (gWatcherThread == nullptr)
        return kUnknownWindow;
    EnterCriticalSection(&gShellLock);
    const int shows = WindowShowsPath(&gTable, window, path);
    LeaveCriticalSection(&gShellLock);
    return shows;
}

HWND FindShellWindowShowing(const char* path)
{
    if (gWatcherThread == nullptr)
        return nullptr;
    EnterCriticalSection(&gShellLock);
    HWND found = nullptr;
    const int entry = FindEntryShowing(&gTable, path);
    if (entry >= 0)
        found = static_cast<HWND>(gTable.entries[entry].window);
    const int complete = gListEnumerates;
    LeaveCriticalSection(&gShellLock);
    if (found != nullptr || complete)
        return found;
    // A list that cannot be enumerated is asked for the folder itself.
    Question answer;
    return Ask(kAskFind, nullptr, path, &answer) ? answer.found : nullptr;
}

int CopyShellTable(ShellEntry* entries)
{
    if (gWatcherThread == nullptr)
        return 0;
    EnterCriticalSection(&gShellLock);
    CopyMemory(entries, gTable.entries, sizeof gTable.entries);
    LeaveCriticalSection(&gShellLock);
    return kShellEntries;
}

int NavigateShellWindow(HWND root, const char* path)
{
    if (gWatcherThread == nullptr)
        return 0;
    EnterCriticalSection(&gShellLock);
    const int known = FindEntryOfWindow(&gTable, root) >= 0;
    LeaveCriticalSection(&gShellLock);
    if (!known)
        return 0;
    // Forward first: the navigation counts as the user's in the foreground window.
    SetForegroundWindow(root);
    Question answer;
    return Ask(kAskNavigate, root, path, &answer) && answer.done;
}
