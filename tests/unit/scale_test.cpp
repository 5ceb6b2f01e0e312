// Sizes at a display scale: the drag marker's bitmap for a monitor's dpi.
#include <gtest/gtest.h>

#include "core/scale.h"

namespace {

TEST(ScaleToDpi, RoundsToTheNearestPixelAndTakesAFailedDpiAs96)
{
    const struct {
        int pixels, dpi, scaled;
    } cases[] = {
        {32, 96, 32}, {32, 120, 40}, {32, 144, 48}, {32, 168, 56}, {32, 192, 64},
        {16, 144, 24}, {16, 110, 18}, {16, 108, 18}, {16, 105, 18}, {16, 102, 17},
        {32, 0, 32}, {32, -5, 32}, {0, 144, 0}, {32, 480, 160},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ScaleToDpi(c.pixels, c.dpi), c.scaled) << c.pixels << " at " << c.dpi;
}

TEST(MarkerIndexForDpi, NearestBitmapFrom100To200PercentAndTheEndsBeyond)
{
    const struct {
        int dpi, size;
    } cases[] = {
        {96, 32}, {120, 40}, {144, 48}, {168, 56}, {192, 64},  // the common scales, exactly
        {72, 32}, {0, 32}, {-1, 32},                          // below 100 %, or no answer
        {106, 32}, {107, 40},        // 35 px, then 36, halfway between 32 and 40: the larger
        {139, 48}, {150, 48}, {154, 48}, {155, 56},            // 52 px is halfway again
        {240, 64}, {480, 64},                                 // above 200 %
    };
    for (const auto& c : cases)
        EXPECT_EQ(kMarkerSizes[MarkerIndexForDpi(c.dpi)], c.size) << "at " << c.dpi;
}

}  // namespace
