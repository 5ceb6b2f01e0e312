// The number fields of the settings dialog and the up-down step that changes them.
// Platform-free.
#pragma once
#include <climits>

// The upper bound of a field that has none: a step up is held only at the end of the
// integer range.
enum { kNoUpperBound = INT_MAX };

// The value a number field shows after one step of its up-down control. The controls keep
// their default range, whose lower end (100) lies above its upper end (0), so the up arrow
// reports a negative delta. Up adds one and is held at `highest`, down subtracts one and is
// held at `lowest`: the bound of the step's direction applies to the result. A hand-edited
// 500 for the history length gives 50 going up and 499 going down; no step takes a value
// further out of its range, and none passes the ends of the integer range. Delta 0 changes
// nothing.
int StepFieldValue(int value, int delta, int lowest, int highest);
