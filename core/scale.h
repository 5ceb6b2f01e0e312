// Sizes at a display scale: what a size drawn for 96 dpi becomes at another. Platform-free.
#pragma once

enum { kBaseDpi = 96 };  // 100 %: the scale every size of the program is drawn for

// `pixels` at 96 dpi, scaled to `dpi` and rounded to the nearest pixel. A dpi that is not
// positive (a call that failed) counts as 96.
int ScaleToDpi(int pixels, int dpi);

// The drag marker comes as one bitmap for each common scale, 100 % to 200 %.
enum { kMarkerSizeCount = 5 };
extern const int kMarkerSizes[kMarkerSizeCount];  // 32, 40, 48, 56, 64 pixels

// The marker bitmap for a monitor of `dpi`: the index of the size nearest to the 32-pixel
// marker at that scale. Scales below 100 % take the smallest, above 200 % the largest.
int MarkerIndexForDpi(int dpi);
