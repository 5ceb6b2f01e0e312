#include "peers.h"

#include "paths.h"
#include "wide.h"

int IsExplorerClass(const char* cls)
{
    return SamePath(cls, "CabinetWClass") || SamePath(cls, "ExploreWClass");
}

int ReadWindowText(HWND wnd, char16_t* text)
{
    text[0] = u'\0';
    DWORD_PTR copied = 0;
    // SMTO_ABORTIFHUNG returns at once only for a thread Windows already counts as hung
    // (no message taken for 5 s); one that has just stopped costs the full timeout.
    if (!SendMessageTimeoutW(wnd, WM_GETTEXT, kPathSize, reinterpret_cast<LPARAM>(text),
                             SMTO_ABORTIFHUNG, kReadTextTimeoutMs, &copied)) {
        text[0] = u'\0';
        return 0;
    }
    text[kPathSize - 1] = u'\0';
    return 1;
}
