// Placing dialogs on MainWindow (see dialog_layout.h).
#include "ui/dialog_layout.h"

DialogPoint DialogCentre = {0, 0};

namespace {

// One axis of CentredDialogPosition.
int CentredCoordinate(int centre, int mainSize, int dialogSize) {
  int position = centre - dialogSize / 2;
  if (position >= mainSize - dialogSize) position = mainSize - dialogSize;
  if (position <= 0) position = 0;
  return position;
}

}  // namespace

DialogPoint CentredDialogPosition(DialogPoint centre, int mainWidth,
                                  int mainHeight, int dialogWidth,
                                  int dialogHeight) {
  return DialogPoint{CentredCoordinate(centre.x, mainWidth, dialogWidth),
                     CentredCoordinate(centre.y, mainHeight, dialogHeight)};
}

DialogPoint RectangleCentre(int left, int top, int right, int bottom) {
  return DialogPoint{(left + right) / 2, (top + bottom) / 2};
}
