// The pending slots: captured paths waiting for their delay before they are recorded.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "core/pending.h"
#include "tests/support/u16.h"

namespace {

// Windows are opaque handles here; any distinct addresses will do.
char gWindowA, gWindowB, gWindows[kPendingSlots + 1];
void* const kA = &gWindowA;
void* const kB = &gWindowB;

// The ring on the heap with exactly 20 slots, all free, as at start.
class Ring {
public:
    Ring() : slots_(new PendingSlot[kPendingSlots]()) {}
    PendingSlot* get() { return slots_.get(); }
    PendingSlot& operator[](int i) { return slots_[i]; }

    // Puts a parked path into slot i directly.
    void Occupy(int i, void* window, const char16_t* path, int countdown)
    {
        slots_[i].window = window;
        std::u16string(path).copy(slots_[i].path, kPathSize - 1);
        slots_[i].countdown = countdown;
    }
    bool IsFree(int i) const
    {
        return slots_[i].window == nullptr && slots_[i].path[0] == '\0' && slots_[i].countdown == 0;
    }

private:
    std::unique_ptr<PendingSlot[]> slots_;
};

// ====================================================================================
// Parking

TEST(ParkPending, FirstPathTakesSlot0)
{
    Ring ring;
    int next = 0;
    unsigned cancelled = 0xFFFFFFFFu;
    EXPECT_EQ(0, ParkPending(ring.get(), &next, kA, P("C:\\first"), 3000, &cancelled));
    EXPECT_EQ(1, next);
    EXPECT_EQ(0u, cancelled);
    EXPECT_EQ(kA, ring[0].window);
    EXPECT_EQ(std::string("C:\\first"), Utf8(ring[0].path));
    EXPECT_EQ(3000, ring[0].countdown);
    for (int i = 1; i < kPendingSlots; ++i)
        EXPECT_TRUE(ring.IsFree(i)) << "slot " << i;
}

TEST(ParkPending, NewCaptureOfTheSameWindowCancelsItsEarlierSlot)
{
    Ring ring;
    int next = 0;
    unsigned cancelled = 0;
    ParkPending(ring.get(), &next, kA, P("C:\\one"), 3000, &cancelled);
    EXPECT_EQ(1, ParkPending(ring.get(), &next, kA, P("C:\\two"), 3000, &cancelled));
    EXPECT_EQ(1u << 0, cancelled);
    EXPECT_TRUE(ring.IsFree(0));
    EXPECT_EQ(kA, ring[1].window);
    EXPECT_EQ(std::string("C:\\two"), Utf8(ring[1].path));
    EXPECT_EQ(2, next);
}

TEST(ParkPending, SamePathAgainCancelsAndStartsTheDelayAfresh)
{
    Ring ring;
    int next = 0;
    unsigned cancelled = 0;
    ParkPending(ring.get(), &next, kA, P("C:\\same"), 3000, &cancelled);
    ring[0].countdown = 400;  // most of the delay has passed
    EXPECT_EQ(1, ParkPending(ring.get(), &next, kA, P("C:\\same"), 3000, &cancelled));
    EXPECT_EQ(1u << 0, cancelled);
    EXPECT_TRUE(ring.IsFree(0));
    EXPECT_EQ(3000, ring[1].countdown);
}

TEST(ParkPending, SlotsOfOtherWindowsStay)
{
    Ring ring;
    int next = 0;
    unsigned cancelled = 0;
    ParkPending(ring.get(), &next, kA, P("C:\\a"), 3000, &cancelled);
    EXPECT_EQ(1, ParkPending(ring.get(), &next, kB, P("C:\\b"), 5000, &cancelled));
    EXPECT_EQ(0u, cancelled);
    EXPECT_EQ(kA, ring[0].window);
    EXPECT_EQ(std::string("C:\\a"), Utf8(ring[0].path));
    EXPECT_EQ(3000, ring[0].countdown);
    EXPECT_EQ(kB, ring[1].window);
}

TEST(ParkPending, EverySlotOfTheWindowAnywhereInTheRingIsCleared)
{
    Ring ring;
    ring.Occupy(3, kA, P("C:\\3"), 1000);
    ring.Occupy(7, kA, P("C:\\7"), 1000);
    ring.Occupy(19, kA, P("C:\\19"), 1000);
    ring.Occupy(8, kB, P("C:\\b"), 1000);
    int next = 5;
    unsigned cancelled = 0;
    EXPECT_EQ(5, ParkPending(ring.get(), &next, kA, P("C:\\new"), 2000, &cancelled));
    EXPECT_EQ((1u << 3) | (1u << 7) | (1u << 19), cancelled);
    EXPECT_TRUE(ring.IsFree(3));
    EXPECT_TRUE(ring.IsFree(7));
    EXPECT_TRUE(ring.IsFree(19));
    EXPECT_EQ(kB, ring[8].window);
    EXPECT_EQ(kA, ring[5].window);
    EXPECT_EQ(std::string("C:\\new"), Utf8(ring[5].path));
    EXPECT_EQ(6, next);
}

TEST(ParkPending, SlotAtTheNextIndexOfTheSameWindowIsClearedAndTakenAgain)
{
    Ring ring;
    ring.Occupy(4, kA, P("C:\\old"), 600);
    int next = 4;
    unsigned cancelled = 0;
    EXPECT_EQ(4, ParkPending(ring.get(), &next, kA, P("C:\\new"), 3000, &cancelled));
    EXPECT_EQ(1u << 4, cancelled);
    EXPECT_EQ(kA, ring[4].window);
    EXPECT_EQ(std::string("C:\\new"), Utf8(ring[4].path));
    EXPECT_EQ(3000, ring[4].countdown);
}

TEST(ParkPending, NextIndexWrapsAfterSlot19)
{
    Ring ring;
    int next = 19;
    unsigned cancelled = 0;
    EXPECT_EQ(19, ParkPending(ring.get(), &next, kA, P("C:\\a"), 1000, &cancelled));
    EXPECT_EQ(0, next);
    EXPECT_EQ(0, ParkPending(ring.get(), &next, kB, P("C:\\b"), 1000, &cancelled));
    EXPECT_EQ(1, next);
}

TEST(ParkPending, TwentyFirstWindowReplacesThePathInSlot0)
{
    Ring ring;
    int next = 0;
    unsigned cancelled = 0;
    for (int i = 0; i < kPendingSlots; ++i) {
        char path[16];
        std::snprintf(path, sizeof path, "C:\\w%02d", i);
        ASSERT_EQ(i, ParkPending(ring.get(), &next, &gWindows[i], P(path), 3000, &cancelled));
        ASSERT_EQ(0u, cancelled);
    }
    EXPECT_EQ(0, next);
    EXPECT_EQ(0, ParkPending(ring.get(), &next, &gWindows[kPendingSlots], P("C:\\late"), 3000,
                             &cancelled));
    // The path of the first window is lost; it was not that window's newer capture.
    EXPECT_EQ(0u, cancelled);
    EXPECT_EQ(&gWindows[kPendingSlots], ring[0].window);
    EXPECT_EQ(std::string("C:\\late"), Utf8(ring[0].path));
    EXPECT_EQ(1, next);
    for (int i = 1; i < kPendingSlots; ++i)
        EXPECT_EQ(&gWindows[i], ring[i].window) << "slot " << i;
}

TEST(ParkPending, PathsAreCutTo255Characters)
{
    const std::string exact = "C:\\" + std::string(252, 'e');
    const std::string longer = "C:\\" + std::string(300, 'l');
    Ring ring;
    int next = 0;
    unsigned cancelled = 0;
    ParkPending(ring.get(), &next, kA, P(exact), 1000, &cancelled);
    ParkPending(ring.get(), &next, kB, P(longer), 1000, &cancelled);
    EXPECT_EQ(exact, Utf8(ring[0].path));
    EXPECT_EQ(longer.substr(0, 255), Utf8(ring[1].path));
}

TEST(ParkPending, ShiftJisPathIsKeptByteForByte)
{
    // C:\表\ソ (表 0x95 0x5C, ソ 0x83 0x5C)
    const char* path = "C:\\表\\ソ";
    Ring ring;
    int next = 0;
    unsigned cancelled = 0;
    ParkPending(ring.get(), &next, kA, P(path), 1000, &cancelled);
    EXPECT_EQ(std::string(path), Utf8(ring[0].path));
}

// ====================================================================================
// Ticks

TEST(TickPending, DelayOf3SecondsRunsOutOnTheFifteenthTick)
{
    PendingSlot slot = {kA, u"C:\\a", 3000};
    for (int tick = 1; tick < 15; ++tick)
        ASSERT_EQ(0, TickPending(&slot, 0)) << "tick " << tick;
    EXPECT_EQ(1, TickPending(&slot, 0));
}

TEST(TickPending, CountdownStandsStillWhileBusy)
{
    PendingSlot slot = {kA, u"C:\\a", 1000};
    ASSERT_EQ(0, TickPending(&slot, 0));
    for (int tick = 0; tick < 50; ++tick)
        ASSERT_EQ(0, TickPending(&slot, 1)) << "busy tick " << tick;
    EXPECT_EQ(800, slot.countdown);
    for (int tick = 0; tick < 3; ++tick)
        ASSERT_EQ(0, TickPending(&slot, 0));
    EXPECT_EQ(1, TickPending(&slot, 0));
}

TEST(TickPending, CountdownNotAMultipleOf200RunsOutOnTheNextTickBelowZero)
{
    PendingSlot slot = {kA, u"C:\\a", 300};
    EXPECT_EQ(0, TickPending(&slot, 0));
    EXPECT_EQ(1, TickPending(&slot, 0));
}

TEST(TickPending, NegativeDelayRunsOutAtTheFirstTick)
{
    // A hand-edited negative LogDelay parks the path with a negative countdown.
    PendingSlot slot = {kA, u"C:\\a", -5000};
    EXPECT_EQ(1, TickPending(&slot, 0));
}

TEST(TickPending, LowestCountdownRunsOutWithoutOverflow)
{
    // LogDelay -2147484 or below scales to the lowest countdown. Taking 200 more off
    // it must not wrap round to a huge positive countdown.
    PendingSlot slot = {kA, u"C:\\a", INT_MIN};
    EXPECT_EQ(1, TickPending(&slot, 0));
    EXPECT_LE(slot.countdown, 0);
}

TEST(TickPending, HighestCountdownCountsDown)
{
    PendingSlot slot = {kA, u"C:\\a", INT_MAX};
    EXPECT_EQ(0, TickPending(&slot, 0));
    EXPECT_EQ(INT_MAX - 200, slot.countdown);
}

TEST(ClearPending, FreesTheSlot)
{
    PendingSlot slot = {kA, u"C:\\a", 1400};
    ClearPending(&slot);
    EXPECT_EQ(nullptr, slot.window);
    EXPECT_EQ('\0', slot.path[0]);
    EXPECT_EQ(0, slot.countdown);
}

// ====================================================================================
// A window that moves on within the delay

TEST(PendingSlots, OnlyTheLastOfThreeFoldersOneSecondApartRunsOut)
{
    // LogDelay 3: folders one, two and three shown a second apart in the same window.
    Ring ring;
    int next = 0;
    unsigned cancelled = 0;
    auto tick = [&ring](int slot) { return TickPending(&ring[slot], 0); };

    const int first = ParkPending(ring.get(), &next, kA, P("C:\\one"), 3000, &cancelled);
    for (int t = 0; t < 5; ++t)
        ASSERT_EQ(0, tick(first));
    const int second = ParkPending(ring.get(), &next, kA, P("C:\\two"), 3000, &cancelled);
    EXPECT_EQ(1u << first, cancelled);
    for (int t = 0; t < 5; ++t)
        ASSERT_EQ(0, tick(second));
    const int third = ParkPending(ring.get(), &next, kA, P("C:\\three"), 3000, &cancelled);
    EXPECT_EQ(1u << second, cancelled);
    EXPECT_TRUE(ring.IsFree(first));
    EXPECT_TRUE(ring.IsFree(second));

    for (int t = 1; t < 15; ++t)
        ASSERT_EQ(0, tick(third)) << "tick " << t;
    EXPECT_EQ(1, tick(third));
    EXPECT_EQ(std::string("C:\\three"), Utf8(ring[third].path));
    EXPECT_EQ(kA, ring[third].window);
}

}  // namespace
