#include "fieldstep.h"

int StepFieldValue(int value, int delta, int lowest, int highest)
{
    if (delta < 0) {
        // value + 1, without passing the end of the integer range
        const int raised = value < INT_MAX ? value + 1 : value;
        return raised > highest ? highest : raised;
    }
    if (delta > 0) {
        const int lowered = value > INT_MIN ? value - 1 : value;
        return lowered < lowest ? lowest : lowered;
    }
    return value;
}
