// Running the installer's modeless dialogs, as the main flow needs it: one
// call that shows the dialog of a template, runs the dialog loop until
// ModalResult (ui/ui_state.h) is set, destroys the dialog and returns that
// result. In the Windows build each template has its dialog procedure (the
// welcome, graphics-mode, destination and finish dialogs); on the host the
// dialogs are scripted (host/host_dialogs.h), so the order in which the
// flow runs them, and what it does with their results, can be exercised.
#pragma once

namespace plat {

// Runs the dialog of templateId (ui/resources/dialog_ids.h) with its
// procedure, MainWindow its parent. Returns the ModalResult that ended it:
// the id of the closing button (1 OK, 101, 102 for the welcome choices) or
// 2 for cancel, the close command, a quit request or a dialog that cannot
// be created (also a template without a procedure).
int RunDialog(int templateId);

}  // namespace plat
