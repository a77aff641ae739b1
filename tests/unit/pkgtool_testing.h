// Helpers for pkgtool's tests: running pkgtool in-process with its output
// captured or in a child process that is cut short, deterministic test
// data, and a minimal PE image with a version resource.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "common/floppy.h"
#include "common/host_files.h"
#include "test_seed.h"
#include "test_support.h"

namespace pkgtool_testing {

// The file system helpers, for tests that need no cause: a path that cannot
// be looked at fails the test.
inline bool IsDir(const std::string& path) {
  std::string error;
  const bool yes = pkgtool::IsDirectory(path, &error);
  EXPECT_EQ(error, "");
  return yes;
}
inline bool SizeOf(const std::string& path, uint64_t* size) {
  std::string error;
  return pkgtool::FileSize(path, size, &error);
}
inline std::vector<std::string> Listing(const std::string& path) {
  std::vector<std::string> names;
  std::string error;
  EXPECT_TRUE(pkgtool::ListDirectory(path, &names, &error)) << error;
  return names;
}
inline bool IsImage(const std::string& path) {
  std::string error;
  const bool yes = pkgtool::IsFloppyImage(path, &error);
  EXPECT_EQ(error, "");
  return yes;
}

struct ToolRun {
  int code = -1;
  std::string out;  // what went to stdout
  std::string err;  // what went to stderr
};

// Runs `pkgtool args...` in this process, no progress bar; self is where
// pkgtool's program lies ("": unknown).
inline ToolRun RunTool(const std::vector<std::string>& args,
                       const std::string& self = "") {
  ToolRun run;
  char* outText = nullptr;
  char* errText = nullptr;
  size_t outSize = 0, errSize = 0;
  std::FILE* out = open_memstream(&outText, &outSize);
  std::FILE* err = open_memstream(&errText, &errSize);
  pkgtool::Console console;
  console.out = out;
  console.err = err;
  console.progress = false;
  console.self = self;
  run.code = pkgtool::RunPkgtool(args, console);
  std::fclose(out);
  std::fclose(err);
  run.out.assign(outText, outSize);
  run.err.assign(errText, errSize);
  std::free(outText);
  std::free(errText);
  return run;
}

// Runs `pkgtool args...` in a child process and returns its wait status.
// The child first calls prepare (when given: a file-size limit, say). With
// a trigger, its progress bar is on and the child sends itself signal the
// nth time the bar shows trigger (the first is the label alone, later ones
// show progress within it).
inline int RunToolInChild(const std::vector<std::string>& args,
                          void (*prepare)(), const std::string& trigger = "",
                          int signal = 0, int nth = 2) {
  std::fflush(nullptr);
  pid_t child = fork();
  if (child == 0) {
    struct Trigger {
      std::string text;
      int signal;
      int left;
    };
    static Trigger state;
    state = Trigger{trigger, signal, nth};
    cookie_io_functions_t io = {};
    io.write = [](void* cookie, const char* text, size_t size) -> ssize_t {
      auto* wanted = static_cast<Trigger*>(cookie);
      if (!wanted->text.empty() &&
          std::string(text, size).find(wanted->text) != std::string::npos &&
          --wanted->left == 0) {
        std::raise(wanted->signal);
      }
      return static_cast<ssize_t>(size);
    };
    if (prepare != nullptr) prepare();
    pkgtool::Console console;
    console.out = fopencookie(&state, "w", io);
    console.err = fopencookie(&state, "w", io);
    console.progress = !trigger.empty();
    _exit(pkgtool::RunPkgtool(args, console));
  }
  int status = -1;
  waitpid(child, &status, 0);
  return status;
}

// The seed of a random pkgtool test (test_seed.h).
inline uint32_t TestSeed() { return TestSeedOr(20261207u); }

// size bytes that compress somewhat: runs of repeated words and noise.
inline Bytes SampleBytes(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  static const char* kWords[] = {"quest ",   "level ", "dragon ",
                                 "\x01\x02", "tile ",  "\xff\xfe\xfd"};
  Bytes data;
  data.reserve(size);
  while (data.size() < size) {
    if (random() % 4 == 0) {
      data.push_back(static_cast<uint8_t>(random()));
    } else {
      const char* word = kWords[random() % 6];
      for (const char* p = word; *p != '\0' && data.size() < size; ++p) {
        data.push_back(static_cast<uint8_t>(*p));
      }
    }
  }
  return data;
}

inline void PutU16(Bytes* out, size_t at, uint32_t value) {
  (*out)[at] = static_cast<uint8_t>(value);
  (*out)[at + 1] = static_cast<uint8_t>(value >> 8);
}

inline void PutU32(Bytes* out, size_t at, uint32_t value) {
  PutU16(out, at, value & 0xFFFF);
  PutU16(out, at + 2, value >> 16);
}

// A minimal PE32 (or PE32+) image: one .rsrc section holding a version
// resource (type 16, id 1, language 0x409) with the given file version.
inline Bytes MakePeImage(uint32_t versionMs, uint32_t versionLs,
                         bool pe32plus = false) {
  const size_t pe = 0x40;
  const size_t optionalSize = pe32plus ? 240 : 224;
  const size_t sections = pe + 24 + optionalSize;
  const size_t raw = 0x200;
  const uint32_t rva = 0x1000;
  const size_t versionSize = 92;
  Bytes image(raw + 0x58 + versionSize, 0);
  image[0] = 'M';
  image[1] = 'Z';
  PutU32(&image, 0x3C, pe);
  image[pe] = 'P';
  image[pe + 1] = 'E';
  PutU16(&image, pe + 4, pe32plus ? 0x8664 : 0x14C);
  PutU16(&image, pe + 6, 1);  // one section
  PutU16(&image, pe + 20, static_cast<uint32_t>(optionalSize));
  const size_t optional = pe + 24;
  PutU16(&image, optional, pe32plus ? 0x20B : 0x10B);
  const size_t count = optional + (pe32plus ? 108 : 92);
  const size_t directories = optional + (pe32plus ? 112 : 96);
  PutU32(&image, count, 16);
  PutU32(&image, directories + 16, rva);  // the resource directory
  PutU32(&image, directories + 20, static_cast<uint32_t>(0x58 + versionSize));
  image[sections] = '.';
  image[sections + 1] = 'r';
  PutU32(&image, sections + 8, static_cast<uint32_t>(0x58 + versionSize));
  PutU32(&image, sections + 12, rva);
  PutU32(&image, sections + 16, static_cast<uint32_t>(0x58 + versionSize));
  PutU32(&image, sections + 20, raw);
  // Type 16 -> name 1 -> language 0x409 -> data entry.
  PutU16(&image, raw + 14, 1);
  PutU32(&image, raw + 16, 16);
  PutU32(&image, raw + 20, 0x80000000u | 0x18);
  PutU16(&image, raw + 0x18 + 14, 1);
  PutU32(&image, raw + 0x18 + 16, 1);
  PutU32(&image, raw + 0x18 + 20, 0x80000000u | 0x30);
  PutU16(&image, raw + 0x30 + 14, 1);
  PutU32(&image, raw + 0x30 + 16, 0x409);
  PutU32(&image, raw + 0x30 + 20, 0x48);
  PutU32(&image, raw + 0x48, rva + 0x58);
  PutU32(&image, raw + 0x48 + 4, static_cast<uint32_t>(versionSize));
  // VS_VERSIONINFO: header, key, padding, VS_FIXEDFILEINFO.
  const size_t info = raw + 0x58;
  PutU16(&image, info, static_cast<uint32_t>(versionSize));
  PutU16(&image, info + 2, 52);
  const char key[] = "VS_VERSION_INFO";
  for (size_t i = 0; i < sizeof key; ++i) {
    PutU16(&image, info + 6 + 2 * i, static_cast<uint8_t>(key[i]));
  }
  PutU32(&image, info + 40, 0xFEEF04BDu);
  PutU32(&image, info + 44, 0x10000);
  PutU32(&image, info + 48, versionMs);
  PutU32(&image, info + 52, versionLs);
  return image;
}

// Writes a manifest file into dir and returns its path.
inline std::string WriteManifest(const TempDir& dir, const std::string& text,
                                 const std::string& name = "test.manifest") {
  std::string path = dir.Make(name);
  WriteFile(path, text);
  return path;
}

}  // namespace pkgtool_testing
