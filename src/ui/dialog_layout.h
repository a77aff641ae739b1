// Where dialogs appear: DialogCentre, the point in MainWindow's client area
// on which the next dialog is centred, and the arithmetic that places a
// dialog there without letting it leave MainWindow. Start-up sets the first
// centre; each dialog moves it to its own centre when it closes, so the
// next dialog comes up where the user left the last one. The window calls
// that read the rectangles live in the Windows dialog framework; the
// arithmetic is here so that it can be exercised on its own.
#pragma once

struct DialogPoint {
  int x;
  int y;
};

// Where the next dialog is centred, in MainWindow client coordinates.
extern DialogPoint DialogCentre;

// The position of a dialog of outer size dialogWidth x dialogHeight centred
// on centre inside a main window of outer size mainWidth x mainHeight:
// x = centre.x - dialogWidth / 2, limited first to at most
// mainWidth - dialogWidth and then to at least 0 (likewise y). The upper
// limit comes first, so a dialog larger than the main window lands at 0.
// The limits use the main window's outer size, so a dialog may reach past
// its client area by the main window's frame and caption.
DialogPoint CentredDialogPosition(DialogPoint centre, int mainWidth,
                                  int mainHeight, int dialogWidth,
                                  int dialogHeight);

// The centre of a rectangle: ((left + right) / 2, (top + bottom) / 2),
// divisions truncating towards zero.
DialogPoint RectangleCentre(int left, int top, int right, int bottom);
