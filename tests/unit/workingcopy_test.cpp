// The working copy of the registered-folders dialog: loading, the edits, the column width
// and the commit.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "dialogs/workingcopy.h"
#include "tests/support/u16.h"

namespace {

typedef std::vector<std::string> List;

// Widths as a list would measure them: 7 pixels a byte, so longer texts are wider.
int ByteWidth(void* calls, const char16_t* text)
{
    ++*static_cast<int*>(calls);
    return 7 * static_cast<int>(std::u16string(text).size());
}

// A working copy on the heap with exactly its own size, loaded from `entries` through a
// registered-folder list, so that AddressSanitizer sees any access past it.
struct Copy {
    std::unique_ptr<WorkingCopy> copy{new WorkingCopy};
    int calls = 0;

    explicit Copy(const List& entries)
    {
        std::unique_ptr<PathSlot[]> registered(new PathSlot[kRegisteredSlots]());
        for (size_t i = 0; i < entries.size(); ++i)
            U(entries[i]).copy(registered[i], kPathSize - 1);
        std::memset(copy.get(), 0x5A, sizeof *copy);  // stale bytes from an earlier opening
        LoadWorkingCopy(copy.get(), registered.get(), ByteWidth, &calls);
    }
    WorkingCopy* operator->() { return copy.get(); }
    WorkingCopy* get() { return copy.get(); }

    List Entries() const
    {
        List out;
        for (int i = 0; i < copy->count; ++i)
            out.push_back(Utf8(copy->slots[i]));
        return out;
    }
    // Every slot from count on is empty.
    bool TailEmpty() const
    {
        for (int i = copy->count; i < kRegisteredSlots; ++i) {
            if (copy->slots[i][0] != '\0')
                return false;
        }
        return true;
    }
};

List Numbered(int n)
{
    List list;
    for (int i = 0; i < n; ++i)
        list.push_back("C:\\r" + std::to_string(i));
    return list;
}

TEST(LoadWorkingCopy, TakesTheListUpToItsFirstEmptySlotAndMeasuresIt)
{
    Copy c({"C:\\a", "C:\\longest", "D:\\b", "", "C:\\after-gap"});
    EXPECT_EQ(c.Entries(), List({"C:\\a", "C:\\longest", "D:\\b"}));
    EXPECT_TRUE(c.TailEmpty());
    EXPECT_EQ(c->widest, 7 * 10);

    Copy empty({});
    EXPECT_EQ(empty->count, 0);
    EXPECT_TRUE(empty.TailEmpty());
    EXPECT_EQ(empty->widest, 0);

    Copy full(Numbered(kRegisteredSlots));
    EXPECT_EQ(full->count, kRegisteredSlots);
    EXPECT_EQ(Utf8(full->slots[29]), "C:\\r29");

    const std::string longest(255, 'x');
    Copy wide({longest});
    EXPECT_EQ(wide.Entries(), List({longest}));
    EXPECT_EQ(wide->widest, 7 * 255);
}

TEST(FindEntry, ComparesByteForByte)
{
    // "表" (0x95 0x5C) ends in a backslash byte; "ソ" (0x83 0x5C) too.
    Copy c({"C:\\Data", "C:\\表", "\\\\server\\share"});
    EXPECT_EQ(FindEntry(c.get(), P("C:\\Data")), 0);
    EXPECT_EQ(FindEntry(c.get(), P("C:\\表")), 1);
    EXPECT_EQ(FindEntry(c.get(), P("\\\\server\\share")), 2);
    EXPECT_EQ(FindEntry(c.get(), P("C:\\data")), -1) << P("letter case counts");
    EXPECT_EQ(FindEntry(c.get(), P("C:\\Data\\")), -1) << P("no normalisation");
    EXPECT_EQ(FindEntry(c.get(), P("C:\\ソ")), -1);
    EXPECT_EQ(FindEntry(c.get(), P("C:\\Dat")), -1);
    Copy empty({});
    EXPECT_EQ(FindEntry(empty.get(), P("")), -1) << P("an empty copy holds no entry");
}

struct Insertion {
    List before;
    int position;
    const char* path;
    int result;
    List after;
};

TEST(InsertEntry, TableOfInsertions)
{
    const Insertion kInsertions[] = {
        {{"a", "b", "c"}, 2, "new", 2, {"a", "b", "new", "c"}},  // at the selected item
        {{"a", "b", "c"}, 0, "new", 0, {"new", "a", "b", "c"}},
        {{"a", "b", "c"}, 3, "new", 3, {"a", "b", "c", "new"}},  // nothing selected: append
        {{"a", "b", "c"}, -1, "new", 3, {"a", "b", "c", "new"}},
        {{"a", "b", "c"}, 4, "new", 3, {"a", "b", "c", "new"}},
        {{}, 0, "new", 0, {"new"}},
        {{"a"}, 0, "", -1, {"a"}},  // an empty path would end the list early
    };
    for (const Insertion& t : kInsertions) {
        Copy c(t.before);
        EXPECT_EQ(InsertEntry(c.get(), t.position, P(t.path)), t.result) << t.position;
        EXPECT_EQ(c.Entries(), t.after) << t.position;
        EXPECT_TRUE(c.TailEmpty());
    }
}

TEST(InsertEntry, FullCopyTakesNothingUntilAnEntryGoes)
{
    Copy c(Numbered(kRegisteredSlots));
    EXPECT_EQ(InsertEntry(c.get(), 0, P("C:\\new")), -1);
    EXPECT_EQ(InsertEntry(c.get(), kRegisteredSlots, P("C:\\new")), -1);
    EXPECT_EQ(c.Entries(), Numbered(kRegisteredSlots));
    ASSERT_EQ(RemoveEntry(c.get(), 4), 1);
    EXPECT_EQ(InsertEntry(c.get(), kRegisteredSlots - 1, P("C:\\new")), kRegisteredSlots - 1);
    EXPECT_EQ(Utf8(c->slots[29]), "C:\\new");
    EXPECT_EQ(Utf8(c->slots[4]), "C:\\r5");
}

struct Removal {
    List before;
    int position;
    int result;
    List after;
};

TEST(RemoveEntry, TableOfRemovals)
{
    const Removal kRemovals[] = {
        {{"a", "b", "c"}, 0, 1, {"b", "c"}},
        {{"a", "b", "c"}, 1, 1, {"a", "c"}},
        {{"a", "b", "c"}, 2, 1, {"a", "b"}},  // the last entry
        {{"a"}, 0, 1, {}},
        {{"a", "b", "c"}, -1, 0, {"a", "b", "c"}},  // nothing selected
        {{"a", "b", "c"}, 3, 0, {"a", "b", "c"}},
        {{}, 0, 0, {}},
    };
    for (const Removal& t : kRemovals) {
        Copy c(t.before);
        EXPECT_EQ(RemoveEntry(c.get(), t.position), t.result) << t.position;
        EXPECT_EQ(c.Entries(), t.after) << t.position;
        EXPECT_TRUE(c.TailEmpty()) << t.position;
    }
    Copy full(Numbered(kRegisteredSlots));
    ASSERT_EQ(RemoveEntry(full.get(), kRegisteredSlots - 1), 1);
    EXPECT_EQ(full->count, kRegisteredSlots - 1);
    EXPECT_TRUE(full.TailEmpty());
}

struct Move {
    int position, step, result;
    List after;
};

TEST(MoveEntry, TableOfMoves)
{
    const Move kMoves[] = {
        {1, -1, 0, {"b", "a", "c"}},
        {2, -1, 1, {"a", "c", "b"}},
        {0, -1, -1, {"a", "b", "c"}},  // the first entry stays
        {0, 1, 1, {"b", "a", "c"}},
        {1, 1, 2, {"a", "c", "b"}},
        {2, 1, -1, {"a", "b", "c"}},  // the last entry stays
        {-1, -1, -1, {"a", "b", "c"}},  // nothing selected
        {-1, 1, -1, {"a", "b", "c"}},
        {3, -1, -1, {"a", "b", "c"}},
    };
    for (const Move& t : kMoves) {
        Copy c({"a", "b", "c"});
        EXPECT_EQ(MoveEntry(c.get(), t.position, t.step), t.result)
            << t.position << " by " << t.step;
        EXPECT_EQ(c.Entries(), t.after) << t.position << " by " << t.step;
    }
    const std::string longest(255, 'L');
    Copy c({"short", longest});
    EXPECT_EQ(MoveEntry(c.get(), 1, -1), 0);
    EXPECT_EQ(c.Entries(), List({longest, "short"})) << "whole slots are exchanged";
}

TEST(ColumnWidth, WidensForAWiderEntryOnly)
{
    Copy c({"C:\\abc"});  // 6 bytes: 42 pixels
    ASSERT_EQ(c->widest, 42);
    EXPECT_EQ(WidenForEntry(c.get(), P("C:\\x"), ByteWidth, &c.calls), 0);
    EXPECT_EQ(WidenForEntry(c.get(), P("C:\\xyz"), ByteWidth, &c.calls), 0) << P("as wide");
    EXPECT_EQ(c->widest, 42);
    EXPECT_EQ(WidenForEntry(c.get(), P("C:\\wider"), ByteWidth, &c.calls), 1);
    EXPECT_EQ(c->widest, 56);
    Copy empty({});
    EXPECT_EQ(WidenForEntry(empty.get(), P("C:\\"), ByteWidth, &empty.calls), 1);
    EXPECT_EQ(empty->widest, 21);
}

TEST(ColumnWidth, NarrowsToTheWidestLeftWhenTheWidestGoes)
{
    Copy c({"C:\\a", "C:\\widest", "C:\\mid"});
    ASSERT_EQ(c->widest, 63);
    // A narrower entry goes: the column stays, and nothing is measured again.
    ASSERT_EQ(RemoveEntry(c.get(), 0), 1);
    c.calls = 0;
    EXPECT_EQ(NarrowAfterRemoval(c.get(), P("C:\\a"), ByteWidth, &c.calls), 0);
    EXPECT_EQ(c->widest, 63);
    EXPECT_EQ(c.calls, 1);
    // The widest goes: the column narrows to the widest entry left.
    ASSERT_EQ(RemoveEntry(c.get(), 0), 1);
    EXPECT_EQ(NarrowAfterRemoval(c.get(), P("C:\\widest"), ByteWidth, &c.calls), 1);
    EXPECT_EQ(c->widest, 42);
    // The last entry goes: width 0.
    ASSERT_EQ(RemoveEntry(c.get(), 0), 1);
    EXPECT_EQ(NarrowAfterRemoval(c.get(), P("C:\\mid"), ByteWidth, &c.calls), 1);
    EXPECT_EQ(c->widest, 0);
}

TEST(ColumnWidth, OneOfTwoEquallyWideEntriesGoing)
{
    Copy c({"C:\\one", "C:\\two"});
    ASSERT_EQ(RemoveEntry(c.get(), 0), 1);
    EXPECT_EQ(NarrowAfterRemoval(c.get(), P("C:\\one"), ByteWidth, &c.calls), 1);
    EXPECT_EQ(c->widest, 42) << "the other keeps the width";
}

TEST(CommitWorkingCopy, ReplacesEveryRegisteredSlot)
{
    std::unique_ptr<PathSlot[]> registered(new PathSlot[kRegisteredSlots]());
    for (int i = 0; i < kRegisteredSlots; ++i)
        U("C:\\old" + std::to_string(i)).copy(registered[i], kPathSize - 1);
    Copy c({"C:\\x", "C:\\y"});
    CommitWorkingCopy(c.get(), registered.get());
    EXPECT_EQ(Utf8(registered[0]), "C:\\x");
    EXPECT_EQ(Utf8(registered[1]), "C:\\y");
    for (int i = 2; i < kRegisteredSlots; ++i)
        EXPECT_EQ(registered[i][0], '\0') << i;

    Copy empty({});
    CommitWorkingCopy(empty.get(), registered.get());
    for (int i = 0; i < kRegisteredSlots; ++i)
        EXPECT_EQ(registered[i][0], '\0') << i;

    Copy full(Numbered(kRegisteredSlots));
    CommitWorkingCopy(full.get(), registered.get());
    EXPECT_EQ(Utf8(registered[29]), "C:\\r29");
}

// The edits of a dialog session in a row keep the copy contiguous and each entry whole.
TEST(WorkingCopy, SessionOfEdits)
{
    Copy c({"C:\\a", "C:\\b", "C:\\c"});
    EXPECT_EQ(InsertEntry(c.get(), 1, P("C:\\new")), 1);
    EXPECT_EQ(FindEntry(c.get(), P("C:\\new")), 1);
    EXPECT_EQ(MoveEntry(c.get(), 1, -1), 0);
    EXPECT_EQ(RemoveEntry(c.get(), 2), 1);
    EXPECT_EQ(MoveEntry(c.get(), 2, 1), -1);
    EXPECT_EQ(c.Entries(), List({"C:\\new", "C:\\a", "C:\\c"}));
    EXPECT_TRUE(c.TailEmpty());
}

}  // namespace
