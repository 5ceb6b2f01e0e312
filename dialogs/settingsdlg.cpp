// The settings dialog (IDD_SETUP) and the about box (IDD_ABOUT).
#include <windows.h>
#include <commctrl.h>

#include "dialogs.h"
#include "fieldstep.h"

#include "../core/numbers.h"
#include "../core/settings.h"
#include "../core/trailkeep.h"

// A read-only number field, the up-down control that steps it, and its setting.
struct NumberField {
    int field;
    int updown;
    int* value;
    int lowest;
    int highest;
};

static const NumberField kNumberFields[] = {
    {103, 104, &MaxLogData, 1, 50},
    {105, 106, &LogDelay, 0, kNoUpperBound},                // seconds
    {111, 112, &DeletedFolderTime, 0, kNoUpperBound},       // minutes
};

// A check box and the 0/1 setting it shows.
struct CheckSetting {
    int id;
    int* value;
};

static const CheckSetting kCheckSettings[] = {
    {107, &LogTourokuData}, {108, &LogRemovable},    {109, &LogNetwork},
    {110, &DeletedFolder},  {113, &OpenExistFolder}, {114, &SwapMouseLR},
    {128, &SwitchFileDialog}, {129, &ShowOpenFolders},
};

// A group of radio buttons with consecutive ids: button first + k stands for value k.
struct RadioSetting {
    int first;
    int count;
    int* value;
};

static const RadioSetting kRadioSettings[] = {
    {115, 4, &LogSort},
    {119, 2, &OpenMode},
};

enum {
    kIdAbout = 101,
    kIdTouroku = 121,
    kIdAboutOk = 300,
    kFieldChars = 19,  // characters of a number field that are read
};

INT_PTR ShowSettingsDialog(HWND owner)
{
    // The dialogs hold up-down and list-view controls: their classes must exist before
    // the first template that names them is created.
    INITCOMMONCONTROLSEX classes;
    classes.dwSize = sizeof classes;
    classes.dwICC = ICC_UPDOWN_CLASS | ICC_LISTVIEW_CLASSES;
    InitCommonControlsEx(&classes);
    return DialogBoxParamA(gInstance, "IDD_SETUP", owner, SettingsDlgProc, 0);
}

static int ReadField(HWND dlg, int id)
{
    char text[kFieldChars + 1];
    text[0] = '\0';
    GetDlgItemTextA(dlg, id, text, sizeof text);
    return ParseInteger(text);
}

static void ShowField(HWND dlg, int id, int value)
{
    char text[16];
    wsprintfA(text, "%d", value);
    SetDlgItemTextA(dlg, id, text);
}

static INT_PTR OnInitSetup(HWND dlg)
{
    for (const NumberField& f : kNumberFields)
        ShowField(dlg, f.field, *f.value);
    for (const CheckSetting& c : kCheckSettings)
        CheckDlgButton(dlg, c.id, *c.value != 0 ? BST_CHECKED : BST_UNCHECKED);
    // A value outside the group (a hand-edited file) leaves every button unchecked.
    for (const RadioSetting& r : kRadioSettings) {
        for (int k = 0; k < r.count; ++k)
            CheckDlgButton(dlg, r.first + k, *r.value == k ? BST_CHECKED : BST_UNCHECKED);
    }
    SetForegroundWindow(dlg);
    return TRUE;
}

static void OnSetupOk(HWND dlg)
{
    for (const NumberField& f : kNumberFields)
        *f.value = ReadField(dlg, f.field);
    for (const CheckSetting& c : kCheckSettings)
        *c.value = IsDlgButtonChecked(dlg, c.id) == BST_CHECKED ? 1 : 0;
    // With no button of a group checked, its setting keeps its value.
    for (const RadioSetting& r : kRadioSettings) {
        for (int k = 0; k < r.count; ++k) {
            if (IsDlgButtonChecked(dlg, r.first + k) == BST_CHECKED) {
                *r.value = k;
                break;
            }
        }
    }
    EndDialog(dlg, kSettingsOk);
}

// UDN_DELTAPOS: the dialog writes the field itself; the control's own position is unused.
static void OnUpDownStep(HWND dlg, const NMUPDOWN* step)
{
    for (const NumberField& f : kNumberFields) {
        if (step->hdr.idFrom != static_cast<UINT_PTR>(f.updown))
            continue;
        if (step->iDelta != 0) {
            const int value = ReadField(dlg, f.field);
            ShowField(dlg, f.field, StepFieldValue(value, step->iDelta, f.lowest, f.highest));
        }
        return;
    }
}

static void OnSetupCommand(HWND dlg, WORD id)
{
    switch (id) {
    case kSettingsOk: OnSetupOk(dlg); break;
    case kIdAbout:
        MessageBeep(0xFFFFFFFF);
        DialogBoxParamA(gInstance, "IDD_ABOUT", dlg, AboutDlgProc, 0);
        break;
    case kSettingsCancel: EndDialog(dlg, kSettingsCancel); break;
    case kIdTouroku: DialogBoxParamA(gInstance, "IDD_TOUROKU", dlg, TourokuDlgProc, 0); break;
    default: break;  // IDCANCEL (Esc) included: only OK and Cancel close the dialog
    }
}

INT_PTR CALLBACK SettingsDlgProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_INITDIALOG: return OnInitSetup(dlg);
    case WM_COMMAND: OnSetupCommand(dlg, LOWORD(wParam)); break;
    case WM_NOTIFY: {
        const NMHDR* hdr = reinterpret_cast<const NMHDR*>(lParam);
        if (hdr->code == UDN_DELTAPOS)
            OnUpDownStep(dlg, reinterpret_cast<const NMUPDOWN*>(lParam));
        break;  // the control's default processing goes on
    }
    }
    return FALSE;
}

INT_PTR CALLBACK AboutDlgProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM)
{
    if (msg == WM_INITDIALOG)
        return TRUE;
    if (msg == WM_COMMAND && LOWORD(wParam) == kIdAboutOk)
        EndDialog(dlg, kIdAboutOk);
    return FALSE;
}
