// Display order of the folder history in the folder menu.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/menuorder.h"
#include "core/paths.h"

namespace {

// A value that OrderHistory never writes: entries after the -1 must keep it.
const int kUntouched = 777;

// The folder history on the heap with exactly 50 slots, so that AddressSanitizer
// reports any read past slot 49.
class History {
public:
    History(std::initializer_list<std::string> entries = {}) : slots_(new AnsiSlot[kHistorySlots])
    {
        std::memset(slots_.get(), 0, sizeof(AnsiSlot) * kHistorySlots);
        int i = 0;
        for (const std::string& e : entries)
            Set(i++, e);
    }
    void Set(int i, const std::string& text)
    {
        std::snprintf(slots_[i], kPathSize, "%s", text.c_str());
    }
    const AnsiSlot* get() const { return slots_.get(); }
    AnsiSlot* raw() { return slots_.get(); }

private:
    std::unique_ptr<AnsiSlot[]> slots_;
};

// The display-order array on the heap with exactly 50 entries, all "untouched".
class Order {
public:
    Order() : entries_(new int[kHistorySlots]) { std::fill_n(entries_.get(), kHistorySlots, kUntouched); }
    int* get() { return entries_.get(); }
    int operator[](int i) const { return entries_[i]; }
    std::vector<int> First(int count) const { return std::vector<int>(entries_.get(), entries_.get() + count); }

private:
    std::unique_ptr<int[]> entries_;
};

std::vector<int> Ordered(const History& h, int logSort, int count)
{
    Order order;
    OrderAnsiHistory(h.get(), logSort, order.get());
    return order.First(count);
}

// The history texts in display order, looked up through SlotAtPosition.
std::vector<std::string> Shown(const History& h, int logSort)
{
    Order order;
    OrderAnsiHistory(h.get(), logSort, order.get());
    std::vector<std::string> out;
    int n = 0;
    while (n < kHistorySlots && h.get()[n][0] != 0)
        ++n;
    for (int r = 0; r < n; ++r) {
        const int slot = SlotAtPosition(order.get(), r);
        out.push_back(slot < 0 ? std::string("<none>") : std::string(h.get()[slot]));
    }
    return out;
}

using Ints = std::vector<int>;
using Texts = std::vector<std::string>;

// Japanese folder names as Shift-JIS bytes.
const std::string kData = "D:\\\x83\x66\x81\x5B\x83\x5E";              // D:\データ
const std::string kData2 = "D:\\\x83\x66\x81\x5B\x83\x5E\x82\x51";     // D:\データ２
const std::string kShashin = "D:\\\x8E\xCA\x90\x5E";                   // D:\写真
const std::string kHyou = "D:\\\x95\x5C";                              // D:\表 (trail byte 0x5C)
const std::string kNou = "D:\\\x94\x5C";                               // D:\能 (trail byte 0x5C)

const int kAscending = 2;
const int kDescending = 3;

// ====================================================================================
// Character comparison

TEST(CompareChar, EqualBytesGiveZero)
{
    EXPECT_EQ(0, CompareChar('a', 'a'));
    EXPECT_EQ(0, CompareChar('\\', '\\'));
    EXPECT_EQ(0, CompareChar('\x95', '\x95'));
}

TEST(CompareChar, LettersCompareWithoutCaseAgainstLetters)
{
    EXPECT_EQ(0, CompareChar('A', 'a'));
    EXPECT_EQ(0, CompareChar('z', 'Z'));
    EXPECT_EQ(-1, CompareChar('A', 'b'));
    EXPECT_EQ(-1, CompareChar('a', 'B'));
    EXPECT_EQ(1, CompareChar('b', 'A'));
    EXPECT_EQ(1, CompareChar('Z', 'a'));
    EXPECT_EQ(-1, CompareChar('y', 'Z'));
}

TEST(CompareChar, LettersKeepTheirCodesAgainstOtherBytes)
{
    // Upper case sorts before [ \ ] ^ _ ` and these before lower case.
    EXPECT_EQ(-1, CompareChar('Z', '_'));
    EXPECT_EQ(1, CompareChar('_', 'Z'));
    EXPECT_EQ(-1, CompareChar('_', 'a'));
    EXPECT_EQ(1, CompareChar('a', '_'));
    EXPECT_EQ(-1, CompareChar('B', '\\'));
    EXPECT_EQ(-1, CompareChar('\\', 'b'));
    EXPECT_EQ(1, CompareChar('[', 'Z'));
    EXPECT_EQ(-1, CompareChar('`', 'a'));
    EXPECT_EQ(1, CompareChar('{', 'z'));
    EXPECT_EQ(-1, CompareChar('@', 'A'));
    EXPECT_EQ(-1, CompareChar('1', 'a'));
    EXPECT_EQ(1, CompareChar('a', '1'));
}

TEST(CompareChar, BytesFrom0x80AreBelowAsciiBytes)
{
    EXPECT_EQ(-1, CompareChar('\x80', '\0'));
    EXPECT_EQ(-1, CompareChar('\x83', '1'));
    EXPECT_EQ(1, CompareChar('1', '\x83'));
    EXPECT_EQ(-1, CompareChar('\xFC', '\x7F'));
    EXPECT_EQ(1, CompareChar('\x7F', '\x80'));
    // Among themselves they compare as signed values: 0xFF is -1, 0x80 is -128.
    EXPECT_EQ(1, CompareChar('\xFF', '\x80'));
    EXPECT_EQ(1, CompareChar('\x95', '\x94'));
}

TEST(CompareChar, EveryPairIsAntisymmetricAndHighBytesComeFirst)
{
    for (int i = 0; i < 256; ++i) {
        for (int j = 0; j < 256; ++j) {
            const char a = static_cast<char>(i), b = static_cast<char>(j);
            const int ab = CompareChar(a, b);
            ASSERT_TRUE(ab == -1 || ab == 0 || ab == 1) << i << " " << j;
            ASSERT_EQ(-ab, CompareChar(b, a)) << i << " " << j;
            const bool letters = i < 128 && j < 128 && std::isalpha(i) && std::isalpha(j);
            const bool same = i == j || (letters && std::tolower(i) == std::tolower(j));
            ASSERT_EQ(same, ab == 0) << i << " " << j;
            if (i >= 0x80 && j < 0x80) {
                ASSERT_EQ(-1, ab) << i << " " << j;
            }
        }
    }
}

// ====================================================================================
// History ordering: the array, its -1 and the entries left alone

TEST(OrderHistory, EmptyHistoryWritesMinusOneIntoEntry0Only)
{
    for (int mode : {0, 1, 2, 3, 7, -1}) {
        History h;
        Order order;
        OrderAnsiHistory(h.get(), mode, order.get());
        EXPECT_EQ(-1, order[0]) << "LogSort " << mode;
        for (int i = 1; i < kHistorySlots; ++i)
            ASSERT_EQ(kUntouched, order[i]) << "LogSort " << mode << " entry " << i;
    }
}

TEST(OrderHistory, OneEntryIsShownFirstInEveryMode)
{
    for (int mode : {0, 1, 2, 3, 7, -1}) {
        History h({"C:\\only"});
        Order order;
        OrderAnsiHistory(h.get(), mode, order.get());
        EXPECT_EQ(Ints({0, -1}), order.First(2)) << "LogSort " << mode;
        for (int i = 2; i < kHistorySlots; ++i)
            ASSERT_EQ(kUntouched, order[i]) << "LogSort " << mode << " entry " << i;
    }
}

TEST(OrderHistory, Mode0KeepsHistoryOrder)
{
    History h({"D:\\P", "D:\\Q", "D:\\R", "D:\\S"});
    EXPECT_EQ(Ints({0, 1, 2, 3, -1, kUntouched}), Ordered(h, 0, 6));
}

TEST(OrderHistory, Mode1ShowsTheOldestFirst)
{
    History h({"D:\\P", "D:\\Q", "D:\\R", "D:\\S"});
    EXPECT_EQ(Ints({3, 2, 1, 0, -1, kUntouched}), Ordered(h, 1, 6));
    EXPECT_EQ(Texts({"D:\\S", "D:\\R", "D:\\Q", "D:\\P"}), Shown(h, 1));
}

TEST(OrderHistory, OtherLogSortValuesActAs0)
{
    // This history would be reordered by either sorted mode.
    History h({"D:\\m", "D:\\z", "D:\\a"});
    for (int mode : {7, -1, 4, INT_MIN, INT_MAX})
        EXPECT_EQ(Ints({0, 1, 2, -1}), Ordered(h, mode, 4)) << "LogSort " << mode;
}

TEST(OrderHistory, FullHistoryHasNoMinusOneAndEveryModeOrdersAll50)
{
    // Slot h holds the number (7h mod 50), so the ascending position of slot h is
    // that number.
    History h;
    for (int i = 0; i < kHistorySlots; ++i) {
        char text[16];
        std::snprintf(text, sizeof text, "C:\\k%02d", (7 * i) % 50);
        h.Set(i, text);
    }
    Order identity, reverse, ascending, descending;
    OrderAnsiHistory(h.get(), 0, identity.get());
    OrderAnsiHistory(h.get(), 1, reverse.get());
    OrderAnsiHistory(h.get(), kAscending, ascending.get());
    OrderAnsiHistory(h.get(), kDescending, descending.get());
    for (int i = 0; i < kHistorySlots; ++i) {
        EXPECT_EQ(i, identity[i]) << "slot " << i;
        EXPECT_EQ(49 - i, reverse[i]) << "slot " << i;
        EXPECT_EQ((7 * i) % 50, ascending[i]) << "slot " << i;
        EXPECT_EQ(49 - (7 * i) % 50, descending[i]) << "slot " << i;
    }
}

// ====================================================================================
// The sorted modes

TEST(OrderHistory, LettersCompareWithoutCase)
{
    // D:\abc comes before d:\ABD in ascending order, whichever is recorded first.
    History h({"d:\\ABD", "D:\\abc"});
    EXPECT_EQ(Ints({1, 0, -1}), Ordered(h, kAscending, 3));
    EXPECT_EQ(Ints({0, 1, -1}), Ordered(h, kDescending, 3));

    History swapped({"D:\\abc", "d:\\ABD"});
    EXPECT_EQ(Ints({0, 1, -1}), Ordered(swapped, kAscending, 3));
    EXPECT_EQ(Ints({1, 0, -1}), Ordered(swapped, kDescending, 3));
}

TEST(OrderHistory, ShorterAsciiPrefixComesFirstAscendingAndLastDescending)
{
    History h({"D:\\foo\\bar", "D:\\foo"});
    EXPECT_EQ(Texts({"D:\\foo", "D:\\foo\\bar"}), Shown(h, kAscending));
    EXPECT_EQ(Texts({"D:\\foo\\bar", "D:\\foo"}), Shown(h, kDescending));

    History swapped({"D:\\foo", "D:\\foo\\bar"});
    EXPECT_EQ(Texts({"D:\\foo", "D:\\foo\\bar"}), Shown(swapped, kAscending));
    EXPECT_EQ(Texts({"D:\\foo\\bar", "D:\\foo"}), Shown(swapped, kDescending));
}

TEST(OrderHistory, DoubleByteTextSortsBeforeDigitsAndLetters)
{
    History h({"D:\\a", kShashin, "D:\\Z", "D:\\1"});
    EXPECT_EQ(Ints({2, 0, 3, 1, -1}), Ordered(h, kAscending, 5));
    EXPECT_EQ(Texts({kShashin, "D:\\1", "D:\\a", "D:\\Z"}), Shown(h, kAscending));
    EXPECT_EQ(Ints({1, 3, 0, 2, -1}), Ordered(h, kDescending, 5));
    EXPECT_EQ(Texts({"D:\\Z", "D:\\a", "D:\\1", kShashin}), Shown(h, kDescending));
}

TEST(OrderHistory, PrefixFollowedByADoubleByteCharacterIsNeverExchanged)
{
    // D:\データ and D:\データ２: the longer one goes on with a lead byte, so both sorted
    // modes keep history order, whichever of the two was recorded last.
    History h({kData, kData2});
    EXPECT_EQ(Ints({0, 1, -1}), Ordered(h, kAscending, 3));
    EXPECT_EQ(Ints({0, 1, -1}), Ordered(h, kDescending, 3));

    History swapped({kData2, kData});
    EXPECT_EQ(Ints({0, 1, -1}), Ordered(swapped, kAscending, 3));
    EXPECT_EQ(Ints({0, 1, -1}), Ordered(swapped, kDescending, 3));
}

TEST(OrderHistory, BackslashTrailByteComparesAsPartOfItsCharacter)
{
    // D:\表 (0x95 0x5C) against D:\能 (0x94 0x5C): the lead bytes decide.
    History h({kHyou, kNou});
    EXPECT_EQ(Texts({kNou, kHyou}), Shown(h, kAscending));
    EXPECT_EQ(Texts({kHyou, kNou}), Shown(h, kDescending));

    // D:\表 against D:\表A: after the trail byte 0x5C the ASCII rule for prefixes applies.
    const std::string hyouA = kHyou + "A";
    History longerFirst({hyouA, kHyou});
    EXPECT_EQ(Texts({kHyou, hyouA}), Shown(longerFirst, kAscending));
    EXPECT_EQ(Texts({hyouA, kHyou}), Shown(longerFirst, kDescending));
}

TEST(OrderHistory, RelationIsNotTransitiveSoTheExchangeSequenceDecides)
{
    // D:\B before D:\_, D:\_ before D:\a, D:\a before D:\B.
    History first({"D:\\B", "D:\\_", "D:\\a"});
    EXPECT_EQ(Ints({1, 2, 0, -1}), Ordered(first, kAscending, 4));
    EXPECT_EQ(Texts({"D:\\a", "D:\\B", "D:\\_"}), Shown(first, kAscending));

    History second({"D:\\a", "D:\\_", "D:\\B"});
    EXPECT_EQ(Ints({2, 1, 0, -1}), Ordered(second, kAscending, 4));
    EXPECT_EQ(Texts({"D:\\B", "D:\\_", "D:\\a"}), Shown(second, kAscending));
}

TEST(OrderHistory, BackslashSitsBetweenUpperAndLowerCase)
{
    // "B" is below "\": D:\AB before D:\A\x.
    History upper({"D:\\A\\x", "D:\\AB"});
    EXPECT_EQ(Texts({"D:\\AB", "D:\\A\\x"}), Shown(upper, kAscending));
    History upperSwapped({"D:\\AB", "D:\\A\\x"});
    EXPECT_EQ(Texts({"D:\\AB", "D:\\A\\x"}), Shown(upperSwapped, kAscending));

    // "\" is below "b": D:\a\x before D:\ab.
    History lower({"D:\\ab", "D:\\a\\x"});
    EXPECT_EQ(Texts({"D:\\a\\x", "D:\\ab"}), Shown(lower, kAscending));
    History lowerSwapped({"D:\\a\\x", "D:\\ab"});
    EXPECT_EQ(Texts({"D:\\a\\x", "D:\\ab"}), Shown(lowerSwapped, kAscending));
}

TEST(OrderHistory, EqualEntriesKeepHistoryOrder)
{
    History h({"D:\\same", "D:\\Same", "D:\\same"});
    EXPECT_EQ(Ints({0, 1, 2, -1}), Ordered(h, kAscending, 4));
    EXPECT_EQ(Ints({0, 1, 2, -1}), Ordered(h, kDescending, 4));
}

TEST(OrderHistory, LastOf255CharactersDecides)
{
    const std::string c = "D:\\" + std::string(251, 'a') + "c";
    const std::string b = "D:\\" + std::string(251, 'a') + "b";
    ASSERT_EQ(255u, c.size());
    History h({c, b});
    EXPECT_EQ(Ints({1, 0, -1}), Ordered(h, kAscending, 3));
    EXPECT_EQ(Ints({0, 1, -1}), Ordered(h, kDescending, 3));
}

TEST(OrderHistory, ComparisonStopsAtTheEndOfTheSlot)
{
    // Slots filled to the last byte without a terminator: no byte after a slot (and
    // none after slot 49, the end of the heap block) may be read; equal slots stay.
    History h;
    std::memset(h.raw(), 'x', sizeof(AnsiSlot) * kHistorySlots);
    for (int mode : {kAscending, kDescending}) {
        Order order;
        OrderAnsiHistory(h.get(), mode, order.get());
        for (int i = 0; i < kHistorySlots; ++i)
            ASSERT_EQ(i, order[i]) << "LogSort " << mode << " slot " << i;
    }
}

// ====================================================================================
// Slot lookup by display position

TEST(SlotAtPosition, FindsTheSlotShownAtEachPosition)
{
    Order order;
    int* o = order.get();
    const int values[] = {2, 0, 3, 1, -1};
    std::copy(std::begin(values), std::end(values), o);
    EXPECT_EQ(1, SlotAtPosition(o, 0));
    EXPECT_EQ(3, SlotAtPosition(o, 1));
    EXPECT_EQ(0, SlotAtPosition(o, 2));
    EXPECT_EQ(2, SlotAtPosition(o, 3));
}

TEST(SlotAtPosition, PositionNotShownGivesMinusOne)
{
    Order order;
    int* o = order.get();
    const int values[] = {1, 0, -1};
    std::copy(std::begin(values), std::end(values), o);
    EXPECT_EQ(-1, SlotAtPosition(o, 2));
    EXPECT_EQ(-1, SlotAtPosition(o, 49));
}

TEST(SlotAtPosition, SearchStopsAtTheFirstNegativeEntry)
{
    // Entries after the -1 are left from an earlier, longer history.
    Order order;
    int* o = order.get();
    const int values[] = {0, -1, 1, 2};
    std::copy(std::begin(values), std::end(values), o);
    EXPECT_EQ(-1, SlotAtPosition(o, 1));
    EXPECT_EQ(-1, SlotAtPosition(o, 2));
}

TEST(SlotAtPosition, FullArrayWithoutMinusOneIsSearchedTo49Only)
{
    Order order;
    int* o = order.get();
    for (int i = 0; i < kHistorySlots; ++i)
        o[i] = 49 - i;
    EXPECT_EQ(0, SlotAtPosition(o, 49));
    EXPECT_EQ(49, SlotAtPosition(o, 0));
    EXPECT_EQ(-1, SlotAtPosition(o, 50));
}

// ====================================================================================
// Properties over random histories

// A short path of upper and lower letters, '_', '\', digits and Shift-JIS characters
// (lead 0x81-0x9F or 0xE0-0xFC; the trail byte is often 0x5C, the backslash).
std::string RandomPath(std::mt19937& rng)
{
    static const char kAscii[] = "ABZabz_\\019";
    std::string text;
    const int length = std::uniform_int_distribution<int>(1, 8)(rng);
    for (int i = 0; i < length; ++i) {
        const int kind = std::uniform_int_distribution<int>(0, 3)(rng);
        if (kind < 3) {
            text += kAscii[std::uniform_int_distribution<int>(0, sizeof kAscii - 2)(rng)];
        } else {
            const int lead = std::uniform_int_distribution<int>(0, 1)(rng)
                                 ? std::uniform_int_distribution<int>(0x81, 0x9F)(rng)
                                 : std::uniform_int_distribution<int>(0xE0, 0xFC)(rng);
            const int trail = std::uniform_int_distribution<int>(0, 1)(rng)
                                  ? 0x5C
                                  : std::uniform_int_distribution<int>(0x80, 0xFC)(rng);
            text += static_cast<char>(lead);
            text += static_cast<char>(trail);
        }
    }
    return text;
}

TEST(OrderHistoryProperty, ArrayIsAPermutationEndedByMinusOneAndInvertedByLookup)
{
    std::mt19937 rng(20240611u);
    for (int iteration = 0; iteration < 500; ++iteration) {
        const int n = std::uniform_int_distribution<int>(0, kHistorySlots)(rng);
        History h;
        for (int i = 0; i < n; ++i)
            h.Set(i, RandomPath(rng));
        // A stale entry behind the end of the list must not count.
        if (n < kHistorySlots - 1)
            h.Set(n + 1, "D:\\stale");

        for (int mode : {0, 1, 2, 3, 9, -3}) {
            SCOPED_TRACE(::testing::Message() << "iteration " << iteration << " n " << n
                                              << " LogSort " << mode);
            Order order;
            OrderAnsiHistory(h.get(), mode, order.get());

            std::vector<int> first = order.First(n);
            std::vector<int> sorted = first;
            std::sort(sorted.begin(), sorted.end());
            for (int i = 0; i < n; ++i)
                ASSERT_EQ(i, sorted[i]);
            if (n < kHistorySlots) {
                ASSERT_EQ(-1, order[n]);
                for (int i = n + 1; i < kHistorySlots; ++i)
                    ASSERT_EQ(kUntouched, order[i]);
            }

            for (int slot = 0; slot < n; ++slot) {
                if (mode == 1) {
                    ASSERT_EQ(n - 1 - slot, order[slot]);
                } else if (mode != 2 && mode != 3) {
                    ASSERT_EQ(slot, order[slot]);
                }
            }

            for (int r = 0; r < n; ++r) {
                const int slot = SlotAtPosition(order.get(), r);
                ASSERT_GE(slot, 0);
                ASSERT_LT(slot, n);
                ASSERT_EQ(r, order[slot]);
            }
            ASSERT_EQ(-1, SlotAtPosition(order.get(), n));
        }
    }
}

TEST(OrderHistoryProperty, SortedModesOrderAsciiWithoutUpperCaseAsByteStrings)
{
    // Without upper-case letters and double-byte characters the relation is an ordinary
    // byte order, so the sorted modes must give a sorted list.
    static const char kAlphabet[] = "abz_\\019.";
    std::mt19937 rng(77u);
    for (int iteration = 0; iteration < 500; ++iteration) {
        const int n = std::uniform_int_distribution<int>(0, kHistorySlots)(rng);
        History h;
        for (int i = 0; i < n; ++i) {
            std::string text = "D:\\";
            const int length = std::uniform_int_distribution<int>(0, 6)(rng);
            for (int k = 0; k < length; ++k)
                text += kAlphabet[std::uniform_int_distribution<int>(0, sizeof kAlphabet - 2)(rng)];
            h.Set(i, text);
        }
        const std::vector<std::string> up = Shown(h, kAscending);
        const std::vector<std::string> down = Shown(h, kDescending);
        SCOPED_TRACE(::testing::Message() << "iteration " << iteration << " n " << n);
        ASSERT_EQ(static_cast<size_t>(n), up.size());
        for (int r = 1; r < n; ++r) {
            ASSERT_LE(up[r - 1], up[r]);
            ASSERT_GE(down[r - 1], down[r]);
        }
    }
}

}  // namespace
