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
// Explorer may be busy, hung or gone at any call. So: an event handler only notes what
// happened, and posts or asks a reader (neither waits); the list is read as a snapshot;
// a failure of one window drops or passes over that window alone; a refused call is
// tried again for two seconds; a call unanswered for kHungCallMs is cancelled; a tab's
// folder is read on a reader thread, which answers with a message; and what may wait on
// the network (parsing a path, asking a share for a folder's attributes) runs on a
// worker thread. What each outcome leads to is decided in shellpass.cpp; the calls
// themselves are bounded in shellcalls.cpp.
//
// While nothing happens the thread sleeps in GetMessage: no timer runs. A timer runs only
// shortly after a list event (to look again for a window that registers late) and, while
// no list can be had, at a growing interval up to a minute.
#include <windows.h>

#include <exdisp.h>
#include <exdispid.h>
#include <shlobj.h>

#include <new>

#include "shellwatch.h"

#include "peers.h"
#include "protocol.h"
#include "shellcalls.h"
#include "shellnav.h"
#include "wide.h"
#include "shellpass.h"
#include "trailkeep.h"

enum {
    kAnswerWaitMs = 1000,    // the longest the main thread waits for the watcher
    kStopWaitMs = 1500,      // the longest the shut-down waits for the watcher to end
    kLookAgainMs = 1000,     // after a list event, once more: windows register late...
    kLookLastMs = 1500,      // ...and a last time, 2.5 s after it (a tab's item can come
                             // up to 2 s after its registration)
    kHungSkipMs = 30000,     // a window that hung is not called again for this long
    kInboxSize = 16,         // navigations not yet taken by the main thread
    kSnapshotSize = 2 * kShellEntries,
    kSinks = 2 * kShellEntries + 2,  // event sinks: one per connection, freed by the shell
    kHungWindows = 8,
    kTimerLookAgain = 1,
    kTimerRetry = 2,
    kClassSize = 20,
};

// The watcher window's messages.
enum {
    WM_WATCH_LOOK = WM_APP + 20,  // the list changed: look at it
    WM_WATCH_NAVIGATED,           // a browser navigated: wParam entry, lParam its connection
    WM_WATCH_CONNECT,             // the list has gone: connect again
    WM_WATCH_ASK,                 // the main thread asks a question (gQuestion)
    WM_WATCH_TICK,                // the message filter's clock (see ArmCallTick)
    WM_WATCH_READ,                // a reader's answer: wParam the reader
    WM_WATCH_STOP,                // end the thread
};

// Questions of the main thread.
enum { kAskFind = 1, kAskNavigate = 2, kAskOpenAnew = 3 };

// --- State shared with the main thread, under gShellLock -------------------------------
static CRITICAL_SECTION gShellLock;
static ShellTable gTable;            // the followed tabs and the folders they show
static int gListEnumerates;          // the list can be enumerated (and so the table holds
                                     // every folder window)
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
    HWND window;     // kAskNavigate: the folder window; kAskOpenAnew: the tab
    LONG answered;   // the serial of the last answer
    HWND found;      // kAskFind: the answer
    int done;        // kAskNavigate, kAskOpenAnew: the answer
};
static Question gQuestion;
static HANDLE gAnswered;             // auto-reset: an answer stands in gQuestion

// --- The watcher thread's own state ---------------------------------------------------
class EventSink;
static HANDLE gWatcherThread;
static HWND gWatchWnd;               // the watcher's hidden top-level window
static UINT gTaskbarCreated;         // Explorer's broadcast when it (re)starts
static IShellWindows* gList;
static IConnectionPoint* gListPoint;
static DWORD gListCookie;
static EventSink* gListSink;
static unsigned gListEvents;         // list events so far: a pass tells those during it
static int gEnumerating;             // a pass is under way (calls may let events in)
static int gLookAgain;               // a list event arrived during it
static int gStartOverWanted;         // Explorer started again, or its list went, meanwhile
static int gQuietPass;               // the first pass after connecting: windows already
                                     // open are followed, not recorded
static int gLooksLeft;               // looks still to come after a list event
static int gRetryFailures;           // tries to connect that failed in a row
static int gConnections;             // counts connections, so late events are told apart
static int gInHandler;               // a handler of the watcher's own runs
static ForgottenWindows gForgotten;  // windows once followed, then dropped
static DWORD gStopAsked;             // when the watcher was asked to end (main thread)

// Per followed entry (same index as the table), only on the watcher thread.
struct Followed {
    IWebBrowser2* browser;
    IConnectionPoint* point;  // null while its events are not had (Advise refused)
    DWORD cookie;
    EventSink* sink;
    DWORD shared;        // the browser in the global interface table, for the readers
    int connection;      // gConnections when it was followed
    int sawEvent;        // a navigation event arrived since it was connected
    DWORD hungTick;      // when a call to it was cancelled; 0 when it answers
    DWORD reportedTick;  // when its folder was last reported
    PathSlot reported;   // that folder; empty when none was reported
    int readWanted;      // a read that no reader was free for: 1 + what for; 0 none
};
static Followed gFollowed[kShellEntries];

// Windows whose calls were cancelled before they were followed: passed over a while.
struct HungWindow {
    void* identity;
    DWORD tick;
};
static HungWindow gHung[kHungWindows];
static int gHungNext;



// --- Event sinks: one per connection ----------------------------------------------------
// They live in static storage, as long as the process: a reference the shell still holds
// after the connection ended finds a live object, which then ignores the call. A sink is
// taken again only once the shell has released it, so that a late event of an ended
// connection can never reach a later one.
class EventSink : public IDispatch {
public:
    const IID* events = nullptr;  // the event interface it answers for
    int entry = -1;               // the followed entry, -1 for the list
    int connection = 0;           // the connection it serves; 0 when free or ended
    int taken = 0;                // it serves, or served, a connection the shell holds

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
    int IsFree() const { return connection == 0 && refs_ == 0; }

private:
    LONG refs_ = 0;
};

// Each sink is constructed when the watcher first takes one. An array of objects with
// virtual functions, constructed at compile time, would be stored whole in the program
// file (their table pointers); zero-filled storage is not.
union SinkSlot {
    constexpr SinkSlot() : unused() {}
    char unused;
    EventSink sink;
};
static SinkSlot gSinks[kSinks];
static int gSinksMade;

static EventSink* TakeSink(const IID* events, int entry, int connection)
{
    if (!gSinksMade) {
        for (SinkSlot& slot : gSinks)
            new (&slot.sink) EventSink();
        gSinksMade = 1;
    }
    for (SinkSlot& slot : gSinks) {
        EventSink& sink = slot.sink;
        if (sink.IsFree()) {
            sink.events = events;
            sink.entry = entry;
            sink.connection = connection;
            return &sink;
        }
    }
    return nullptr;  // every sink still held by the shell: not followed for now
}

static void OnQuit(int entry, int connection);

// What a read of a tab's folder is for.
enum { kReadNavigated, kReadFollowed, kReadFollowedQuietly };

// Asks a reader for a shared entry's folder. With every reader busy, the read waits for
// the next one that answers (AskWaitingReads); a navigation's read outranks a first one.
static void AskFor(int entry, int why)
{
    Followed* f = &gFollowed[entry];
    if (AskReader(f->shared, entry, f->connection, why))
        f->readWanted = 0;
    else if (f->readWanted == 0 || why == kReadNavigated)
        f->readWanted = 1 + why;
}

// The reads that waited for a reader, while readers are free.
static void AskWaitingReads(void)
{
    for (int i = 0; i < kShellEntries; ++i) {
        Followed* f = &gFollowed[i];
        if (f->readWanted != 0 && f->browser != nullptr && f->shared != 0) {
            AskFor(i, f->readWanted - 1);
            if (f->readWanted != 0)
                return;  // no reader free
        }
    }
}

STDMETHODIMP EventSink::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*,
                               EXCEPINFO*, UINT*)
{
    if (connection == 0)
        return S_OK;  // an ended connection's late call
    // The list's events name a cookie, which is not to be trusted: the whole list is
    // looked at again, after the call has returned to the shell.
    if (entry < 0) {
        if (id == DISPID_WINDOWREGISTERED || id == DISPID_WINDOWREVOKED) {
            ++gListEvents;
            PostMessageA(gWatchWnd, WM_WATCH_LOOK, 0, 0);
        }
        return S_OK;
    }
    // Any NavigateComplete2 of a followed browser counts, whatever object it names: the
    // documentation says only "the window or frame", and folder windows have no frames.
    if (id == DISPID_NAVIGATECOMPLETE2) {
        Followed* f = &gFollowed[entry];
        if (f->connection == connection) {
            f->sawEvent = 1;
            f->hungTick = 0;  // it answers
            // A reader is asked at once (that waits on nothing); a browser that could not
            // be shared with the readers is read once this call has returned.
            if (f->shared != 0)
                AskFor(entry, kReadNavigated);
            else
                PostMessageA(gWatchWnd, WM_WATCH_NAVIGATED, static_cast<WPARAM>(entry), connection);
        }
    } else if (id == DISPID_ONQUIT) {
        OnQuit(entry, connection);
    }
    return S_OK;
}

static int IsHungWindow(const void* identity)
{
    for (const HungWindow& h : gHung) {
        if (h.identity == identity && GetTickCount() - h.tick < kHungSkipMs)
            return 1;
    }
    return 0;
}

static void NoteHungWindow(void* identity)
{
    gHung[gHungNext].identity = identity;
    gHung[gHungNext].tick = GetTickCount();
    gHungNext = (gHungNext + 1) % kHungWindows;
}

// --- Reporting a navigation to the main window ----------------------------------------

static void Report(HWND window, const char16_t* path)
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

// Whether `tab` is the tab in front of its top-level window `root`, as Windows shows it:
// the first visible "ShellTabWindowClass" child in z-order (docs/shell-windows.md).
static int TabShown(HWND tab, HWND root)
{
    ChildWindow children[kShellEntries];
    int count = 0;
    for (HWND child = FindWindowExW(root, nullptr, L"ShellTabWindowClass", nullptr);
         child != nullptr && count < kShellEntries;
         child = FindWindowExW(root, child, L"ShellTabWindowClass", nullptr)) {
        children[count].window = child;
        children[count].isTab = 1;
        children[count].visible = IsWindowVisible(child);
        ++count;
    }
    return EntryInFront(tab, root, TabInFront(children, count));
}

// When a navigation counts, as the user sees it: a tab in the background does not (the
// user is not looking at it); in the foreground window it does, as for the address-bar
// hook; and so does the first folder of a window that has just opened, which need not be
// the foreground window yet when its folder is shown.
static int NavigationCounts(HWND tab, HWND root, int opening)
{
    // A window that is opening may not be shown yet when its first folder is; a new tab
    // of a shown window that is not in front is one opened in the background.
    if (opening)
        return !IsWindowVisible(root) || TabShown(tab, root);
    return GetForegroundWindow() == root && TabShown(tab, root);
}

// Stores the folder an entry shows, and the tab's window where the browser named it.
// Returns the entry's window (that tab, or the one known before) and its top-level window.
static HWND StoreFolder(int entry, HWND tab, const char16_t* path, HWND* root)
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
static void ReportOnce(Followed* f, HWND tab, const char16_t* path)
{
    const DWORD now = GetTickCount();
    if (f->reported[0] != '\0' && SamePath(f->reported, path) &&
        now - f->reportedTick < kSameNavigationMs)
        return;
    CopyPath(f->reported, path);
    f->reportedTick = now;
    Report(tab, path);
}

// --- Following windows ---------------------------------------------------------------

static int IsFolderWindow(HWND root)
{
    char cls[kClassSize];
    cls[0] = '\0';
    GetClassNameA(root, cls, kClassSize);
    return IsExplorerClass(cls);
}

// The outgoing calls that end a connection, made once its state is cleared.
static void EndConnection(IConnectionPoint* point, DWORD cookie, IUnknown* object)
{
    if (point != nullptr) {
        point->Unadvise(cookie);  // fails harmlessly once the shell has gone
        point->Release();
    }
    if (object != nullptr)
        object->Release();
}

// Stops following an entry. Its state is cleared before any call that ends it, so that
// an event arriving inside those calls (an OnQuit of a tab closing meanwhile, a nested
// look) finds nothing to act on.
static void Unfollow(int entry, int forget)
{
    Followed* f = &gFollowed[entry];
    IConnectionPoint* point = f->point;
    IWebBrowser2* browser = f->browser;
    const DWORD cookie = f->cookie;
    const DWORD shared = f->shared;
    if (f->sink != nullptr)
        f->sink->connection = 0;
    ZeroMemory(f, sizeof *f);
    EnterCriticalSection(&gShellLock);
    if (forget)
        ForgetWindow(&gForgotten, gTable.entries[entry].window);
    ClearShellEntry(&gTable.entries[entry]);
    LeaveCriticalSection(&gShellLock);
    UnshareBrowser(shared);
    EndConnection(point, cookie, browser);
}

// OnQuit: the tab closes, and the shell drops its sinks right after this call. The
// connection ends inside the call, while the shell still takes calls for the tab.
static void OnQuit(int entry, int connection)
{
    if (entry >= 0 && entry < kShellEntries && gFollowed[entry].browser != nullptr &&
        gFollowed[entry].connection == connection)
        Unfollow(entry, 1);
}

// Connects an entry to its browser's events. A refused Advise leaves it followed without
// them; the next look tries again.
static HRESULT Advise(int entry)
{
    Followed* f = &gFollowed[entry];
    if (f->sink == nullptr)
        f->sink = TakeSink(&DIID_DWebBrowserEvents2, entry, f->connection);
    if (f->sink == nullptr)
        return E_OUTOFMEMORY;
    f->sink->taken = 1;
    IWebBrowser2* browser = f->browser;
    IConnectionPointContainer* points = nullptr;
    IConnectionPoint* point = nullptr;
    DWORD cookie = 0;
    HRESULT hr = Patiently([&] {
        return browser->QueryInterface(IID_IConnectionPointContainer,
                                       reinterpret_cast<void**>(&points));
    });
    if (SUCCEEDED(hr)) {
        hr = Patiently([&] { return points->FindConnectionPoint(DIID_DWebBrowserEvents2, &point); });
        if (SUCCEEDED(hr) && FAILED(hr = Patiently([&] { return point->Advise(f->sink, &cookie); }))) {
            point->Release();
            point = nullptr;
        }
        points->Release();
    }
    if (point == nullptr)
        return hr;
    if (f->browser != browser) {  // it quit meanwhile
        EndConnection(point, cookie, nullptr);
        return S_OK;
    }
    f->point = point;
    f->cookie = cookie;
    return S_OK;
}

// Carries out what a window's failed call leads to. Returns 1 when the window is still
// followed (or may be, for a new one) and the work on it goes on.
static int WindowCallOk(HRESULT hr, int entry, void* identity)
{
    switch (StepAfterCall(hr, 0, kRefusedForMs)) {
    case kGoOn:
        return 1;
    case kDropWindow:
        if (entry >= 0)
            Unfollow(entry, 1);
        return 0;
    default:
        if (ClassifyCall(hr) == kCallHung) {
            if (entry >= 0)
                gFollowed[entry].hungTick = GetTickCount() | 1;
            else
                NoteHungWindow(identity);
        }
        return 0;
    }
}

static void ReadFolder(int entry, int why);

// A browser the pass found that is not followed yet: followed, and its first folder
// reported where ReportsFirstFolder says.
static void Follow(IUnknown* identity, IDispatch* item)
{
    if (IsHungWindow(identity))
        return;
    IWebBrowser2* browser = nullptr;
    HRESULT hr = Patiently([&] {
        return item->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&browser));
    });
    if (!WindowCallOk(hr, -1, identity))
        return;
    SHANDLE_PTR handle = 0;
    hr = Patiently([&] { return browser->get_HWND(&handle); });
    HWND root = GetAncestor(reinterpret_cast<HWND>(handle), GA_ROOT);
    int entry = -1;
    if (WindowCallOk(hr, -1, identity) && root != nullptr && IsFolderWindow(root)) {
        EnterCriticalSection(&gShellLock);
        entry = AddShellEntry(&gTable, identity);
        if (entry >= 0)
            gTable.entries[entry].root = gTable.entries[entry].window = root;
        LeaveCriticalSection(&gShellLock);
    }
    if (entry < 0) {  // not a folder window, or the table is full
        browser->Release();
        return;
    }
    Followed* f = &gFollowed[entry];
    f->browser = browser;  // the reference taken above
    f->connection = ++gConnections;
    f->shared = ShareBrowser(browser);  // 0: read on the watcher's thread then
    const int connection = f->connection;
    WindowCallOk(Advise(entry), entry, identity);
    if (f->connection != connection || f->hungTick != 0)
        return;  // gone, or hung: the next look tries again
    ReadFolder(entry, gQuietPass ? kReadFollowedQuietly : kReadFollowed);
}

// An item of the pass: followed already (its refused Advise tried again), or new.
static void TakeItem(IDispatch* item)
{
    // The identity of a proxy is answered in this process: no call to the window.
    IUnknown* identity = nullptr;
    if (FAILED(item->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity))))
        return;
    identity->Release();  // the item, and then the followed browser, keep it alive
    EnterCriticalSection(&gShellLock);
    const int entry = MarkSeen(&gTable, identity);
    LeaveCriticalSection(&gShellLock);
    ++gCancellableCalls;
    if (entry < 0) {
        Follow(identity, item);
    } else {
        Followed* f = &gFollowed[entry];
        if (f->browser != nullptr && f->point == nullptr &&
            (f->hungTick == 0 || GetTickCount() - f->hungTick >= kHungSkipMs))
            WindowCallOk(Advise(entry), entry, identity);
    }
    --gCancellableCalls;
}

// A followed tab's folder, read: stored, and reported when the navigation counts. A
// folder that cannot be read keeps the one known before: a visit parked until its delay
// runs out still finds it shown.
static void OnFolderRead(int entry, int connection, int why, int outcome, HWND tab,
                         const char16_t* path)
{
    if (entry < 0 || entry >= kShellEntries)
        return;
    Followed* f = &gFollowed[entry];
    if (f->connection != connection || f->browser == nullptr)
        return;  // it quit meanwhile
    if (outcome == kFolderGone) {
        Unfollow(entry, 1);
        // After a navigation, the list says whether all went. (A window gone as soon as
        // it was followed is no news: the pass that found it is under way.)
        if (why == kReadNavigated)
            PostMessageA(gWatchWnd, WM_WATCH_LOOK, 0, 0);
        return;
    }
    if (outcome == kFolderUnread)
        return;
    HWND root = nullptr;
    tab = StoreFolder(entry, tab, path, &root);
    if (path[0] == '\0')
        return;  // a virtual folder, or one that cannot be told: not recorded
    // A window already open when the watcher connected, or one followed before, is only
    // followed; a window that opened since shows its first folder: a navigation.
    const int reports =
        why == kReadNavigated
            ? NavigationCounts(tab, root, 0)
            : ReportsFirstFolder(why == kReadFollowedQuietly,
                                 WasFollowed(&gForgotten, tab) || WasFollowed(&gForgotten, root),
                                 f->sawEvent, NavigationCounts(tab, root, 1));
    if (reports)
        ReportOnce(f, tab, path);
}

// Reads a followed tab's folder for OnFolderRead: on a reader, which answers with
// WM_WATCH_READ, so that a window that hangs holds up no other window's recording; here
// only when the browser could not be shared with the readers.
static void ReadFolder(int entry, int why)
{
    Followed* f = &gFollowed[entry];
    const int connection = f->connection;
    if (f->shared != 0) {
        AskFor(entry, why);
        return;
    }
    HWND tab = nullptr;
    PathSlot path;
    IWebBrowser2* browser = f->browser;
    browser->AddRef();  // calls below may let other calls in, which may end the entry
    ++gCancellableCalls;
    const int outcome = ResolveFolder(browser, &tab, path);
    --gCancellableCalls;
    browser->Release();
    OnFolderRead(entry, connection, why, outcome, tab, path);
}

// The NavigateComplete2 of a followed tab whose browser no reader shares, once the
// shell's call has returned.
static void OnNavigated(int entry, int connection)
{
    if (entry < 0 || entry >= kShellEntries)
        return;
    Followed* f = &gFollowed[entry];
    if (f->browser != nullptr && f->connection == connection)
        ReadFolder(entry, kReadNavigated);
}

// --- The list -----------------------------------------------------------------------

static void UnfollowAll(void)
{
    for (int i = 0; i < kShellEntries; ++i) {
        if (gFollowed[i].browser != nullptr)
            Unfollow(i, 0);
    }
}

// Lets go of the list and every window. Its state is cleared first, as for a window.
static void ReleaseList(void)
{
    UnfollowAll();
    IConnectionPoint* point = gListPoint;
    IShellWindows* list = gList;
    const DWORD cookie = gListCookie;
    if (gListSink != nullptr)
        gListSink->connection = 0;
    gListSink = nullptr;
    gListPoint = nullptr;
    gList = nullptr;
    gListCookie = 0;
    EnterCriticalSection(&gShellLock);
    gListEnumerates = 0;
    LeaveCriticalSection(&gShellLock);
    EndConnection(point, cookie, list);
}

// The list's items as they are now, through its enumerator; by index where it has none.
// Returns the result of the list's own calls; the items are AddRef'd.
static HRESULT TakeSnapshot(IShellWindows* list, IDispatch** items, int* count)
{
    *count = 0;
    IUnknown* unknown = nullptr;
    HRESULT hr = Patiently([&] { return list->_NewEnum(&unknown); });
    if (SUCCEEDED(hr) && unknown == nullptr)
        hr = E_POINTER;
    if (SUCCEEDED(hr)) {
        IEnumVARIANT* walk = nullptr;
        hr = Patiently([&] {
            return unknown->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(&walk));
        });
        unknown->Release();
        while (SUCCEEDED(hr) && *count < kSnapshotSize) {
            VARIANT got[16];
            ULONG fetched = 0;
            const ULONG want = static_cast<ULONG>(kSnapshotSize - *count) < 16
                                   ? static_cast<ULONG>(kSnapshotSize - *count) : 16;
            for (VARIANT& v : got)
                VariantInit(&v);
            hr = Patiently([&] { return walk->Next(want, got, &fetched); });
            for (ULONG i = 0; SUCCEEDED(hr) && i < fetched && i < want; ++i) {
                if (got[i].vt == VT_DISPATCH && got[i].pdispVal != nullptr)
                    (items[(*count)++] = got[i].pdispVal)->AddRef();
                VariantClear(&got[i]);
            }
            if (hr != S_OK)
                break;  // S_FALSE: the end
        }
        if (walk != nullptr)
            walk->Release();
        if (SUCCEEDED(hr))
            return S_OK;
        for (int i = 0; i < *count; ++i)
            items[i]->Release();
        *count = 0;
    }
    // A dead item fails the whole enumerator's call with the codes of a server that has
    // gone (it cannot be marshalled), while the list lives: read by index then, item by
    // item. The same where the list has no enumerator. The list may change meanwhile;
    // what the pass drops is decided as for a snapshot (StaleEntriesToDrop). A busy list,
    // or one held up by a hung window, is looked at again later instead.
    if (ClassifyCall(hr) == kCallRefused || ClassifyCall(hr) == kCallHung)
        return hr;
    long total = 0;
    hr = Patiently([&] { return list->get_Count(&total); });
    for (long i = 0; SUCCEEDED(hr) && i < total && *count < kSnapshotSize; ++i) {
        VARIANT index;
        VariantInit(&index);
        index.vt = VT_I4;
        index.lVal = i;
        IDispatch* item = nullptr;
        hr = Patiently([&] { return list->Item(index, &item); });
        if (hr == S_OK && item != nullptr)
            items[(*count)++] = item;
        if (ClassifyCall(hr) == kCallGone)
            hr = S_FALSE;  // that item's window only: the list answered Count just now
    }
    return FAILED(hr) ? hr : S_OK;
}

// One pass over the list: returns kGoOn, kPassBroken or kStartOver.
static int PassOnce(void)
{
    IShellWindows* list = gList;
    static IDispatch* items[kSnapshotSize];
    int count = 0;
    const unsigned eventsAtStart = gListEvents;
    list->AddRef();  // a nested "TaskbarCreated" may let go of gList meanwhile
    ++gCancellableCalls;  // reads only: a hung window's item can hold them up
    const HRESULT hr = TakeSnapshot(list, items, &count);
    --gCancellableCalls;
    list->Release();
    const int step = StepAfterCall(hr, 1, kRefusedForMs);
    if (step != kGoOn) {
        for (int i = 0; i < count; ++i)
            items[i]->Release();
        if (hr == E_NOTIMPL) {
            // A list without enumeration (Wine's own) can still find windows by folder.
            EnterCriticalSection(&gShellLock);
            gListEnumerates = 0;
            LeaveCriticalSection(&gShellLock);
            return kGoOn;
        }
        return step;
    }
    EnterCriticalSection(&gShellLock);
    gListEnumerates = 1;
    BeginEnumeration(&gTable);
    LeaveCriticalSection(&gShellLock);
    for (int i = 0; i < count; ++i) {
        if (gList == list)
            TakeItem(items[i]);
        items[i]->Release();
    }
    if (gList != list)
        return kPassBroken;
    int drops[kShellEntries];
    EnterCriticalSection(&gShellLock);
    const int dropping = StaleEntriesToDrop(&gTable, 1, eventsAtStart, gListEvents, drops);
    LeaveCriticalSection(&gShellLock);
    for (int i = 0; i < dropping; ++i)
        Unfollow(drops[i], 1);  // closed, or revoked without a word
    if (dropping == 0 && eventsAtStart != gListEvents)
        gLookAgain = 1;
    return kGoOn;
}

static void ScheduleConnect(void)
{
    SetTimer(gWatchWnd, kTimerRetry, RetryDelayMs(++gRetryFailures), nullptr);
}

// Looks at the list until a pass sees it settled. The list going away ends the looking
// and asks for a new connection, by a timer: never by calling back in here. The first
// try waits: a shell that restarts registers its list only after a moment, and asking
// before may start a server of the class by COM's activation instead.
static void Look(void)
{
    if (gList == nullptr)
        return;
    if (gEnumerating) {
        gLookAgain = 1;  // calls of the pass under way let this event in
        return;
    }
    gEnumerating = 1;
    int step = kGoOn;
    int passes = 0;
    do {
        gLookAgain = 0;
        step = gList != nullptr ? PassOnce() : kStartOver;
    } while (step == kGoOn && gLookAgain && !gStartOverWanted && ++passes < 4);
    gQuietPass = 0;
    gEnumerating = 0;
    if (step == kStartOver || gStartOverWanted) {
        gStartOverWanted = 0;
        ReleaseList();
        ScheduleConnect();
    } else if (step == kPassBroken || gLookAgain) {
        SetTimer(gWatchWnd, kTimerLookAgain, kLookAgainMs, nullptr);
        if (gLooksLeft < 1)
            gLooksLeft = 1;
    }
}

// Connects to the shell's window list and its events; when there is none, tries again
// later, at a growing interval.
static void Connect(void)
{
    KillTimer(gWatchWnd, kTimerLookAgain);
    KillTimer(gWatchWnd, kTimerRetry);
    if (gList != nullptr)
        return;
    IShellWindows* list = nullptr;
    const HRESULT hr = CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_ALL,
                                        IID_IShellWindows, reinterpret_cast<void**>(&list));
    if (FAILED(hr) || list == nullptr) {
        ScheduleConnect();
        return;
    }
    gList = list;
    gRetryFailures = 0;
    // Windows open now are followed, not recorded; then the events, then once more for a
    // window that opened in between, which is new.
    gQuietPass = 1;
    Look();
    if (gList != list)
        return;
    const int connection = ++gConnections;
    EventSink* sink = TakeSink(&DIID_DShellWindowsEvents, -1, connection);
    IConnectionPointContainer* points = nullptr;
    IConnectionPoint* point = nullptr;
    DWORD cookie = 0;
    if (sink != nullptr &&
        SUCCEEDED(Patiently([&] {
            return list->QueryInterface(IID_IConnectionPointContainer,
                                        reinterpret_cast<void**>(&points));
        }))) {
        sink->taken = 1;
        if (SUCCEEDED(Patiently([&] {
                return points->FindConnectionPoint(DIID_DShellWindowsEvents, &point);
            })) &&
            FAILED(Patiently([&] { return point->Advise(sink, &cookie); }))) {
            point->Release();
            point = nullptr;
        }
        points->Release();
    }
    if (gList != list) {
        EndConnection(point, cookie, nullptr);
        return;
    }
    gListSink = sink;
    gListPoint = point;
    gListCookie = cookie;
    if (point == nullptr && sink != nullptr)
        sink->connection = 0;
    Look();
}

// --- Questions of the main thread ------------------------------------------------------

// The folder window that Windows' own list holds for a folder (FindWindowSW by ID list).
static HWND FindInList(const char16_t* path)
{
    IShellWindows* list = gList;
    VARIANT location, root;
    if (list == nullptr || !IdListVariant(path, &location))
        return nullptr;
    VariantInit(&root);
    // Calls below may let a "TaskbarCreated" in, which lets go of gList: this one stays.
    list->AddRef();
    HWND found = nullptr;
    // Folder windows register as SWC_EXPLORER; SWC_BROWSER is Internet Explorer's, asked
    // too for shells that register folder windows so.
    static const int kClasses[] = {SWC_EXPLORER, SWC_BROWSER};
    for (int cls : kClasses) {
        long handle = 0;
        IDispatch* unused = nullptr;
        const HRESULT hr = Patiently(
            [&] { return list->FindWindowSW(&location, &root, cls, &handle, 0, &unused); });
        if (unused != nullptr)
            unused->Release();
        if (StepAfterCall(hr, 1, kRefusedForMs) == kStartOver)
            gStartOverWanted = 1;
        if (hr == S_OK && handle != 0) {
            found = static_cast<HWND>(LongToHandle(handle));
            break;
        }
    }
    list->Release();
    VariantClear(&location);  // destroys the array too
    return IsWindow(found) ? found : nullptr;
}

// Navigates the browser of table entry `entry` to `path`; `flags` as Navigate2 takes them.
static int NavigateEntry(int entry, const char16_t* path, LONG flags)
{
    if (entry < 0 || gFollowed[entry].browser == nullptr)
        return 0;
    // A path given as text is read as a URL: "C:\work\C#" would reach "C:\work\C",
    // and "C:\a%20b" "C:\a b". Such a path goes as its ID list, which nothing reads as
    // a URL; any other as text, which names the folder as the user chose it.
    VARIANT target, how, empty;
    VariantInit(&empty);
    VariantInit(&how);
    how.vt = VT_I4;
    how.lVal = flags;
    if (PathReadsAsUrl(path)) {
        if (!IdListVariant(path, &target))
            return 0;
    } else {
        VariantInit(&target);
        target.vt = VT_BSTR;
        target.bstrVal = SysAllocString(W(path));
        if (target.bstrVal == nullptr)
            return 0;
    }
    IWebBrowser2* browser = gFollowed[entry].browser;
    browser->AddRef();
    ++gCancellableCalls;
    const HRESULT hr = Patiently(
        [&] { return browser->Navigate2(&target, &how, &empty, &empty, &empty); });
    --gCancellableCalls;
    browser->Release();
    VariantClear(&target);
    if (ClassifyCall(hr) == kCallGone)
        PostMessageA(gWatchWnd, WM_WATCH_LOOK, 0, 0);
    return SUCCEEDED(hr);
}

static int NavigateFollowed(HWND root, const char16_t* path)
{
    // The tab in front of that window, else any of its tabs.
    int entry = -1;
    EnterCriticalSection(&gShellLock);
    for (int i = 0; i < kShellEntries; ++i) {
        const ShellEntry* e = &gTable.entries[i];
        if (e->browser == nullptr || e->root != root)
            continue;
        if (entry < 0 || TabShown(static_cast<HWND>(e->window), root))
            entry = i;
    }
    LeaveCriticalSection(&gShellLock);
    return NavigateEntry(entry, path, 0);
}

// Opens `path` in a new folder window through the browser of the tab `tab`, which stays
// as it is (navOpenInNewWindow).
static int OpenAnewBeside(HWND tab, const char16_t* path)
{
    EnterCriticalSection(&gShellLock);
    const int entry = FindEntryOfWindow(&gTable, tab);
    LeaveCriticalSection(&gShellLock);
    return NavigateEntry(entry, path, navOpenInNewWindow);
}

static void Answer(void)
{
    EnterCriticalSection(&gShellLock);
    Question q = gQuestion;
    LeaveCriticalSection(&gShellLock);
    HWND found = nullptr;
    int done = 0;
    // Questions that come in while a pass waits on the shell are not answered from
    // inside it: the main thread goes on without the answer.
    if (!gEnumerating) {
        if (q.kind == kAskFind)
            found = FindInList(q.path);
        else if (q.kind == kAskNavigate)
            done = NavigateFollowed(q.window, q.path);
        else if (q.kind == kAskOpenAnew)
            done = OpenAnewBeside(q.window, q.path);
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
        ReleaseList();
        ScheduleConnect();
    }
}

// Asks the watcher and waits at most kAnswerWaitMs. Returns 1 with the answer in *answer.
static int Ask(int kind, HWND window, const char16_t* path, Question* answer)
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

static void OnTaskbarCreated(void)
{
    // Explorer started again: whatever the watcher holds belongs to the old one, and its
    // list may come a little after its announcement (tried again from a second on).
    if (gEnumerating) {
        gStartOverWanted = 1;
        return;
    }
    ReleaseList();
    gRetryFailures = 0;
    Connect();
}

static void OnTimer(WPARAM id)
{
    KillTimer(gWatchWnd, id);
    if (id == kTimerRetry) {
        Connect();
    } else if (id == kTimerLookAgain) {
        Look();
        if (--gLooksLeft > 0)
            SetTimer(gWatchWnd, kTimerLookAgain, kLookLastMs, nullptr);
    }
}

static LRESULT HandleWatch(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg != 0 && msg == gTaskbarCreated) {
        OnTaskbarCreated();
        return 0;
    }
    switch (msg) {
    case WM_WATCH_LOOK:
        Look();
        // A window may register only after the event that announced it, and a tab's
        // item may come up to two seconds after its registration.
        gLooksLeft = 2;
        SetTimer(wnd, kTimerLookAgain, kLookAgainMs, nullptr);
        return 0;
    case WM_WATCH_NAVIGATED:
        OnNavigated(static_cast<int>(wParam), static_cast<int>(lParam));
        return 0;
    case WM_WATCH_READ: {
        // An answer that comes in while another handler waits on a call of its own: a
        // folder read is stored and reported at once (no call); a window gone is let go
        // of once that handler has returned, as letting go calls out.
        if (gInHandler > 1 && PeekReaderOutcome(wParam) == kFolderGone) {
            PostMessageA(wnd, WM_WATCH_READ, wParam, 0);
            return 0;
        }
        int entry = -1, connection = 0, why = 0;
        HWND tab = nullptr;
        PathSlot path;
        const int outcome = TakeReaderAnswer(wParam, &entry, &connection, &why, &tab, path);
        OnFolderRead(entry, connection, why, outcome, tab, path);
        AskWaitingReads();
        return 0;
    }
    case WM_WATCH_CONNECT:
        Connect();
        return 0;
    case WM_WATCH_ASK:
        Answer();
        return 0;
    case WM_WATCH_TICK:
        return 0;
    case WM_WATCH_STOP:
        PostQuitMessage(0);
        return 0;
    case WM_TIMER:
        OnTimer(wParam);
        return 0;
    }
    return DefWindowProcA(wnd, msg, wParam, lParam);
}

static LRESULT CALLBACK WatchWndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    // The message filter's clock runs while the watcher's own handlers call out.
    const int outer = gInHandler == 0 && msg != WM_WATCH_TICK;
    if (outer)
        ArmCallTick(1);
    ++gInHandler;
    const LRESULT result = HandleWatch(wnd, msg, wParam, lParam);
    --gInHandler;
    if (gInHandler == 0)
        ArmCallTick(0);
    return result;
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
    if (gWatchWnd != nullptr && SUCCEEDED(com) &&
        StartShellCalls(gWatchWnd, WM_WATCH_TICK, WM_WATCH_READ)) {
        PostMessageA(gWatchWnd, WM_WATCH_CONNECT, 0, 0);
        MSG msg;
        while (GetMessageA(&msg, nullptr, 0, 0) > 0)
            DispatchMessageA(&msg);
        ReleaseList();
    }
    if (gWatchWnd != nullptr)
        DestroyWindow(gWatchWnd);
    if (SUCCEEDED(com)) {
        EndShellCalls();
        CoUninitialize();
    }
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

int TakeShellNavigation(HWND* window, char16_t* path)
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

int ShellWindowShows(HWND window, const char16_t* path)
{
    if (gWatcherThread == nullptr)
        return kUnknownWindow;
    EnterCriticalSection(&gShellLock);
    const int shows = WindowShowsPath(&gTable, window, path);
    LeaveCriticalSection(&gShellLock);
    return shows;
}

HWND FindShellWindowShowing(const char16_t* path)
{
    if (gWatcherThread == nullptr)
        return nullptr;
    // Only a tab in front: bringing its window forward shows the folder. No documented
    // interface selects another tab (the tab row is Explorer's own XAML); a folder that
    // only a tab in the background shows is opened anew, never shown by a window on
    // another folder.
    EnterCriticalSection(&gShellLock);
    HWND found = nullptr;
    unsigned char inFront[kShellEntries];
    for (int i = 0; i < kShellEntries; ++i) {
        const ShellEntry* e = &gTable.entries[i];
        inFront[i] = e->browser != nullptr &&
                     TabShown(static_cast<HWND>(e->window), static_cast<HWND>(e->root));
    }
    const int entry = FindEntryInFront(&gTable, path, inFront);
    if (entry >= 0)
        found = static_cast<HWND>(gTable.entries[entry].window);
    const int complete = gListEnumerates;
    const int shownBehind = FindEntryShowing(&gTable, path) >= 0;
    LeaveCriticalSection(&gShellLock);
    if (found != nullptr || complete || shownBehind)
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

int ShellWindowFollowed(HWND root)
{
    if (gWatcherThread == nullptr)
        return 0;
    EnterCriticalSection(&gShellLock);
    const int followed = FindEntryOfWindow(&gTable, root) >= 0;
    LeaveCriticalSection(&gShellLock);
    return followed;
}

int NavigateShellWindow(HWND root, const char16_t* path)
{
    if (gWatcherThread == nullptr)
        return 0;
    if (!ShellWindowFollowed(root))
        return 0;
    // Forward first: the navigation counts as the user's in the foreground window.
    SetForegroundWindow(root);
    Question answer;
    return Ask(kAskNavigate, root, path, &answer) && answer.done;
}

int OpenShellWindowAnew(const char16_t* path)
{
    if (gWatcherThread == nullptr)
        return 0;
    EnterCriticalSection(&gShellLock);
    const int entry = FindEntryShowing(&gTable, path);
    const HWND tab = entry >= 0 ? static_cast<HWND>(gTable.entries[entry].window) : nullptr;
    LeaveCriticalSection(&gShellLock);
    if (tab == nullptr)
        return 0;
    // The new window is Explorer's: it may take the foreground that the user's choice
    // gave Trailkeep.
    DWORD explorer = 0;
    GetWindowThreadProcessId(tab, &explorer);
    AllowSetForegroundWindow(explorer);
    Question answer;
    return Ask(kAskOpenAnew, tab, path, &answer) && answer.done;
}
