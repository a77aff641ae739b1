// The graphics-mode setting: the one value the installer keeps between runs,
// shared with the installed product through the settings file.
//
// The file is tarny.ini in the Windows directory (the bare name is given to
// the private-profile functions), section "setup", key "grmf", the value as
// signed decimal text. Its bits:
//   0x20  optimised driver (takes precedence over 0x40)
//   0x40  WinG driver
//   neither: the standard Windows driver
//   0x0F  the product's own settings, kept through a change of mode
//   every other bit is cleared when the user confirms a mode.
// A missing file or key, and a stored value of exactly 100, read as absent:
// GraphicsModeFlags then takes the default 35 and SettingsPresent is 0.
#pragma once

constexpr char kSettingsFile[] = "tarny.ini";
constexpr char kSettingsSection[] = "setup";
constexpr char kSettingsKey[] = "grmf";
constexpr int kSettingsAbsent = 100;      // the default given to the reader
constexpr int kDefaultGraphicsMode = 35;  // optimised, low bits 3

constexpr int kModeOptimised = 0x20;
constexpr int kModeWinG = 0x40;
constexpr int kModeProductBits = 0x0F;

// The three radio buttons of the graphics-mode dialog (template 403).
enum GraphicsModeChoice {
  kChoiceOptimised = 101,
  kChoiceStandard = 102,
  kChoiceWinG = 103,
};

// Set once by ReadSettings; GraphicsModeFlags changes afterwards only
// through OK in the graphics-mode dialog, SettingsPresent never.
extern int GraphicsModeFlags;
extern int SettingsPresent;

// Clears both to the state before ReadSettings (for tests).
void ResetSettings();

// Reads "grmf" with the default 100 and sets GraphicsModeFlags and
// SettingsPresent as described above. Nothing is reported.
void ReadSettings();

// Formats value with "%d" into a 16-byte buffer and stores it under
// section and key of file. A failed write goes unnoticed.
void WriteSettingsInt(const char* section, const char* key, int value,
                      const char* file);

// WriteSettingsInt("setup", "grmf", GraphicsModeFlags, "tarny.ini").
void WriteGraphicsMode();

// Whether the welcome dialog offers "Change Graphic Driver": only when the
// settings were present.
bool ChangeDriverOffered();

// The radio button that shows flags: 0x20 gives optimised, otherwise 0x40
// gives WinG, otherwise standard.
GraphicsModeChoice GraphicsModeShown(int flags);

// The flags stored when the user confirms choice: the low four bits of
// flags kept, every other bit cleared, then 0x20 for optimised or 0x40 for
// WinG added.
int GraphicsModeConfirmed(int flags, GraphicsModeChoice choice);
