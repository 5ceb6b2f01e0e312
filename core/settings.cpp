// Reading and writing Trailkeep.ini through the profile functions, one call per key.
#include <windows.h>

#include "inifile.h"
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
int SwitchFileDialog;
int ShowOpenFolders;
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
    {"SwitchFileDialog", "1", &SwitchFileDialog, 1},
    {"ShowOpenFolders", "1", &ShowOpenFolders, 1},
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

// --- Saving: the whole file replaced in one step ------------------------------------
// A save edits its keys into a copy of the file's text and then puts the copy in the
// file's place (a rename, or ReplaceFile). Killed at any instant, Trailkeep leaves either
// the old file or the new one, never a file cut short: ReplaceFile moves the old file
// aside to a backup before the copy takes its name, and a start that finds only the
// backup puts it back. The file is read and written once instead of once per key.
// Everything else in the file stays as it was.

enum {
    kMaxSettingsFile = 1 << 20,                  // larger files take the slower way below
    kSaveRoom = kMaxIniEdits * (kPathSize + 64),  // what the edits of one save add at most
};

// The file as read and as it will be written. Every save runs under the history lock, so
// the main thread and the recorder never use these at the same time.
static char gFileText[kMaxSettingsFile];
static char gNewText[kMaxSettingsFile + kSaveRoom];

// Key names of the two lists, "Log_%02d" and "Touroku_%02d", made once.
static char gHistoryKeys[kHistorySlots][16];
static char gRegisteredKeys[kRegisteredSlots][16];

// Reads the whole of `path` into `text` (at most `cap` bytes). Returns its length, 0 when
// there is no file, -1 when it cannot be read or is larger than `cap`.
static int ReadWholeFile(const char* path, char* text, DWORD cap)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_NOT_FOUND ? 0 : -1;
    DWORD size = GetFileSize(file, nullptr);
    DWORD got = 0;
    int length = -1;
    if (size != INVALID_FILE_SIZE && size <= cap && ReadFile(file, text, size, &got, nullptr) &&
        got == size)
        length = static_cast<int>(size);
    CloseHandle(file);
    return length;
}

// A file in UTF-16 or with a UTF-8 mark is text the profile API converts on its own;
// rewriting its bytes as ANSI would mix two encodings in one file.
static int IsEncodedText(const char* text, int length)
{
    const unsigned char* b = reinterpret_cast<const unsigned char*>(text);
    if (length >= 2 && ((b[0] == 0xFF && b[1] == 0xFE) || (b[0] == 0xFE && b[1] == 0xFF)))
        return 1;
    return length >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF;
}

// Writes `text` as the whole of `file`, on the disk before anything else happens. A new
// copy is made for this save alone (`shared` 0); the settings file itself is written in
// place sharing it with whoever holds it open.
static int WriteWholeFile(const char* file, const char* text, int length, int shared)
{
    HANDLE handle = CreateFileA(file, GENERIC_WRITE,
                                shared ? FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE : 0,
                                nullptr, shared ? OPEN_ALWAYS : CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return 0;
    DWORD written = 0;
    const int ok = WriteFile(handle, text, static_cast<DWORD>(length), &written, nullptr) &&
                   written == static_cast<DWORD>(length) && SetEndOfFile(handle) &&
                   FlushFileBuffers(handle);
    CloseHandle(handle);
    return ok;
}

// The way for files that cannot be rewritten as bytes: the profile API edits a copy of
// the file, one call per key, and the copy then replaces the file all the same.
static int EditCopyWithProfileApi(const char* path, const char* temp, const IniEdit* edits,
                                  int count)
{
    if (!CopyFileA(path, temp, FALSE) && GetLastError() != ERROR_FILE_NOT_FOUND)
        return 0;
    // The copy takes the file's attributes; the replacement gives them back to the file.
    // A hidden copy could refuse the profile functions' writes.
    SetFileAttributesA(temp, FILE_ATTRIBUTE_NORMAL);
    for (int i = 0; i < count; ++i)
        WritePrivateProfileStringA(edits[i].section, edits[i].key, edits[i].value, temp);
    // All three arguments null: whatever the profile API still caches reaches the file.
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, temp);
    return 1;
}

// The attributes of the settings file that a save keeps. A new file gets the archive
// attribute by itself.
enum {
    kKeptAttributes =
        FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED,
};

// The access rights of a file (its security descriptor's DACL) into `sd`; null when they
// cannot be read or do not fit.
static const ACL* ReadRights(const char* file, char* sd, DWORD size)
{
    DWORD needed = 0;
    BOOL present = FALSE, defaulted = FALSE;
    ACL* dacl = nullptr;
    if (!GetFileSecurityA(file, DACL_SECURITY_INFORMATION, sd, size, &needed) ||
        !GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted) || !present)
        return nullptr;
    return dacl;
}

// Whether a rename of `temp` over the settings file keeps all the file has: no attribute
// to keep, and the same access rights as `temp`, which was made in the file's folder for
// this save and so has what any new file there gets (on Windows, the rights the folder
// passes on).
static int RenameKeepsAll(const char* path, const char* temp, DWORD attributes)
{
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & kKeptAttributes) != 0)
        return 0;
    static char fileSd[1024], tempSd[1024];
    const ACL* file = ReadRights(path, fileSd, sizeof fileSd);
    const ACL* copy = ReadRights(temp, tempSd, sizeof tempSd);
    return file != nullptr && copy != nullptr && file->AclSize == copy->AclSize &&
           memcmp(file, copy, file->AclSize) == 0;
}

// Puts the new text `temp` in the place of the settings file `path`, which keeps its
// attributes (`attributes`, read before the save) and its access rights. A rename within
// the folder replaces the file in one step: a reader sees the old file or the new one. It
// is used where it keeps everything; otherwise ReplaceFile keeps the attributes and the
// rights (on Windows), with the old file as a backup for the moment between its renames.
// Where neither can be used (the file held open without sharing its deletion) the text is
// copied over the old one in place, as the profile API would write it, rather than kept
// back until a save that may never come. Only that last way can leave a file cut short.
static void ReplaceSettingsFile(const char* path, const char* temp, DWORD attributes)
{
    char backup[MAX_PATH];
    wsprintfA(backup, "%s.old", path);
    DeleteFileA(backup);  // left by a save killed after its replacement
    const int replaced =
        (!RenameKeepsAll(path, temp, attributes) &&
         ReplaceFileA(path, temp, backup,
                      REPLACEFILE_WRITE_THROUGH | REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                      nullptr)) ||
        MoveFileExA(temp, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!replaced) {
        const int newLength = ReadWholeFile(temp, gNewText, sizeof gNewText);
        if (newLength >= 0)
            WriteWholeFile(path, gNewText, newLength, 1);
        return;
    }
    DeleteFileA(backup);
    // Windows' ReplaceFile has given the new file the old one's attributes; Wine's, and
    // the rename, leave the copy's own.
    const DWORD kept = attributes != INVALID_FILE_ATTRIBUTES ? attributes & kKeptAttributes : 0;
    const DWORD now = GetFileAttributesA(path);
    if (kept != 0 && now != INVALID_FILE_ATTRIBUTES && (now & kept) != kept)
        SetFileAttributesA(path, now | kept);
}

// Applies the edits to the settings file at `path` and replaces it in one step. Nothing
// is reported: on any failure the file stays as it was and the next save tries again.
static void SaveEdits(const char* path, const IniEdit* edits, int count)
{
    // A read-only file is not written, as the profile functions refuse to write it. (Wine
    // renames over a read-only file; Windows refuses.)
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0)
        return;
    char temp[MAX_PATH];
    wsprintfA(temp, "%s.new", path);
    DeleteFileA(temp);  // what a save cut short may have left
    const int length = ReadWholeFile(path, gFileText, sizeof gFileText);
    int ready = 0;
    if (length >= 0 && !IsEncodedText(gFileText, length)) {
        const int newLength =
            RewriteIni(gFileText, length, edits, count, gNewText, sizeof gNewText);
        ready = newLength >= 0 && WriteWholeFile(temp, gNewText, newLength, 0);
    } else {
        ready = EditCopyWithProfileApi(path, temp, edits, count);
    }
    if (ready)
        ReplaceSettingsFile(path, temp, attributes);
    DeleteFileA(temp);
}

// The edits that write the non-empty slots of a list from key 00 on and delete every later
// key of it, so that the keys left are exactly those of the entries.
static int ListEdits(const char* section, char (*keys)[16], const PathSlot* slots, int count,
                     IniEdit* edits)
{
    int i = 0;
    for (; i < count && slots[i][0] != '\0'; ++i)
        edits[i] = {section, keys[i], slots[i]};
    for (int j = i; j < count; ++j)
        edits[j] = {section, keys[j], nullptr};
    return count;
}

// A save killed between ReplaceFile's two renames leaves the old file as the backup and
// no settings file: the backup is put back.
static void RestoreInterruptedSave(const char* path)
{
    char backup[MAX_PATH];
    wsprintfA(backup, "%s.old", path);
    if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES &&
        GetLastError() == ERROR_FILE_NOT_FOUND)
        MoveFileA(backup, path);
}

void LoadSettings(void)
{
    char path[kPathSize];
    const int havePath = SettingsPath(path);
    if (havePath)
        RestoreInterruptedSave(path);
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

// The key names of both lists.
static void MakeListKeys(void)
{
    if (gHistoryKeys[0][0] != '\0')
        return;
    for (int i = 0; i < kHistorySlots; ++i)
        wsprintfA(gHistoryKeys[i], "Log_%02d", i);
    for (int i = 0; i < kRegisteredSlots; ++i)
        wsprintfA(gRegisteredKeys[i], "Touroku_%02d", i);
}

void SaveSettings(void)
{
    char path[kPathSize];
    if (!SettingsPath(path))
        return;
    MakeListKeys();
    IniEdit edits[kMaxIniEdits];
    char values[sizeof kSettingKeys / sizeof kSettingKeys[0]][16];
    int n = 0;
    for (const SettingKey& s : kSettingKeys) {
        if (!s.written)
            continue;
        wsprintfA(values[n], "%d", *s.value);
        edits[n] = {kSetting, s.key, values[n]};
        ++n;
    }
    n += ListEdits(kPathTouroku, gRegisteredKeys, gRegistered, kRegisteredSlots, edits + n);
    edits[n++] = {kSetting, "SaveTime", nullptr};
    SaveEdits(path, edits, n);
}

void SaveHistory(void)
{
    char path[kPathSize];
    if (!SettingsPath(path))
        return;
    MakeListKeys();
    IniEdit edits[kHistorySlots];
    SaveEdits(path, edits, ListEdits(kPathLog, gHistoryKeys, gHistory, kHistorySlots, edits));
}
