// Path slots, the folder history as data: recording, compaction, the cap and the four
// purges, and the two small number helpers that live beside them.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "core/history.h"
#include "core/paths.h"
#include "tests/support/u16.h"

namespace {

// A list of path slots on the heap with exactly `count` slots, so that AddressSanitizer
// reports any access past the last slot. Filled without the functions under test.
class SlotList {
public:
    explicit SlotList(int count, std::initializer_list<const char*> entries = {})
        : count_(count), slots_(new PathSlot[count])
    {
        std::memset(slots_.get(), 0, sizeof(PathSlot) * count);
        int i = 0;
        for (const char* e : entries)
            Set(i++, e);
    }
    void Set(int i, const char* text)
    {
        const std::u16string wide = U(text);
        wide.copy(slots_[i], kPathSize - 1);
        slots_[i][std::min<size_t>(wide.size(), kPathSize - 1)] = u'\0';
    }
    PathSlot* get() { return slots_.get(); }
    std::string operator[](int i) const { return Utf8(slots_[i]); }

    // The entries from slot 0 up to the first empty slot.
    std::vector<std::string> Entries() const
    {
        std::vector<std::string> out;
        for (int i = 0; i < count_ && slots_[i][0] != '\0'; ++i)
            out.push_back(Utf8(slots_[i]));
        return out;
    }
    // 1 when every slot from `first` to the last is empty.
    bool EmptyFrom(int first) const
    {
        for (int i = first; i < count_; ++i) {
            if (slots_[i][0] != '\0')
                return false;
        }
        return true;
    }

private:
    int count_;
    std::unique_ptr<PathSlot[]> slots_;
};

struct History : SlotList {
    explicit History(std::initializer_list<const char*> entries = {})
        : SlotList(kHistorySlots, entries) {}
};

struct Registered : SlotList {
    explicit Registered(std::initializer_list<const char*> entries = {})
        : SlotList(kRegisteredSlots, entries) {}
};

std::string Repeat(char c, size_t n) { return std::string(n, c); }

std::string Numbered(const char* prefix, int i)
{
    char text[64];
    std::snprintf(text, sizeof text, "%s%02d", prefix, i);
    return text;
}

// Fills the history with `n` numbered entries "C:\hNN", slot 0 first.
void FillNumbered(History& h, int n, const char* prefix = "C:\\h")
{
    for (int i = 0; i < n; ++i)
        h.Set(i, Numbered(prefix, i).c_str());
}

// --- Fake platform queries, keyed on the text of the path ---------------------------

// The drive class the platform would report for the root of the path, by its first
// character: C fixed, R RAM disk, N network, E removable, Q CD-ROM, anything else
// unknown. A text that starts with a backslash reports a fixed disk on purpose: the
// UNC form has to be recognised by itself, never through the drive class.
int FakeDriveClass(const char16_t* wide)
{
    const std::string text = Utf8(wide);
    const char* path = text.c_str();
    switch (path[0]) {
    case '\\': return kDriveFixed;
    case 'C': return kDriveFixed;
    case 'R': return kDriveRam;
    case 'N': return kDriveRemote;
    case 'E': return kDriveRemovable;
    case 'Q': return kDriveCdrom;
    default: return kDriveUnknown;
    }
}

// Every folder exists except those whose path contains "gone". Each query is noted.
std::vector<std::string> gExistQueries;

int FakeFolderExists(const char16_t* wide)
{
    const std::string text = Utf8(wide);
    const char* path = text.c_str();
    gExistQueries.push_back(path);
    return std::strstr(path, "gone") == nullptr;
}

int NothingExists(const char16_t* wide)
{
    const std::string text = Utf8(wide);
    const char* path = text.c_str();
    gExistQueries.push_back(path);
    return 0;
}

using Entries = std::vector<std::string>;

// ====================================================================================
// Path slots

TEST(CopyPath, CopiesAShortPathWithItsTerminator)
{
    std::unique_ptr<char16_t[]> dst(new char16_t[kPathSize]);
    std::memset(dst.get(), 'z', kPathSize);
    CopyPath(dst.get(), P("C:\\Users"));
    EXPECT_EQ(std::string("C:\\Users"), Utf8(dst.get()));
}

TEST(CopyPath, EmptyTextGivesAnEmptySlot)
{
    std::unique_ptr<char16_t[]> dst(new char16_t[kPathSize]);
    std::memset(dst.get(), 'z', kPathSize);
    CopyPath(dst.get(), P(""));
    EXPECT_EQ('\0', dst[0]);
}

TEST(CopyPath, KeepsA255CharacterTextWhole)
{
    const std::string text = "C:\\" + Repeat('a', 252);
    ASSERT_EQ(255u, text.size());
    std::unique_ptr<char16_t[]> dst(new char16_t[kPathSize]);
    CopyPath(dst.get(), P(text));
    EXPECT_EQ(text, Utf8(dst.get()));
}

TEST(CopyPath, CutsLongerTextsTo255CharactersInsideTheSlot)
{
    for (size_t len : {256u, 257u, 1000u}) {
        const std::string text = "C:\\" + Repeat('b', len - 3);
        // Exactly one slot on the heap: a write of byte 256 would be reported.
        std::unique_ptr<char16_t[]> dst(new char16_t[kPathSize]);
        CopyPath(dst.get(), P(text));
        EXPECT_EQ(text.substr(0, 255), Utf8(dst.get())) << "length " << len;
        EXPECT_EQ('\0', dst[255]) << "length " << len;
    }
}

// A folder picked in the shell can have up to 259 characters: it is taken whole or not at
// all, never cut into the name of another folder.
TEST(CopyPathIfFits, TakesTextsOfUpTo255CharactersWhole)
{
    std::unique_ptr<char16_t[]> dst(new char16_t[kPathSize]);
    const std::string longest = "C:\\" + Repeat('a', 252);
    EXPECT_EQ(1, CopyPathIfFits(dst.get(), P(longest)));
    EXPECT_EQ(longest, Utf8(dst.get()));
    EXPECT_EQ(1, CopyPathIfFits(dst.get(), P("D:\\")));
    EXPECT_EQ(std::string("D:\\"), Utf8(dst.get()));
}

TEST(CopyPathIfFits, RefusesLongerTextsAndLeavesTheSlotEmpty)
{
    for (size_t len : {256u, 259u, 600u}) {
        const std::string text = "C:\\" + Repeat('b', len - 3);
        std::unique_ptr<char16_t[]> dst(new char16_t[kPathSize]);
        std::memcpy(dst.get(), u"stale", 12);
        EXPECT_EQ(0, CopyPathIfFits(dst.get(), P(text))) << "length " << len;
        EXPECT_EQ(std::string(""), Utf8(dst.get())) << "length " << len;
    }
}

TEST(CopyPath, CopiesShiftJisBytesUnchanged)
{
    // C:\表示\ソ : both 表 (0x95 0x5C) and ソ (0x83 0x5C) end with the backslash byte.
    const char* text = "C:\\表示\\ソ";
    std::unique_ptr<char16_t[]> dst(new char16_t[kPathSize]);
    CopyPath(dst.get(), P(text));
    EXPECT_EQ(std::string(text), Utf8(dst.get()));
}

TEST(SamePath, ComparesByteForByteAndCaseSensitively)
{
    EXPECT_EQ(1, SamePath(P("C:\\Work"), P("C:\\Work")));
    EXPECT_EQ(1, SamePath(P(""), P("")));
    EXPECT_EQ(0, SamePath(P("C:\\Work"), P("C:\\work")));
    EXPECT_EQ(0, SamePath(P("C:\\Work"), P("c:\\Work")));
    // Paths are never normalised: a trailing backslash makes another path.
    EXPECT_EQ(0, SamePath(P("C:\\Work"), P("C:\\Work\\")));
    EXPECT_EQ(0, SamePath(P("C:\\Work\\"), P("C:\\Work")));
    EXPECT_EQ(0, SamePath(P("C:\\Work"), P("")));
    EXPECT_EQ(0, SamePath(P(""), P("C:\\Work")));
}

TEST(SamePath, TellsShiftJisTextsApartByTheirTrailBytes)
{
    // D:\表 (0x95 0x5C) and D:\能 (0x94 0x5C) differ in the lead byte only.
    EXPECT_EQ(0, SamePath(P("D:\\表"), P("D:\\培")));
    // D:\表 against D:\表\ : the text that goes on after the trail byte is another path.
    EXPECT_EQ(0, SamePath(P("D:\\表"), P("D:\\表\\")));
    EXPECT_EQ(1, SamePath(P("D:\\表"), P("D:\\表")));
}

TEST(SamePath, DifferenceInTheLastCharacterOfA255CharacterPathCounts)
{
    std::string a = Repeat('a', 254) + "x";
    std::string b = Repeat('a', 254) + "y";
    EXPECT_EQ(0, SamePath(P(a), P(b)));
    EXPECT_EQ(1, SamePath(P(a), P(a)));
}

TEST(CountEntries, CountsLeadingEntriesUpToTheFirstEmptySlot)
{
    History empty;
    EXPECT_EQ(0, CountEntries(empty.get(), kHistorySlots));

    History three({"A:\\1", "A:\\2", "A:\\3"});
    EXPECT_EQ(3, CountEntries(three.get(), kHistorySlots));

    // A gap ends the list: slot 3 is never counted.
    History gap({"A:\\1", "A:\\2"});
    gap.Set(3, "A:\\4");
    EXPECT_EQ(2, CountEntries(gap.get(), kHistorySlots));
}

TEST(CountEntries, FullListsStopAtTheirSlotCount)
{
    History full;
    FillNumbered(full, kHistorySlots);
    EXPECT_EQ(50, CountEntries(full.get(), kHistorySlots));

    Registered reg;
    for (int i = 0; i < kRegisteredSlots; ++i)
        reg.Set(i, Numbered("C:\\r", i).c_str());
    EXPECT_EQ(30, CountEntries(reg.get(), kRegisteredSlots));
}

TEST(IsRegisteredIn, FindsAPathAmongTheRegisteredFolders)
{
    Registered reg({"C:\\Docs", "D:\\Music", "\\\\srv\\share"});
    EXPECT_EQ(1, IsRegisteredIn(reg.get(), P("C:\\Docs")));
    EXPECT_EQ(1, IsRegisteredIn(reg.get(), P("\\\\srv\\share")));
    EXPECT_EQ(0, IsRegisteredIn(reg.get(), P("C:\\docs")));
    EXPECT_EQ(0, IsRegisteredIn(reg.get(), P("C:\\Docs\\")));
    EXPECT_EQ(0, IsRegisteredIn(reg.get(), P("C:\\")));
}

TEST(IsRegisteredIn, EmptyListRegistersNothing)
{
    Registered reg;
    EXPECT_EQ(0, IsRegisteredIn(reg.get(), P("C:\\Docs")));
}

TEST(IsRegisteredIn, LooksNoFurtherThanTheFirstEmptySlot)
{
    Registered reg({"C:\\Docs"});
    reg.Set(2, "C:\\Hidden");
    EXPECT_EQ(0, IsRegisteredIn(reg.get(), P("C:\\Hidden")));
}

TEST(IsRegisteredIn, FullListMatchesItsLastSlot)
{
    Registered reg;
    for (int i = 0; i < kRegisteredSlots; ++i)
        reg.Set(i, Numbered("C:\\r", i).c_str());
    EXPECT_EQ(1, IsRegisteredIn(reg.get(), P("C:\\r29")));
    EXPECT_EQ(0, IsRegisteredIn(reg.get(), P("C:\\r30")));
}

TEST(IsUncPath, NeedsTwoLeadingBackslashes)
{
    EXPECT_EQ(1, IsUncPath(P("\\\\server\\share")));
    EXPECT_EQ(1, IsUncPath(P("\\\\")));
    EXPECT_EQ(0, IsUncPath(P("\\server")));
    EXPECT_EQ(0, IsUncPath(P("\\")));
    EXPECT_EQ(0, IsUncPath(P("")));
    EXPECT_EQ(0, IsUncPath(P("C:\\\\x")));
    // ソ ends with the backslash byte, but it is the second byte of a character.
    EXPECT_EQ(0, IsUncPath(P("ソ\\")));
}

TEST(HistoryLimit, KeepsValuesFrom1To50)
{
    EXPECT_EQ(1, HistoryLimit(1));
    EXPECT_EQ(20, HistoryLimit(20));
    EXPECT_EQ(50, HistoryLimit(50));
}

TEST(HistoryLimit, HandEditedValuesBelow1ActAs1AndAbove50As50)
{
    EXPECT_EQ(1, HistoryLimit(0));
    EXPECT_EQ(1, HistoryLimit(-5));
    EXPECT_EQ(1, HistoryLimit(INT_MIN));
    EXPECT_EQ(50, HistoryLimit(51));
    EXPECT_EQ(50, HistoryLimit(999999999));
    EXPECT_EQ(50, HistoryLimit(INT_MAX));
}

// ====================================================================================
// Recording: move to front, no duplicates, the last entry falls off a full history

TEST(RecordPath, FirstPathGoesToSlot0OfAnEmptyHistory)
{
    History h;
    // A stale text behind an empty slot 0 must not become the second entry.
    h.Set(1, "C:\\stale");
    RecordPath(h.get(), 20, P("C:\\first"));
    EXPECT_EQ(Entries({"C:\\first"}), h.Entries());
    EXPECT_EQ('\0', h[1][0]);
}

TEST(RecordPath, EmptyPathIsNotRecorded)
{
    History h({"C:\\a", "C:\\b"});
    RecordPath(h.get(), 20, P(""));
    EXPECT_EQ(Entries({"C:\\a", "C:\\b"}), h.Entries());

    History empty;
    RecordPath(empty.get(), 20, P(""));
    EXPECT_TRUE(empty.EmptyFrom(0));
}

TEST(RecordPath, NewPathGoesInFrontOfTheOthers)
{
    History h({"C:\\a", "C:\\b", "C:\\c"});
    RecordPath(h.get(), 20, P("C:\\new"));
    EXPECT_EQ(Entries({"C:\\new", "C:\\a", "C:\\b", "C:\\c"}), h.Entries());
    EXPECT_TRUE(h.EmptyFrom(4));
}

TEST(RecordPath, PathInSlot4OfTenMovesToFrontAndTheRestStays)
{
    History h;
    FillNumbered(h, 10);
    RecordPath(h.get(), 20, P("C:\\h04"));
    EXPECT_EQ(Entries({"C:\\h04", "C:\\h00", "C:\\h01", "C:\\h02", "C:\\h03", "C:\\h05",
                       "C:\\h06", "C:\\h07", "C:\\h08", "C:\\h09"}),
              h.Entries());
    EXPECT_TRUE(h.EmptyFrom(10));
}

TEST(RecordPath, PathAlreadyInSlot0LeavesTheHistoryAsItIs)
{
    History h({"C:\\a", "C:\\b", "C:\\c"});
    RecordPath(h.get(), 20, P("C:\\a"));
    EXPECT_EQ(Entries({"C:\\a", "C:\\b", "C:\\c"}), h.Entries());
}

TEST(RecordPath, PathInTheLastSlotOfAFullHistoryMovesWithoutLoss)
{
    History h;
    FillNumbered(h, 20);
    RecordPath(h.get(), 20, P("C:\\h19"));
    ASSERT_EQ(20u, h.Entries().size());
    EXPECT_EQ("C:\\h19", h[0]);
    for (int i = 1; i < 20; ++i)
        EXPECT_EQ(Numbered("C:\\h", i - 1), h[i]) << "slot " << i;
}

TEST(RecordPath, PathsDifferingInCaseOrTrailingBackslashAreSeparateEntries)
{
    History h;
    RecordPath(h.get(), 20, P("C:\\Work"));
    RecordPath(h.get(), 20, P("C:\\work"));
    RecordPath(h.get(), 20, P("C:\\Work\\"));
    EXPECT_EQ(Entries({"C:\\Work\\", "C:\\work", "C:\\Work"}), h.Entries());
}

TEST(RecordPath, OneBelowTheLimitGainsAnEntryAndIsFull)
{
    History h;
    FillNumbered(h, 9);
    RecordPath(h.get(), 10, P("C:\\new"));
    ASSERT_EQ(10u, h.Entries().size());
    EXPECT_EQ("C:\\new", h[0]);
    EXPECT_EQ("C:\\h08", h[9]);
    EXPECT_TRUE(h.EmptyFrom(10));
}

TEST(RecordPath, AtTheLimitTheLastEntryFallsOff)
{
    History h;
    FillNumbered(h, 10);
    RecordPath(h.get(), 10, P("C:\\new"));
    ASSERT_EQ(10u, h.Entries().size());
    EXPECT_EQ("C:\\new", h[0]);
    for (int i = 1; i < 10; ++i)
        EXPECT_EQ(Numbered("C:\\h", i - 1), h[i]) << "slot " << i;
    EXPECT_TRUE(h.EmptyFrom(10));
}

TEST(RecordPath, FullHistoryOf50LosesSlot49)
{
    History h;
    FillNumbered(h, kHistorySlots);
    RecordPath(h.get(), 50, P("C:\\new"));
    ASSERT_EQ(50u, h.Entries().size());
    EXPECT_EQ("C:\\new", h[0]);
    EXPECT_EQ("C:\\h48", h[49]);
}

TEST(RecordPath, LimitAbove50KeepsAtMost50)
{
    History h;
    FillNumbered(h, kHistorySlots);
    RecordPath(h.get(), 1000, P("C:\\new"));
    ASSERT_EQ(50u, h.Entries().size());
    EXPECT_EQ("C:\\new", h[0]);
    EXPECT_EQ("C:\\h48", h[49]);

    History grow;
    FillNumbered(grow, 49);
    RecordPath(grow.get(), INT_MAX, P("C:\\new"));
    EXPECT_EQ(50u, grow.Entries().size());
    EXPECT_EQ("C:\\h48", grow[49]);
}

TEST(RecordPath, LimitBelow1KeepsOnlySlot0)
{
    for (int limit : {1, 0, -1, INT_MIN}) {
        History h({"C:\\old"});
        RecordPath(h.get(), limit, P("C:\\new"));
        EXPECT_EQ(Entries({"C:\\new"}), h.Entries()) << "MaxLogData " << limit;

        History empty;
        RecordPath(empty.get(), limit, P("C:\\first"));
        RecordPath(empty.get(), limit, P("C:\\second"));
        EXPECT_EQ(Entries({"C:\\second"}), empty.Entries()) << "MaxLogData " << limit;
    }
}

TEST(RecordPath, GapEndsTheListAndTheSlotAfterItIsEmptied)
{
    // Slot 2 empty, slot 3 a stray entry: the new path makes three entries and the
    // history is contiguous again.
    History h({"C:\\a", "C:\\b"});
    h.Set(3, "C:\\stray");
    RecordPath(h.get(), 20, P("C:\\new"));
    EXPECT_EQ(Entries({"C:\\new", "C:\\a", "C:\\b"}), h.Entries());
    EXPECT_TRUE(h.EmptyFrom(3));
}

TEST(RecordPath, ShiftJisPathWithBackslashTrailByteIsMatchedWhole)
{
    // D:\表 (0x95 0x5C) and D:\表\ソ (ソ = 0x83 0x5C)
    const char* hyou = "D:\\表";
    const char* hyouSo = "D:\\表\\ソ";
    History h;
    RecordPath(h.get(), 20, P(hyou));
    RecordPath(h.get(), 20, P(hyouSo));
    RecordPath(h.get(), 20, P(hyou));
    EXPECT_EQ(Entries({hyou, hyouSo}), h.Entries());
}

TEST(RecordPath, A255CharacterPathIsRecordedWholeAndMatchedAgain)
{
    const std::string path = "C:\\" + Repeat('p', 252);
    History h({"C:\\a"});
    RecordPath(h.get(), 20, P(path));
    RecordPath(h.get(), 20, P("C:\\b"));
    RecordPath(h.get(), 20, P(path));
    EXPECT_EQ(Entries({path, "C:\\b", "C:\\a"}), h.Entries());
}

TEST(RecordPath, TextLongerThanASlotIsCutAndRecordedOnlyOnce)
{
    // A 256-character text is kept as its first 255 characters. Recording the same
    // text again must find that entry, not add a second copy of it.
    const std::string text = "C:\\" + Repeat('q', 253);
    ASSERT_EQ(256u, text.size());
    History h;
    RecordPath(h.get(), 20, P(text));
    ASSERT_EQ(Entries({text.substr(0, 255)}), h.Entries());
    RecordPath(h.get(), 20, P(text));
    EXPECT_EQ(1u, h.Entries().size()) << "the cut text is in the history more than once";
    EXPECT_EQ(text.substr(0, 255), std::string(h[0]));
}

// ====================================================================================
// Compaction and the cap

TEST(CompactHistory, RemovesEveryEqualEntryAndClosesUpInOrder)
{
    History h({"Deleted", "C:\\a", "Deleted", "Deleted", "C:\\b", "C:\\c", "Deleted"});
    CompactHistory(h.get(), TK_DELETED_MARKER);
    EXPECT_EQ(Entries({"C:\\a", "C:\\b", "C:\\c"}), h.Entries());
    EXPECT_TRUE(h.EmptyFrom(3));
}

TEST(CompactHistory, ComparesByteForByte)
{
    History h({"deleted", "Deleted ", "Deleted\\", "Deleted"});
    CompactHistory(h.get(), TK_DELETED_MARKER);
    EXPECT_EQ(Entries({"deleted", "Deleted ", "Deleted\\"}), h.Entries());
    EXPECT_TRUE(h.EmptyFrom(3));
}

TEST(CompactHistory, NothingToRemoveLeavesTheHistoryAsItIs)
{
    History h({"C:\\a", "C:\\b"});
    CompactHistory(h.get(), TK_DELETED_MARKER);
    EXPECT_EQ(Entries({"C:\\a", "C:\\b"}), h.Entries());
}

TEST(CompactHistory, EmptyHistoryStaysEmpty)
{
    History h;
    CompactHistory(h.get(), TK_DELETED_MARKER);
    EXPECT_TRUE(h.EmptyFrom(0));
}

TEST(CompactHistory, AllRemovedLeavesAnEmptyHistory)
{
    History h;
    for (int i = 0; i < kHistorySlots; ++i)
        h.Set(i, "Deleted");
    CompactHistory(h.get(), TK_DELETED_MARKER);
    EXPECT_TRUE(h.EmptyFrom(0));
}

TEST(CompactHistory, FullHistoryLosesItsFirstAndLastEntries)
{
    History h;
    FillNumbered(h, kHistorySlots);
    h.Set(0, "Deleted");
    h.Set(49, "Deleted");
    CompactHistory(h.get(), TK_DELETED_MARKER);
    ASSERT_EQ(48u, h.Entries().size());
    for (int i = 0; i < 48; ++i)
        EXPECT_EQ(Numbered("C:\\h", i + 1), h[i]) << "slot " << i;
    EXPECT_TRUE(h.EmptyFrom(48));
}

TEST(CompactHistory, EntriesBehindAGapAreEmptied)
{
    History h({"C:\\a", "Deleted", "C:\\b"});
    h.Set(4, "C:\\stray");
    h.Set(49, "C:\\stray49");
    CompactHistory(h.get(), TK_DELETED_MARKER);
    EXPECT_EQ(Entries({"C:\\a", "C:\\b"}), h.Entries());
    EXPECT_TRUE(h.EmptyFrom(2));
}

TEST(CompactHistory, RemovesAnyGivenText)
{
    History h({"C:\\a", "D:\\表", "C:\\b", "D:\\表"});  // D:\表
    CompactHistory(h.get(), P("D:\\表"));
    EXPECT_EQ(Entries({"C:\\a", "C:\\b"}), h.Entries());
    EXPECT_TRUE(h.EmptyFrom(2));
}

TEST(CapHistory, LoweringTheLimitFrom30To10KeepsTheTenMostRecent)
{
    History h;
    FillNumbered(h, 30);
    CapHistory(h.get(), 10);
    ASSERT_EQ(10u, h.Entries().size());
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(Numbered("C:\\h", i), h[i]) << "slot " << i;
    EXPECT_TRUE(h.EmptyFrom(10));
}

TEST(CapHistory, LimitOf50OrMoreRemovesNothing)
{
    for (int limit : {50, 51, INT_MAX}) {
        History h;
        FillNumbered(h, kHistorySlots);
        CapHistory(h.get(), limit);
        EXPECT_EQ(50u, h.Entries().size()) << "MaxLogData " << limit;
        EXPECT_EQ("C:\\h49", h[49]) << "MaxLogData " << limit;
    }
}

TEST(CapHistory, LimitBelow1KeepsOneEntry)
{
    for (int limit : {1, 0, -7, INT_MIN}) {
        History h;
        FillNumbered(h, 5);
        CapHistory(h.get(), limit);
        EXPECT_EQ(Entries({"C:\\h00"}), h.Entries()) << "MaxLogData " << limit;
        EXPECT_TRUE(h.EmptyFrom(1)) << "MaxLogData " << limit;
    }
}

TEST(CapHistory, ShorterHistoryIsUntouched)
{
    History h({"C:\\a", "C:\\b"});
    CapHistory(h.get(), 20);
    EXPECT_EQ(Entries({"C:\\a", "C:\\b"}), h.Entries());
}

TEST(CapHistory, LeavesADeletedMarkerAlone)
{
    // The marker text is removed only by a purge.
    History h({"C:\\a", "Deleted", "C:\\b"});
    CapHistory(h.get(), 20);
    EXPECT_EQ(Entries({"C:\\a", "Deleted", "C:\\b"}), h.Entries());
}

// ====================================================================================
// Purges: mark with "Deleted", then compact

TEST(PurgeRegistered, RemovesRegisteredFoldersOnly)
{
    Registered reg({"C:\\Docs", "D:\\Music"});
    History h({"C:\\a", "C:\\Docs", "C:\\docs", "D:\\Music", "C:\\b"});
    PurgeRegistered(h.get(), reg.get());
    EXPECT_EQ(Entries({"C:\\a", "C:\\docs", "C:\\b"}), h.Entries());
    EXPECT_TRUE(h.EmptyFrom(3));
}

TEST(PurgeRegistered, FullListsOfBothKinds)
{
    Registered reg;
    for (int i = 0; i < kRegisteredSlots; ++i)
        reg.Set(i, Numbered("C:\\h", 2 * i).c_str());  // even entries h00 .. h58
    History h;
    FillNumbered(h, kHistorySlots);
    PurgeRegistered(h.get(), reg.get());
    // h00 .. h48 even are registered; the odd ones stay in order.
    ASSERT_EQ(25u, h.Entries().size());
    for (int i = 0; i < 25; ++i)
        EXPECT_EQ(Numbered("C:\\h", 2 * i + 1), h[i]) << "slot " << i;
    EXPECT_TRUE(h.EmptyFrom(25));
}

TEST(PurgeRegistered, RegisteredFolderBehindAGapInTheListIsNotUsed)
{
    Registered reg({"C:\\Docs"});
    reg.Set(2, "C:\\b");
    History h({"C:\\a", "C:\\b", "C:\\Docs"});
    PurgeRegistered(h.get(), reg.get());
    EXPECT_EQ(Entries({"C:\\a", "C:\\b"}), h.Entries());
}

TEST(PurgeDriveClass, NetworkEntries1And3OfFiveGo)
{
    History h({"C:\\zero", "N:\\one", "C:\\two", "N:\\three", "R:\\four"});
    PurgeDriveClass(h.get(), kDriveRemote, FakeDriveClass);
    EXPECT_EQ(Entries({"C:\\zero", "C:\\two", "R:\\four"}), h.Entries());
    EXPECT_EQ('\0', h[3][0]);
    EXPECT_EQ('\0', h[4][0]);
    EXPECT_TRUE(h.EmptyFrom(3));
}

TEST(PurgeDriveClass, RemovableAndCdromPurgesLeaveUnknownDrives)
{
    History h({"E:\\stick", "C:\\disk", "Q:\\cd", "U:\\unknown", "E:\\stick2"});
    PurgeDriveClass(h.get(), kDriveRemovable, FakeDriveClass);
    PurgeDriveClass(h.get(), kDriveCdrom, FakeDriveClass);
    EXPECT_EQ(Entries({"C:\\disk", "U:\\unknown"}), h.Entries());
    EXPECT_TRUE(h.EmptyFrom(2));
}

TEST(PurgeDriveClass, FullHistoryAllOfTheClassEmptiesIt)
{
    History h;
    FillNumbered(h, kHistorySlots, "N:\\n");
    PurgeDriveClass(h.get(), kDriveRemote, FakeDriveClass);
    EXPECT_TRUE(h.EmptyFrom(0));
}

TEST(PurgeUncPaths, RemovesTextsThatStartWithTwoBackslashes)
{
    History h({"\\\\srv\\share", "C:\\a", "\\\\", "\\single", "C:\\\\double", "N:\\net"});
    PurgeUncPaths(h.get());
    // A network drive letter is the drive-class purge's business, not this one's.
    EXPECT_EQ(Entries({"C:\\a", "\\single", "C:\\\\double", "N:\\net"}), h.Entries());
    EXPECT_TRUE(h.EmptyFrom(4));
}

TEST(PurgeVanished, RemovesVanishedFoldersOnFixedAndRamDisks)
{
    gExistQueries.clear();
    History h({"C:\\here", "C:\\gone", "R:\\gone", "R:\\here"});
    PurgeVanished(h.get(), FakeFolderExists, FakeDriveClass);
    EXPECT_EQ(Entries({"C:\\here", "R:\\here"}), h.Entries());
    EXPECT_TRUE(h.EmptyFrom(2));
}

TEST(PurgeVanished, NeverRemovesNetworkRemovableCdromUnknownOrUncEntries)
{
    gExistQueries.clear();
    // The UNC entries report a fixed disk (see FakeDriveClass): only their leading
    // backslash keeps them.
    History h({"N:\\gone", "E:\\gone", "Q:\\gone", "U:\\gone", "\\\\srv\\gone", "\\gone"});
    PurgeVanished(h.get(), FakeFolderExists, FakeDriveClass);
    EXPECT_EQ(Entries({"N:\\gone", "E:\\gone", "Q:\\gone", "U:\\gone", "\\\\srv\\gone",
                       "\\gone"}),
              h.Entries());
}

TEST(PurgeVanished, AsksOnlyAfterLocalFoldersUpToTheFirstEmptySlot)
{
    // A folder on a server, a network drive or a removable medium is never purged, so it
    // is never asked after: on an unreachable server the question alone would block.
    gExistQueries.clear();
    History h({"C:\\a", "\\\\srv\\share", "E:\\stick", "N:\\net", "R:\\ram"});
    h.Set(6, "C:\\stray");
    PurgeVanished(h.get(), FakeFolderExists, FakeDriveClass);
    EXPECT_EQ(Entries({"C:\\a", "R:\\ram"}), gExistQueries);
    // The stray entry behind the gap is not queried, and the compaction empties it.
    EXPECT_TRUE(h.EmptyFrom(5));
}

TEST(PurgeVanished, FullHistoryOfVanishedFoldersEmptiesIt)
{
    gExistQueries.clear();
    History h;
    FillNumbered(h, kHistorySlots);
    PurgeVanished(h.get(), NothingExists, FakeDriveClass);
    EXPECT_EQ(50u, gExistQueries.size());
    EXPECT_TRUE(h.EmptyFrom(0));
}

// An entry that reads exactly "Deleted" cannot be told from the marker: every purge
// removes it, even when its own test selects nothing.
class EveryPurge : public ::testing::TestWithParam<int> {
protected:
    void RunPurge(History& h)
    {
        Registered none;
        switch (GetParam()) {
        case 0: PurgeRegistered(h.get(), none.get()); break;
        case 1: PurgeDriveClass(h.get(), kDriveRemote, FakeDriveClass); break;
        case 2: PurgeUncPaths(h.get()); break;
        case 3: PurgeVanished(h.get(), FakeFolderExists, FakeDriveClass); break;
        }
    }
};

TEST_P(EveryPurge, RemovesAnEntryThatReadsDeleted)
{
    History h({"Deleted", "C:\\a", "Deleted", "C:\\b", "Deleted"});
    RunPurge(h);
    EXPECT_EQ(Entries({"C:\\a", "C:\\b"}), h.Entries());
    EXPECT_TRUE(h.EmptyFrom(2));
}

TEST_P(EveryPurge, SelectingNothingLeavesTheHistoryAsItIs)
{
    History h({"C:\\a", "D:\\表", "C:\\b"});  // D:\表
    RunPurge(h);
    EXPECT_EQ(Entries({"C:\\a", "D:\\表", "C:\\b"}), h.Entries());
}

TEST_P(EveryPurge, EmptyHistoryStaysEmpty)
{
    History h;
    RunPurge(h);
    EXPECT_TRUE(h.EmptyFrom(0));
}

std::string PurgeName(const ::testing::TestParamInfo<int>& info)
{
    static const char* const names[] = {"Registered", "DriveClass", "Unc", "Vanished"};
    return names[info.param];
}

INSTANTIATE_TEST_SUITE_P(Purges, EveryPurge, ::testing::Values(0, 1, 2, 3), PurgeName);

// ====================================================================================
// Scaling of delays

TEST(ScaleSaturated, MultipliesWithinRange)
{
    EXPECT_EQ(3000, ScaleSaturated(3, 1000));
    EXPECT_EQ(0, ScaleSaturated(0, 60000));
    EXPECT_EQ(-300000, ScaleSaturated(-5, 60000));
    EXPECT_EQ(2147460000, ScaleSaturated(35791, 60000));
    EXPECT_EQ(2147483000, ScaleSaturated(2147483, 1000));
}

TEST(ScaleSaturated, HoldsOverflowAtTheEndsOfTheRange)
{
    EXPECT_EQ(INT_MAX, ScaleSaturated(35792, 60000));
    EXPECT_EQ(INT_MAX, ScaleSaturated(2147484, 1000));
    EXPECT_EQ(INT_MAX, ScaleSaturated(999999999, 60000));
    EXPECT_EQ(INT_MAX, ScaleSaturated(INT_MAX, 60000));
    EXPECT_EQ(INT_MIN, ScaleSaturated(-2147484, 1000));
    EXPECT_EQ(INT_MIN, ScaleSaturated(-99999999, 60000));
    EXPECT_EQ(INT_MIN, ScaleSaturated(INT_MIN, 1000));
    EXPECT_EQ(INT_MAX, ScaleSaturated(INT_MIN, -1));
}

}  // namespace

namespace {

// A cut at the slot's end never keeps the first half of a character outside the BMP
// alone: the whole character goes.
TEST(CopyPath, NeverSplitsACharacterOutsideTheBmp)
{
    const std::u16string pair = U("📁");
    ASSERT_EQ(2u, pair.size());
    struct Case {
        size_t before;     // units before the pair
        size_t keptUnits;  // what the slot keeps
    };
    for (const Case& c : {Case{253, 255}, Case{254, 254}, Case{255, 255}}) {
        const std::u16string text = U("C:\\") + std::u16string(c.before - 3, u'x') + pair + u"tail";
        std::unique_ptr<char16_t[]> dst(new char16_t[kPathSize]);
        CopyPath(dst.get(), text.c_str());
        EXPECT_EQ(text.substr(0, c.keptUnits), std::u16string(dst.get())) << c.before;
    }
    // Whole or nothing where the text is for a new slot.
    std::unique_ptr<char16_t[]> dst(new char16_t[kPathSize]);
    const std::u16string fits = U("C:\\") + std::u16string(250, u'x') + pair;
    EXPECT_EQ(1, CopyPathIfFits(dst.get(), fits.c_str()));
    EXPECT_EQ(0, CopyPathIfFits(dst.get(), (fits + u"y").c_str()));
}

}  // namespace
