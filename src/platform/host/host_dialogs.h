// Controls of the scripted dialogs on Linux (platform/dialogs.h): a test
// queues the dialogs it expects the flow to run, each with the result the
// user gives it and, optionally, what the dialog does before it closes (the
// destination dialog settling InstallDirectory, the graphics-mode dialog
// changing GraphicsModeFlags). The dialogs run are recorded in order.
#pragma once

#include <functional>
#include <vector>

namespace host {

// Forgets the queue and the record.
void ResetDialogs();

// The next dialog to be run is templateId; effect (may be empty) runs as
// the dialog's procedure would, then the dialog ends with result (unless
// the effect has already set ModalResult).
void QueueDialog(int templateId, int result, std::function<void()> effect = {});

// Every template that plat::RunDialog was asked for since ResetDialogs, in
// order, also those that were not scripted. An unscripted dialog (nothing
// queued, or another template at the front of the queue) ends at once with
// 2, as one that cannot be created, and consumes nothing.
const std::vector<int>& DialogsRun();

// Scripted dialogs not run yet.
size_t DialogsPending();

}  // namespace host
