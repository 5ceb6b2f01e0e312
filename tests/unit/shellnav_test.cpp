// What the shell-window watcher knows as data: file: URLs, the window table, and one
// navigation reported by the hook and the watcher.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "core/shellnav.h"
#include "tests/support/u16.h"

namespace {

struct UrlCase {
    const char16_t* url;
    const char16_t* path;  // null: no path
};

TEST(FileUrl, GivesTheFolderOrNothing)
{
    const UrlCase cases[] = {
        {u"file:///C:/Users/Public", u"C:\\Users\\Public"},
        {u"file:///C:/", u"C:\\"},
        {u"FILE:///d:/x", u"d:\\x"},
        {u"file:///C:/My%20Documents/a%25b%23c", u"C:\\My Documents\\a%b#c"},
        {u"file:///C:/caf%C3%A9", u"C:\\café"},
        {u"file:///C:/%E6%97%A5%E6%9C%AC", u"C:\\日本"},
        {u"file:///C:/%f0%9f%98%80", u"C:\\😀"},
        {u"file:///C:/日本語", u"C:\\日本語"},  // left unescaped, as Windows gives it
        {u"file://server/share/dir", u"\\\\server\\share\\dir"},
        {u"file://localhost/C:/x", u"C:\\x"},
        {u"file:///C|/old", u"C:\\old"},
        // Not a folder of the file system, or not one that can be told for sure.
        {u"", nullptr},
        {u"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}", nullptr},
        {u"http://example.com/", nullptr},
        {u"file:", nullptr},
        {u"file:///", nullptr},
        {u"file:///C:", nullptr},
        {u"file:///relative/dir", nullptr},
        {u"file:////", nullptr},
        {u"file:///C:/a%2", nullptr},
        {u"file:///C:/a%zz", nullptr},
        {u"file:///C:/a%00b", nullptr},
        {u"file:///C:/%C3", nullptr},         // cut sequence
        {u"file:///C:/%C3%28", nullptr},      // bad continuation
        {u"file:///C:/%C0%AF", nullptr},      // overlong
        {u"file:///C:/%ED%A0%80", nullptr},   // surrogate
        {u"file:///C:/%F4%90%80%80", nullptr},  // past U+10FFFF
        {u"file:///C:/%80", nullptr},         // stray continuation
    };
    for (const UrlCase& c : cases) {
        char16_t path[kWidePathSize];
        const int got = FileUrlToPath(c.url, path);
        const std::string label = Utf8(c.url);
        if (c.path == nullptr) {
            EXPECT_EQ(got, 0) << label << " gave " << Utf8(path);
            EXPECT_EQ(path[0], u'\0') << label;
        } else {
            EXPECT_EQ(got, 1) << label;
            EXPECT_EQ(Utf8(path), Utf8(c.path)) << label;
        }
    }
}

// Only a URL with no "%" and no "#" is taken as it stands, without asking for the folder.
TEST(FileUrl, IsLiteralOnlyWithNeitherEscapeNorFragment)
{
    for (const char16_t* url : {u"file:///C:/Users/Public", u"FILE:///d:/x", u"file:///C:/日本語",
                                u"file://server/share/dir"})
        EXPECT_EQ(FileUrlIsLiteral(url), 1) << Utf8(url);
    for (const char16_t* url : {u"file:///C:/My%20Documents", u"file:///C:/work/C#",
                                u"file:///C:/50%", u"", u"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}",
                                u"http://example.com/"})
        EXPECT_EQ(FileUrlIsLiteral(url), 0) << Utf8(url);
}

TEST(FileUrl, LongestPathFitsAndOneMoreDoesNot)
{
    for (int length : {kWidePathSize - 1, kWidePathSize + 0}) {
        std::u16string url = u"file:///C:/";
        url += std::u16string(length - 3, u'a');
        char16_t path[kWidePathSize + 8];
        path[kWidePathSize] = u'#';
        const int got = FileUrlToPath(url.c_str(), path);
        EXPECT_EQ(got, length < kWidePathSize ? 1 : 0) << length;
        EXPECT_EQ(path[kWidePathSize], u'#') << "written past the path";
        if (got) {
            EXPECT_EQ(std::u16string(path).size(), static_cast<size_t>(length));
        }
    }
}

// Browser objects and windows are opaque here: distinct addresses do.
char gObjects[kShellEntries + 8];
void* Obj(int i) { return &gObjects[i]; }

std::unique_ptr<ShellTable> EmptyTable()
{
    return std::unique_ptr<ShellTable>(new ShellTable());
}

void Fill(ShellTable* table, int index, void* window, void* root, const char16_t* path)
{
    ShellEntry* e = &table->entries[index];
    e->window = window;
    e->root = root;
    CopyPath(e->path, path);
}

TEST(ShellTable, EnumerationKeepsWhatItSeesAndFindsTheRestStale)
{
    auto table = EmptyTable();
    BeginEnumeration(table.get());
    EXPECT_EQ(AddShellEntry(table.get(), Obj(1)), 0);
    EXPECT_EQ(AddShellEntry(table.get(), Obj(2)), 1);
    EXPECT_EQ(AddShellEntry(table.get(), Obj(3)), 2);
    EXPECT_EQ(NextStaleEntry(table.get(), 0), -1);

    // The next enumeration sees 1 and 3 again; 2 went away.
    BeginEnumeration(table.get());
    table->entries[FindShellEntry(table.get(), Obj(1))].mark = table->generation;
    table->entries[FindShellEntry(table.get(), Obj(3))].mark = table->generation;
    EXPECT_EQ(NextStaleEntry(table.get(), 0), 1);
    EXPECT_EQ(NextStaleEntry(table.get(), 2), -1);
    ClearShellEntry(&table->entries[1]);
    EXPECT_EQ(FindShellEntry(table.get(), Obj(2)), -1);
    // The freed entry is taken again first.
    EXPECT_EQ(AddShellEntry(table.get(), Obj(4)), 1);
    EXPECT_EQ(FindShellEntry(table.get(), nullptr), -1);
}

TEST(ShellTable, FullTableRefusesMore)
{
    auto table = EmptyTable();
    BeginEnumeration(table.get());
    for (int i = 0; i < kShellEntries; ++i)
        ASSERT_EQ(AddShellEntry(table.get(), Obj(i)), i);
    EXPECT_EQ(AddShellEntry(table.get(), Obj(kShellEntries)), -1);
    EXPECT_EQ(FindShellEntry(table.get(), Obj(kShellEntries - 1)), kShellEntries - 1);
}

TEST(ShellTable, GenerationWrapsWithoutMeetingZero)
{
    auto table = EmptyTable();
    table->generation = 0x7FFFFFFF;
    BeginEnumeration(table.get());
    EXPECT_EQ(table->generation, 1);
}

TEST(ShellTable, WindowsAndPaths)
{
    auto table = EmptyTable();
    void* topA = Obj(40);
    void* tabA1 = Obj(41);
    void* tabA2 = Obj(42);
    void* topB = Obj(50);
    BeginEnumeration(table.get());
    Fill(table.get(), AddShellEntry(table.get(), Obj(1)), tabA1, topA, P("C:\\one"));
    Fill(table.get(), AddShellEntry(table.get(), Obj(2)), tabA2, topA, P("C:\\two"));
    Fill(table.get(), AddShellEntry(table.get(), Obj(3)), topB, topB, P(""));  // virtual folder

    EXPECT_EQ(FindEntryShowing(table.get(), P("C:\\two")), 1);
    EXPECT_EQ(FindEntryShowing(table.get(), P("C:\\TWO")), -1);  // exact, as everywhere
    EXPECT_EQ(FindEntryShowing(table.get(), P("C:\\two\\")), -1);
    EXPECT_EQ(FindEntryShowing(table.get(), P("")), -1);  // a virtual folder is no match

    EXPECT_EQ(FindEntryOfWindow(table.get(), tabA2), 1);
    EXPECT_EQ(FindEntryOfWindow(table.get(), topA), 0);  // a top-level window: its first tab
    EXPECT_EQ(FindEntryOfWindow(table.get(), topB), 2);
    EXPECT_EQ(FindEntryOfWindow(table.get(), Obj(60)), -1);
    EXPECT_EQ(FindEntryOfWindow(table.get(), nullptr), -1);

    EXPECT_EQ(WindowShowsPath(table.get(), tabA1, P("C:\\one")), kShowsPath);
    EXPECT_EQ(WindowShowsPath(table.get(), tabA1, P("C:\\two")), kShowsOther);
    EXPECT_EQ(WindowShowsPath(table.get(), topB, P("C:\\one")), kShowsOther);
    EXPECT_EQ(WindowShowsPath(table.get(), Obj(60), P("C:\\one")), kUnknownWindow);
    EXPECT_EQ(WindowShowsPath(table.get(), nullptr, P("C:\\one")), kUnknownWindow);
    ClearShellEntry(&table->entries[0]);
    EXPECT_EQ(WindowShowsPath(table.get(), tabA1, P("C:\\one")), kUnknownWindow);
}

struct Report {
    int root;
    const char* path;
    int source;
    unsigned tick;
    int repeated;
};

TEST(RepeatedReport, OneNavigationTwoReportersIsOne)
{
    const unsigned kStart = 0xFFFFF000u;  // the clock wraps during the run
    const Report reports[] = {
        {1, "C:\\a", kFromHook, kStart, 0},
        {1, "C:\\a", kFromWatcher, kStart + 100, 1},  // the same navigation
        {1, "C:\\a", kFromWatcher, kStart + 200, 0},  // answered once: a new visit
        {1, "C:\\a", kFromWatcher, kStart + 300, 0},  // one source twice: two visits
        {1, "C:\\a", kFromHook, kStart + 400, 1},
        {2, "C:\\a", kFromHook, kStart + 500, 0},     // another window
        {1, "C:\\b", kFromHook, kStart + 600, 0},     // another folder
        {1, "C:\\b", kFromWatcher, kStart + 600 + kSameNavigationMs, 0},  // too late
        {3, "C:\\c", kFromWatcher, kStart + 10000, 0},
        {3, "C:\\c", kFromHook, kStart + 10000 + kSameNavigationMs - 1, 1},
        {3, "C:\\C", kFromHook, kStart + 10000, 0},   // paths compare exactly
    };
    ReportLog log{};
    for (const Report& r : reports) {
        EXPECT_EQ(IsRepeatedReport(&log, Obj(r.root), P(r.path), r.source, r.tick), r.repeated)
            << r.root << " " << r.path << " " << r.source << " +" << r.tick - kStart;
    }
}

TEST(RepeatedReport, OtherWindowsInBetweenDoNotHideTheRepeat)
{
    ReportLog log{};
    EXPECT_EQ(IsRepeatedReport(&log, Obj(1), P("C:\\x"), kFromWatcher, 0), 0);
    for (int i = 0; i < kRecentReports - 1; ++i)
        EXPECT_EQ(IsRepeatedReport(&log, Obj(10 + i), P("C:\\y"), kFromWatcher, 1), 0);
    EXPECT_EQ(IsRepeatedReport(&log, Obj(1), P("C:\\x"), kFromHook, 2), 1);
    // Once the ring has moved on past it, the old report is forgotten.
    EXPECT_EQ(IsRepeatedReport(&log, Obj(2), P("C:\\x"), kFromWatcher, 3), 0);
    for (int i = 0; i < kRecentReports; ++i)
        IsRepeatedReport(&log, Obj(20 + i), P("C:\\z"), kFromWatcher, 4);
    EXPECT_EQ(IsRepeatedReport(&log, Obj(2), P("C:\\x"), kFromHook, 5), 0);
}

}  // namespace
