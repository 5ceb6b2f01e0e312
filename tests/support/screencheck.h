// Checks of what Trailkeep shows at a display scale: the layout of a dialog of another
// process, and areas of the screen read back as pixels.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tk {

// The scale of the screen, in dots per inch (96 at 100 %).
int ScreenDpi();

// Every control of the dialog lies inside its client area; no two overlap, but for the
// controls a group box frames, which lie wholly inside it, and an up-down control over its
// buddy's border; each text fits its control on the lines the control has room for (a
// check box or radio button beside its box). `face` is the dialog's font, at 10 points.
::testing::AssertionResult LaidOut(HWND dialog, const char* face);

// Whether `inner` lies wholly inside `outer`.
bool Contains(const RECT& outer, const RECT& inner);

// 32-bit pixels, top row first: the format the readers here give.
BITMAPINFO PixelFormat(int width, int height);

// A width x height area of the screen whose top-left corner is `at`, row by row from the
// top, each pixel 0x00RRGGBB.
std::vector<DWORD> ReadScreenArea(POINT at, int width, int height);

// The frame of `size` pixels of icon `id` that a program file carries, row by row from the
// top, each pixel 0xAARRGGBB; empty when there is none.
std::vector<DWORD> IconFrame(const std::string& file, int id, int size);

}  // namespace tk
