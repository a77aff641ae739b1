// The dialog framework of the Windows build: the loop that runs one
// modeless dialog at a time until ModalResult is set, the bounded message
// pump of long work, the placement of each dialog where the last one was
// left, the grey dialog colours, the sunken separator line, and the helpers
// that put string resources and the product title into controls.
//
// Protocol of a modeless dialog procedure run by RunDialog (and of the
// file-transfer dialog): WM_INITDIALOG fills the controls, then
// CentreDialog, and returns TRUE; a closing control's WM_COMMAND runs
// RememberDialogCentre, then sets ModalResult to the message's first
// parameter; WM_CTLCOLORMSGBOX, WM_CTLCOLORBTN, WM_CTLCOLORDLG and
// WM_CTLCOLORSTATIC are answered by DialogColour; everything else is left
// to the platform (so the edit field keeps the platform's colours).
#pragma once

#include <cstdint>

#include "platform/win32/windows_api.h"

// Clears ModalResult, creates the dialog of templateId modeless from the
// program's resources as a child of MainWindow, and dispatches messages
// (offering each to the dialog's keyboard handling first) until
// ModalResult is non-zero; a quit request sets it to 2 and is consumed.
// Destroys the dialog and returns ModalResult; 2 at once when the dialog
// cannot be created.
int RunDialog(int templateId, DLGPROC procedure, LPARAM parameter);

// Handles at most 20 pending messages without waiting, as RunDialog's loop
// would (a quit request sets ModalResult to 2 and is consumed). Returns
// ModalResult; the caller stops its work when it is non-zero.
int PumpMessages(HWND dialog);

// Moves dialog so that it is centred on DialogCentre, kept inside
// MainWindow's outer size, and has its caption drawn active.
void CentreDialog(HWND dialog);

// Makes the centre of dialog's window rectangle, in MainWindow client
// coordinates, the next DialogCentre.
void RememberDialogCentre(HWND dialog);

// Sets the background colour of dc to RGB(192,192,192) and returns
// DialogBrush, which the caller must not delete.
HBRUSH DialogColour(HWND dialog, HDC dc, HWND control);

// Whether message is one of the colour requests DialogColour answers.
bool IsDialogColourMessage(UINT message);

// DialogColour for a colour request's parameters, as the dialog procedure's
// result.
INT_PTR DialogColourAnswer(HWND dialog, WPARAM wParam, LPARAM lParam);

// Ends the dialog's loop with result where the user left the dialog:
// RememberDialogCentre, then ModalResult = result.
void CloseWith(HWND dialog, int result);

// Paints the engraved line over the hidden frame 1000 of dialog (nothing
// when the dialog has none): five opaque text fills in the button-face,
// button-shadow and button-highlight colours of the moment, no brush made.
void DrawSunkenFrame(HWND dialog, HDC dc);

// Makes string stringId (at most 254 characters) the text of control.
void SetItemString(HWND dialog, int control, unsigned stringId);

// Replaces the "%s" of control's text with productTitle (at most 511
// characters are read and written).
void FormatItemWithTitle(HWND dialog, int control);

// Shows kb in the format of string 303 ("%lu Kb") in control.
void ShowKb(HWND dialog, int control, uint32_t kb);
