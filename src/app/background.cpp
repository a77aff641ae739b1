// The gradient and geometry of the background window (see background.h).
#include "app/background.h"

MainWindowPlacement PlaceMainWindow(int screenWidth, int screenHeight,
                                    int menuBarHeight) {
  MainWindowPlacement p;
  p.left = screenWidth / 8;
  p.top = screenHeight / 8;
  p.width = (3 * screenWidth) / 4;
  p.height = (3 * screenHeight) / 4;
  p.centreX = (3 * screenWidth) / 8;
  p.centreY = (3 * screenHeight) / 8 - menuBarHeight;
  return p;
}

uint8_t GradientBlue(int y, int clientHeight) {
  if (clientHeight <= 0 || y < 0 || y >= clientHeight) return 0;
  // 64-bit product: 255 * y overflows an int for rows beyond 8 million.
  const int64_t step = (int64_t{255} * y) / clientHeight;
  return static_cast<uint8_t>(255 - step);
}

size_t GradientBands(int clientHeight, int top, int bottom, GradientBand* bands,
                     size_t capacity) {
  if (clientHeight <= 0) return 0;
  if (top < 0) top = 0;
  if (bottom > clientHeight) bottom = clientHeight;
  size_t count = 0;
  for (int y = top; y < bottom; ++y) {
    const uint8_t blue = GradientBlue(y, clientHeight);
    if (count > 0 && bands[count - 1].blue == blue) {
      bands[count - 1].last = y;
      continue;
    }
    if (count == capacity) break;
    bands[count++] = GradientBand{y, y, blue};
  }
  return count;
}
