// The DDE client of the Windows build (platform/dde.h): DDEML, client side
// only, one conversation with "PROGMAN" per command or request.
#include <cstring>

#include "platform/dde.h"
#include "platform/win32/windows_api.h"
// DDEML needs the Windows types declared first.
#include <ddeml.h>

namespace {

constexpr DWORD kExecuteTimeoutMs = 15000;

// A client-only instance receives no transactions worth answering.
HDDEDATA CALLBACK DdeCallback(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR,
                              ULONG_PTR) {
  return nullptr;
}

}  // namespace

namespace plat {

unsigned DdeInitializeClient(DdeInstance* instance) {
  DWORD id = 0;
  const UINT code = DdeInitializeA(&id, DdeCallback, APPCMD_CLIENTONLY, 0);
  *instance = id;
  return code;
}

int SendProgmanCommand(DdeInstance instance, const char* command) {
  HSZ progman = DdeCreateStringHandleA(instance, "PROGMAN", CP_WINANSI);
  int accepted = 0;
  HCONV conversation = DdeConnect(instance, progman, progman, nullptr);
  if (conversation != nullptr) {
    // The text goes with its terminating NUL.
    HDDEDATA result = DdeClientTransaction(
        reinterpret_cast<LPBYTE>(const_cast<char*>(command)),
        static_cast<DWORD>(strlen(command) + 1), conversation, nullptr, CF_TEXT,
        XTYP_EXECUTE, kExecuteTimeoutMs, nullptr);
    accepted = result != nullptr ? 1 : 0;
    DdeDisconnect(conversation);
  }
  DdeFreeStringHandle(instance, progman);
  return accepted;
}

bool RequestProgmanGroup(DdeInstance instance, const char* group, char* reply,
                         unsigned size) {
  if (size == 0) return false;
  reply[0] = '\0';
  HSZ progman = DdeCreateStringHandleA(instance, "PROGMAN", CP_WINANSI);
  HSZ item = DdeCreateStringHandleA(instance, group, CP_WINANSI);
  bool answered = false;
  HCONV conversation = DdeConnect(instance, progman, progman, nullptr);
  if (conversation != nullptr && item != nullptr) {
    HDDEDATA data =
        DdeClientTransaction(nullptr, 0, conversation, item, CF_TEXT,
                             XTYP_REQUEST, kExecuteTimeoutMs, nullptr);
    if (data != nullptr) {
      const DWORD length =
          DdeGetData(data, reinterpret_cast<LPBYTE>(reply), size - 1, 0);
      reply[length < size ? length : size - 1] = '\0';
      DdeFreeDataHandle(data);
      answered = true;
    }
  }
  if (conversation != nullptr) DdeDisconnect(conversation);
  if (item != nullptr) DdeFreeStringHandle(instance, item);
  DdeFreeStringHandle(instance, progman);
  return answered;
}

void DdeUninitializeClient(DdeInstance instance) { DdeUninitialize(instance); }

void ActivateWindow(Window window) {
  SetActiveWindow(static_cast<HWND>(window));
}

}  // namespace plat
