// The notification-area icon.
#include <windows.h>

#include "dpi.h"
#include "protocol.h"
#include "trailkeep.h"

enum { kIconResource = 400, kSmallIconMetric = 0 /* LIM_SMALL */ };

// Filled once when the icon is added; every later modify and the delete pass it again.
static NOTIFYICONDATAA gTrayIcon;

// The program icon at the small-icon size of a display scale. The icon file has a frame
// for each common scale, so the one of that size is taken as drawn, never a shrunk 32 x 32.
static HICON LoadTrayIcon(int dpi)
{
    // The common controls' own loader is the one meant for the notification area, but it
    // knows only the scale the system had when Trailkeep started: a per-monitor-aware
    // program keeps that scale's metrics after the user changes the scale without signing
    // out. At any other scale the icon is loaded at the size that scale asks for.
    HICON icon = nullptr;
    LoadIconMetricFn loadIconMetric = FindLoadIconMetric();
    if (loadIconMetric != nullptr && dpi == SystemDpi() &&
        SUCCEEDED(loadIconMetric(gInstance, MAKEINTRESOURCEW(kIconResource), kSmallIconMetric,
                                 &icon)))
        return icon;
    const int cx = MetricForDpi(SM_CXSMICON, dpi), cy = MetricForDpi(SM_CYSMICON, dpi);
    return static_cast<HICON>(
        LoadImageA(gInstance, MAKEINTRESOURCEA(kIconResource), IMAGE_ICON, cx, cy, 0));
}

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
    gTrayIcon.hIcon = LoadTrayIcon(DpiOfWindow(gMainWnd));
    lstrcpyA(gTrayIcon.szTip, TK_MAIN_TITLE);
    Shell_NotifyIconA(NIM_ADD, &gTrayIcon);
}

void RenewTrayIcon(int dpi, int shellRestarted)
{
    if (gTrayIcon.hWnd == nullptr)
        return;  // never added: start-up stopped before the icon
    HICON old = gTrayIcon.hIcon;
    gTrayIcon.hIcon = LoadTrayIcon(dpi);
    // A shell that started again has no icon of Trailkeep's: it is added anew. Where the
    // icon is still there (the announcement came for another reason, or from another
    // program), the add fails, and the icon is changed instead.
    if (!shellRestarted || !Shell_NotifyIconA(NIM_ADD, &gTrayIcon))
        Shell_NotifyIconA(NIM_MODIFY, &gTrayIcon);
    if (old != nullptr)
        DestroyIcon(old);
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
