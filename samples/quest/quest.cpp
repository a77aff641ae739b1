// Quest, the program file of the bundled sample product: a tiny Win32 game
// whose only trick is to show which graphics driver the installer chose.
//
// The installer keeps the choice in tarny.ini in the Windows directory,
// section "setup", key "grmf": 0x20 selects the optimised driver (it wins
// over 0x40), 0x40 the WinG driver, neither the standard driver. The value
// 100 stands for "not set", which the installer's default 35 replaces. The
// driver's name comes from the shared library QUESTGFX.DLL, which the
// installer places in the system directory; without it the game says so.
#include <windows.h>

namespace {

constexpr int kUnset = 100;
constexpr int kDefaultFlags = 35;

using DriverNameFunction = const char* (*)(int flags);

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  int flags = static_cast<int>(
      GetPrivateProfileIntA("setup", "grmf", kUnset, "tarny.ini"));
  bool set = flags != kUnset;
  if (!set) flags = kDefaultFlags;

  const char* driver = nullptr;
  HMODULE library = LoadLibraryA("QUESTGFX.DLL");
  if (library != nullptr) {
    auto name = reinterpret_cast<DriverNameFunction>(
        reinterpret_cast<void*>(GetProcAddress(library, "QuestGfxDriverName")));
    if (name != nullptr) driver = name(flags);
  }

  char text[256];
  if (driver == nullptr) {
    wsprintfA(text,
              "QUESTGFX.DLL is missing or damaged: Quest cannot choose its "
              "graphics driver (grmf=%d).",
              flags);
    MessageBoxA(nullptr, text, "Quest", MB_OK | MB_ICONEXCLAMATION);
  } else {
    wsprintfA(text, "Graphics driver: %s\n(grmf=%d%s)", driver, flags,
              set ? "" : ", not set: the default");
    MessageBoxA(nullptr, text, "Quest", MB_OK | MB_ICONINFORMATION);
  }
  if (library != nullptr) FreeLibrary(library);
  return 0;
}
