// Reading and writing Trailkeep.ini through the profile functions, one call per key.
#include <windows.h>

#include "numbers.h"
#include "settings.h"

int MaxLogData;
int LogDelay;
int LogTourokuData;
int LogRemovable;
int LogNetwork;
int OpenExistFolder;
int DeletedFolder;
int DeletedFolderTime;
int SwapMouseLR;
int LogSort;
int OpenMode;
int DebugBeep;

PathSlot gHistory[kHistorySlots];
PathSlot gRegistered[kRegisteredSlots];

// Section [Setting] in file order. DebugBeep is only ever set by hand: it is read
// but never written, so a save keeps whatever the user put there.
struct SettingKey {
    const char* key;
    const char* fallback;  // used when the key is absent; an empty value reads as 0
    int* value;
    int written;
};

static const SettingKey kSettingKeys[] = {
    {"MaxLogData", "20", &MaxLogData, 1},
    {"LogDelay", "0", &LogDelay, 1},
    {"LogTourokuData", "0", &LogTourokuData, 1},
    {"LogRemovable", "0", &LogRemovable, 1},
    {"LogNetwork", "0", &LogNetwork, 1},
    {"OpenExistFolder", "0", &OpenExistFolder, 1},
    {"DeletedFolder", "0", &DeletedFolder, 1},
    {"DeletedFolderTime", "0", &DeletedFolderTime, 1},
    {"SwapMouseLR", "0", &SwapMouseLR, 1},
    {"LogSort", "0", &LogSort, 1},
    {"OpenMode", "0", &OpenMode, 1},
    {"DebugBeep", "0", &DebugBeep, 0},
};

static const char kSetting[] = "Setting";
static const char kPathLog[] = "Path_Log";
static const char kPathTouroku[] = "Path_Touroku";

int SettingsPath(char* path)
{
    path[0] = '\0';
    // The name has no directory part, so the result is Trailkeep.exe in the current
    // directory, whatever the program file is called or where it lies.
    const DWORD n = GetFullPathNameA("Trailkeep.exe", 255, path, nullptr);
    if (n == 0 || n >= 255 || n < 3) {
        path[0] = '\0';
        return 0;
    }
    lstrcpyA(path + n - 3, "ini");
    return 1;
}

// Reads one list section into its slots; the list ends at the first absent or empty key.
static void LoadList(const char* section, const char* keyFormat, PathSlot* slots, int count,
                     const char* path)
{
    int i = 0;
    for (; i < count; ++i) {
        char key[32];
        wsprintfA(key, keyFormat, i);
        GetPrivateProfileStringA(section, key, "", slots[i], kPathSize, path);
        if (slots[i][0] == '\0')
            break;
    }
    for (; i < count; ++i)
        slots[i][0] = '\0';
}

// Writes the non-empty slots from key 00 on and deletes every later key of the list,
// so that the keys left are exactly those of the entries.
static void SaveList(const char* section, const char* keyFormat, const PathSlot* slots,
                     int count, const char* path)
{
    int i = 0;
    char key[32];
    for (; i < count && slots[i][0] != '\0'; ++i) {
        wsprintfA(key, keyFormat, i);
        WritePrivateProfileStringA(section, key, slots[i], path);
    }
    for (; i < count; ++i) {
        wsprintfA(key, keyFormat, i);
        WritePrivateProfileStringA(section, key, nullptr, path);
    }
}

void LoadSettings(void)
{
    char path[kPathSize];
    const int havePath = SettingsPath(path);
    for (const SettingKey& s : kSettingKeys) {
        char text[10];  // at most the first nine characters of a value count
        if (havePath)
            GetPrivateProfileStringA(kSetting, s.key, s.fallback, text, sizeof text, path);
        else
            lstrcpyA(text, s.fallback);
        *s.value = ParseInteger(text);
    }
    if (havePath) {
        LoadList(kPathLog, "Log_%02d", gHistory, kHistorySlots, path);
        LoadList(kPathTouroku, "Touroku_%02d", gRegistered, kRegisteredSlots, path);
    } else {
        gHistory[0][0] = '\0';
        gRegistered[0][0] = '\0';
    }
}

void SaveSettings(void)
{
    char path[kPathSize];
    if (!SettingsPath(path))
        return;
    for (const SettingKey& s : kSettingKeys) {
        if (!s.written)
            continue;
        char text[16];
        wsprintfA(text, "%d", *s.value);
        WritePrivateProfileStringA(kSetting, s.key, text, path);
    }
    SaveList(kPathTouroku, "Touroku_%02d", gRegistered, kRegisteredSlots, path);
    WritePrivateProfileStringA(kSetting, "SaveTime", nullptr, path);
}

void SaveHistory(void)
{
    char path[kPathSize];
    if (!SettingsPath(path))
        return;
    SaveList(kPathLog, "Log_%02d", gHistory, kHistorySlots, path);
}
