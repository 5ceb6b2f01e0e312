// The working copy of the registered-folders dialog: loading, the edits, the column width
// and the commit.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "dialogs/workingcopy.h"

namespace {

typedef std::vector<std::string> List;

// Widths as a list would measure them: 7 pixels a byte, so longer texts are wider.
int ByteWidth(void* calls, const char* text)
{
    ++*static_cast<int*>(calls);
    return 7 * static_cast<int>(std::strlen(text));
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
            std::snprintf(registered[i], kPathSize, "%s", entries[i].c_str());
        std::memset(copy.get(), 0x5A, sizeof *copy);  // stale bytes from an earlier opening
        LoadWorkingCopy(copy.get(), registered.get(), ByteWidth, &calls);
    }
    WorkingCopy* operator->() { return copy.get(); }
    WorkingCopy* get() { return copy.get(); }

    List Entries() const
    {
        List out;
        for (int i = 0; i < copy->count; ++i)
            out.push_back(copy->slots[i]);
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
    EXPECT_STREQ(full->slots[29], "C:\\r29");

    const std::string longest(255, 'x');
    Copy wide({longest});
    EXPECT_EQ(wide.Entries(), List({longest}));
    EXPECT_EQ(wide->widest, 7 * 255);
}

TEST(FindEntry, ComparesByteForByte)
{
    // "表" (0x95 0x5C) ends in a backslash byte; "ソ" (0x83 0x5C) too.
    Copy c({"C:\\Data", "C:\\\x95\x5C", "\\\\server\\share"});
    EXPECT_EQ(FindEntry(c.get(), "C:\\Data"), 0);
    EXPECT_EQ(FindEntry(c.get(), "C:\\\x95\x5C"), 1);
    EXPECT_EQ(FindEntry(c.get(), "\\\\server\\share"), 2);
    EXPECT_EQ(FindEntry(c.get(), "C:\\data"), -1) << "letter case counts";
    EXPECT_EQ(FindEntry(c.get(), "C:\\Data\\"), -1) << "no normalisation";
    EXPECT_EQ(FindEntry(c.get(), "C:\\\x83\x5C"), -1);
    EXPECT_EQ(FindEntry(c.get(), "C:\\Dat"), -1);
    Copy empty({});
    EXPECT_EQ(FindEntry(empty.get(), ""), -1) << "an empty copy holds no entry";
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
        EXPECT_EQ(InsertEntry(c.get(), t.position, t.path), t.result) << t.position;
        EXPECT_EQ(c.Entries(), t.after) << t.position;
        EXPECT_TRUE(c.TailEmpty());
    }
}

TEST(InsertEntry, FullCopyTakesNothingUntilAnEntryGoes)
{
    Copy c(Numbered(kRegisteredSlots));
    EXPECT_EQ(InsertEntry(c.get(), 0, "C:\\new"), -1);
    EXPECT_EQ(InsertEntry(c.get(), kRegisteredSlots, "C:\\new"), -1);
    EXPECT_EQ(c.Entries(), Numbered(kRegisteredSlots));
    ASSERT_EQ(RemoveEntry(c.get(), 4), 1);
    EXPECT_EQ(InsertEntry(c.get(), kRegisteredSlots - 1, "C:\\new"), kRegisteredSlots - 1);
    EXPECT_STREQ(c->slots[29], "C:\\new");
    EXPECT_STREQ(c->slots[4], "C:\\r5");
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
    EXPECT_EQ(WidenForEntry(c.get(), "C:\\x", ByteWidth, &c.calls), 0);
    EXPECT_EQ(WidenForEntry(c.get(), "C:\\xyz", ByteWidth, &c.calls), 0) << "as wide";
    EXPECT_EQ(c->widest, 42);
    EXPECT_EQ(WidenForEntry(c.get(), "C:\\wider", ByteWidth, &c.calls), 1);
    EXPECT_EQ(c->widest, 56);
    Copy empty({});
    EXPECT_EQ(WidenForEntry(empty.get(), "C:\\", ByteWidth, &empty.calls), 1);
    EXPECT_EQ(empty->widest, 21);
}

TEST(ColumnWidth, NarrowsToTheWidestLeftWhenTheWidestGoes)
{
    Copy c({"C:\\a", "C:\\widest", "C:\\mid"});
    ASSERT_EQ(c->widest, 63);
    // A narrower entry goes: the column stays, and nothing is measured again.
    ASSERT_EQ(RemoveEntry(c.get(), 0), 1);
    c.calls = 0;
    EXPECT_EQ(NarrowAfterRemoval(c.get(), "C:\\a", ByteWidth, &c.calls), 0);
    EXPECT_EQ(c->widest, 63);
    EXPECT_EQ(c.calls, 1);
    // The widest goes: the column narrows to the widest entry left.
    ASSERT_EQ(RemoveEntry(c.get(), 0), 1);
    EXPECT_EQ(NarrowAfterRemoval(c.get(), "C:\\widest", ByteWidth, &c.calls), 1);
    EXPECT_EQ(c->widest, 42);
    // The last entry goes: width 0.
    ASSERT_EQ(RemoveEntry(c.get(), 0), 1);
    EXPECT_EQ(NarrowAfterRemoval(c.get(), "C:\\mid", ByteWidth, &c.calls), 1);
    EXPECT_EQ(c->widest, 0);
}

TEST(ColumnWidth, OneOfTwoEquallyWideEntriesGoing)
{
    Copy c({"C:\\one", "C:\\two"});
    ASSERT_EQ(RemoveEntry(c.get(), 0), 1);
    EXPECT_EQ(NarrowAfterRemoval(c.get(), "C:\\one", ByteWidth, &c.calls), 1);
    EXPECT_EQ(c->widest, 42) << "the other keeps the width";
}

TEST(CommitWorkingCopy, ReplacesEveryRegisteredSlot)
{
    std::unique_ptr<PathSlot[]> registered(new PathSlot[kRegisteredSlots]());
    for (int i = 0; i < kRegisteredSlots; ++i)
        std::snprintf(registered[i], kPathSize, "C:\\old%02d", i);
    Copy c({"C:\\x", "C:\\y"});
    CommitWorkingCopy(c.get(), registered.get());
    EXPECT_STREQ(registered[0], "C:\\x");
    EXPECT_STREQ(registered[1], "C:\\y");
    for (int i = 2; i < kRegisteredSlots; ++i)
        EXPECT_EQ(registered[i][0], '\0') << i;

    Copy empty({});
    CommitWorkingCopy(empty.get(), registered.get());
    for (int i = 0; i < kRegisteredSlots; ++i)
        EXPECT_EQ(registered[i][0], '\0') << i;

    Copy full(Numbered(kRegisteredSlots));
    CommitWorkingCopy(full.get(), registered.get());
    EXPECT_STREQ(registered[29], "C:\\r29");
}

// The edits of a dialog session in a row keep the copy contiguous and each entry whole.
TEST(WorkingCopy, SessionOfEdits)
{
    Copy c({"C:\\a", "C:\\b", "C:\\c"});
    EXPECT_EQ(InsertEntry(c.get(), 1, "C:\\new"), 1);
    EXPECT_EQ(FindEntry(c.get(), "C:\\new"), 1);
    EXPECT_EQ(MoveEntry(c.get(), 1, -1), 0);
    EXPECT_EQ(RemoveEntry(c.get(), 2), 1);
    EXPECT_EQ(MoveEntry(c.get(), 2, 1), -1);
    EXPECT_EQ(c.Entries(), List({"C:\\new", "C:\\a", "C:\\c"}));
    EXPECT_TRUE(c.TailEmpty());
}

}  // namespace
