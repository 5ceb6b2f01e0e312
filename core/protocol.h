// The message protocol of Trailkeeper: one numbering for the main window's
// messages, timers and menu commands, shared by Trailkeep, Trailhook and
// Trailmenu. Plain integers, so that platform-free code can use them too.
#pragma once

// Identity of the main window, looked up by class and title together.
#define TK_MAIN_CLASS "TrailkeeperClass"
#define TK_MAIN_TITLE "Trailkeeper"
// Named mutex that guards the title handoff.
#define TK_HANDOFF_MUTEX "TrailkeeperMutex"

enum {
    WM_TK_CAPTURED = 1025,       // a path was captured (wParam TK_HANDOFF_TAG or 0)
    TK_HANDOFF_TAG = 1026,       // wParam of WM_TK_CAPTURED: the path stands in the title
    WM_TK_TRAY = 1027,           // tray icon callback and launcher request
    TK_ICON_ID = 1028,           // the tray icon's id; also the launcher request's lParam
    WM_TK_DRAGHOVER = 1029,      // movement while a menu entry is dragged
    TIMER_PURGE = 1030,          // 1 s tick of the vanished-folder purge countdown
    TIMER_TASKBAR_HOVER = 1031,  // one-shot hover timer over the taskbar
    CMD_HISTORY_BASE = 1032,     // + display position 0..49
    CMD_REGISTERED_BASE = 1082,  // + registered-folder index 0..29
    TIMER_PENDING_BASE = 1112,   // + pending slot 0..19
    CMD_OPEN_WINDOW_BASE = 1132,  // + open-folder entry 0..63
};

// Fixed menu commands.
enum {
    CMD_NO_HISTORY = 500,
    CMD_NO_REGISTERED = 501,
    CMD_OPEN_FOLDER = 502,
    CMD_SETTINGS = 503,
    CMD_EXIT = 504,
    CMD_NO_OPEN_WINDOW = 505,
};
