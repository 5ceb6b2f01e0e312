// The display scale as the running Windows tells it.
#include "dpi.h"

#include "scale.h"

typedef HRESULT(WINAPI* GetDpiForMonitorFn)(HMONITOR, int, UINT*, UINT*);
typedef UINT(WINAPI* GetDpiForWindowFn)(HWND);
typedef int(WINAPI* GetSystemMetricsForDpiFn)(int, UINT);

enum { kEffectiveDpi = 0 };  // MDT_EFFECTIVE_DPI: the scale the user chose for the monitor

// The functions found, each looked up once; null where this Windows lacks them.
static GetDpiForMonitorFn gGetDpiForMonitor;
static GetDpiForWindowFn gGetDpiForWindow;
static GetSystemMetricsForDpiFn gGetSystemMetricsForDpi;
static LoadIconMetricFn gLoadIconMetric;
static int gLookedUp;

// A function pointer from GetProcAddress, through void* so that the compiler takes the
// change of type as meant.
template <typename Fn>
static Fn Find(HMODULE module, const char* name)
{
    return module != nullptr ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)))
                             : nullptr;
}

static void LookUp(void)
{
    if (gLookedUp)
        return;
    gLookedUp = 1;
    HMODULE user32 = GetModuleHandleA("user32.dll");
    gGetDpiForWindow = Find<GetDpiForWindowFn>(user32, "GetDpiForWindow");
    gGetSystemMetricsForDpi = Find<GetSystemMetricsForDpiFn>(user32, "GetSystemMetricsForDpi");
    // Loaded once and kept for the run; missing before Windows 8.1.
    gGetDpiForMonitor = Find<GetDpiForMonitorFn>(LoadLibraryA("shcore.dll"), "GetDpiForMonitor");
    // Trailkeep imports the common controls, so they are loaded. Without a manifest that asks
    // for version 6 Windows loads version 5, which has no LoadIconMetric: it is then missing,
    // and the icon is loaded at the metric's size instead.
    gLoadIconMetric = Find<LoadIconMetricFn>(GetModuleHandleA("comctl32.dll"), "LoadIconMetric");
}

int SystemDpi(void)
{
    HDC screen = GetDC(nullptr);
    const int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSX) : kBaseDpi;
    if (screen != nullptr)
        ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : kBaseDpi;
}

int DpiAtPoint(POINT point)
{
    LookUp();
    UINT x = 0, y = 0;
    if (gGetDpiForMonitor != nullptr &&
        SUCCEEDED(gGetDpiForMonitor(MonitorFromPoint(point, MONITOR_DEFAULTTONEAREST),
                                    kEffectiveDpi, &x, &y)) &&
        x > 0)
        return static_cast<int>(x);
    return SystemDpi();
}

int DpiOfWindow(HWND wnd)
{
    LookUp();
    const UINT dpi = gGetDpiForWindow != nullptr && wnd != nullptr ? gGetDpiForWindow(wnd) : 0;
    return dpi > 0 ? static_cast<int>(dpi) : SystemDpi();
}

int MetricForDpi(int index, int dpi)
{
    LookUp();
    if (gGetSystemMetricsForDpi != nullptr && dpi > 0)
        return gGetSystemMetricsForDpi(index, static_cast<UINT>(dpi));
    return GetSystemMetrics(index);
}

LoadIconMetricFn FindLoadIconMetric(void)
{
    LookUp();
    return gLoadIconMetric;
}
