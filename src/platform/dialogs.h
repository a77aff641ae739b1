// Running the installer's modeless dialogs, as the main flow needs it: one
// call that shows the dialog of a template, runs the dialog loop until
// ModalResult is set, destroys the dialog and returns that result. In the
// Windows build each template has its dialog procedure (the welcome,
// graphics-mode, destination and finish dialogs); on the host the dialogs
// are scripted (host/host_dialogs.h), so the order in which the flow runs
// them, and what it does with their results, can be exercised.
//
// Implemented for setup.exe by src/app/win32/dialog_table.cpp (which
// procedure runs which template, over the dialog loop of
// src/ui/win32/dialog_framework.cpp); on the host by
// src/platform/host/host_dialogs.cpp.
#pragma once

// The one integer that ends the current dialog loop: 0 while a dialog runs;
// the id of the control that closed it, or 2 for cancel, a quit request or
// the close command. The dialog loops clear it when a dialog starts and
// run until it is set; whatever closes a dialog sets it. Each platform
// implementation defines it (host/host_dialogs.cpp, win32/platform_win32.cpp).
extern int ModalResult;

namespace plat {

// Runs the dialog of templateId (ui/resources/dialog_ids.h) with its
// procedure, MainWindow its parent. Returns the ModalResult that ended it:
// the id of the closing button (1 OK, 101, 102 for the welcome choices) or
// 2 for cancel, the close command, a quit request or a dialog that cannot
// be created (also a template without a procedure).
int RunDialog(int templateId);

}  // namespace plat
