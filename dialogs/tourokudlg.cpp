// The registered-folders dialog (IDD_TOUROKU): edits a working copy of the registered
// folders in a one-column list and commits it on OK.
#include <windows.h>
#include <commctrl.h>

#include "dialogs.h"
#include "folderpicker.h"
#include "workingcopy.h"

#include "../core/settings.h"
#include "../core/trailkeep.h"
#include "../core/wide.h"

enum {
    kIdList = 202,
    kIdAdd = 203,
    kIdDelete = 204,
    kIdMoveUp = 205,
    kIdMoveDown = 206,
};

static WorkingCopy gTouroku;  // the list being edited; set up anew at each opening
static HWND gTourokuList;     // list control 202 of the open dialog

// Text width on the list's device context as GetDC gives it (no font selected).
static int MeasureOnDc(void* dc, const char16_t* text)
{
    SIZE size;
    if (!GetTextExtentPoint32W(static_cast<HDC>(dc), W(text), lstrlenW(W(text)), &size))
        return 0;
    return size.cx;
}

typedef int (*WidthEdit)(WorkingCopy* copy, const char16_t* text, TextWidthFn width,
                         void* context);

// The list's only column, inserted again with the width of the widest entry.
static void ResetColumn(void)
{
    SendMessageA(gTourokuList, LVM_DELETECOLUMN, 0, 0);
    LVCOLUMNA column;
    ZeroMemory(&column, sizeof column);
    column.mask = LVCF_WIDTH;
    column.cx = gTouroku.widest;
    SendMessageA(gTourokuList, LVM_INSERTCOLUMNA, 0, reinterpret_cast<LPARAM>(&column));
}

// Applies a width edit with the list's device context, taken for this call only.
static void FitColumn(WidthEdit edit, const char16_t* text)
{
    HDC dc = GetDC(gTourokuList);
    const int changed = edit(&gTouroku, text, MeasureOnDc, dc);
    ReleaseDC(gTourokuList, dc);
    if (changed)
        ResetColumn();
}

// The list control is a Unicode window whatever the dialog is: its items hold the paths in
// UTF-16 as they are.
static void InsertItem(int position, const char16_t* text)
{
    LVITEMW item;
    ZeroMemory(&item, sizeof item);
    item.mask = LVIF_TEXT;
    item.iItem = position;
    item.pszText = const_cast<wchar_t*>(W(text));
    SendMessageW(gTourokuList, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
}

// Sets the focused and selected state of one item, or of every item with position -1.
static void SetSelection(int position, UINT state)
{
    LVITEMA item;
    ZeroMemory(&item, sizeof item);
    item.state = state;
    item.stateMask = LVIS_FOCUSED | LVIS_SELECTED;
    SendMessageA(gTourokuList, LVM_SETITEMSTATE, static_cast<WPARAM>(position),
                 reinterpret_cast<LPARAM>(&item));
}

static void SelectItem(int position)
{
    SetSelection(position, LVIS_FOCUSED | LVIS_SELECTED);
}

static void ClearSelection(void)
{
    SetSelection(-1, 0);
}

static int SelectedItem(void)
{
    return static_cast<int>(
        SendMessageA(gTourokuList, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

// Item k shows working-copy slot k again.
static void ShowSlot(int k)
{
    SendMessageA(gTourokuList, LVM_DELETEITEM, static_cast<WPARAM>(k), 0);
    InsertItem(k, gTouroku.slots[k]);
}

static INT_PTR OnInitTouroku(HWND dlg)
{
    InitCommonControls();
    gTourokuList = GetDlgItem(dlg, kIdList);
    HDC dc = GetDC(gTourokuList);
    LoadWorkingCopy(&gTouroku, gRegistered, MeasureOnDc, dc);
    ReleaseDC(gTourokuList, dc);
    for (int i = 0; i < gTouroku.count; ++i)
        InsertItem(i, gTouroku.slots[i]);
    // The items exist before the column does; the column comes with its width.
    ResetColumn();
    SetForegroundWindow(dlg);
    return TRUE;
}

static void OnAdd(HWND dlg)
{
    if (gTouroku.count >= kRegisteredSlots)
        return;
    // The position is fixed before the picker opens: the selected item, or the end.
    int p = SelectedItem();
    if (p < 0)
        p = gTouroku.count;
    PathSlot picked;
    // As for the open-a-folder command's picker: no folder menu opens over it, whose
    // "フォルダを開く" would start a second picker over this one.
    SetBusy(kBusyPicker, 1);
    const int chosen = PickFolder(dlg, picked, u"", L"フォルダを選択して下さい");
    SetBusy(kBusyPicker, 0);
    if (chosen) {
        if (FindEntry(&gTouroku, picked) >= 0) {
            MessageBoxA(dlg, "既に登録されています", "登録済", MB_OK);
        } else if (InsertEntry(&gTouroku, p, picked) >= 0) {
            InsertItem(p, picked);
            FitColumn(WidenForEntry, picked);
        }
    }
    // After a cancel or a refusal this selects again what was selected; an appended
    // position that stayed empty selects nothing.
    SelectItem(p);
    SetFocus(gTourokuList);
}

static void OnDelete(void)
{
    const int p = SelectedItem();
    if (p < 0 || p >= gTouroku.count)
        return;
    PathSlot removed;
    CopyPath(removed, gTouroku.slots[p]);
    SendMessageA(gTourokuList, LVM_DELETEITEM, static_cast<WPARAM>(p), 0);
    RemoveEntry(&gTouroku, p);
    FitColumn(NarrowAfterRemoval, removed);
    if (p == gTouroku.count)
        ClearSelection();
    else
        SelectItem(p);  // the entry that moved into its place
    SetFocus(gTourokuList);
}

// Move up (step -1) or down (+1). At the end of the list the item stays selected.
static void OnMove(int step)
{
    const int p = SelectedItem();
    const int to = MoveEntry(&gTouroku, p, step);
    if (to >= 0) {
        ShowSlot(to < p ? to : p);
        ShowSlot(to < p ? p : to);
        SelectItem(to);
    } else if (p >= 0 && p < gTouroku.count) {
        SelectItem(p);
    }
    SetFocus(gTourokuList);
}

// A click on empty list space clears the selection; a click on an item is the list's.
static void OnListClick(void)
{
    LVHITTESTINFO hit;
    ZeroMemory(&hit, sizeof hit);
    // Where the click was: the cursor as of the mouse message being handled. The cursor
    // may have moved on by now (towards the Delete button, say), and testing that spot
    // would take back the selection the click has just made.
    const DWORD clickedAt = GetMessagePos();
    hit.pt.x = static_cast<short>(LOWORD(clickedAt));
    hit.pt.y = static_cast<short>(HIWORD(clickedAt));
    ScreenToClient(gTourokuList, &hit.pt);
    SendMessageA(gTourokuList, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit));
    if ((hit.flags & LVHT_ONITEM) == 0)
        ClearSelection();
}

static void OnTourokuCommand(HWND dlg, WORD id)
{
    switch (id) {
    case kTourokuOk:
        CommitWorkingCopy(&gTouroku, gRegistered);
        EndDialog(dlg, kTourokuOk);
        break;
    case kTourokuCancel: EndDialog(dlg, kTourokuCancel); break;
    case kIdAdd: OnAdd(dlg); break;
    case kIdDelete: OnDelete(); break;
    case kIdMoveUp: OnMove(-1); break;
    case kIdMoveDown: OnMove(1); break;
    default: break;  // IDCANCEL (Esc) included: only OK and Cancel close the dialog
    }
}

INT_PTR CALLBACK TourokuDlgProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_INITDIALOG: return OnInitTouroku(dlg);
    case WM_COMMAND: OnTourokuCommand(dlg, LOWORD(wParam)); break;
    case WM_NOTIFY: {
        const NMHDR* hdr = reinterpret_cast<const NMHDR*>(lParam);
        if (hdr->idFrom == kIdList && hdr->code == static_cast<UINT>(NM_CLICK))
            OnListClick();
        return TRUE;
    }
    }
    return FALSE;
}
