// The installation run's two dialogs in the Windows build: the
// file-transfer dialog (template 410: the current file, the percentage bar,
// Cancel), which carries out platform/progress.h for the run, and the halt
// confirmation (409), a modal pop-up owned by it that only Yes and No close.
#pragma once

#include "platform/win32/windows_api.h"

// Paints the bar inside frame 102 of dialog for the percentage the run
// last set (SetProgress, through plat::DrawTransferProgress): the
// left ProgressPercent% of the frame's inside in RGB(0,0,192), the rest
// white, and "<percent>%" centred over it in RGB(0,0,192) on white, in the
// device context's own font (not the dialog's). dc may be null: the
// dialog's own is taken and released (nothing is drawn when none can be
// had).
void DrawProgressBar(HWND dialog, HDC dc);

// 410: empties the file name and centres itself; paints the bar; Cancel
// (or Escape) asks the halt confirmation and, unless the answer is No,
// sets ModalResult to 2, which the run notices between files.
INT_PTR CALLBACK FileTransferDialogProc(HWND dialog, UINT message,
                                        WPARAM wParam, LPARAM lParam);

// 409: fills in the product title; Yes (6) and No (7) end it with their
// id; Escape and the close box do nothing.
INT_PTR CALLBACK ConfirmHaltDialogProc(HWND dialog, UINT message, WPARAM wParam,
                                       LPARAM lParam);
