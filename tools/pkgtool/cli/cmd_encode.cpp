// pkgtool encode / decode: one raw stream (the 4-byte decoded size, then
// the coded bits) from and to a plain file, with the installer's encoder
// and decoder.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/memory.h"
#include "base/text.h"
#include "cli/commands.h"
#include "common/host_files.h"
#include "platform/host/host_control.h"
#include "stream/encoder.h"
#include "stream/lzhuf.h"
#include "stream/output.h"

namespace pkgtool {
namespace {

constexpr uint64_t kMaxStreamInput = 0xFFFFFFFFu;

// ---- encode
// ------------------------------------------------------------------

struct EncodeFiles {
  std::FILE* in;
  std::FILE* out;
  ProgressBar* bar;
  uint64_t done = 0;
  int readError = 0;  // errno of a failed read
};

long ReadInput(void* context, uint8_t* buffer, size_t count) {
  auto* files = static_cast<EncodeFiles*>(context);
  size_t n = std::fread(buffer, 1, count, files->in);
  if (n == 0 && std::ferror(files->in)) {
    files->readError = errno;
    return -1;
  }
  files->done += n;
  files->bar->Update(files->done);
  return static_cast<long>(n);
}

bool WriteStream(void* context, const uint8_t* bytes, size_t count) {
  auto* files = static_cast<EncodeFiles*>(context);
  return std::fwrite(bytes, 1, count, files->out) == count;
}

// A path as the report names it: "-" is a standard stream.
std::string Shown(const std::string& path, const char* stream) {
  return path == "-" ? stream : path;
}

std::string Ratio(uint64_t part, uint64_t whole) {
  if (whole == 0) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%.1f%%", 100.0 * part / whole);
  return text;
}

// Standard input copied into a temporary file, whose size the stream's
// prefix needs before the first byte is coded; null with *error.
std::FILE* SpoolStandardInput(std::string* error) {
  std::FILE* spool = std::tmpfile();
  if (spool == nullptr) {
    *error =
        "cannot make a temporary file for standard input: " + SystemError();
    return nullptr;
  }
  char block[64 * 1024];
  size_t n = 0;
  while ((n = std::fread(block, 1, sizeof block, stdin)) > 0) {
    if (std::fwrite(block, 1, n, spool) != n) {
      *error = "cannot keep standard input: " + SystemError();
      std::fclose(spool);
      return nullptr;
    }
  }
  if (std::ferror(stdin) || std::fflush(spool) != 0 ||
      std::fseek(spool, 0, SEEK_SET) != 0) {
    *error = "standard input: read error: " + SystemError();
    std::fclose(spool);
    return nullptr;
  }
  return spool;
}

// The input: IN, or standard input for "-" (kept in a temporary file to
// learn its size); false with the failure printed.
bool OpenEncodeInput(const Console& console, const std::string& inPath,
                     FileCloser* in, uint64_t* size) {
  std::string error;
  if (inPath == "-") {
    in->Reset(SpoolStandardInput(&error));
    if (in->get() == nullptr) {
      PrintError(console, error);
      return false;
    }
    std::fseek(in->get(), 0, SEEK_END);
    *size = static_cast<uint64_t>(std::ftell(in->get()));
    std::fseek(in->get(), 0, SEEK_SET);
    return true;
  }
  if (!FileSize(inPath, size, &error)) {
    PrintError(console, error);
    return false;
  }
  in->Reset(std::fopen(inPath.c_str(), "rb"));
  if (in->get() == nullptr) {
    PrintError(console, inPath + ": cannot open: " + SystemError());
    return false;
  }
  return true;
}

int RunEncode(const Args& args, const Console& console) {
  if (args.positional.size() != 2) {
    return UsageError(console, kEncodeCommand, "expected IN and OUT");
  }
  const std::string& inPath = args.positional[0];
  const std::string& outPath = args.positional[1];
  // "-": standard output carries the stream, standard error the report.
  const bool toStdout = outPath == "-";
  uint64_t size = 0;
  FileCloser in(nullptr);
  if (!OpenEncodeInput(console, inPath, &in, &size)) return kExitFailure;
  if (size > kMaxStreamInput) {
    PrintError(console, inPath + ": " + std::to_string(size) +
                            " bytes; a stream holds at most " +
                            std::to_string(kMaxStreamInput));
    return kExitFailure;
  }
  FileCloser out(toStdout ? nullptr : std::fopen(outPath.c_str(), "wb"));
  if (!toStdout && out.get() == nullptr) {
    PrintError(console, outPath + ": cannot create: " + SystemError());
    return kExitFailure;
  }
  ProgressBar bar(console, size);
  bar.SetLabel(BaseName(inPath));
  EncodeFiles files{in.get(), toStdout ? console.out : out.get(), &bar};
  EncodeIo io{ReadInput, &files, WriteStream, &files};
  uint64_t streamSize = 0;
  const MatchParse parse =
      args.Has("best") ? MatchParse::kBest : MatchParse::kLazy;
  EncodeResult result =
      EncodeStream(io, static_cast<uint32_t>(size), &streamSize, parse);
  bar.Finish();
  std::string error;
  switch (result) {
    case EncodeResult::kOk:
      break;
    case EncodeResult::kReadFailed:
      error = inPath + ": read error: " + std::strerror(files.readError);
      break;
    case EncodeResult::kInputShort:
      error = inPath + ": ended before its " + std::to_string(size) +
              " bytes (did it change while being read?)";
      break;
    case EncodeResult::kWriteFailed:
      error = outPath + ": write error: " + SystemError();
      break;
    case EncodeResult::kNoMemory:
      error = "not enough memory for the encoder";
      break;
  }
  if (error.empty() &&
      !(toStdout ? std::fflush(console.out) == 0 : out.Close())) {
    error = outPath + ": write error: " + SystemError();
  }
  if (!error.empty()) {
    out.Close();
    if (!toStdout) std::remove(outPath.c_str());
    PrintError(console, error);
    return kExitFailure;
  }
  std::fprintf(toStdout ? console.err : console.out,
               "%s: %llu bytes -> %s: %llu bytes (%s)\n",
               Shown(inPath, "standard input").c_str(),
               static_cast<unsigned long long>(size),
               Shown(outPath, "standard output").c_str(),
               static_cast<unsigned long long>(streamSize),
               Ratio(streamSize, size).c_str());
  return kExitOk;
}

// ---- decode
// ------------------------------------------------------------------

// The decoder's byte source over a raw stream file, read in large blocks.
struct RawSource {
  int fd;
  uint8_t buffer[64 * 1024];
  size_t position = 0;
  size_t length = 0;
  unsigned endReads = 0;  // -1 results given
  uint64_t read = 0;      // bytes read from fd
  bool failed = false;
  int savedErrno = 0;
};

int ReadRawByte(void* context) {
  auto* source = static_cast<RawSource*>(context);
  if (source->position < source->length)
    return source->buffer[source->position++];
  if (source->failed) return -2;
  if (source->endReads == 0) {
    ssize_t n;
    do {
      n = ::read(source->fd, source->buffer, sizeof source->buffer);
    } while (n < 0 && errno == EINTR);
    if (n > 0) {
      source->read += static_cast<uint64_t>(n);
      source->position = 1;
      source->length = static_cast<size_t>(n);
      return source->buffer[0];
    }
    if (n < 0) {
      source->failed = true;
      source->savedErrno = errno;
      return -2;
    }
  }
  ++source->endReads;
  return -1;
}

struct RawSink {
  int fd;
  ProgressBar* bar;
  std::FILE* stream = nullptr;  // standard output, in place of fd
  uint64_t written = 0;
};

long WriteRaw(void* context, const uint8_t* bytes, long count) {
  auto* sink = static_cast<RawSink*>(context);
  long done = 0;
  if (sink->stream != nullptr) {
    done = static_cast<long>(
        std::fwrite(bytes, 1, static_cast<size_t>(count), sink->stream));
    if (done == 0) return plat::kIoError;
  }
  while (done < count) {
    ssize_t n =
        ::write(sink->fd, bytes + done, static_cast<size_t>(count - done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return done > 0 ? done : plat::kIoError;
    }
    done += n;
  }
  sink->written += static_cast<uint64_t>(done);
  sink->bar->SetTotal(Decoder.size);
  sink->bar->Update(sink->written);
  return done;
}

// Closes a descriptor when the holder goes.
struct FdCloser {
  int fd;
  ~FdCloser() {
    if (fd >= 0) ::close(fd);
  }
};

// What went wrong in a decode that ended with result; "" when nothing did.
std::string DecodeFault(ResultCode result, const RawSource& source,
                        const std::vector<std::string>& problems,
                        const std::string& inPath) {
  if (result == kResultNoMemory) {
    return "not enough memory for the output buffer";
  }
  if (source.failed) {
    return inPath + ": read error: " + std::strerror(source.savedErrno);
  }
  if (result != kResultOk) {
    return problems.empty()
               ? inPath + ": shorter than the 4-byte size prefix (" +
                     std::to_string(source.read) + " bytes)"
               : problems.front();
  }
  if (source.endReads > 2) {
    return inPath +
           ": the stream ends early: " + std::to_string(source.endReads) +
           " bytes were missing and decoded as zero bits";
  }
  if (Decoder.count != Decoder.size) {
    return inPath + ": the stream yields " + std::to_string(Decoder.count) +
           " bytes, its size prefix says " + std::to_string(Decoder.size);
  }
  return std::string();
}

int RunDecode(const Args& args, const Console& console) {
  if (args.positional.size() != 2) {
    return UsageError(console, kDecodeCommand, "expected IN and OUT");
  }
  const std::string& inPath = args.positional[0];
  const std::string& outPath = args.positional[1];
  // "-": standard input, and standard output for the file (the report goes
  // to standard error then).
  const bool fromStdin = inPath == "-";
  const bool toStdout = outPath == "-";
  std::string lookError;
  if (!fromStdin && (IsDirectory(inPath, &lookError) || !lookError.empty())) {
    PrintError(console,
               lookError.empty() ? inPath + ": is a directory" : lookError);
    return kExitFailure;
  }
  static RawSource source;  // 64 KiB: kept off the stack
  source = RawSource();
  source.fd = fromStdin ? ::dup(STDIN_FILENO)
                        : ::open(inPath.c_str(), O_RDONLY | O_CLOEXEC);
  FdCloser inCloser{source.fd};
  if (source.fd < 0) {
    PrintError(console, inPath + ": cannot open: " + SystemError());
    return kExitFailure;
  }
  int outFd = toStdout ? ::open("/dev/null", O_WRONLY | O_CLOEXEC)
                       : ::open(outPath.c_str(),
                                O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  FdCloser outCloser{outFd};
  if (outFd < 0) {
    PrintError(console, outPath + ": cannot create: " + SystemError());
    return kExitFailure;
  }

  ProgressBar bar(console, 0);
  RawSink sink{outFd, &bar, toStdout ? console.out : nullptr};
  std::vector<std::string> problems;
  host::SetResponder([&](const host::Box& box) {
    const int cause = host::TakeLastError();
    problems.push_back(
        (Output.Showing == kResultDiskFull ? outPath + ": disk full"
                                           : box.text) +
        (cause != 0 ? std::string(" (") + std::strerror(cause) + ")" : ""));
    return (box.type & 0x0F) == plat::kMbOk ? plat::kIdOk : plat::kIdCancel;
  });
  ResetOutput();
  Output.OutputBuffer = static_cast<uint8_t*>(
      AllocLocked(kOutputBufferSize, &Output.OutputMemory));
  Output.OutputHandle = plat::kFileError;
  Output.WriteHook = WriteRaw;
  Output.WriteContext = &sink;
  CopyText(Output.TargetPath, kPathSize, outPath.c_str());
  ResultCode result = kResultNoMemory;
  if (Output.OutputBuffer != nullptr) {
    SetDecodeSource(ReadRawByte, &source);
    result = DecodeStream();
    SetDecodeSource(nullptr, nullptr);
  }
  FreeLocked(&Output.OutputMemory);
  ResetOutput();
  host::SetResponder(nullptr);
  bar.Finish();

  std::string error = DecodeFault(result, source, problems, inPath);
  if (error.empty() &&
      (::close(outFd) != 0 || (toStdout && std::fflush(console.out) != 0))) {
    error = outPath + ": write error: " + SystemError();
  }
  outCloser.fd = -1;
  if (!error.empty()) {
    if (toStdout) {
      PrintError(console, error);
    } else {
      std::remove(outPath.c_str());
      PrintError(console, error + " (" + outPath + " removed)");
    }
    return kExitFailure;
  }
  std::fprintf(toStdout ? console.err : console.out,
               "%s: %llu bytes -> %s: %llu bytes\n",
               Shown(inPath, "standard input").c_str(),
               static_cast<unsigned long long>(source.read),
               Shown(outPath, "standard output").c_str(),
               static_cast<unsigned long long>(sink.written));
  return kExitOk;
}

}  // namespace

const Command kEncodeCommand = {
    "encode",
    "compress a file into one raw stream",
    "Usage: pkgtool encode [--best] IN OUT\n"
    "\n"
    "Writes OUT as one LZHUF stream of IN: its decoded size (4 bytes,\n"
    "little-endian), then the coded bits, as the installer decodes them.\n"
    "IN may hold at most 4294967295 bytes. \"-\" as IN is standard input, as\n"
    "OUT standard output (the report then goes to standard error).\n"
    "\n"
    "Options:\n"
    "  --best       compress harder (optimal parsing): a few percent\n"
    "               smaller; any decoder reads the stream\n"
    "  -q, --quiet  no progress bar\n"
    "\n"
    "Exit status: 0 OUT written, 1 a failure (OUT removed), 2 usage error.\n"
    "\n"
    "Examples:\n"
    "  Compress a file as hard as possible:\n"
    "    pkgtool encode --best LEVEL1.DAT level1.lz\n",
    {{"best", 0, false}},
    RunEncode,
};

const Command kDecodeCommand = {
    "decode",
    "decompress one raw stream into a file",
    "Usage: pkgtool decode IN OUT\n"
    "\n"
    "Decodes the raw LZHUF stream IN (4-byte size, then the coded bits) with\n"
    "the installer's decoder and writes OUT. Fails, removing OUT, when IN is\n"
    "shorter than its size prefix, ends early or yields another size than\n"
    "the prefix states. \"-\" as IN is standard input, as OUT standard\n"
    "output (the report then goes to standard error).\n"
    "\n"
    "Options:\n"
    "  -q, --quiet  no progress bar\n"
    "\n"
    "Exit status: 0 OUT written, 1 a failure (OUT removed), 2 usage error.\n"
    "\n"
    "Examples:\n"
    "  Check that a stream decodes to the file it was made from:\n"
    "    pkgtool decode level1.lz - | cmp - LEVEL1.DAT\n",
    {},
    RunDecode,
};

}  // namespace pkgtool
