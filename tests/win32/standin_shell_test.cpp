// The stand-in shell seen from a client, as Trailkeep's watcher sees it: the window list
// reached by a plain CoCreateInstance, its events, each tab's browser with its events, and
// the way from the browser to the folder's path.
#include "fixtures/standin_shell.h"
#include "testsupport.h"

#include <exdisp.h>
#include <exdispid.h>
#include <ocidl.h>
#include <shlguid.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>

namespace tk {
namespace {

// A client's event sink for the list or a browser: what arrived, by DISPID.
class Sink : public IDispatch {
public:
    int count[256] = {};
    LONG cookie = 0;
    std::wstring url;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        static const QITAB table[] = {
            QITABENTMULTI2(Sink, DIID_DShellWindowsEvents, IDispatch),
            QITABENTMULTI2(Sink, DIID_DWebBrowserEvents2, IDispatch),
            QITABENT(Sink, IDispatch),
            {},
        };
        return QISearch(this, table, riid, ppv);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs_); }
    ULONG STDMETHODCALLTYPE Release() override { return InterlockedDecrement(&refs_); }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params,
                                     VARIANT*, EXCEPINFO*, UINT*) override
    {
        if (id < 0 || id > 255)
            return DISP_E_MEMBERNOTFOUND;
        ++count[id];
        if ((id == DISPID_WINDOWREGISTERED || id == DISPID_WINDOWREVOKED) &&
            params->cArgs == 1 && V_VT(&params->rgvarg[0]) == VT_I4)
            cookie = V_I4(&params->rgvarg[0]);
        // NavigateComplete2(pDisp, URL): the URL comes first, as a VARIANT by reference.
        if (id == DISPID_NAVIGATECOMPLETE2 && params->cArgs == 2 &&
            V_VT(&params->rgvarg[0]) == (VT_VARIANT | VT_BYREF) &&
            V_VT(V_VARIANTREF(&params->rgvarg[0])) == VT_BSTR &&
            V_VT(&params->rgvarg[1]) == VT_DISPATCH && V_DISPATCH(&params->rgvarg[1]) != nullptr)
            url = V_BSTR(V_VARIANTREF(&params->rgvarg[0]));
        return S_OK;
    }

private:
    LONG refs_ = 1;
};

std::wstring Wide(const std::string& text)
{
    wchar_t wide[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide, MAX_PATH);
    return wide;
}

// A connection to one event interface of an object; its cookie, 0 when none.
DWORD Connect(IUnknown* object, REFIID events, IDispatch* sink)
{
    IConnectionPointContainer* container = nullptr;
    IConnectionPoint* point = nullptr;
    DWORD cookie = 0;
    if (SUCCEEDED(object->QueryInterface(IID_PPV_ARGS(&container))) &&
        SUCCEEDED(container->FindConnectionPoint(events, &point)))
        point->Advise(sink, &cookie);
    if (point != nullptr)
        point->Release();
    if (container != nullptr)
        container->Release();
    return cookie;
}

HRESULT Disconnect(IUnknown* object, REFIID events, DWORD cookie)
{
    IConnectionPointContainer* container = nullptr;
    IConnectionPoint* point = nullptr;
    HRESULT hr = object->QueryInterface(IID_PPV_ARGS(&container));
    if (SUCCEEDED(hr))
        hr = container->FindConnectionPoint(events, &point);
    if (SUCCEEDED(hr))
        hr = point->Unadvise(cookie);
    if (point != nullptr)
        point->Release();
    if (container != nullptr)
        container->Release();
    return hr;
}

// The folder of a browser the long way, as the watcher asks for it: its top-level shell
// browser, the active view, the folder as an item, the item's file-system path.
std::wstring FolderPath(IWebBrowser2* browser, HRESULT* hr)
{
    IServiceProvider* services = nullptr;
    IShellBrowser* shell = nullptr;
    IShellView* view = nullptr;
    IFolderView* folderView = nullptr;
    IShellItem* item = nullptr;
    wchar_t* path = nullptr;
    std::wstring result;
    *hr = browser->QueryInterface(IID_PPV_ARGS(&services));
    if (SUCCEEDED(*hr))
        *hr = services->QueryService(SID_STopLevelBrowser, IID_PPV_ARGS(&shell));
    if (SUCCEEDED(*hr))
        *hr = shell->QueryActiveShellView(&view);
    if (SUCCEEDED(*hr))
        *hr = view->QueryInterface(IID_PPV_ARGS(&folderView));
    if (SUCCEEDED(*hr))
        *hr = folderView->GetFolder(IID_PPV_ARGS(&item));
    if (SUCCEEDED(*hr))
        *hr = item->GetDisplayName(SIGDN_FILESYSPATH, &path);
    if (SUCCEEDED(*hr))
        result = path, CoTaskMemFree(path);
    IUnknown* all[] = {item, folderView, view, shell, services};
    for (IUnknown* p : all)
        if (p != nullptr)
            p->Release();
    return result;
}

std::wstring LocationUrl(IWebBrowser2* browser)
{
    BSTR url = nullptr;
    std::wstring text = SUCCEEDED(browser->get_LocationURL(&url)) && url ? url : L"(failed)";
    SysFreeString(url);
    return text;
}

// The browsers of the list's enumeration.
std::vector<IWebBrowser2*> Browsers(IShellWindows* list)
{
    std::vector<IWebBrowser2*> browsers;
    IUnknown* unknown = nullptr;
    IEnumVARIANT* items = nullptr;
    if (SUCCEEDED(list->_NewEnum(&unknown)) &&
        SUCCEEDED(unknown->QueryInterface(IID_PPV_ARGS(&items)))) {
        VARIANT item;
        while (items->Next(1, &item, nullptr) == S_OK) {
            IWebBrowser2* browser = nullptr;
            if (V_VT(&item) == VT_DISPATCH &&
                SUCCEEDED(V_DISPATCH(&item)->QueryInterface(IID_PPV_ARGS(&browser))))
                browsers.push_back(browser);
            VariantClear(&item);
        }
        items->Release();
    }
    if (unknown != nullptr)
        unknown->Release();
    return browsers;
}

BOOL CALLBACK AddClass(HWND child, LPARAM list)
{
    char name[64];
    GetClassNameA(child, name, sizeof name);
    reinterpret_cast<std::vector<std::string>*>(list)->push_back(name);
    return TRUE;
}

std::vector<std::string> ChildClasses(HWND top)
{
    std::vector<std::string> classes;
    EnumChildWindows(top, AddClass, reinterpret_cast<LPARAM>(&classes));
    return classes;
}

std::string Narrow(const std::wstring& text)
{
    char narrow[MAX_PATH * 3];
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, narrow, sizeof narrow, nullptr, nullptr);
    return narrow;
}

// An ID list as a client passes one in a VARIANT: its bytes in an array.
bool IdListVariant(const std::wstring& path, VARIANT* location)
{
    LPITEMIDLIST pidl = ILCreateFromPathW(path.c_str());
    if (pidl == nullptr)
        return false;
    SAFEARRAY* bytes = SafeArrayCreateVector(VT_UI1, 0, ILGetSize(pidl));
    void* data = nullptr;
    if (bytes != nullptr && SUCCEEDED(SafeArrayAccessData(bytes, &data))) {
        CopyMemory(data, pidl, ILGetSize(pidl));
        SafeArrayUnaccessData(bytes);
    }
    ILFree(pidl);
    V_VT(location) = VT_ARRAY | VT_UI1, V_ARRAY(location) = bytes;
    return bytes != nullptr;
}

bool LogHas(const std::string& needle)
{
    return WaitShellLog(needle.c_str());
}

LRESULT Shell(UINT command, HWND target, const std::wstring& path = L"")
{
    HWND result = nullptr;
    ShellCommand(command, target, path.c_str(), &result);
    return reinterpret_cast<LRESULT>(result);
}

class StandinShellTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_HRESULT_SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
        ASSERT_TRUE(UseStandinShell(true));
    }
    void TearDown() override
    {
        EXPECT_TRUE(UseStandinShell(false));
        CoUninitialize();
    }
    // Members: COM may release them up to CoUninitialize.
    Sink listSink, tabSink;
};

TEST_F(StandinShellTest, PlainClientFollowsWindowsTabsAndNavigations)
{
    const std::wstring a = Wide(MakeScratchDir("standin shell a"));
    const std::wstring b = Wide(MakeScratchDir("standin shell b"));
    // Started by COM on the first request.
    IShellWindows* list = nullptr;
    ASSERT_HRESULT_SUCCEEDED(
        CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_ALL, IID_PPV_ARGS(&list)));
    const DWORD listCookie = Connect(list, DIID_DShellWindowsEvents, &listSink);
    ASSERT_NE(0u, listCookie);
    EXPECT_EQ(2, Shell(kShellCountSinks, nullptr));

    // A window opens: registered with the list, found by enumeration.
    const HWND tab1 = reinterpret_cast<HWND>(Shell(kShellOpenWindow, nullptr, a));
    ASSERT_NE(nullptr, tab1);
    const HWND top = GetAncestor(tab1, GA_ROOT);
    EXPECT_TRUE(WaitFor([&] { return listSink.count[DISPID_WINDOWREGISTERED] == 1; }));
    EXPECT_TRUE(LogHas("NavigateComplete2 " + std::string(ShellLogTab(tab1).text)));
    std::vector<IWebBrowser2*> browsers = Browsers(list);
    ASSERT_EQ(1u, browsers.size());
    IWebBrowser2* browser = browsers[0];
    SHANDLE_PTR window = 0;
    EXPECT_HRESULT_SUCCEEDED(browser->get_HWND(&window));
    EXPECT_EQ(top, reinterpret_cast<HWND>(window));
    HRESULT hr;
    EXPECT_EQ(a, FolderPath(browser, &hr));
    EXPECT_EQ(L"file:///" + a.substr(0, 2) + L"/", LocationUrl(browser).substr(0, 11));
    EXPECT_NE(std::wstring::npos, LocationUrl(browser).find(L"/tk-standin%20shell%20a"))
        << LocationUrl(browser);
    ASSERT_NE(0u, Connect(browser, DIID_DWebBrowserEvents2, &tabSink));
    EXPECT_EQ(2, Shell(kShellCountSinks, tab1));

    // The window's shape: tabs and a breadcrumb address band, no Edit for the hook.
    auto has = [&](const char* name) {
        const std::vector<std::string> classes = ChildClasses(top);
        return std::count(classes.begin(), classes.end(), std::string(name));
    };
    EXPECT_EQ(1, has("ShellTabWindowClass"));
    EXPECT_EQ(1, has("Breadcrumb Parent"));
    EXPECT_EQ(1, has("ToolbarWindow32"));
    EXPECT_EQ(0, has("Edit"));
    EXPECT_EQ("tk-standin shell a", WindowText(top));

    // A second tab, a navigation by the test and one asked for by the client.
    const HWND tab2 = reinterpret_cast<HWND>(Shell(kShellNewTab, top, b));
    ASSERT_NE(nullptr, tab2);
    EXPECT_TRUE(WaitFor([&] { return listSink.count[DISPID_WINDOWREGISTERED] == 2; }));
    LONG count = 0;
    EXPECT_HRESULT_SUCCEEDED(list->get_Count(&count));
    EXPECT_EQ(2, count);
    // Late bound too, as scripts ask.
    OLECHAR* name = const_cast<OLECHAR*>(L"Count");
    DISPID countId = 0;
    VARIANT late;
    DISPPARAMS none = {};
    EXPECT_HRESULT_SUCCEEDED(list->GetIDsOfNames(IID_NULL, &name, 1, 0, &countId));
    EXPECT_HRESULT_SUCCEEDED(list->Invoke(countId, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &late,
                                          nullptr, nullptr));
    EXPECT_EQ(2, V_I4(&late));
    EXPECT_EQ(0, has("Edit"));
    EXPECT_FALSE(IsWindowVisible(tab1));
    EXPECT_EQ(tab1, reinterpret_cast<HWND>(Shell(kShellNavigate, tab1, b)));
    EXPECT_TRUE(WaitFor([&] { return tabSink.count[DISPID_NAVIGATECOMPLETE2] == 1; }));
    EXPECT_NE(std::wstring::npos, tabSink.url.find(L"standin%20shell%20b")) << tabSink.url;
    // The optional arguments are empty VARIANTs: a null one fails to marshal.
    VARIANT target, empty;
    VariantInit(&empty);
    V_VT(&target) = VT_BSTR, V_BSTR(&target) = SysAllocString(a.c_str());
    EXPECT_HRESULT_SUCCEEDED(browser->Navigate2(&target, &empty, &empty, &empty, &empty));
    VariantClear(&target);
    EXPECT_TRUE(WaitFor([&] { return tabSink.count[DISPID_NAVIGATECOMPLETE2] == 2; }));
    EXPECT_NE(std::wstring::npos, tabSink.url.find(L"standin%20shell%20a")) << tabSink.url;
    EXPECT_TRUE(LogHas("Navigate2 " + std::string(ShellLogTab(tab1).text) + " " + Narrow(a)))
        << ShellLog();
    EXPECT_EQ(2, Shell(kShellBrowseCount, tab1));
    EXPECT_EQ(tab1, reinterpret_cast<HWND>(Shell(kShellWindowFor, nullptr, a)));

    // FindWindowSW with the folder's ID list: the top-level window and the tab's browser.
    VARIANT location;
    ASSERT_TRUE(IdListVariant(a, &location));
    LONG found = 0;
    IDispatch* foundBrowser = nullptr;
    EXPECT_EQ(S_OK, list->FindWindowSW(&location, &empty, SWC_EXPLORER, &found,
                                        SWFO_NEEDDISPATCH, &foundBrowser));
    VariantClear(&location);
    EXPECT_EQ(top, static_cast<HWND>(LongToHandle(found)));
    ASSERT_NE(nullptr, foundBrowser);
    foundBrowser->Release();

    // The shell browser's own way: BrowseObject with an ID list reaches the tab. Under
    // Wine only the first item of an ID list crosses the process boundary (the rest is
    // whatever memory follows), so what the stand-in makes of it is not checked here.
    IServiceProvider* services = nullptr;
    IShellBrowser* shell = nullptr;
    ASSERT_HRESULT_SUCCEEDED(browser->QueryInterface(IID_PPV_ARGS(&services)));
    ASSERT_HRESULT_SUCCEEDED(services->QueryService(SID_STopLevelBrowser, IID_PPV_ARGS(&shell)));
    LPITEMIDLIST pidl = ILCreateFromPathW(b.c_str());
    shell->BrowseObject(pidl, SBSP_SAMEBROWSER | SBSP_ABSOLUTE);
    ILFree(pidl);
    shell->Release();
    services->Release();
    EXPECT_TRUE(LogHas("BrowseObject " + std::string(ShellLogTab(tab1).text) + " "));
    EXPECT_EQ(3, Shell(kShellBrowseCount, tab1));

    // A virtual folder has no path, by either way.
    Shell(kShellNavigate, tab2, L"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}");
    EXPECT_TRUE(LogHas("NavigateComplete2 " + std::string(ShellLogTab(tab2).text) + " ::"));
    int virtuals = 0;
    for (IWebBrowser2* other : Browsers(list)) {
        if (other != browser) {
            ++virtuals;
            EXPECT_EQ(L"", LocationUrl(other));
            EXPECT_EQ(L"", FolderPath(other, &hr));
            EXPECT_HRESULT_FAILED(hr);
        }
        other->Release();
    }
    EXPECT_EQ(1, virtuals);

    // Closing the tab: OnQuit, revoked from the list, the browser cut off.
    EXPECT_EQ(1, Shell(kShellClose, tab1));
    EXPECT_TRUE(WaitFor([&] { return listSink.count[DISPID_WINDOWREVOKED] == 1; }));
    EXPECT_EQ(1, tabSink.count[DISPID_ONQUIT]);
    EXPECT_TRUE(WaitFor([&] { return !IsWindow(tab1); }));
    EXPECT_HRESULT_FAILED(browser->get_HWND(&window));
    browser->Release();
    EXPECT_HRESULT_SUCCEEDED(list->get_Count(&count));
    EXPECT_EQ(1, count);
    EXPECT_HRESULT_SUCCEEDED(Disconnect(list, DIID_DShellWindowsEvents, listCookie));
    EXPECT_EQ(1, Shell(kShellCountSinks, nullptr));
    list->Release();

    // Without the stand-in, the shell's own list answers again (Wine's has no count).
    EXPECT_TRUE(UseStandinShell(false));
    ASSERT_HRESULT_SUCCEEDED(
        CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_ALL, IID_PPV_ARGS(&list)));
    EXPECT_EQ(E_NOTIMPL, list->get_Count(&count));
    list->Release();
}

}  // namespace
}  // namespace tk
