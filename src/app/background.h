// The background window's geometry and its gradient, as plain arithmetic.
//
// MainWindow covers the middle three quarters of the screen and is painted
// from pure blue at the top of its client area to nearly black at the
// bottom. The colour of a row depends only on the row and the client
// height, never on the part being repainted, so a partial repaint matches
// a full one. Painting changes brush only where the colour changes, which
// happens at most 256 times however tall the window is; the window code
// asks GradientBands for those runs of equal colour and fills each with one
// brush.
#pragma once

#include <cstddef>
#include <cstdint>

// Where MainWindow goes on a screen of width x height pixels, and the first
// point at which a dialog is centred (MainWindow client coordinates).
struct MainWindowPlacement {
  int left, top, width, height;
  int centreX, centreY;
};

// left = W / 8, top = H / 8, width = 3W / 4, height = 3H / 4; the dialog
// centre is (3W / 8, 3H / 8 - menuBarHeight). All divisions truncate.
MainWindowPlacement PlaceMainWindow(int screenWidth, int screenHeight,
                                    int menuBarHeight);

// Blue component of row y of a client area clientHeight rows high:
// 255 - floor(255 * y / clientHeight), so 255 at the top and never below 1
// inside the client area. Rows outside 0..clientHeight-1, and every row of
// an empty client area, give 0.
uint8_t GradientBlue(int y, int clientHeight);

// A run of rows of one colour: rows first..last inclusive, RGB(0, 0, blue).
struct GradientBand {
  int first;
  int last;
  uint8_t blue;
};

constexpr size_t kMaxGradientBands = 256;

// The runs of equal colour that cover rows top..bottom-1 of the update
// rectangle (bottom exclusive, as a rectangle's bottom edge is), clipped to
// the client area 0..clientHeight-1, in order from the top. Writes at most
// capacity bands and returns the number written; there are never more than
// kMaxGradientBands, so an array of that size always holds them all. An
// empty client area or update range yields none.
size_t GradientBands(int clientHeight, int top, int bottom, GradientBand* bands,
                     size_t capacity);
