// The graphics-mode setting and the settings file (see settings.h).
#include "ui/settings.h"

#include "base/text.h"
#include "platform/platform.h"

int GraphicsModeFlags = kDefaultGraphicsMode;
int SettingsPresent = 0;

void ResetSettings() {
  GraphicsModeFlags = kDefaultGraphicsMode;
  SettingsPresent = 0;
}

void ReadSettings() {
  const int value = static_cast<int>(plat::GetPrivateProfileInt(
      kSettingsSection, kSettingsKey, kSettingsAbsent, kSettingsFile));
  if (value == kSettingsAbsent) {
    GraphicsModeFlags = kDefaultGraphicsMode;
    SettingsPresent = 0;
  } else {
    GraphicsModeFlags = value;
    SettingsPresent = 1;
  }
}

void WriteSettingsInt(const char* section, const char* key, int value,
                      const char* file) {
  char text[16];
  FormatText(text, sizeof text, "%d", value);
  plat::WritePrivateProfileString(section, key, text, file);
}

void WriteGraphicsMode() {
  WriteSettingsInt(kSettingsSection, kSettingsKey, GraphicsModeFlags,
                   kSettingsFile);
}

bool ChangeDriverOffered() { return SettingsPresent == 1; }

GraphicsModeChoice GraphicsModeShown(int flags) {
  if ((flags & kModeOptimised) != 0) return kChoiceOptimised;
  if ((flags & kModeWinG) != 0) return kChoiceWinG;
  return kChoiceStandard;
}

int GraphicsModeConfirmed(int flags, GraphicsModeChoice choice) {
  const int kept = flags & kModeProductBits;
  switch (choice) {
    case kChoiceOptimised:
      return kept | kModeOptimised;
    case kChoiceWinG:
      return kept | kModeWinG;
    case kChoiceStandard:
      break;
  }
  return kept;
}
