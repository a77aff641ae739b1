// Controls of the DDE client on Linux (platform/dde.h): every call is
// recorded, so a test sees the commands in the order they were sent and
// where MainWindow was activated; initialisation can be made to fail, the
// server to refuse commands and to answer a request for a group.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace host {

struct DdeEvent {
  enum Kind { kInitialize, kCommand, kRequest, kActivate, kUninitialize } kind;
  std::string command;  // kCommand: the text sent; kRequest: the group
  plat::Window window;  // kActivate: the window made active
  int result;  // kInitialize: the code returned; kCommand, kRequest: 1 or 0
};

// Forgets the record and the faults.
void ResetDde();
const std::vector<DdeEvent>& DdeEvents();
// The commands sent, in order.
std::vector<std::string> DdeCommands();
// DdeInitializeClient fails (DMLERR_SYS_ERROR).
void FailDdeInitialize();
// No server answers: every command gives 0.
void RefuseDdeCommands();
// A request for a group's contents is answered with reply from now on; by
// default, and after ResetDde, it is refused.
void AnswerGroupRequests(const std::string& reply);

}  // namespace host
