// The DDE client on Linux: recorded, never sent (see host_dde.h).
#include "platform/host/host_dde.h"

#include "platform/dde.h"

namespace host {
namespace {

constexpr unsigned kDmlErrSysError = 0x400F;

struct DdeState {
  std::vector<DdeEvent> events;
  bool failInitialize = false;
  bool refuse = false;
  plat::DdeInstance next = 1;
};

DdeState& Dde() {
  static DdeState state;
  return state;
}

void Record(DdeEvent::Kind kind, const char* command, plat::Window window,
            int result) {
  Dde().events.push_back(DdeEvent{kind, command, window, result});
}

}  // namespace

void ResetDde() { Dde() = DdeState(); }
const std::vector<DdeEvent>& DdeEvents() { return Dde().events; }

std::vector<std::string> DdeCommands() {
  std::vector<std::string> commands;
  for (const DdeEvent& event : Dde().events) {
    if (event.kind == DdeEvent::kCommand) commands.push_back(event.command);
  }
  return commands;
}

void FailDdeInitialize() { Dde().failInitialize = true; }
void RefuseDdeCommands() { Dde().refuse = true; }

}  // namespace host

namespace plat {

unsigned DdeInitializeClient(DdeInstance* instance) {
  host::DdeState& state = host::Dde();
  const unsigned code = state.failInitialize ? host::kDmlErrSysError : 0;
  if (code == 0) *instance = state.next++;
  host::Record(host::DdeEvent::kInitialize, "", nullptr,
               static_cast<int>(code));
  return code;
}

int SendProgmanCommand(DdeInstance, const char* command) {
  const int accepted = host::Dde().refuse ? 0 : 1;
  host::Record(host::DdeEvent::kCommand, command, nullptr, accepted);
  return accepted;
}

void DdeUninitializeClient(DdeInstance) {
  host::Record(host::DdeEvent::kUninitialize, "", nullptr, 0);
}

void ActivateWindow(Window window) {
  host::Record(host::DdeEvent::kActivate, "", window, 0);
}

}  // namespace plat
