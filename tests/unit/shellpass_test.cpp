// The watcher's decisions: what a call's outcome leads to, the retry intervals, what a
// pass over a scripted list keeps and drops, and which tab is in front.
#include <gtest/gtest.h>

#include <vector>

#include "core/shellpass.h"

namespace {

const long kOk = 0, kFalse = 1;
const long kRejected = static_cast<long>(0x80010001u), kRetryLater = static_cast<long>(0x8001010Au);
const long kCanceled = static_cast<long>(0x80010002u), kDisconnected = static_cast<long>(0x80010108u);
const long kUnavailable = static_cast<long>(0x800706BAu), kNoObject = static_cast<long>(0x800401FDu);
const long kNoInterface = static_cast<long>(0x80004002u), kNotImpl = static_cast<long>(0x80004001u);

struct StepCase {
    long result;
    int listsOwn;
    unsigned elapsed;
    int step;
};

TEST(ShellPass, EachCallOutcomeLeadsToItsStep)
{
    const StepCase cases[] = {
        {kOk, 0, 0, kGoOn},
        {kFalse, 1, 0, kGoOn},
        // A busy shell: tried again for two seconds, then passed over.
        {kRejected, 0, 0, kTryAgain},
        {kRetryLater, 1, 1999, kTryAgain},
        {kRejected, 0, 2000, kSkipWindow},
        {kRejected, 1, 2000, kPassBroken},
        // A dead window's object drops that window only; the list's own failure starts over.
        {kDisconnected, 0, 0, kDropWindow},
        {kNoObject, 0, 0, kDropWindow},
        {kUnavailable, 0, 0, kDropWindow},
        {kDisconnected, 1, 0, kStartOver},
        {kUnavailable, 1, 0, kStartOver},
        // A hung window's cancelled call, or a plain refusal: passed over, not dropped.
        {kCanceled, 0, 1000, kSkipWindow},
        {kNoInterface, 0, 0, kSkipWindow},
        {kCanceled, 1, 1000, kPassBroken},
        {kNotImpl, 1, 0, kPassBroken},
    };
    for (const StepCase& c : cases)
        EXPECT_EQ(StepAfterCall(c.result, c.listsOwn, c.elapsed), c.step)
            << std::hex << c.result << " own " << c.listsOwn << " after " << std::dec << c.elapsed;
}

TEST(ShellPass, RefusedCallsAreRetriedForTwoSecondsAndHungOnesCancelledAfterOne)
{
    EXPECT_EQ(RefusedCallPause(0), 100);
    EXPECT_EQ(RefusedCallPause(1999), 100);
    EXPECT_EQ(RefusedCallPause(2000), -1);
    EXPECT_EQ(RefusedCallPause(0xFFFFFFFFu), -1);
    EXPECT_FALSE(CallOverdue(999));
    EXPECT_TRUE(CallOverdue(1000));
}

TEST(ShellPass, RetryIntervalGrowsToAMinuteAndStays)
{
    const unsigned expected[] = {3000, 3000, 6000, 12000, 24000, 48000, 60000, 60000, 60000};
    for (int failures = 0; failures < 9; ++failures)
        EXPECT_EQ(RetryDelayMs(failures), expected[failures]) << failures;
    EXPECT_EQ(RetryDelayMs(1000000), 60000u);
}

// A scripted list: each pass is a snapshot of browser identities and whether a list
// event came during it; the watcher's steps are the ones shellwatch.cpp takes.
struct ScriptedWatcher {
    ShellTable table{};
    ForgottenWindows forgotten{};
    unsigned listEvents = 0;
    std::vector<int> reported;  // identities whose first folder was reported

    // One pass. `dead` items fail their calls as disconnected; `events` list events
    // arrive while it runs; `completed` false: the list's own call failed midway.
    void Pass(std::vector<int> snapshot, std::vector<int> dead = {}, int events = 0,
              bool completed = true, bool quiet = false)
    {
        const unsigned atStart = listEvents;
        BeginEnumeration(&table);
        for (int id : snapshot) {
            void* identity = Id(id);
            if (MarkSeen(&table, identity) >= 0)
                continue;
            bool isDead = false;
            for (int d : dead)
                isDead |= d == id;
            if (StepAfterCall(isDead ? kDisconnected : kOk, 0, 0) != kGoOn)
                continue;
            const int entry = AddShellEntry(&table, identity);
            ASSERT_GE(entry, 0);
            table.entries[entry].window = identity;  // one window per browser here
            if (ReportsFirstFolder(quiet, WasFollowed(&forgotten, identity), 0, 1))
                reported.push_back(id);
        }
        listEvents += events;
        int drops[kShellEntries];
        const int count = StaleEntriesToDrop(&table, completed, atStart, listEvents, drops);
        for (int i = 0; i < count; ++i) {
            ForgetWindow(&forgotten, table.entries[drops[i]].window);
            ClearShellEntry(&table.entries[drops[i]]);
        }
    }
    static void* Id(int id) { return reinterpret_cast<void*>(static_cast<uintptr_t>(id) * 16); }
    bool Follows(int id) { return FindShellEntry(&table, Id(id)) >= 0; }
};

TEST(ShellPass, ADeadItemIsNotFollowedAndTheOthersAre)
{
    ScriptedWatcher w;
    w.Pass({1, 2, 3}, {2}, 0, true, true);
    EXPECT_TRUE(w.Follows(1));
    EXPECT_FALSE(w.Follows(2));
    EXPECT_TRUE(w.Follows(3));
    // The list still holds it: the next pass fails on it again, and keeps the others.
    w.Pass({1, 2, 3, 4}, {2});
    EXPECT_TRUE(w.Follows(1) && w.Follows(3) && w.Follows(4));
    EXPECT_EQ(w.reported, std::vector<int>({4}));
}

TEST(ShellPass, AListShrinkingDuringAPassDropsNothingUntilAQuietPass)
{
    ScriptedWatcher w;
    w.Pass({1, 2, 3, 4, 5}, {}, 0, true, true);
    // A window of five tabs closing: the snapshot lacks tabs while revocations arrive.
    w.Pass({1, 2}, {}, 3);
    for (int id = 1; id <= 5; ++id)
        EXPECT_TRUE(w.Follows(id)) << id;
    // A pass the list's own call broke drops nothing either.
    w.Pass({1}, {}, 0, false);
    EXPECT_TRUE(w.Follows(5));
    w.Pass({1, 2});
    EXPECT_TRUE(w.Follows(1) && w.Follows(2));
    EXPECT_FALSE(w.Follows(3) || w.Follows(4) || w.Follows(5));
    EXPECT_TRUE(w.reported.empty());
}

TEST(ShellPass, AWindowFollowedAgainIsNoVisit)
{
    ScriptedWatcher w;
    w.Pass({1}, {}, 0, true, true);  // at connection: followed, not reported
    w.Pass({1, 2});                  // opened since: reported
    w.Pass({1});                     // 2 missing from a quiet pass: dropped
    EXPECT_FALSE(w.Follows(2));
    w.Pass({1, 2});                  // it comes back: followed, not reported
    EXPECT_TRUE(w.Follows(2));
    EXPECT_EQ(w.reported, std::vector<int>({2}));
}

TEST(ShellPass, FirstFolderIsReportedOnlyForANewWindowNotYetReported)
{
    // quiet, followed before, saw its own event, counts -> reported
    const int cases[][5] = {
        {0, 0, 0, 1, 1}, {1, 0, 0, 1, 0}, {0, 1, 0, 1, 0}, {0, 0, 1, 1, 0}, {0, 0, 0, 0, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReportsFirstFolder(c[0], c[1], c[2], c[3]), c[4])
            << c[0] << c[1] << c[2] << c[3];
}

TEST(ShellPass, ForgottenWindowsKeepTheLatestSixteen)
{
    ForgottenWindows f{};
    EXPECT_FALSE(WasFollowed(&f, nullptr));
    for (uintptr_t i = 1; i <= kForgottenWindows + 1; ++i)
        ForgetWindow(&f, reinterpret_cast<void*>(i));
    EXPECT_FALSE(WasFollowed(&f, reinterpret_cast<void*>(1)));
    EXPECT_TRUE(WasFollowed(&f, reinterpret_cast<void*>(2)));
    EXPECT_TRUE(WasFollowed(&f, reinterpret_cast<void*>(kForgottenWindows + 1)));
}

void* W(int n) { return reinterpret_cast<void*>(static_cast<uintptr_t>(n)); }

TEST(ShellPass, TheTabInFrontIsTheFirstVisibleTabInZOrder)
{
    struct Case {
        std::vector<ChildWindow> children;
        void* front;
    };
    const Case cases[] = {
        {{}, nullptr},
        {{{W(1), 0, 1}, {W(2), 0, 1}}, nullptr},               // no tab windows
        {{{W(1), 1, 1}}, W(1)},                                // one tab
        {{{W(9), 0, 1}, {W(1), 1, 1}, {W(2), 1, 1}}, W(1)},    // inactive tab left visible
        {{{W(1), 1, 0}, {W(2), 1, 1}, {W(3), 1, 1}}, W(2)},    // a hidden tab above
        {{{W(1), 1, 0}, {W(2), 1, 0}}, nullptr},               // none shown
    };
    for (const Case& c : cases)
        EXPECT_EQ(TabInFront(c.children.data(), static_cast<int>(c.children.size())), c.front);
    EXPECT_TRUE(EntryInFront(W(1), W(5), nullptr));
    EXPECT_TRUE(EntryInFront(W(5), W(5), W(1)));
    EXPECT_TRUE(EntryInFront(W(1), W(5), W(1)));
    EXPECT_FALSE(EntryInFront(W(2), W(5), W(1)));
}

TEST(ShellPass, AnEntryShownOnlyByABackgroundTabIsNotBroughtForward)
{
    ShellTable t{};
    unsigned char front[kShellEntries] = {};
    const int a = AddShellEntry(&t, W(16)), b = AddShellEntry(&t, W(32));
    CopyPath(t.entries[a].path, u"C:\\work");
    CopyPath(t.entries[b].path, u"C:\\work");
    EXPECT_EQ(FindEntryInFront(&t, u"C:\\work", front), -1);
    front[b] = 1;
    EXPECT_EQ(FindEntryInFront(&t, u"C:\\work", front), b);
    front[a] = 1;
    EXPECT_EQ(FindEntryInFront(&t, u"C:\\work", front), a);
    EXPECT_EQ(FindEntryInFront(&t, u"", front), -1);
}

TEST(ShellPass, PathsThatAUrlReaderWouldChangeAreTold)
{
    EXPECT_TRUE(PathReadsAsUrl(u"C:\\work\\C#"));
    EXPECT_TRUE(PathReadsAsUrl(u"C:\\50%"));
    EXPECT_TRUE(PathReadsAsUrl(u"C:\\a%20b"));
    EXPECT_FALSE(PathReadsAsUrl(u"C:\\a b"));
    EXPECT_FALSE(PathReadsAsUrl(u"\\\\server\\share"));
}

}  // namespace
