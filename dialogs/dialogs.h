// The settings dialog with its about box, and the registered-folders dialog.
#pragma once
#include <windows.h>

// Dialog results: the ids of the buttons that end the dialogs.
enum {
    kSettingsOk = 100,
    kSettingsCancel = 102,
    kTourokuOk = 200,
    kTourokuCancel = 201,
};

// Runs the settings dialog (IDD_SETUP) modally over `owner`. Returns kSettingsOk once every
// setting holds the value the dialog shows, or kSettingsCancel with the settings untouched.
INT_PTR ShowSettingsDialog(HWND owner);

INT_PTR CALLBACK SettingsDlgProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AboutDlgProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK TourokuDlgProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam);
