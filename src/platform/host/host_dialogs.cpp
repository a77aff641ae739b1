// The scripted dialogs on Linux (see host_dialogs.h and platform/dialogs.h).
#include "platform/host/host_dialogs.h"

#include <deque>
#include <utility>

#include "platform/dialogs.h"

namespace host {
namespace {

struct ScriptedDialog {
  int templateId;
  int result;
  std::function<void()> effect;
};

struct DialogState {
  std::deque<ScriptedDialog> queue;
  std::vector<int> run;
};

DialogState& Dialogs() {
  static DialogState state;
  return state;
}

}  // namespace

void ResetDialogs() { Dialogs() = DialogState(); }

void QueueDialog(int templateId, int result, std::function<void()> effect) {
  Dialogs().queue.push_back(
      ScriptedDialog{templateId, result, std::move(effect)});
}

const std::vector<int>& DialogsRun() { return Dialogs().run; }

size_t DialogsPending() { return Dialogs().queue.size(); }

}  // namespace host

// ModalResult (dialogs.h): the scripted dialog loop below clears it, and a
// dialog's effect or its scripted result sets it.
int ModalResult = 0;

namespace plat {

int RunDialog(int templateId) {
  host::DialogState& state = host::Dialogs();
  state.run.push_back(templateId);
  ModalResult = 0;
  if (state.queue.empty() || state.queue.front().templateId != templateId) {
    return 2;
  }
  host::ScriptedDialog dialog = std::move(state.queue.front());
  state.queue.pop_front();
  if (dialog.effect) dialog.effect();
  if (ModalResult == 0) ModalResult = dialog.result;
  return ModalResult;
}

}  // namespace plat
