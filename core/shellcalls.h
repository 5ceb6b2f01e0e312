// Calls to the shell's objects for the shell-window watcher. Explorer may be busy, hung
// or gone at any call: these bound each call and keep what may wait on the network off
// the thread that takes Explorer's events. All but the readers run on the watcher thread.
#pragma once
#include <windows.h>

#include <exdisp.h>

#include "shellpass.h"

// Sets the watcher thread up for its calls: its message filter, the table that shares
// browsers with the readers. While ArmCallTick(1) holds, `tickMessage` is posted to
// `tickWindow` every tenth of a second, so that the filter is asked about a call that
// waits (COM's wait does not wake for WM_TIMER). 0 on failure.
int StartShellCalls(HWND tickWindow, UINT tickMessage);
void EndShellCalls(void);
void ArmCallTick(int on);

// Above 0 while calls to a window's objects are under way: the filter cancels those when
// overdue (kHungCallMs), never the list's own.
extern int gWindowCalls;

// Waits `ms` while COM goes on: the shell's calls into the watcher are served meanwhile.
void PauseServingCalls(DWORD ms);
// Notes that the shell refused a call just now: a reader that waits on a busy shell is
// not taken for one stuck on a hung window.
void NoteRefusal(void);

// Makes a call, again while the shell refuses it as busy, for at most kRefusedForMs.
template <class Call>
HRESULT Patiently(Call call)
{
    const DWORD start = GetTickCount();
    for (;;) {
        const HRESULT hr = call();
        if (StepAfterCall(hr, 0, GetTickCount() - start) != kTryAgain)
            return hr;
        NoteRefusal();
        PauseServingCalls(kRefusedPauseMs);
    }
}

// The ID list of a path, parsed on the worker, as VT_ARRAY | VT_UI1: the form Windows'
// own InitVariantFromIDList makes, which no one reads as a URL. 0 when it cannot be had.
int IdListVariant(const char16_t* path, VARIANT* out);

// What came of asking a browser for its folder.
enum {
    kFolderRead,    // read: a path, or empty for a virtual folder
    kFolderUnread,  // the shell did not answer (busy, hung): what it shows is not known
    kFolderGone,    // the browser's object has gone
};

// The folder a browser shows, in the ANSI code page; empty for a virtual folder, one the
// code page cannot spell, or one that cannot be told. `tab` gets the tab's window when
// the browser names it. Returns kFolder*.
int ResolveFolder(IWebBrowser2* browser, HWND* tab, char16_t* path);

// A browser shared with the readers (a cookie, 0 when it cannot be), and its end.
DWORD ShareBrowser(IWebBrowser2* browser);
void UnshareBrowser(DWORD cookie);
// Reads a shared browser's folder (of the watcher's connection `connection`) on a
// reader, waiting at most kHungCallMs while the shell's calls are served. kFolderUnread
// when no reader answered in time.
int ReadFolderBounded(DWORD shared, int connection, HWND* tab, char16_t* path);
