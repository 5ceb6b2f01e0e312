// Calls to the shell's objects for the shell-window watcher. Explorer may be busy, hung
// or gone at any call: these bound each call and keep what may wait on the network off
// the thread that takes Explorer's events. All but the readers run on the watcher thread.
#pragma once
#include <windows.h>

#include <exdisp.h>

#include "shellpass.h"

// Sets the watcher thread up for its calls: its message filter, the table that shares
// browsers with the readers. While ArmCallTick(1) holds, `tickMessage` is posted to
// `window` every tenth of a second, so that the filter is asked about a call that waits
// (COM's wait does not wake for WM_TIMER); the readers' answers come to it as
// `readMessage`, sent without waiting (SendNotifyMessage): they come in even while the
// watcher waits on a call of its own, as COM's wait lets sent messages in and keeps posted
// ones back. 0 on failure.
int StartShellCalls(HWND window, UINT tickMessage, UINT readMessage);
void EndShellCalls(void);
void ArmCallTick(int on);

// Above 0 while calls that may be given up on are under way (to a window's objects, or
// the list's reads): the filter cancels those when overdue (kHungCallMs), never the
// list's Advise or Unadvise.
extern int gCancellableCalls;

// Waits `ms` while COM goes on: the shell's calls into the watcher are served meanwhile.
void PauseServingCalls(DWORD ms);

// Makes a call, again while the shell refuses it as busy, for at most kRefusedForMs.
template <class Call>
HRESULT Patiently(Call call)
{
    const DWORD start = GetTickCount();
    for (;;) {
        const HRESULT hr = call();
        if (StepAfterCall(hr, 0, GetTickCount() - start) != kTryAgain)
            return hr;
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

// The folder a browser shows; empty for a virtual folder, or one that cannot be told.
// `tab` gets the tab's window when the browser names it. Returns kFolder*.
int ResolveFolder(IWebBrowser2* browser, HWND* tab, char16_t* path);

// A browser shared with the readers (a cookie, 0 when it cannot be), and its end.
DWORD ShareBrowser(IWebBrowser2* browser);
void UnshareBrowser(DWORD cookie);
// Asks a reader thread for a shared browser's folder, for the watcher's entry `entry` of
// connection `connection` and the purpose `why`, and returns at once. The answer comes
// as the `readMessage` of StartShellCalls, wParam naming the reader, for
// TakeReaderAnswer. A window that hangs holds only its own reader. 0 when no reader is
// free (each waits on a hung window).
int AskReader(DWORD shared, int entry, int connection, int why);
// The outcome of a reader's answer not yet taken (kFolderUnread for a message that is no
// reader's answer); the reader stays busy.
int PeekReaderOutcome(WPARAM reader);
// A reader's answer, and the reader free again: kFolder*, with the entry, connection and
// purpose it was asked for (-1, 0 and 0 for a message that is no reader's answer).
int TakeReaderAnswer(WPARAM reader, int* entry, int* connection, int* why, HWND* tab,
                     char16_t* path);
