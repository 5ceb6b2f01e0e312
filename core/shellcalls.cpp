// Calls to the shell's objects, which live in Explorer and may be busy, hung or gone at
// any call: the watcher thread's message filter and its clock, calls tried again while a
// busy shell refuses them, the worker that does what may wait on the network, reading
// the folder a browser shows, and the readers that read it aside.
#include <windows.h>

#include <exdisp.h>
#include <servprov.h>
#include <shlguid.h>
#include <shlobj.h>

#include "shellcalls.h"

#include "../hooklib/pathtest.h"
#include "wide.h"

enum {
    kCallTickMs = 100,   // while a handler calls out: the message filter's clock
    kSlowWaitMs = 800,   // the longest the watcher waits for its worker
    kIdListSize = 2048,  // an ID list handed between the watcher and its worker
    kReaders = 4,        // reader threads; one stuck on a hung window is left to it
};

int gCancellableCalls;                 // see shellcalls.h
static HWND gCallWindow;               // the watcher's: the clock's ticks and readers' answers
static UINT gTickMessage;
static HANDLE gCallTick;               // the timer-queue timer of the clock
static HANDLE gPause;                  // never set: waits on it pause while COM runs
static IGlobalInterfaceTable* gShared; // browsers shared with the readers

// --- Calls to a shell that may be busy or hung ------------------------------------------
// The message filter: Windows asks it what to do with a call that Explorer refused while
// busy (SERVERCALL_RETRYLATER or _REJECTED) and, while a call waits, whenever a message
// comes in. (Wine 8 never asks for RETRYLATER and fails a REJECTED call at once with
// RPC_E_CALL_REJECTED: Patiently below tries such calls again itself, in the same bounds.)
class BusyShellFilter : public IMessageFilter {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** out) override
    {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IMessageFilter)) {
            *out = static_cast<IMessageFilter*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    // It lives in static storage as long as the process.
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP_(DWORD) HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO) override
    {
        return SERVERCALL_ISHANDLED;
    }
    STDMETHODIMP_(DWORD) RetryRejectedCall(HTASK, DWORD elapsed, DWORD) override
    {
        return static_cast<DWORD>(RefusedCallPause(elapsed));
    }
    // A call that waits longer than kHungCallMs is cancelled: a window whose thread hangs
    // (an unreachable share) must not hold up the others' recording. The call fails with
    // RPC_E_CALL_CANCELED, and that window is passed over a while. Windows' own cancelling
    // (CoCancelCall) needs a second thread and the server's consent; this route is
    // documented. Wine 8 asks the filter but goes on waiting: there, the readers keep the
    // navigations' reads off this thread, and a call made here waits for its answer.
    // Only calls that may be given up on: a window's, and the list's reads (a hung window
    // can hold those up too, as its item is marshalled). A cancelled call may still be
    // carried out by the server, and the list's Advise must not be left behind that way.
    STDMETHODIMP_(DWORD) MessagePending(HTASK, DWORD elapsed, DWORD) override
    {
        return gCancellableCalls > 0 && CallOverdue(elapsed) ? PENDINGMSG_CANCELCALL
                                                         : PENDINGMSG_WAITDEFPROCESS;
    }
};
// It holds no state: a constant, kept with the program's read-only tables (a writable
// section of its own in the file would take 512 bytes for its one table pointer).
static const BusyShellFilter gFilter{};

// The filter is asked only when a message comes in. While a handler of the watcher's
// runs, a timer-queue timer posts one every kCallTickMs (a WM_TIMER would not do: COM's
// wait does not wake for timers); while the watcher sleeps, none is posted.
static void CALLBACK PostCallTick(PVOID, BOOLEAN)
{
    PostMessageA(gCallWindow, gTickMessage, 0, 0);
}

void ArmCallTick(int on)
{
    if (on && gCallTick == nullptr) {
        CreateTimerQueueTimer(&gCallTick, nullptr, PostCallTick, nullptr, kCallTickMs,
                              kCallTickMs, WT_EXECUTEINTIMERTHREAD);
    } else if (!on && gCallTick != nullptr) {
        DeleteTimerQueueTimer(nullptr, gCallTick, nullptr);  // does not wait
        gCallTick = nullptr;
    }
}

void PauseServingCalls(DWORD ms)
{
    DWORD index = 0;
    CoWaitForMultipleHandles(0, ms, 1, &gPause, &index);
}


// --- The worker: what may wait on the network -----------------------------------------
// Parsing a path into an ID list and asking a folder's attributes can wait on a share
// for many seconds without letting messages in. On the watcher's thread that would keep
// every Explorer window that fires an event waiting too, so a worker thread does them,
// and the watcher waits at most kSlowWaitMs for it, serving the shell's calls meanwhile.
enum { kSlowParse = 1, kSlowIdListPath = 2 };
struct SlowCall {
    int kind;
    WCHAR path[kWidePathSize];  // kSlowParse: in; kSlowIdListPath: out
    BYTE idList[kIdListSize];   // kSlowParse: out; kSlowIdListPath: in
    UINT size;                  // the ID list's size in bytes
    int ok;
};
static SlowCall gSlow;             // written by the watcher only while the worker is idle
static LONG gSlowBusy;             // the worker has a call in hand
static HANDLE gSlowAsk, gSlowDone; // auto-reset events
static HANDLE gSlowThread;

static void DoSlowCall(SlowCall* call)
{
    call->ok = 0;
    if (call->kind == kSlowParse) {
        PIDLIST_ABSOLUTE list = nullptr;
        if (SUCCEEDED(SHParseDisplayName(call->path, nullptr, &list, 0, nullptr)) &&
            list != nullptr) {
            call->size = ILGetSize(list);
            call->ok = call->size <= kIdListSize;
            if (call->ok)
                CopyMemory(call->idList, list, call->size);
            CoTaskMemFree(list);
        }
    } else if (call->kind == kSlowIdListPath) {
        // Only a folder of the file system that exists: an ID list that came across
        // processes may name something else.
        const auto* list = reinterpret_cast<PCIDLIST_ABSOLUTE>(call->idList);
        if (SHGetPathFromIDListW(list, call->path)) {
            const DWORD attributes = GetFileAttributesW(call->path);
            call->ok = attributes != INVALID_FILE_ATTRIBUTES &&
                       (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        }
    }
}

static DWORD WINAPI SlowThreadProc(LPVOID)
{
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    for (;;) {
        WaitForSingleObject(gSlowAsk, INFINITE);
        DoSlowCall(&gSlow);
        InterlockedExchange(&gSlowBusy, 0);
        SetEvent(gSlowDone);
    }
}

// Hands `gSlow` (filled in) to the worker. Returns 1 when it answered in time; 0 when it
// could not be asked (still busy with a call that waits on the network) or was late.
static int AskWorker(void)
{
    if (gSlowThread == nullptr) {
        gSlowAsk = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        gSlowDone = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        DWORD id = 0;
        if (gSlowAsk != nullptr && gSlowDone != nullptr)
            gSlowThread = CreateThread(nullptr, 0, SlowThreadProc, nullptr, 0, &id);
        if (gSlowThread == nullptr)
            return 0;
    }
    if (InterlockedCompareExchange(&gSlowBusy, 1, 0) != 0)
        return 0;
    ResetEvent(gSlowDone);
    SetEvent(gSlowAsk);
    DWORD index = 0;
    const HRESULT hr = CoWaitForMultipleHandles(0, kSlowWaitMs, 1, &gSlowDone, &index);
    return hr == S_OK && gSlow.ok;
}

// The ID list of a path, parsed by the worker, as VT_ARRAY | VT_UI1: the form Windows'
// own InitVariantFromIDList makes, which no one reads as a URL. 0 when it cannot be had.
int IdListVariant(const char16_t* path, VARIANT* out)
{
    VariantInit(out);
    if (gSlowBusy != 0)
        return 0;
    lstrcpynW(gSlow.path, W(path), kWidePathSize);
    gSlow.kind = kSlowParse;
    if (!AskWorker())
        return 0;
    SAFEARRAY* bytes = SafeArrayCreateVector(VT_UI1, 0, gSlow.size);
    if (bytes == nullptr)
        return 0;
    CopyMemory(bytes->pvData, gSlow.idList, gSlow.size);
    out->vt = VT_ARRAY | VT_UI1;
    out->parray = bytes;
    return 1;
}

// --- Resolving the folder a browser shows ---------------------------------------------

// 1 when an ID list made by another party is well formed within the block that holds it:
// across processes a broken one can arrive with success reported.
static int IdListIsSound(PCIDLIST_ABSOLUTE list, SIZE_T* length)
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
        if (cb == 0) {
            *length = at + sizeof(USHORT);
            return 1;
        }
        if (cb < sizeof(USHORT))
            return 0;
        at += cb;
    }
}

// The folder by its ID list, the last resort: only a sound list that names an existing
// folder of the file system (checked by the worker: the folder may be on a share).
static HRESULT PathFromIdList(IFolderView* view, WCHAR* wide)
{
    IPersistFolder2* folder = nullptr;
    HRESULT hr = Patiently([&] {
        return view->GetFolder(IID_IPersistFolder2, reinterpret_cast<void**>(&folder));
    });
    if (FAILED(hr))
        return hr;
    PIDLIST_ABSOLUTE list = nullptr;
    hr = Patiently([&] { return folder->GetCurFolder(&list); });
    SIZE_T length = 0;
    if (hr == S_OK && list != nullptr && IdListIsSound(list, &length) &&
        length <= kIdListSize && gSlowBusy == 0) {
        CopyMemory(gSlow.idList, list, length);
        gSlow.size = static_cast<UINT>(length);
        gSlow.kind = kSlowIdListPath;
        if (AskWorker())
            CopyMemory(wide, gSlow.path, sizeof gSlow.path);
    }
    if (list != nullptr)
        CoTaskMemFree(list);
    folder->Release();
    return hr;
}

static int CopyWide(const WCHAR* from, WCHAR* to)
{
    int i = 0;
    for (; i < kWidePathSize - 1 && from[i] != L'\0'; ++i)
        to[i] = from[i];
    to[i] = L'\0';
    return from[i] == L'\0';
}

static int PathFromUrl(const WCHAR* url, WCHAR* wide, int literalOnly)
{
    // The platform-free reader works on char16_t; WCHAR is the same 16-bit unit.
    static char16_t unit[kUrlSize];
    static char16_t path[kWidePathSize];
    int i = 0;
    for (; i < kUrlSize - 1 && url[i] != L'\0'; ++i)
        unit[i] = static_cast<char16_t>(url[i]);
    unit[i] = u'\0';
    if (url[i] != L'\0' || (literalOnly && !FileUrlIsLiteral(unit)) || !FileUrlToPath(unit, path))
        return 0;
    for (i = 0; path[i] != u'\0'; ++i)
        wide[i] = static_cast<WCHAR>(path[i]);
    wide[i] = L'\0';
    return 1;
}

// Folds a call's result into the outcome of reading the folder.
static void NoteCall(HRESULT hr, int* outcome)
{
    const int kind = ClassifyCall(hr);
    if (kind == kCallGone)
        *outcome = kFolderGone;
    else if ((kind == kCallRefused || kind == kCallHung) && *outcome == kFolderRead)
        *outcome = kFolderUnread;
}

// A browser's shell browser and its tab's window, as a reader keeps them between reads
// of the same browser: a tab keeps both for its life, and asking for them again costs
// four round trips to Explorer. Empty until the first read.
struct ShellReach {
    IShellBrowser* shell;
    HWND tab;
};

static void ForgetReach(ShellReach* reach)
{
    if (reach->shell != nullptr)
        reach->shell->Release();
    reach->shell = nullptr;
    reach->tab = nullptr;
}

// The browser's shell browser and tab window into an empty `reach`.
static void Reach(IWebBrowser2* browser, ShellReach* reach, int* outcome)
{
    IServiceProvider* services = nullptr;
    HRESULT hr = Patiently([&] {
        return browser->QueryInterface(IID_IServiceProvider, reinterpret_cast<void**>(&services));
    });
    NoteCall(hr, outcome);
    if (FAILED(hr))
        return;
    hr = Patiently([&] {
        return services->QueryService(SID_STopLevelBrowser, IID_IShellBrowser,
                                      reinterpret_cast<void**>(&reach->shell));
    });
    NoteCall(hr, outcome);
    services->Release();
    if (FAILED(hr)) {
        reach->shell = nullptr;
        return;
    }
    HWND window = nullptr;
    if (SUCCEEDED(Patiently([&] { return reach->shell->GetWindow(&window); })))
        reach->tab = window;
}

// The folder a browser shows, as a wide path; empty for a virtual folder or one that
// cannot be told. `reach` is the browser's, kept from an earlier read or empty; a read
// that fails empties it.
static int ResolveWideFolder(IWebBrowser2* browser, ShellReach* reach, WCHAR* wide)
{
    wide[0] = L'\0';
    int outcome = kFolderRead;
    if (reach->shell == nullptr)
        Reach(browser, reach, &outcome);
    // The browser's location first: one round trip, and all it takes where its file: URL
    // names the folder as it stands.
    BSTR url = nullptr;
    HRESULT hr = Patiently([&] { return browser->get_LocationURL(&url); });
    NoteCall(hr, &outcome);
    if (FAILED(hr))
        url = nullptr;
    if (outcome == kFolderRead && url != nullptr)
        PathFromUrl(url, wide, 1);
    // Else through the shell browser: the active view's folder and its file-system path.
    IFolderView* view = nullptr;
    if (outcome == kFolderRead && wide[0] == L'\0' && reach->shell != nullptr) {
        IShellView* shown = nullptr;
        if (SUCCEEDED(hr = Patiently([&] { return reach->shell->QueryActiveShellView(&shown); }))) {
            shown->QueryInterface(IID_IFolderView, reinterpret_cast<void**>(&view));
            shown->Release();
        }
        NoteCall(hr, &outcome);
    }
    if (outcome == kFolderRead && view != nullptr) {
        IShellItem* item = nullptr;
        hr = Patiently([&] {
            return view->GetFolder(IID_IShellItem, reinterpret_cast<void**>(&item));
        });
        NoteCall(hr, &outcome);
        if (SUCCEEDED(hr)) {
            LPWSTR name = nullptr;
            hr = Patiently([&] { return item->GetDisplayName(SIGDN_FILESYSPATH, &name); });
            if (SUCCEEDED(hr) && name != nullptr) {
                if (!CopyWide(name, wide))
                    wide[0] = L'\0';
                CoTaskMemFree(name);
            }
            item->Release();
        }
    }
    // Else the location with its escapes read.
    if (outcome == kFolderRead && wide[0] == L'\0' && url != nullptr)
        PathFromUrl(url, wide, 0);
    SysFreeString(url);
    // Else, where neither answered, the ID list, checked.
    if (outcome == kFolderRead && wide[0] == L'\0' && view != nullptr)
        NoteCall(PathFromIdList(view, wide), &outcome);
    if (view != nullptr)
        view->Release();
    if (outcome != kFolderRead) {
        wide[0] = L'\0';
        ForgetReach(reach);
    }
    return outcome;
}

// ResolveFolder with the reach kept by the caller.
static int ResolveFolderKept(IWebBrowser2* browser, ShellReach* reach, HWND* tab, char16_t* path)
{
    WCHAR wide[kWidePathSize];
    path[0] = u'\0';
    const int outcome = ResolveWideFolder(browser, reach, wide);
    if (reach->tab != nullptr)
        *tab = reach->tab;
    // A path of over 255 units is left out rather than cut into the name of another.
    if (wide[0] != L'\0' && CopyPathIfFits(path, U16(wide)) && !IsPathText(path))
        path[0] = u'\0';
    return outcome;
}

int ResolveFolder(IWebBrowser2* browser, HWND* tab, char16_t* path)
{
    ShellReach reach = {nullptr, nullptr};
    const int outcome = ResolveFolderKept(browser, &reach, tab, path);
    ForgetReach(&reach);
    return outcome;
}

// --- Readers: a tab's folder read aside -----------------------------------------------
// A navigation's folder is read by a reader thread (in the process's multithreaded
// apartment, through the global interface table), and its answer comes back to the
// watcher as a sent message: the watcher goes on taking the shell's events and other
// windows' answers meanwhile, also while it waits on a call of its own that a hung window
// holds up (a look at the list, whose items are marshalled through each window's thread).
// A window whose thread hangs keeps its reader until it answers; the next read takes
// another. Cancelling the call from the message filter
// (PENDINGMSG_CANCELCALL, above) is documented, but Wine 8 asks the filter and goes on
// waiting; a reader holds up nothing on both.
struct Reader {
    HANDLE thread;
    HANDLE ask;         // auto-reset event
    volatile LONG busy; // it has a read in hand, or an answer not yet taken
    DWORD shared;       // in: the browser's cookie in the global interface table
    int entry;          // in, handed back: the watcher's entry
    int connection;     // in, handed back: its connection (a cookie may be given again)
    int why;            // in, handed back: what the read is for
    IWebBrowser2* kept; // the reader's own proxy of the browser it read last, kept: a
                        // proxy made anew each time costs round trips to Explorer
    ShellReach reach;   // and that browser's shell browser
    DWORD keptShared;
    int keptConnection;
    int outcome;        // out: kFolder*
    HWND tab;           // out
    PathSlot path;      // out
};
static Reader gReaders[kReaders];
static UINT gReadMessage;  // posted to gCallWindow with a reader's answer

static DWORD WINAPI ReaderThreadProc(LPVOID param)
{
    Reader* r = static_cast<Reader*>(param);
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    for (;;) {
        WaitForSingleObject(r->ask, INFINITE);
        r->outcome = kFolderGone;
        r->tab = nullptr;
        r->path[0] = '\0';
        if (r->kept != nullptr &&
            (r->keptShared != r->shared || r->keptConnection != r->connection)) {
            ForgetReach(&r->reach);
            r->kept->Release();
            r->kept = nullptr;
        }
        if (r->kept == nullptr &&
            SUCCEEDED(gShared->GetInterfaceFromGlobal(r->shared, IID_IWebBrowser2,
                                                      reinterpret_cast<void**>(&r->kept)))) {
            r->keptShared = r->shared;
            r->keptConnection = r->connection;
        }
        if (r->kept != nullptr)
            r->outcome = ResolveFolderKept(r->kept, &r->reach, &r->tab, r->path);
        // The watcher frees the reader once it has taken the answer; with no watcher to
        // take it (it has ended), the reader frees itself. Sent, not posted: COM's wait
        // in the watcher's own calls takes sent messages in (Windows and Wine alike) and
        // leaves posted ones queued until that call returns. The send does not wait.
        if (!SendNotifyMessageA(gCallWindow, gReadMessage, static_cast<WPARAM>(r - gReaders), 0))
            InterlockedExchange(&r->busy, 0);
    }
}

int AskReader(DWORD shared, int entry, int connection, int why)
{
    // The reader that keeps this browser's proxy, when free; else one that keeps none;
    // else the first free one.
    Reader* chosen = nullptr;
    int rank = 0;
    for (Reader& r : gReaders) {
        if (r.busy != 0)
            continue;
        const int fits = r.kept == nullptr ? 2
                         : r.keptShared == shared && r.keptConnection == connection ? 3 : 1;
        if (fits > rank) {
            chosen = &r;
            rank = fits;
        }
    }
    if (chosen == nullptr)
        return 0;  // every reader waits on a hung window
    Reader& r = *chosen;
    if (r.thread == nullptr) {
        if (r.ask == nullptr)
            r.ask = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        DWORD id = 0;
        if (r.ask == nullptr ||
            (r.thread = CreateThread(nullptr, 0, ReaderThreadProc, &r, 0, &id)) == nullptr)
            return 0;
    }
    r.busy = 1;
    r.shared = shared;
    r.entry = entry;
    r.connection = connection;
    r.why = why;
    SetEvent(r.ask);
    return 1;
}

int PeekReaderOutcome(WPARAM reader)
{
    return reader < kReaders && gReaders[reader].busy != 0 ? gReaders[reader].outcome
                                                           : kFolderUnread;
}

int TakeReaderAnswer(WPARAM reader, int* entry, int* connection, int* why, HWND* tab,
                     char16_t* path)
{
    *entry = -1;
    *connection = 0;
    *why = 0;
    if (reader >= kReaders || gReaders[reader].busy == 0)
        return kFolderUnread;  // not an answer of a reader's
    Reader& r = gReaders[reader];
    *entry = r.entry;
    *connection = r.connection;
    *why = r.why;
    *tab = r.tab;
    CopyPath(path, r.path);
    const int outcome = r.outcome;
    InterlockedExchange(&r.busy, 0);
    return outcome;
}

int StartShellCalls(HWND window, UINT tickMessage, UINT readMessage)
{
    gCallWindow = window;
    gTickMessage = tickMessage;
    gReadMessage = readMessage;
    CoRegisterMessageFilter(const_cast<BusyShellFilter*>(&gFilter), nullptr);
    CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                     IID_IGlobalInterfaceTable, reinterpret_cast<void**>(&gShared));
    gPause = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    return gPause != nullptr;
}

void EndShellCalls(void)
{
    ArmCallTick(0);
    if (gShared != nullptr)
        gShared->Release();
    gShared = nullptr;
    CoRegisterMessageFilter(nullptr, nullptr);
}

DWORD ShareBrowser(IWebBrowser2* browser)
{
    DWORD cookie = 0;
    if (gShared == nullptr ||
        FAILED(gShared->RegisterInterfaceInGlobal(browser, IID_IWebBrowser2, &cookie)))
        return 0;
    return cookie;
}

void UnshareBrowser(DWORD cookie)
{
    if (cookie != 0 && gShared != nullptr)
        gShared->RevokeInterfaceFromGlobal(cookie);
}
