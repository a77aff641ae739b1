// QUESTGFX.DLL, the sample product's shared library: names the graphics
// driver that a grmf value selects. It carries a version resource
// (questgfx.rc), so the package marks it shared and the installer replaces
// an installed copy only when that one is not newer.
#include <windows.h>

extern "C" __declspec(dllexport) const char* QuestGfxDriverName(int flags) {
  if (flags & 0x20) return "Optimised Driver";
  if (flags & 0x40) return "Microsoft WinG Driver";
  return "Standard Windows Driver";
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
