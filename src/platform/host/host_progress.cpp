// The installation run's progress dialog on Linux: nothing is drawn; every
// call is recorded as a host::ProgressEvent, and a test (or pkgtool) can
// make the dialog fail to open or press Cancel before a chosen pump.
//
// Events: kCreate (value 1 when the dialog opened, 0 when it failed),
// kName (the name shown), kPercent (the percentage drawn), kPump (value:
// the ModalResult returned; name "cancel-yes" or "cancel-no" when a
// scripted Cancel was pressed at that pump), kDestroy.
#include <functional>
#include <utility>
#include <vector>

#include "platform/dialogs.h"
#include "platform/host/host_control.h"
#include "platform/host/host_internal.h"
#include "platform/progress.h"

namespace host {
namespace {

struct ProgressState {
  std::vector<ProgressEvent> events;
  bool failCreate = false;
  std::vector<std::pair<int, bool>> cancels;  // pump number, confirmed
  int pumps = 0;                              // since the dialog opened
  std::function<void(const ProgressEvent&)> observer;
};

ProgressState& Progress() {
  static ProgressState state;
  return state;
}

// Its address is the dialog's handle.
char dialogToken;

void Record(ProgressEvent::Kind kind, const char* name, int value) {
  ProgressState& state = Progress();
  state.events.push_back(ProgressEvent{kind, name, value});
  if (state.observer) state.observer(state.events.back());
}

}  // namespace

void ResetProgress() { Progress() = ProgressState(); }

const std::vector<ProgressEvent>& ProgressEvents() { return Progress().events; }

void FailTransferDialog() { Progress().failCreate = true; }

void CancelAtPump(int n, bool confirm) {
  Progress().cancels.emplace_back(n, confirm);
}

void SetProgressObserver(std::function<void(const ProgressEvent&)> observer) {
  Progress().observer = std::move(observer);
}

}  // namespace host

namespace plat {

Window CreateTransferDialog() {
  host::ProgressState& state = host::Progress();
  if (state.failCreate) {
    host::Record(host::ProgressEvent::kCreate, "", 0);
    return nullptr;
  }
  state.pumps = 0;
  host::Record(host::ProgressEvent::kCreate, "", 1);
  return &host::dialogToken;
}

void ShowTransferName(Window, const char* name) {
  host::Record(host::ProgressEvent::kName, name, 0);
}

void DrawTransferProgress(Window, int percent) {
  host::Record(host::ProgressEvent::kPercent, "", percent);
}

int PumpMessages(Window) {
  host::ProgressState& state = host::Progress();
  ++state.pumps;
  const char* pressed = "";
  for (const auto& cancel : state.cancels) {
    if (cancel.first != state.pumps) continue;
    // Cancel opens the confirmation; any answer but No halts.
    if (cancel.second) ModalResult = 2;
    pressed = cancel.second ? "cancel-yes" : "cancel-no";
  }
  host::Record(host::ProgressEvent::kPump, pressed, ModalResult);
  return ModalResult;
}

void DestroyTransferDialog(Window) {
  host::Record(host::ProgressEvent::kDestroy, "", 0);
}

}  // namespace plat
