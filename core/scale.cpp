// Sizes at a display scale.
#include "scale.h"

const int kMarkerSizes[kMarkerSizeCount] = {32, 40, 48, 56, 64};

int ScaleToDpi(int pixels, int dpi)
{
    if (dpi <= 0)
        dpi = kBaseDpi;
    // Rounded half away from zero, as MulDiv does; the sizes here are never negative.
    const long long scaled = static_cast<long long>(pixels) * dpi;
    return static_cast<int>((scaled + kBaseDpi / 2) / kBaseDpi);
}

static int Distance(int a, int b)
{
    return a > b ? a - b : b - a;
}

int MarkerIndexForDpi(int dpi)
{
    const int wanted = ScaleToDpi(kMarkerSizes[0], dpi);
    int best = 0;
    for (int i = 1; i < kMarkerSizeCount; ++i) {
        // Halfway between two sizes, the larger: a marker a little large is easier to see.
        if (Distance(wanted, kMarkerSizes[i]) <= Distance(wanted, kMarkerSizes[best]))
            best = i;
    }
    return best;
}
