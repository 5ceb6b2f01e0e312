// The settings file Trailkeep.ini in the current directory: the settings and
// the two folder lists, held in memory for the whole run.
#pragma once
#include "paths.h"

// Settings, named by their keys in section [Setting].
extern int MaxLogData;         // entries the folder history keeps
extern int LogDelay;           // seconds a folder must stay shown before it is recorded
extern int LogTourokuData;     // record registered folders too
extern int LogRemovable;       // record folders on removable media
extern int LogNetwork;         // record network drives and UNC paths
extern int OpenExistFolder;    // always start a new Explorer instead of reusing one
extern int DeletedFolder;      // purge folders that no longer exist
extern int DeletedFolderTime;  // minutes between vanished-folder purges; 0 none
extern int SwapMouseLR;        // swap the tray icon's buttons
extern int LogSort;            // order of the history in the folder menu
extern int OpenMode;           // 0 plain folder window, 1 with the folder tree
extern int SwitchFileDialog;   // the launcher's menu over a file dialog switches the dialog
extern int ShowOpenFolders;    // the folder menu lists the folders open in Explorer
extern int DebugBeep;          // beep on recordings and rejections; never written

extern PathSlot gHistory[kHistorySlots];        // folder history, most recent first
extern PathSlot gRegistered[kRegisteredSlots];  // registered folders, the user's order

// Full path of the settings file into a buffer of 256 UTF-16 units. Returns 0, with an
// empty buffer, when the current directory is too long for the path to fit in 255
// units: the program then runs with defaults and writes no file.
int SettingsPath(wchar_t* path);
void LoadSettings(void);
void SaveSettings(void);
void SaveHistory(void);
