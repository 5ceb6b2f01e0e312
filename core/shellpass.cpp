#include "shellpass.h"

// COM's codes, as Windows' headers define them.
namespace {
const unsigned long kCallRejected = 0x80010001;    // RPC_E_CALL_REJECTED
const unsigned long kCallCanceled = 0x80010002;    // RPC_E_CALL_CANCELED
const unsigned long kRetryLater = 0x8001010A;      // RPC_E_SERVERCALL_RETRYLATER
const unsigned long kGoneCodes[] = {
    0x80010108,  // RPC_E_DISCONNECTED
    0x80010007,  // RPC_E_SERVER_DIED
    0x80010012,  // RPC_E_SERVER_DIED_DNE
    0x800401FD,  // CO_E_OBJNOTCONNECTED
    0x800706BA,  // RPC_S_SERVER_UNAVAILABLE
    0x800706BE,  // RPC_S_CALL_FAILED
    0x800706BF,  // RPC_S_CALL_FAILED_DNE
};
}  // namespace

int ClassifyCall(long result)
{
    const unsigned long code = static_cast<unsigned long>(result) & 0xFFFFFFFFul;
    if ((code & 0x80000000ul) == 0)
        return kCallDone;
    if (code == kCallRejected || code == kRetryLater)
        return kCallRefused;
    if (code == kCallCanceled)
        return kCallHung;
    for (unsigned long gone : kGoneCodes) {
        if (code == gone)
            return kCallGone;
    }
    return kCallFailed;
}

int StepAfterCall(long result, int listsOwnCall, unsigned elapsedMs)
{
    switch (ClassifyCall(result)) {
    case kCallDone:
        return kGoOn;
    case kCallRefused:
        if (elapsedMs < kRefusedForMs)
            return kTryAgain;
        return listsOwnCall ? kPassBroken : kSkipWindow;
    case kCallGone:
        // A window's object can die while the list lives (a separate folder process
        // killed): only the list's own failure means the shell has gone.
        return listsOwnCall ? kStartOver : kDropWindow;
    default:
        return listsOwnCall ? kPassBroken : kSkipWindow;
    }
}

long RefusedCallPause(unsigned elapsedMs)
{
    return elapsedMs < kRefusedForMs ? kRefusedPauseMs : -1;
}

int CallOverdue(unsigned elapsedMs)
{
    return elapsedMs >= kHungCallMs;
}

unsigned RetryDelayMs(int failures)
{
    unsigned delay = kFirstRetryMs;
    for (int i = 1; i < failures && delay < kLongestRetryMs; ++i)
        delay *= 2;
    return delay < kLongestRetryMs ? delay : static_cast<unsigned>(kLongestRetryMs);
}

int MarkSeen(ShellTable* table, const void* identity)
{
    const int entry = FindShellEntry(table, identity);
    if (entry >= 0)
        table->entries[entry].mark = table->generation;
    return entry;
}

int StaleEntriesToDrop(const ShellTable* table, int passCompleted, unsigned listEventsAtStart,
                       unsigned listEventsAtEnd, int* drops)
{
    if (!passCompleted || listEventsAtStart != listEventsAtEnd)
        return 0;
    int count = 0;
    for (int i = NextStaleEntry(table, 0); i >= 0; i = NextStaleEntry(table, i + 1))
        drops[count++] = i;
    return count;
}

void ForgetWindow(ForgottenWindows* forgotten, void* window)
{
    if (window == nullptr || WasFollowed(forgotten, window))
        return;
    int at = forgotten->next;
    if (at < 0 || at >= kForgottenWindows)
        at = 0;
    forgotten->windows[at] = window;
    forgotten->next = (at + 1) % kForgottenWindows;
}

int WasFollowed(const ForgottenWindows* forgotten, const void* window)
{
    if (window == nullptr)
        return 0;
    for (const void* w : forgotten->windows) {
        if (w == window)
            return 1;
    }
    return 0;
}

int ReportsFirstFolder(int quietPass, int followedBefore, int sawEvent, int counts)
{
    return !quietPass && !followedBefore && !sawEvent && counts;
}

void* TabInFront(const ChildWindow* children, int count)
{
    for (int i = 0; i < count; ++i) {
        if (children[i].isTab && children[i].visible)
            return children[i].window;
    }
    return nullptr;
}

int EntryInFront(const void* tab, const void* root, const void* front)
{
    return front == nullptr || tab == root || tab == front;
}

int FindEntryInFront(const ShellTable* table, const char16_t* path, const unsigned char* inFront)
{
    if (path[0] == '\0')
        return -1;
    for (int i = 0; i < kShellEntries; ++i) {
        const ShellEntry* entry = &table->entries[i];
        if (entry->browser != nullptr && inFront[i] && SamePath(entry->path, path))
            return i;
    }
    return -1;
}

int PathReadsAsUrl(const char16_t* path)
{
    for (; *path != '\0'; ++path) {
        if (*path == '#' || *path == '%')
            return 1;
    }
    return 0;
}
