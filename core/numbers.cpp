#include "numbers.h"

static int IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int ParseInteger(const char* text)
{
    int i = 0;
    while (IsBlank(text[i]))
        ++i;
    int negative = 0;
    if (text[i] == '+' || text[i] == '-') {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; text[i] >= '0' && text[i] <= '9'; ++i) {
        if (value <= 2147483648LL)  // past this the result is held at the range's end
            value = value * 10 + (text[i] - '0');
    }
    if (negative)
        value = -value;
    if (value > 2147483647LL)
        return 2147483647;
    if (value < -2147483647LL - 1)
        return -2147483647 - 1;
    return static_cast<int>(value);
}
