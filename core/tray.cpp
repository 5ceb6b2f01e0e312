// The notification-area icon.
#include <windows.h>

#include "protocol.h"
#include "trailkeep.h"

// Filled once when the icon is added; every later modify and the delete pass it again.
static NOTIFYICONDATAA gTrayIcon;

void AddTrayIcon(void)
{
    ZeroMemory(&gTrayIcon, sizeof gTrayIcon);
    // The first, shortest form of the record, understood by every shell version: 88 bytes
    // in a 32-bit program, wider in a 64-bit one, where the handles are 8 bytes.
    gTrayIcon.cbSize = NOTIFYICONDATAA_V1_SIZE;
    gTrayIcon.hWnd = gMainWnd;
    gTrayIcon.uID = TK_ICON_ID;
    gTrayIcon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    gTrayIcon.uCallbackMessage = WM_TK_TRAY;
    gTrayIcon.hIcon = LoadIconA(gInstance, MAKEINTRESOURCEA(400));
    lstrcpyA(gTrayIcon.szTip, TK_MAIN_TITLE);
    Shell_NotifyIconA(NIM_ADD, &gTrayIcon);
}

void SetTrayCallback(int on)
{
    gTrayIcon.uCallbackMessage = on ? WM_TK_TRAY : 0;
    Shell_NotifyIconA(NIM_MODIFY, &gTrayIcon);
}

void DeleteTrayIcon(void)
{
    Shell_NotifyIconA(NIM_DELETE, &gTrayIcon);
}
