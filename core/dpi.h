// The display scale as the running Windows tells it. The functions that tell it per
// monitor came with later Windows versions; each is looked up when first needed, so that
// Trailkeep imports nothing that Windows XP lacks, and the answer falls back to the
// system's one scale where it is missing.
#pragma once
#include <windows.h>

// The scale of the whole screen (every monitor, before Windows 8.1): LOGPIXELSX.
int SystemDpi(void);
// The scale of the monitor at a point of the screen (GetDpiForMonitor, Windows 8.1 on),
// else the system's.
int DpiAtPoint(POINT point);
// The scale of the monitor a window is on (GetDpiForWindow, Windows 10 1607 on), else the
// system's.
int DpiOfWindow(HWND wnd);
// A system metric at a scale (GetSystemMetricsForDpi, Windows 10 1607 on); where that is
// missing, the metric of the system's scale, which is then the only one.
int MetricForDpi(int index, int dpi);
// LoadIconMetric of the common controls (Vista on), or null where it is missing.
typedef HRESULT(WINAPI* LoadIconMetricFn)(HINSTANCE, PCWSTR, int, HICON*);
LoadIconMetricFn FindLoadIconMetric(void);
