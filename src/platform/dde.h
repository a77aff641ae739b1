// The client side of the platform's DDE management library, as far as the
// Program Manager registration and its removal need it: a client-only
// instance, one execute command or one request per conversation with the
// server "PROGMAN", and putting MainWindow back in front after Program
// Manager has shown its group. The Windows build calls DDEML; the host
// records every command (host/host_dde.h) so their order can be checked.
//
// Implemented for setup.exe and uninstal.exe by
// src/install/win32/progman_dde.cpp; on the host by
// src/platform/host/host_dde.cpp.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace plat {

using DdeInstance = uint32_t;

constexpr unsigned kDmlErrNoError = 0;

// DdeInitializeA with a callback that answers 0 to every transaction and
// the flag APPCMD_CLIENTONLY alone; *instance must be 0 on entry. Returns
// 0 (DMLERR_NO_ERROR) when the instance is ready, a DMLERR_ code otherwise.
unsigned DdeInitializeClient(DdeInstance* instance);

// Sends command (NUL-terminated; sent with its terminator) to Program
// Manager in a conversation of its own: service and topic "PROGMAN" in
// CP_WINANSI, one synchronous XTYP_EXECUTE transaction in CF_TEXT with a
// time-out of 15000 ms, then the conversation is closed and the string
// handle freed. Returns 1 when the server accepted the command, 0 when no
// conversation could be opened, or the command was refused or timed out.
int SendProgmanCommand(DdeInstance instance, const char* command);

// Asks Program Manager for the contents of group in a conversation of its
// own: one synchronous XTYP_REQUEST in CF_TEXT whose item is the group's
// name, with the same time-out. Copies the reply into reply (at most
// size - 1 bytes and a terminator) and returns true; false, with reply
// empty, when no conversation could be opened or the request was refused
// or timed out.
bool RequestProgmanGroup(DdeInstance instance, const char* group, char* reply,
                         unsigned size);

// DdeUninitialize.
void DdeUninitializeClient(DdeInstance instance);

// Makes window the active window again (SetActiveWindow).
void ActivateWindow(Window window);

}  // namespace plat
