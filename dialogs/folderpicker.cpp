// The folder picker around the shell's folder-browse dialog.
#include <windows.h>
#include <shlobj.h>

#include "folderpicker.h"

#include "../core/paths.h"
#include "../core/wide.h"

static int CALLBACK PickerCallback(HWND wnd, UINT msg, LPARAM, LPARAM data)
{
    // Preselect the initial path, when one is given as a pointer rather than as a small
    // integer. Every bit above the low word counts: on x86-64 a valid address can have
    // bits 16 to 31 all zero, which a test of the high word alone would miss.
    if (msg == BFFM_INITIALIZED && (static_cast<ULONG_PTR>(data) >> 16) != 0)
        SendMessageW(wnd, BFFM_SETSELECTIONW, TRUE, data);
    return 0;
}

int PickFolder(HWND owner, char16_t* result, const char16_t* initial, const wchar_t* title)
{
    result[0] = u'\0';
    // The browse dialog hosts shell objects: COM must be initialised on this thread,
    // single-threaded, for as long as the dialog runs.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int picked = 0;
    IMalloc* allocator = nullptr;
    if (SUCCEEDED(SHGetMalloc(&allocator))) {
        BROWSEINFOW info;
        ZeroMemory(&info, sizeof info);
        info.hwndOwner = owner;
        info.lpszTitle = title;
        info.ulFlags = BIF_RETURNONLYFSDIRS;
        info.lpfn = PickerCallback;
        info.lParam = reinterpret_cast<LPARAM>(initial);
        LPITEMIDLIST chosen = SHBrowseForFolderW(&info);
        if (chosen != nullptr) {
            // The shell may hand back up to 259 characters; a path slot holds 255.
            wchar_t full[MAX_PATH];
            full[0] = L'\0';
            if (SHGetPathFromIDListW(chosen, full) && full[0] != L'\0') {
                if (CopyPathIfFits(result, U16(full))) {
                    picked = 1;
                } else {
                    MessageBoxA(owner, "フォルダのパスが長すぎます (255文字まで)", "Trailkeep.exe",
                                MB_OK);
                }
            }
            allocator->Free(chosen);
        }
        allocator->Release();
    }
    if (SUCCEEDED(com))
        CoUninitialize();
    return picked;
}
