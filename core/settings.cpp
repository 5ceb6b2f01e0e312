// Reading and writing Trailkeep.ini: read through the profile functions, one call per key;
// written as a whole, in the file's own form.
#include <windows.h>

#include "inifile.h"
#include "numbers.h"
#include "settings.h"
#include "wide.h"
#include "../hooklib/ansipath.h"

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
    const char16_t* key;
    const char16_t* fallback;  // used when the key is absent; an empty value reads as 0
    int* value;
    int written;
};

static const SettingKey kSettingKeys[] = {
    {u"MaxLogData", u"20", &MaxLogData, 1},
    {u"LogDelay", u"0", &LogDelay, 1},
    {u"LogTourokuData", u"0", &LogTourokuData, 1},
    {u"LogRemovable", u"0", &LogRemovable, 1},
    {u"LogNetwork", u"0", &LogNetwork, 1},
    {u"OpenExistFolder", u"0", &OpenExistFolder, 1},
    {u"DeletedFolder", u"0", &DeletedFolder, 1},
    {u"DeletedFolderTime", u"0", &DeletedFolderTime, 1},
    {u"SwapMouseLR", u"0", &SwapMouseLR, 1},
    {u"LogSort", u"0", &LogSort, 1},
    {u"OpenMode", u"0", &OpenMode, 1},
    {u"SwitchFileDialog", u"1", &SwitchFileDialog, 1},
    {u"ShowOpenFolders", u"1", &ShowOpenFolders, 1},
    {u"DebugBeep", u"0", &DebugBeep, 0},
};

static const char16_t kSetting[] = u"Setting";
static const char16_t kPathLog[] = u"Path_Log";
static const char16_t kPathTouroku[] = u"Path_Touroku";

int SettingsPath(wchar_t* path)
{
    path[0] = L'\0';
    // The name has no directory part, so the result is Trailkeep.exe in the current
    // directory, whatever the program file is called or where it lies. The directory is
    // taken in UTF-16: a folder the ANSI code page cannot spell is still this folder, never
    // a look-alike of it.
    const DWORD n = GetFullPathNameW(L"Trailkeep.exe", 255, path, nullptr);
    if (n == 0 || n >= 255 || n < 3) {
        path[0] = L'\0';
        return 0;
    }
    lstrcpyW(path + n - 3, L"ini");
    return 1;
}

// Reads one list section into its slots; the list ends at the first absent or empty key.
static void LoadList(const char16_t* section, const wchar_t* keyFormat, PathSlot* slots,
                     int count, const wchar_t* path)
{
    int i = 0;
    for (; i < count; ++i) {
        wchar_t key[32];
        wsprintfW(key, keyFormat, i);
        GetPrivateProfileStringW(W(section), key, L"", W(slots[i]), kPathSize, path);
        // A value cut at the slot's end keeps no half of a character.
        const int n = lstrlenW(W(slots[i]));
        if (n == kPathSize - 1 && slots[i][n - 1] >= 0xD800 && slots[i][n - 1] <= 0xDBFF)
            slots[i][n - 1] = u'\0';
        if (slots[i][0] == u'\0')
            break;
    }
    for (; i < count; ++i)
        slots[i][0] = u'\0';
}

// --- Saving: the whole file replaced in one step ------------------------------------
// A save edits its keys into a copy of the file's text and then puts the copy in the
// file's place (a rename, or ReplaceFile). Killed at any instant, Trailkeep leaves either
// the old file or the new one, never a file cut short: ReplaceFile moves the old file
// aside to a backup before the copy takes its name, and a start that finds only the
// backup puts it back. The file is read and written once instead of once per key.
// Everything else in the file stays as it was.
//
// The file keeps its form. An ANSI file stays ANSI, byte for byte as older versions wrote
// it, as long as every value of the save has an exact ANSI spelling; the first save with a
// value that has none (a folder named in characters the code page lacks) writes the whole
// file as UTF-16LE with a byte-order mark, the form Windows' profile functions read and
// write themselves, so that older versions still read every value they can spell. A UTF-16
// file stays UTF-16; a UTF-8 file with a mark stays UTF-8.

enum {
    kMaxSettingsFile = 1 << 20,                  // larger files take the slower way below
    kSaveRoom = kMaxIniEdits * (kPathSize + 64),  // what the edits of one save add at most
    kAnsiValueSize = kPathSize * 3,               // a path of 255 units in any ANSI code page
    kAnsiSaveRoom = kMaxIniEdits * (kAnsiValueSize + 64),  // the same, in an ANSI file's bytes
};

enum { kFormAnsi, kFormUtf16, kFormUtf8, kFormOther };

// The file as read and as it will be written, as bytes and as UTF-16. Every save runs
// under the history lock, so the main thread and the recorder never use these at the
// same time.
static char gFileText[kMaxSettingsFile];
static char gNewText[(kMaxSettingsFile + kSaveRoom) * 3 + 3];
static char16_t gWideText[kMaxSettingsFile];
static char16_t gWideNew[kMaxSettingsFile + kAnsiSaveRoom];

// Key names of the two lists, "Log_%02d" and "Touroku_%02d", made once.
static char16_t gHistoryKeys[kHistorySlots][16];
static char16_t gRegisteredKeys[kRegisteredSlots][16];

// Reads the whole of `path` into `text` (at most `cap` bytes). Returns its length, 0 when
// there is no file, -1 when it cannot be read or is larger than `cap`.
static int ReadWholeFile(const wchar_t* path, char* text, DWORD cap)
{
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
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

// The form of a file's text, by its byte-order mark. A big-endian UTF-16 file is left to
// the profile API, which reads and writes it.
static int FileForm(const char* text, int length)
{
    const unsigned char* b = reinterpret_cast<const unsigned char*>(text);
    if (length >= 2 && b[0] == 0xFF && b[1] == 0xFE)
        return kFormUtf16;
    if (length >= 2 && b[0] == 0xFE && b[1] == 0xFF)
        return kFormOther;
    if (length >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF)
        return kFormUtf8;
    return kFormAnsi;
}

// Writes `text` as the whole of `file`, on the disk before anything else happens. A new
// copy is made for this save alone (`shared` 0); the settings file itself is written in
// place sharing it with whoever holds it open.
static int WriteWholeFile(const wchar_t* file, const char* text, int length, int shared)
{
    HANDLE handle = CreateFileW(file, GENERIC_WRITE,
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

// The way for files that cannot be rewritten in memory: the profile API edits a copy of
// the file, one call per key, and the copy then replaces the file all the same. The
// profile API writes an ANSI file in ANSI, where a value the code page cannot spell would
// become a look-alike: such a key is left out of the copy instead.
static int EditCopyWithProfileApi(const wchar_t* path, const wchar_t* temp,
                                  const WideIniEdit* edits, int count, int form)
{
    if (!CopyFileW(path, temp, FALSE) && GetLastError() != ERROR_FILE_NOT_FOUND)
        return 0;
    // The copy takes the file's attributes; the replacement gives them back to the file.
    // A hidden copy could refuse the profile functions' writes.
    SetFileAttributesW(temp, FILE_ATTRIBUTE_NORMAL);
    for (int i = 0; i < count; ++i) {
        const char16_t* value = edits[i].value;
        char ansi[kAnsiValueSize];
        if (value != nullptr && form == kFormAnsi && !WideToAnsiPath(W(value), ansi, sizeof ansi))
            value = nullptr;
        WritePrivateProfileStringW(W(edits[i].section), W(edits[i].key), W(value), temp);
    }
    // All three arguments null: whatever the profile API still caches reaches the file.
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, temp);
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
static const ACL* ReadRights(const wchar_t* file, char* sd, DWORD size)
{
    DWORD needed = 0;
    BOOL present = FALSE, defaulted = FALSE;
    ACL* dacl = nullptr;
    if (!GetFileSecurityW(file, DACL_SECURITY_INFORMATION, sd, size, &needed) ||
        !GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted) || !present)
        return nullptr;
    return dacl;
}

// Whether a rename of `temp` over the settings file keeps all the file has: no attribute
// to keep, and the same access rights as `temp`, which was made in the file's folder for
// this save and so has what any new file there gets (on Windows, the rights the folder
// passes on).
static int RenameKeepsAll(const wchar_t* path, const wchar_t* temp, DWORD attributes)
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
// Returns 1 when `temp` has become the file, 0 when it is still there to be deleted.
static int ReplaceSettingsFile(const wchar_t* path, const wchar_t* temp, DWORD attributes)
{
    wchar_t backup[MAX_PATH];
    wsprintfW(backup, L"%s.old", path);
    DeleteFileW(backup);  // left by a save killed after its replacement
    const int renameKeepsAll = RenameKeepsAll(path, temp, attributes);
    const int replaced =
        (!renameKeepsAll &&
         ReplaceFileW(path, temp, backup,
                      REPLACEFILE_WRITE_THROUGH | REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                      nullptr)) ||
        MoveFileExW(temp, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!replaced) {
        const int newLength = ReadWholeFile(temp, gNewText, sizeof gNewText);
        if (newLength >= 0)
            WriteWholeFile(path, gNewText, newLength, 1);
        return 0;
    }
    // ReplaceFile's backup, also where it failed half-way and the rename did the rest.
    if (!renameKeepsAll)
        DeleteFileW(backup);
    // Windows' ReplaceFile has given the new file the old one's attributes; Wine's, and
    // the rename, leave the copy's own.
    const DWORD kept = attributes != INVALID_FILE_ATTRIBUTES ? attributes & kKeptAttributes : 0;
    const DWORD now = kept != 0 ? GetFileAttributesW(path) : INVALID_FILE_ATTRIBUTES;
    if (now != INVALID_FILE_ATTRIBUTES && (now & kept) != kept)
        SetFileAttributesW(path, now | kept);
    return 1;
}

// The edits as an ANSI file spells them, each byte widened to one UTF-16 unit of the same
// value, into `bytes` (whose values live in `values`). Returns 0 when a value has no exact
// ANSI spelling. Sections and keys are ASCII, which widening keeps.
static int AnsiEdits(const WideIniEdit* edits, int count, WideIniEdit* bytes,
                     char16_t (*values)[kAnsiValueSize])
{
    char ansi[kAnsiValueSize];
    for (int i = 0; i < count; ++i) {
        bytes[i] = {edits[i].section, edits[i].key, nullptr};
        if (edits[i].value == nullptr)
            continue;
        if (!WideToAnsiPath(W(edits[i].value), ansi, kAnsiValueSize))
            return 0;
        int n = 0;
        for (; ansi[n] != '\0'; ++n)
            values[i][n] = static_cast<unsigned char>(ansi[n]);
        values[i][n] = u'\0';
        bytes[i].value = values[i];
    }
    return 1;
}

// The file's text as UTF-16 into gWideText: its length in units, or -1.
static int DecodeText(const char* text, int length, int form)
{
    if (form == kFormUtf16) {
        const int units = (length - 2) / 2;
        memcpy(gWideText, text + 2, static_cast<size_t>(units) * 2);
        return units;
    }
    const UINT codePage = form == kFormUtf8 ? CP_UTF8 : CP_ACP;
    const int skip = form == kFormUtf8 ? 3 : 0;
    if (length - skip <= 0)
        return 0;
    const int units = MultiByteToWideChar(codePage, 0, text + skip, length - skip,
                                          W(gWideText), kMaxSettingsFile);
    return units > 0 ? units : -1;
}

// The new UTF-16 text in the form `form` (UTF-8 stays UTF-8, everything else becomes
// UTF-16LE) with its mark, into gNewText: its length in bytes, or -1.
static int EncodeText(const char16_t* text, int units, int form)
{
    if (form == kFormUtf8) {
        memcpy(gNewText, "\xEF\xBB\xBF", 3);
        if (units == 0)
            return 3;
        const int n = WideCharToMultiByte(CP_UTF8, 0, W(text), units, gNewText + 3,
                                          sizeof gNewText - 3, nullptr, nullptr);
        return n > 0 ? n + 3 : -1;
    }
    gNewText[0] = '\xFF';
    gNewText[1] = '\xFE';
    memcpy(gNewText + 2, text, static_cast<size_t>(units) * 2);  // x86 and x64: little-endian
    return units * 2 + 2;
}

// The new file's bytes in gNewText for the edits: its length, or -1 when the file is to
// take the profile API's way.
static int NewFileText(int length, const WideIniEdit* edits, int count)
{
    const int form = FileForm(gFileText, length);
    if (form == kFormOther)
        return -1;
    if (form == kFormAnsi) {
        // Byte for byte through the one rewrite, each byte a UTF-16 unit of its value: the
        // rewrite looks at ASCII characters alone, so the bytes come back as they were
        // wherever nothing was edited, DBCS trail bytes included.
        static WideIniEdit bytes[kMaxIniEdits];
        static char16_t values[kMaxIniEdits][kAnsiValueSize];
        if (AnsiEdits(edits, count, bytes, values)) {
            for (int i = 0; i < length; ++i)
                gWideText[i] = static_cast<unsigned char>(gFileText[i]);
            const int n = RewriteIni(gWideText, length, bytes, count, gWideNew,
                                     sizeof gWideNew / sizeof gWideNew[0]);
            for (int i = 0; i < n; ++i)
                gNewText[i] = static_cast<char>(gWideNew[i]);
            return n;
        }
    }
    const int units = DecodeText(gFileText, length, form);
    if (units < 0)
        return -1;
    const int newUnits = RewriteIni(gWideText, units, edits, count, gWideNew,
                                    sizeof gWideNew / sizeof gWideNew[0]);
    return newUnits < 0 ? -1 : EncodeText(gWideNew, newUnits, form);
}

// Applies the edits to the settings file at `path` and replaces it in one step. Nothing
// is reported: on any failure the file stays as it was and the next save tries again.
static void SaveEdits(const wchar_t* path, const WideIniEdit* edits, int count)
{
    // A read-only file is not written, as the profile functions refuse to write it. (Wine
    // renames over a read-only file; Windows refuses.)
    const DWORD attributes = GetFileAttributesW(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0)
        return;
    wchar_t temp[MAX_PATH];
    wsprintfW(temp, L"%s.new", path);
    DeleteFileW(temp);  // what a save cut short may have left
    const int length = ReadWholeFile(path, gFileText, sizeof gFileText);
    const int newLength = length >= 0 ? NewFileText(length, edits, count) : -1;
    int ready = 0;
    if (newLength >= 0)
        ready = WriteWholeFile(temp, gNewText, newLength, 0);
    else
        ready = EditCopyWithProfileApi(path, temp, edits, count,
                                       length >= 0 ? FileForm(gFileText, length) : kFormAnsi);
    if (!ready || !ReplaceSettingsFile(path, temp, attributes))
        DeleteFileW(temp);
}

// The edits that write the non-empty slots of a list from key 00 on and delete every later
// key of it, so that the keys left are exactly those of the entries.
static int ListEdits(const char16_t* section, char16_t (*keys)[16], const PathSlot* slots,
                     int count, WideIniEdit* edits)
{
    int i = 0;
    for (; i < count && slots[i][0] != u'\0'; ++i)
        edits[i] = {section, keys[i], slots[i]};
    for (int j = i; j < count; ++j)
        edits[j] = {section, keys[j], nullptr};
    return count;
}

// A save killed between ReplaceFile's two renames leaves the old file as the backup and
// no settings file: the backup is put back.
static void RestoreInterruptedSave(const wchar_t* path)
{
    wchar_t backup[MAX_PATH];
    wsprintfW(backup, L"%s.old", path);
    if (GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES &&
        GetLastError() == ERROR_FILE_NOT_FOUND)
        MoveFileW(backup, path);
}

void LoadSettings(void)
{
    wchar_t path[kPathSize];
    const int havePath = SettingsPath(path);
    if (havePath)
        RestoreInterruptedSave(path);
    for (const SettingKey& s : kSettingKeys) {
        wchar_t wide[10];  // at most the first nine characters of a value count
        if (havePath)
            GetPrivateProfileStringW(W(kSetting), W(s.key), W(s.fallback), wide, 10, path);
        else
            lstrcpyW(wide, W(s.fallback));
        char text[10];
        for (int i = 0; i < 10; ++i)
            text[i] = wide[i] < 0x80 ? static_cast<char>(wide[i]) : '?';  // no digit
        *s.value = ParseInteger(text);
    }
    if (havePath) {
        LoadList(kPathLog, L"Log_%02d", gHistory, kHistorySlots, path);
        LoadList(kPathTouroku, L"Touroku_%02d", gRegistered, kRegisteredSlots, path);
    } else {
        gHistory[0][0] = u'\0';
        gRegistered[0][0] = u'\0';
    }
}

// The key names of both lists.
static void MakeListKeys(void)
{
    if (gHistoryKeys[0][0] != u'\0')
        return;
    for (int i = 0; i < kHistorySlots; ++i)
        wsprintfW(W(gHistoryKeys[i]), L"Log_%02d", i);
    for (int i = 0; i < kRegisteredSlots; ++i)
        wsprintfW(W(gRegisteredKeys[i]), L"Touroku_%02d", i);
}

void SaveSettings(void)
{
    wchar_t path[kPathSize];
    if (!SettingsPath(path))
        return;
    MakeListKeys();
    WideIniEdit edits[kMaxIniEdits];
    char16_t values[sizeof kSettingKeys / sizeof kSettingKeys[0]][16];
    int n = 0;
    for (const SettingKey& s : kSettingKeys) {
        if (!s.written)
            continue;
        wsprintfW(W(values[n]), L"%d", *s.value);
        edits[n] = {kSetting, s.key, values[n]};
        ++n;
    }
    n += ListEdits(kPathTouroku, gRegisteredKeys, gRegistered, kRegisteredSlots, edits + n);
    static const WideIniEdit kDropSaveTime = {kSetting, u"SaveTime", nullptr};
    edits[n++] = kDropSaveTime;
    SaveEdits(path, edits, n);
}

void SaveHistory(void)
{
    wchar_t path[kPathSize];
    if (!SettingsPath(path))
        return;
    MakeListKeys();
    WideIniEdit edits[kHistorySlots];
    SaveEdits(path, edits, ListEdits(kPathLog, gHistoryKeys, gHistory, kHistorySlots, edits));
}
