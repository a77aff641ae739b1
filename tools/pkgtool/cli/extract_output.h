// Where pkgtool extract puts a file: the destination drive that stands for
// DEST, a record's place below it and its directories, and the sink the
// installer's output writer writes through.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "common/console.h"
#include "platform/platform.h"
#include "read/media.h"

namespace pkgtool {

// Drive letter that stands for the destination directory.
constexpr char kDestDrive = 'X';
// What a file is called while it is being written beside its place.
constexpr char kPartSuffix[] = ".pkgtool-part";

// The output writer's platform write, to a file descriptor or a stream,
// moving the bar as the output grows.
struct Sink {
  plat::HFile file = plat::kFileError;  // the file being written, or
  std::FILE* stream = nullptr;          // standard output
  ProgressBar* bar = nullptr;
  uint64_t base = 0;  // bytes of the records before this one
  uint64_t written = 0;
};

// The output writer's write hook over a Sink.
long WriteToSink(void* context, const uint8_t* bytes, long count);

// The host path of a record's file below the destination drive (existing
// directories found without regard to case); "" when its name is refused,
// with *why.
std::string TargetPath(const MediaRecord& record, std::string* dos,
                       std::vector<std::string>* components, std::string* why);

// Creates the directories of components[0 .. n-2] below the destination
// drive; false with *error.
bool PrepareDirectories(const std::vector<std::string>& components,
                        std::string* error);

}  // namespace pkgtool
