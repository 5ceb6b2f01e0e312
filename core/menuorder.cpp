#include "menuorder.h"

static int IsAsciiLetter(signed char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

static int LowerLetter(signed char c)
{
    return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c;
}

int CompareChar(char a, char b)
{
    const signed char sa = static_cast<signed char>(a);
    const signed char sb = static_cast<signed char>(b);
    if (sa == sb)
        return 0;
    if (IsAsciiLetter(sa) && IsAsciiLetter(sb)) {
        const int la = LowerLetter(sa), lb = LowerLetter(sb);
        if (la == lb)
            return 0;
        return la > lb ? 1 : -1;
    }
    return sa > sb ? 1 : -1;
}

// The pair rule of ANSI entries: 1 when the entry shown first (a) and the one shown later
// (b) are to be exchanged. A double-byte lead after a common prefix keeps the pair as it is.
static int AnsiPairExchanges(const void* list, int first, int later, int descending, void*)
{
    const AnsiSlot* history = static_cast<const AnsiSlot*>(list);
    const char* a = history[first];
    const char* b = history[later];
    for (int i = 0; i < kPathSize; ++i) {
        const unsigned char ca = static_cast<unsigned char>(a[i]);
        const unsigned char cb = static_cast<unsigned char>(b[i]);
        if (ca == 0 && cb == 0)
            return 0;
        if (ca == 0)
            return descending && cb <= 0x7F;
        if (cb == 0)
            return !descending && ca <= 0x7F;
        const int c = CompareChar(a[i], b[i]);
        if (c != 0)
            return descending ? c < 0 : c > 0;
    }
    return 0;
}

static int NamePairExchanges(const void* list, int first, int later, int descending,
                             void* compare)
{
    const PathSlot* history = static_cast<const PathSlot*>(list);
    const int c = reinterpret_cast<CompareNamesFn>(compare)(history[first], history[later]);
    return descending ? c < 0 : c > 0;
}

typedef int (*PairRule)(const void* list, int first, int later, int descending, void* context);

// `count` entries in use; `rule` decides each exchange of the sort.
static void Order(int count, int logSort, int* order, PairRule rule, const void* list,
                  void* context)
{
    const int n = count;
    if (n < kHistorySlots)
        order[n] = -1;
    if (logSort == 1) {
        for (int h = 0; h < n; ++h)
            order[h] = n - 1 - h;
        return;
    }
    // shown[p]: the slot at display position p, kept beside the order while sorting.
    int shown[kHistorySlots];
    for (int h = 0; h < n; ++h)
        shown[h] = h;
    if (logSort == 2 || logSort == 3) {
        // Exchange sort over the display positions. The ANSI relation is not transitive,
        // so the sequence of comparisons decides the result and must stay as it is.
        for (int r = 0; r < n - 1; ++r) {
            for (int s = r + 1; s < n; ++s) {
                if (rule(list, shown[r], shown[s], logSort == 3, context)) {
                    const int t = shown[r];
                    shown[r] = shown[s];
                    shown[s] = t;
                }
            }
        }
    }
    for (int p = 0; p < n; ++p)
        order[shown[p]] = p;
}

void OrderAnsiHistory(const AnsiSlot* history, int logSort, int* order)
{
    int n = 0;
    while (n < kHistorySlots && history[n][0] != '\0')
        ++n;
    Order(n, logSort, order, AnsiPairExchanges, history, nullptr);
}

void OrderHistory(const PathSlot* history, int logSort, int* order, CompareNamesFn compare)
{
    Order(CountEntries(history, kHistorySlots), logSort, order, NamePairExchanges, history,
          reinterpret_cast<void*>(compare));
}

int SlotAtPosition(const int* order, int position)
{
    for (int k = 0; k < kHistorySlots; ++k) {
        if (order[k] < 0)
            return -1;
        if (order[k] == position)
            return k;
    }
    return -1;
}
