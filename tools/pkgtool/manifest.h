// The package manifest: what pkgtool build makes media from. An INI-like
// text file (MANIFEST.md describes it for the people who write one):
//
//   ; Quest, the sample game
//   [package]
//   programFile = QUEST.EXE
//   title = Quest
//   kind = game
//   diskSize = 360K
//   installerReserve = 120K
//
//   [files]
//   QUEST.EXE = bin/quest.exe
//   DATA\LEVEL1.DAT = data/level1.dat
//   QUESTGFX.DLL = bin/questgfx.dll, shared
//   README.TXT = README.TXT, noInstall
//
// programFile and title are required (the title at most 79 characters);
// kind is game (the default) or controlpanel; diskSize is in bytes with an
// optional K or M suffix, one disk when absent. Each [files] line is
// "target name = source[, flag]...". Sources are
// relative to the manifest's directory; ${NAME} in a value is replaced by a
// variable given on the command line (-D NAME=VALUE).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace pkgtool {

// Volumes are addressed with signed 32-bit seeks by the installer, so no
// disk holds more than this.
constexpr uint64_t kMaxDiskSize = 0x7FFFFFFF;
constexpr uint64_t kMinDiskSize = 1024;
constexpr size_t kMaxTitle = 79;
constexpr size_t kMaxProgramFile = 259;

enum class PackageKind { kGame, kControlPanel };

struct ManifestFile {
  int line = 0;            // where the manifest names it
  std::string target;      // name on the user's disk
  std::string source;      // as written, variables replaced
  std::string sourcePath;  // host path: source against the manifest's dir
  bool shared = false;
  bool noInstall = false;
  bool hasVersion = false;  // version= given (else read from the file)
  uint32_t versionMs = 0;
  uint32_t versionLs = 0;
};

struct Manifest {
  std::string path;
  std::string programFile;
  std::string title;
  PackageKind kind = PackageKind::kGame;
  uint64_t diskSize = kMaxDiskSize;  // as large as a volume may be
  uint64_t installerReserve = 0;
  std::vector<ManifestFile> files;
};

using Variables = std::map<std::string, std::string>;

// Parses text, the content of the manifest at path. Every problem found is
// appended to *errors as "path:line: what is wrong" (or "path: ..." for
// something missing); true when there was none.
bool ParseManifest(const std::string& text, const std::string& path,
                   const Variables& variables, Manifest* manifest,
                   std::vector<std::string>* errors);

// Reads the file at path and parses it.
bool LoadManifest(const std::string& path, const Variables& variables,
                  Manifest* manifest, std::vector<std::string>* errors);

// "360K", "1M", "150000": bytes (K = 1024, M = 1048576, optional "B").
bool ParseByteSize(const std::string& text, uint64_t* bytes);

// "a.b.c.d" (one to four parts, each 0 to 65535, missing parts 0) as the
// two version words: a.b in the high, c.d in the low one.
bool ParseVersion(const std::string& text, uint32_t* versionMs,
                  uint32_t* versionLs);

// "a.b.c.d" from the two words.
std::string FormatVersion(uint32_t versionMs, uint32_t versionLs);

}  // namespace pkgtool
