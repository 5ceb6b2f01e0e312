// The settings file operations of Trailkeep, run inside this test program against the
// current directory.
#include <gtest/gtest.h>

#include <cstring>

#include "testsupport.h"

#include "core/settings.h"
#include "core/trailkeep.h"
#include "core/wide.h"
#include "tests/support/u16.h"

using namespace tk;

namespace {

// Runs each test in a scratch folder of its own as the current directory.
class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        GetCurrentDirectoryA(MAX_PATH, saved_);
        dir_ = MakeScratchDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
        SetCurrentDirectoryA(dir_.c_str());
        ini_ = dir_ + "\\Trailkeep.ini";
    }
    void TearDown() override { SetCurrentDirectoryA(saved_); }
    std::string Value(const char* section, const char* key)
    {
        std::string value;
        return IniValue(ini_, section, key, &value) ? value : "<absent>";
    }
    // A value as the profile API, and so an older version, reads it.
    std::string ProfileValue(const char* section, const char* key)
    {
        char value[kPathSize];
        GetPrivateProfileStringA(section, key, "", value, kPathSize, ini_.c_str());
        return value;
    }
    char saved_[MAX_PATH];
    std::string dir_, ini_;
};

TEST_F(SettingsFile, PathIsTrailkeepIniOfTheCurrentDirectory)
{
    wchar_t path[kPathSize];
    ASSERT_EQ(SettingsPath(path), 1);
    EXPECT_EQ(AnsiOf(U16(path)), ini_);
}

TEST_F(SettingsFile, MissingFileGivesDefaultsAndEmptyLists)
{
    gHistory[0][0] = 'x';
    gRegistered[0][0] = 'x';
    LoadSettings();
    EXPECT_EQ(MaxLogData, 20);
    EXPECT_EQ(SwitchFileDialog, 1);
    EXPECT_EQ(ShowOpenFolders, 1);
    for (int value : {LogDelay, LogTourokuData, LogRemovable, LogNetwork, OpenExistFolder,
                      DeletedFolder, DeletedFolderTime, SwapMouseLR, LogSort, OpenMode, DebugBeep})
        EXPECT_EQ(value, 0);
    EXPECT_EQ(gHistory[0][0], '\0');
    EXPECT_EQ(gRegistered[0][0], '\0');
    EXPECT_FALSE(FileExists(ini_));  // reading creates nothing
}

TEST_F(SettingsFile, ValuesAreParsedFromTheirFirstNineCharacters)
{
    WriteFileBytes(ini_, "[Setting]\r\nMaxLogData=\r\nLogDelay=9876543210\r\nLogSort=-3\r\n"
                         "OpenMode= 12abc\r\nDeletedFolderTime=x5\r\nDebugBeep=1\r\n");
    LoadSettings();
    EXPECT_EQ(MaxLogData, 0);  // present but empty: 0, not the default 20
    EXPECT_EQ(LogDelay, 987654321);
    EXPECT_EQ(LogSort, -3);
    EXPECT_EQ(OpenMode, 12);
    EXPECT_EQ(DeletedFolderTime, 0);
    EXPECT_EQ(DebugBeep, 1);
}

TEST_F(SettingsFile, ListsEndAtTheFirstAbsentOrEmptyKey)
{
    WriteFileBytes(ini_, "[Path_Log]\r\nLog_00=C:\\a\r\nLog_01=C:\\b\r\nLog_03=C:\\d\r\n"
                         "[Path_Touroku]\r\nTouroku_00=C:\\r\r\nTouroku_01=\r\nTouroku_02=C:\\s\r\n");
    LoadSettings();
    EXPECT_EQ(AnsiOf(gHistory[0]), "C:\\a");
    EXPECT_EQ(AnsiOf(gHistory[1]), "C:\\b");
    EXPECT_EQ(gHistory[2][0], '\0');
    EXPECT_EQ(gHistory[3][0], '\0');
    EXPECT_EQ(AnsiOf(gRegistered[0]), "C:\\r");
    EXPECT_EQ(gRegistered[1][0], '\0');
    EXPECT_EQ(gRegistered[2][0], '\0');

    SaveHistory();
    EXPECT_EQ(IniKeys(ini_, "Path_Log"), "Log_00 Log_01");
}

TEST_F(SettingsFile, AllFiftyEntriesLoadWhateverMaxLogDataSays)
{
    std::string text = "[Setting]\r\nMaxLogData=20\r\n[Path_Log]\r\n";
    for (int i = 0; i < 35; ++i) {
        char line[64];
        wsprintfA(line, "Log_%02d=C:\\f%02d\r\n", i, i);
        text += line;
    }
    WriteFileBytes(ini_, text);
    LoadSettings();
    EXPECT_EQ(AnsiOf(gHistory[34]), "C:\\f34");
    EXPECT_EQ(gHistory[35][0], '\0');
}

// Paths up to 255 characters come back whole; Shift-JIS bytes (trail bytes that are
// backslashes included) pass through unchanged.
TEST_F(SettingsFile, PathsRoundTripByteForByte)
{
    LoadSettings();
    const std::string longest = "C:\\" + std::string(252, 'x');
    CopyPath(gHistory[0], PA(longest));
    CopyPath(gHistory[1], u"C:\\表示\\ソフト");
    gHistory[2][0] = '\0';
    SaveHistory();
    gHistory[0][0] = gHistory[1][0] = '\0';
    LoadSettings();
    EXPECT_EQ(AnsiOf(gHistory[0]), longest);
    EXPECT_EQ(AnsiOf(gHistory[1]), "C:\\表示\\ソフト");
}

TEST_F(SettingsFile, SaveSettingsWritesTheSettingsAndTheRegisteredFolders)
{
    WriteFileBytes(ini_, "[Setting]\r\nDebugBeep=5\r\nSaveTime=yesterday\r\nOther=1\r\n"
                         "[Path_Touroku]\r\nTouroku_00=C:\\0\r\nTouroku_01=C:\\1\r\n"
                         "Touroku_02=C:\\2\r\nTouroku_03=C:\\3\r\nTouroku_04=C:\\4\r\n");
    LoadSettings();
    MaxLogData = -7;
    OpenMode = 1;
    gRegistered[3][0] = '\0';  // five registered folders become three
    SaveSettings();
    EXPECT_EQ(Value("Setting", "MaxLogData"), "-7");
    EXPECT_EQ(Value("Setting", "OpenMode"), "1");
    EXPECT_EQ(Value("Setting", "DebugBeep"), "5");
    EXPECT_EQ(Value("Setting", "SaveTime"), "<absent>");
    EXPECT_EQ(Value("Setting", "Other"), "1");
    EXPECT_EQ(IniKeys(ini_, "Path_Touroku"), "Touroku_00 Touroku_01 Touroku_02");
}

TEST_F(SettingsFile, OverlongCurrentDirectoryUsesNoFile)
{
    std::string deep = dir_;
    while (deep.size() < 245) {
        deep += "\\" + std::string(std::min<size_t>(40, 245 - deep.size()), 'd');
        CreateDirectoryA(deep.c_str(), nullptr);
    }
    ASSERT_TRUE(SetCurrentDirectoryA(deep.c_str()));
    wchar_t path[kPathSize];
    EXPECT_EQ(SettingsPath(path), 0);
    EXPECT_EQ(path[0], L'\0');
    LoadSettings();
    EXPECT_EQ(MaxLogData, 20);
    CopyPath(gHistory[0], u"C:\\x");
    SaveHistory();
    SaveSettings();
    EXPECT_FALSE(FileExists(deep + "\\Trailkeep.ini"));
    EXPECT_FALSE(FileExists(deep.substr(0, deep.rfind('\\')) + "\\Trailkeep.ini"));
}

// A file the profile API reads in another encoding keeps it: the save goes through the
// profile API on a copy, which then replaces the file. A copy left by a save cut short is
// no part of the next one.
TEST_F(SettingsFile, EncodedFileKeepsItsEncodingAndAStaleCopyIsIgnored)
{
    const std::string text = "[Setting]\r\nMaxLogData=7\r\nOwn=1\r\n[Path_Log]\r\nLog_00=C:\\a\r\n";
    std::string utf16 = "\xFF\xFE";
    for (char c : text)
        utf16 += std::string(1, c) + '\0';
    WriteFileBytes(ini_, utf16);
    WriteFileBytes(ini_ + ".new", "[Path_Log]\r\nLog_09=C:\\stale\r\n");
    LoadSettings();
    EXPECT_EQ(MaxLogData, 7);
    ASSERT_EQ(AnsiOf(gHistory[0]), "C:\\a");
    CopyPath(gHistory[1], u"C:\\b");
    gHistory[2][0] = '\0';
    SaveHistory();

    const std::string saved = ReadFileBytes(ini_);
    EXPECT_EQ(saved.substr(0, 2), "\xFF\xFE");
    EXPECT_EQ(ProfileValue("Path_Log", "Log_01"), "C:\\b");
    EXPECT_EQ(ProfileValue("Path_Log", "Log_09"), "");
    EXPECT_EQ(ProfileValue("Setting", "Own"), "1");
    EXPECT_FALSE(FileExists(ini_ + ".new"));
}

// Once the file has been read, what is in memory is the user's: a close after a start-up
// that failed later on (the handoff mutex could not be opened) saves it as any close does.
TEST_F(SettingsFile, CloseAfterTheFileWasReadSavesIt)
{
    WriteFileBytes(ini_, "[Setting]\r\nMaxLogData=9\r\n[Path_Log]\r\nLog_00=C:\\kept\r\n");
    InitializeCriticalSection(&gHistoryLock);
    LoadSettings();
    CopyPath(gHistory[1], u"C:\\added");
    gHistory[2][0] = '\0';
    HWND wnd = CreateWindowExA(0, "Static", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                               nullptr, nullptr);
    gMainWnd = wnd;
    gStartStage = kStartLoaded;
    gHookInstalled = 0;
    gHandoffMutex = nullptr;
    OnClose(wnd);
    EXPECT_FALSE(IsWindow(wnd));
    EXPECT_EQ(gStartStage, kStartNone);
    EXPECT_TRUE(FileHistoryBecomes(ini_, {"C:\\kept", "C:\\added"}));
    EXPECT_EQ(Value("Setting", "MaxLogData"), "9");
    EXPECT_EQ(Value("Setting", "OpenMode"), "0");  // every setting written
}

// While another program holds the file open without sharing its deletion, the file cannot
// be replaced by a rename: the save writes it in place instead of losing the history.
TEST_F(SettingsFile, SaveWhileAnotherProgramHoldsTheFileOpenStillWritesIt)
{
    WriteFileBytes(ini_, "[Setting]\r\nMaxLogData=9\r\n[Path_Log]\r\nLog_00=C:\\old\r\n");
    LoadSettings();
    CopyPath(gHistory[0], u"C:\\new");
    HANDLE reader = CreateFileA(ini_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    SaveHistory();
    // Read through the handle held open: a file written in place shows the new entry
    // there, a file replaced by a rename leaves the handle on the old text.
    char seen[256] = {};
    DWORD got = 0;
    SetFilePointer(reader, 0, nullptr, FILE_BEGIN);
    ReadFile(reader, seen, sizeof seen - 1, &got, nullptr);
    CloseHandle(reader);
    EXPECT_TRUE(FileHistoryBecomes(ini_, {"C:\\new"}));
    EXPECT_EQ(Value("Setting", "MaxLogData"), "9");
    EXPECT_FALSE(FileExists(ini_ + ".new"));
    if (strstr(seen, "C:\\new") == nullptr)
        GTEST_SKIP() << "the rename was not refused here: the in-place fallback did not run";
}

// A save keeps the file's own attributes: a hidden file stays hidden.
TEST_F(SettingsFile, SaveKeepsAHiddenFileHidden)
{
    WriteFileBytes(ini_, "[Setting]\r\nMaxLogData=9\r\n[Path_Log]\r\nLog_00=C:\\old\r\n");
    ASSERT_TRUE(SetFileAttributesA(ini_.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
    LoadSettings();
    CopyPath(gHistory[0], u"C:\\new");
    SaveHistory();
    SaveSettings();
    EXPECT_TRUE(FileHistoryBecomes(ini_, {"C:\\new"}));
    EXPECT_EQ(Value("Setting", "MaxLogData"), "9");
    const DWORD attributes = GetFileAttributesA(ini_.c_str());
    EXPECT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_HIDDEN) << std::hex << attributes;
    EXPECT_FALSE(FileExists(ini_ + ".new"));
    EXPECT_FALSE(FileExists(ini_ + ".old")) << "the replacement's backup was left";
}

// A read-only file is the user's word that it is not to be written: the profile functions
// refuse it, and so does the save. It stays as it was, read-only.
TEST_F(SettingsFile, SaveLeavesAReadOnlyFileAlone)
{
    const std::string text = "[Setting]\r\nMaxLogData=9\r\n[Path_Log]\r\nLog_00=C:\\old\r\n";
    WriteFileBytes(ini_, text);
    ASSERT_TRUE(SetFileAttributesA(ini_.c_str(), FILE_ATTRIBUTE_READONLY));
    LoadSettings();
    CopyPath(gHistory[0], u"C:\\new");
    MaxLogData = 5;
    SaveHistory();
    SaveSettings();
    const std::string after = ReadFileBytes(ini_);
    const DWORD attributes = GetFileAttributesA(ini_.c_str());
    SetFileAttributesA(ini_.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(after, text);
    EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        << std::hex << attributes;
    EXPECT_FALSE(FileExists(ini_ + ".new"));
}

// A save killed inside the replacement, after the old file went aside as the backup and
// before the new one took its name: the next start reads the old file.
TEST_F(SettingsFile, StartAfterASaveCutShortInTheReplacementReadsTheOldFile)
{
    WriteFileBytes(ini_ + ".old", "[Path_Log]\r\nLog_00=C:\\kept\r\n");
    LoadSettings();
    EXPECT_EQ(AnsiOf(gHistory[0]), "C:\\kept");
    EXPECT_EQ(HistoryInFile(ini_), HistoryLines({"C:\\kept"}));
}

// --- The two forms of the file --------------------------------------------------------

const char16_t kCafe[] = u"C:\\tk\\Café ā 𠮷 📁";  // no ANSI code page spells it
const char16_t kResume[] = u"C:\\tk\\Résumé";

// While every value has an ANSI spelling the file stays ANSI, byte for byte as it was
// written before; the first save of a value without one writes the whole file as UTF-16LE
// with a mark, everything else in it kept; a UTF-16 file then stays UTF-16.
TEST_F(SettingsFile, FileTurnsUtf16OnTheSaveOfAPathTheCodePageCannotSpell)
{
    const std::string before = "; mine\r\n[Setting]\r\nOwn=表示\r\n[Path_Log]\r\nLog_00=C:\\old\r\n";
    WriteFileBytes(ini_, before);
    LoadSettings();
    CopyPath(gHistory[0], u"C:\\表示\\ソフト");
    CopyPath(gHistory[1], u"C:\\old");
    gHistory[2][0] = u'\0';
    SaveHistory();
    EXPECT_EQ(ReadFileBytes(ini_),
              "; mine\r\n[Setting]\r\nOwn=表示\r\n[Path_Log]\r\nLog_00=C:\\表示\\ソフト\r\n"
              "Log_01=C:\\old\r\n");

    CopyPath(gHistory[0], kCafe);
    SaveHistory();
    const std::u16string after = u"; mine\r\n[Setting]\r\nOwn=表示\r\n[Path_Log]\r\n"
                                 u"Log_00=C:\\tk\\Café ā 𠮷 📁\r\nLog_01=C:\\old\r\n";
    EXPECT_EQ(ReadFileBytes(ini_), Utf16File(after));

    gHistory[0][0] = u'\0';
    LoadSettings();
    EXPECT_TRUE(std::u16string(gHistory[0]) == kCafe);
    EXPECT_EQ(AnsiOf(gHistory[1]), "C:\\old");

    // A UTF-16 file stays UTF-16 though every value now fits the code page.
    CopyPath(gHistory[0], u"C:\\new");
    SaveSettings();
    SaveHistory();
    EXPECT_EQ(ReadFileBytes(ini_).substr(0, 2), "\xFF\xFE");
    // As the profile API (and so an older version) reads it.
    EXPECT_EQ(ProfileValue("Path_Log", "Log_00"), "C:\\new");
    EXPECT_EQ(ProfileValue("Setting", "Own"), "表示");
    EXPECT_EQ(ProfileValue("Setting", "MaxLogData"), "20");
}

// Files written by others in each form are read; a UTF-8 file with a mark stays UTF-8.
TEST_F(SettingsFile, FilesInEachFormAreRead)
{
    const std::u16string text = u"[Setting]\r\nMaxLogData=7\r\n[Path_Log]\r\nLog_00=C:\\tk\\Café ā 𠮷 📁\r\n"
                                u"Log_01=C:\\表示\r\n[Path_Touroku]\r\nTouroku_00=C:\\tk\\Résumé\r\n";
    char utf8[1024];
    const int n = WideCharToMultiByte(CP_UTF8, 0, reinterpret_cast<const wchar_t*>(text.c_str()),
                                      -1, utf8, sizeof utf8, nullptr, nullptr);
    ASSERT_GT(n, 0);
    const std::string forms[] = {Utf16File(text), "\xEF\xBB\xBF" + std::string(utf8)};
    for (const std::string& form : forms) {
        WriteFileBytes(ini_, form);
        LoadSettings();
        EXPECT_EQ(MaxLogData, 7);
        EXPECT_TRUE(std::u16string(gHistory[0]) == kCafe);
        EXPECT_EQ(AnsiOf(gHistory[1]), "C:\\表示");
        EXPECT_TRUE(std::u16string(gRegistered[0]) == kResume);
        SaveHistory();
        SaveSettings();
        EXPECT_EQ(ReadFileBytes(ini_).substr(0, 2), form.substr(0, 2));
        gHistory[0][0] = gRegistered[0][0] = u'\0';
        LoadSettings();
        EXPECT_TRUE(std::u16string(gHistory[0]) == kCafe);
        EXPECT_TRUE(std::u16string(gRegistered[0]) == kResume);
    }
}

// Hostile UTF-16 files: an odd last byte, lone halves of pairs, NULs and garbage lines keep
// every readable entry through a save.
TEST_F(SettingsFile, HostileUtf16FilesKeepEveryReadableEntry)
{
    std::u16string text = u"[Path_Log]\r\nLog_00=C:\\one\r\n";
    text += u"junk";
    text += static_cast<char16_t>(0xD800);  // a first half with no second
    text += u"\r\n";
    text += static_cast<char16_t>(0xDC00);  // a second half with no first
    text += u"=x\r\nLog_01=C:\\two\r\n";
    text += std::u16string(1, u'\0') + u"\r\n[Setting]\r\nMaxLogData=5\r\n";
    WriteFileBytes(ini_, Utf16File(text) + "\x41");  // an odd byte at the end
    LoadSettings();
    EXPECT_EQ(AnsiOf(gHistory[0]), "C:\\one");
    EXPECT_EQ(AnsiOf(gHistory[1]), "C:\\two");
    CopyPath(gHistory[2], kCafe);
    SaveHistory();
    gHistory[0][0] = u'\0';
    LoadSettings();
    EXPECT_EQ(AnsiOf(gHistory[0]), "C:\\one");
    EXPECT_EQ(AnsiOf(gHistory[1]), "C:\\two");
    EXPECT_TRUE(std::u16string(gHistory[2]) == kCafe);
    EXPECT_EQ(MaxLogData, 5);
}

// Started in a folder the code page cannot spell, Trailkeep reads and saves the file there,
// not in a look-alike folder.
TEST_F(SettingsFile, AFolderTheCodePageCannotSpellHoldsItsOwnFile)
{
    const std::wstring renee = std::wstring(L"C:\\tk-settings-Ren\u00e9e-\u0101");
    const std::wstring lookAlike = L"C:\\tk-settings-Renee-a";
    CreateDirectoryW(renee.c_str(), nullptr);
    CreateDirectoryW(lookAlike.c_str(), nullptr);
    DeleteFileW((lookAlike + L"\\Trailkeep.ini").c_str());
    ASSERT_TRUE(SetCurrentDirectoryW(renee.c_str()));
    const std::wstring ini = renee + L"\\Trailkeep.ini";
    HANDLE file = CreateFileW(ini.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    const char text[] = "[Setting]\r\nMaxLogData=9\r\n";
    DWORD written = 0;
    WriteFile(file, text, sizeof text - 1, &written, nullptr);
    CloseHandle(file);

    LoadSettings();
    EXPECT_EQ(MaxLogData, 9);
    CopyPath(gHistory[0], u"C:\\saved");
    gHistory[1][0] = u'\0';
    SaveHistory();
    wchar_t value[32] = {};
    GetPrivateProfileStringW(L"Path_Log", L"Log_00", L"", value, 32, ini.c_str());
    EXPECT_TRUE(std::wstring(value) == L"C:\\saved");
    EXPECT_EQ(GetFileAttributesW((lookAlike + L"\\Trailkeep.ini").c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
