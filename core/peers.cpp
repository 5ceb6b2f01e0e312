#include "peers.h"

#include "paths.h"

void ReadWindowText(HWND wnd, char* text)
{
    text[0] = '\0';
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutA(wnd, WM_GETTEXT, kPathSize, reinterpret_cast<LPARAM>(text),
                             SMTO_ABORTIFHUNG, 5000, &copied))
        text[0] = '\0';
    text[kPathSize - 1] = '\0';
}
