// The package manifest: what pkgtool build makes media from. An INI-like
// text file in UTF-8 (MANIFEST.md describes it for the people who write one):
//
//   ; Quest, the sample game
//   [package]
//   programFile = QUEST.EXE
//   title = Quest
//   kind = game
//   diskSize = 360K
//   installerReserve = 120K
//   codepage = 1252
//
//   [files]
//   QUEST.EXE = bin/quest.exe
//   DATA\LEVEL1.DAT = data/level1.dat
//   QUESTGFX.DLL = bin/questgfx.dll, shared
//   README.TXT = README.TXT, noInstall
//   DOC\ = ${SRC}/docs
//
// programFile and title are required; kind is game (the default) or
// controlpanel; diskSize is in bytes with an optional K or M suffix, one
// disk when absent. Each [files] line is "target name = source[, flag]...".
// Sources are relative to the manifest's directory; ${NAME} in a target or
// a value is replaced by a variable given on the command line (-D
// NAME=VALUE). A target ending in '\' takes every regular file below a
// directory, the files a glob pattern matches, or one file under its own
// name. programFile, title and the target names are stored in a Windows
// code page (setup.exe is an ANSI program): the parser converts them and
// counts their limits in the converted bytes.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace pkgtool {

struct FloppyFormat;

// Volumes are addressed with signed 32-bit seeks by the installer, so no
// disk holds more than this.
constexpr uint64_t kMaxDiskSize = 0x7FFFFFFF;
constexpr uint64_t kMinDiskSize = 1024;
constexpr size_t kMaxTitle = 79;
constexpr size_t kMaxProgramFile = 259;

enum class PackageKind { kGame, kControlPanel };

struct ManifestFile {
  int line = 0;            // where the manifest names it
  std::string target;      // name on the user's disk, in the code page
  std::string utf8Target;  // the same as the manifest writes it
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
  unsigned codepage = 1252;  // of programFile, title and the targets
  std::string programFile;   // in the code page, as the descriptor holds it
  std::string title;
  std::string utf8ProgramFile;  // the same as the manifest writes them
  std::string utf8Title;
  int programFileLine = 0;
  PackageKind kind = PackageKind::kGame;
  uint64_t diskSize = kMaxDiskSize;  // as large as a volume may be
  bool diskSizeGiven = false;        // diskSize set by the manifest
  // A floppy format (floppy.h): each disk then holds what that floppy's
  // FAT12 file system holds, files rounded up to whole clusters; null for
  // diskSize's raw bytes.
  const FloppyFormat* diskFormat = nullptr;
  uint64_t installerReserve = 0;
  bool best = false;  // the streams encoded with optimal parsing
  std::vector<ManifestFile> files;
  // What is passed over but likely a mistake (a link that leads nowhere),
  // as "path:line: what"; the build goes on.
  std::vector<std::string> warnings;
};

using Variables = std::map<std::string, std::string>;

// Parses text, the content of the manifest at path (UTF-8, with or without
// a byte order mark). Every line is checked whole, and every problem found
// is appended to *errors as "path:line: what is wrong" (or "path: ..." for
// something missing), in the order of the lines, and its line to *lines
// when given (INT_MAX for what stands on no line); true when there was
// none. *manifest keeps every file line that names a source, so that the
// sources can be checked too (PrepareFiles) and reported in the same run.
// The texts are stored in codepage when it is not 0 (build --codepage),
// else in the manifest's own codepage, else in 1252. Directory and glob
// sources are looked up on the host.
bool ParseManifest(const std::string& text, const std::string& path,
                   const Variables& variables, Manifest* manifest,
                   std::vector<std::string>* errors, unsigned codepage = 0,
                   std::vector<int>* lines = nullptr);

// Reads the file at path and parses it.
bool LoadManifest(const std::string& path, const Variables& variables,
                  Manifest* manifest, std::vector<std::string>* errors,
                  unsigned codepage = 0, std::vector<int>* lines = nullptr);

// "360K", "1M", "150000": bytes (K = 1024, M = 1048576, optional "B").
bool ParseByteSize(const std::string& text, uint64_t* bytes);

// "a.b.c.d" (one to four parts, each 0 to 65535, missing parts 0) as the
// two version words: a.b in the high, c.d in the low one.
bool ParseVersion(const std::string& text, uint32_t* versionMs,
                  uint32_t* versionLs);

// "a.b.c.d" from the two words.
std::string FormatVersion(uint32_t versionMs, uint32_t versionLs);

}  // namespace pkgtool
