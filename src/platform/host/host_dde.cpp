// The DDE client on Linux: recorded, never sent (see host_dde.h).
#include "platform/host/host_dde.h"

#include <cstring>

#include "platform/dde.h"
#include "platform/host/host_control.h"
#include "platform/host/host_internal.h"

namespace host {
namespace {

constexpr unsigned kDmlErrSysError = 0x400F;

struct DdeState {
  std::vector<DdeEvent> events;
  bool failInitialize = false;
  bool refuse = false;
  bool answerRequests = false;
  std::string groupReply;
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

void AnswerGroupRequests(const std::string& reply) {
  Dde().answerRequests = true;
  Dde().groupReply = reply;
}

}  // namespace host

namespace plat {

unsigned DdeInitializeClient(DdeInstance* instance) {
  host::DdeState& state = host::Dde();
  const bool fails = host::InjectedFailure(host::Fault::kDde);
  const unsigned code =
      state.failInitialize || fails ? host::kDmlErrSysError : 0;
  if (code == 0) *instance = state.next++;
  host::Record(host::DdeEvent::kInitialize, "", nullptr,
               static_cast<int>(code));
  return code;
}

int SendProgmanCommand(DdeInstance, const char* command) {
  const bool fails = host::InjectedFailure(host::Fault::kDde);
  const int accepted = host::Dde().refuse || fails ? 0 : 1;
  host::Record(host::DdeEvent::kCommand, command, nullptr, accepted);
  return accepted;
}

bool RequestProgmanGroup(DdeInstance, const char* group, char* reply,
                         unsigned size) {
  host::DdeState& state = host::Dde();
  const bool fails = host::InjectedFailure(host::Fault::kDde);
  const bool answered =
      !state.refuse && !fails && state.answerRequests && size > 0;
  if (size > 0) reply[0] = '\0';
  if (answered) {
    const size_t length =
        state.groupReply.size() < size - 1 ? state.groupReply.size() : size - 1;
    memcpy(reply, state.groupReply.data(), length);
    reply[length] = '\0';
  }
  host::Record(host::DdeEvent::kRequest, group, nullptr, answered ? 1 : 0);
  return answered;
}

void DdeUninitializeClient(DdeInstance) {
  host::Record(host::DdeEvent::kUninitialize, "", nullptr, 0);
}

void ActivateWindow(Window window) {
  host::Record(host::DdeEvent::kActivate, "", window, 0);
}

}  // namespace plat
