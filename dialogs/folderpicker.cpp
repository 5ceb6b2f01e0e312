// The folder picker around the shell's folder-browse dialog.
#include <windows.h>
#include <shlobj.h>

#include "folderpicker.h"

#include "../core/paths.h"

static int CALLBACK PickerCallback(HWND wnd, UINT msg, LPARAM, LPARAM data)
{
    // Preselect the initial path, when one is given as a pointer.
    if (msg == BFFM_INITIALIZED && HIWORD(data) != 0)
        SendMessageA(wnd, BFFM_SETSELECTIONA, TRUE, data);
    return 0;
}

int PickFolder(HWND owner, char* result, const char* initial, const char* title)
{
    result[0] = '\0';
    // The browse dialog hosts shell objects: COM must be initialised on this thread,
    // single-threaded, for as long as the dialog runs.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int picked = 0;
    IMalloc* allocator = nullptr;
    if (SUCCEEDED(SHGetMalloc(&allocator))) {
        BROWSEINFOA info;
        ZeroMemory(&info, sizeof info);
        info.hwndOwner = owner;
        info.lpszTitle = title;
        info.ulFlags = BIF_RETURNONLYFSDIRS;
        info.lpfn = PickerCallback;
        info.lParam = reinterpret_cast<LPARAM>(initial);
        LPITEMIDLIST chosen = SHBrowseForFolderA(&info);
        if (chosen != nullptr) {
            // The shell may hand back up to 259 characters; a path slot holds 255.
            char full[MAX_PATH];
            full[0] = '\0';
            if (SHGetPathFromIDListA(chosen, full) && full[0] != '\0') {
                if (CopyPathIfFits(result, full)) {
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
