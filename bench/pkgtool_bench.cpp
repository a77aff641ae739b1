// Encoding and decoding throughput, stream sizes and peak memory of
// pkgtool, against the targets:
//
//   encode --best  stream <= 0.97 x the greedy (published) encoder's
//   encode --best  >= 1 MB/s
//   extract  >= 1.5 x the plain stdio decoder (getc/putc), same stream
//   extract  within 10% of pkgtool decode on the same stream
//   extract, decode  peak resident memory < 8 MiB
//   build    peak resident memory < 64 MiB
//   build -jN (one job per processor) wall time <= 0.6 x build -j1's on
//            48 MiB, the media the same
//
// Three inputs of 8 MiB: a system binary, text (headers), and mixed data
// (16 KiB pieces in turn of the other two, of noise and of a table of
// fixed-width records). For each the benchmark runs `pkgtool encode` and
// `pkgtool encode --best` several times, and encodes the input greedily in
// this process (MatchParse::kGreedy, the published encoder's stream) to
// size the two streams against. For the binary and the text it then builds
// one-file media from the input, and runs, several times each, `pkgtool
// decode` on the raw stream, `pkgtool extract` on the media (descriptor,
// volume reader, decoder, output writer, file) and the stdio reference
// decoder in this process. Throughput is bytes of input (encoding) or
// output (decoding) per second of CPU time (user and system) of the best
// run, which a busy machine disturbs far less than wall time; memory is the
// child's ru_maxrss. Every output is compared with the input.
//
// Usage: pkgtool_bench [--pkgtool PATH] [--work DIR] [--runs N]
//                      [--binary FILE] [--text-dir DIR]
// Exit status: 0 when every target holds, 1 otherwise, 2 on a setup error.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "stdio_lzhuf.h"
#include "stream/encoder.h"

namespace {

namespace fs = std::filesystem;

constexpr uint64_t kInputSize = 8 * 1024 * 1024;
constexpr double kMiB = 1024.0 * 1024.0;

struct Options {
  std::string pkgtool;
  std::string work;
  int runs = 5;
  std::string binary;
  std::string textDir = "/usr/include";
};

struct Measure {
  double seconds = 0;  // best of the runs
  long peakKb = 0;     // largest ru_maxrss of the runs (children only)
  double wall = 0;     // the shortest wall time of the runs
};

double CpuSeconds(const struct rusage& usage) {
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// CPU time of this process so far.
double OwnCpu() {
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return CpuSeconds(usage);
}

double Now() {
  using Clock = std::chrono::steady_clock;
  return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
}

// Runs a program with its output discarded; returns its CPU time and peak
// resident size, or a negative time when it failed.
Measure RunChild(const std::vector<std::string>& args) {
  Measure measure;
  std::fflush(nullptr);  // nothing buffered may be written twice
  double start = Now();
  pid_t pid = fork();
  if (pid == 0) {
    int null = open("/dev/null", O_WRONLY);
    if (null >= 0) dup2(null, STDOUT_FILENO);
    std::vector<char*> argv;
    for (const std::string& arg : args) {
      argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  struct rusage usage;
  if (pid < 0 || wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) ||
      WEXITSTATUS(status) != 0) {
    measure.seconds = -1;
    return measure;
  }
  measure.wall = Now() - start;
  measure.seconds = CpuSeconds(usage);
  measure.peakKb = usage.ru_maxrss;
  return measure;
}

Measure Best(int runs, const std::vector<std::string>& args) {
  Measure best;
  best.seconds = 1e30;
  for (int i = 0; i < runs; ++i) {
    Measure m = RunChild(args);
    if (m.seconds < 0) {
      std::string line;
      for (const std::string& arg : args) line += arg + " ";
      std::fprintf(stderr, "pkgtool_bench: failed: %s\n", line.c_str());
      std::exit(2);
    }
    best.wall = i == 0 ? m.wall : std::min(best.wall, m.wall);
    best.seconds = std::min(best.seconds, m.seconds);
    best.peakKb = std::max(best.peakKb, m.peakKb);
  }
  return best;
}

bool SameFiles(const std::string& a, const std::string& b) {
  std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
  std::vector<char> ba(1 << 16), bb(1 << 16);
  while (fa && fb) {
    fa.read(ba.data(), static_cast<std::streamsize>(ba.size()));
    fb.read(bb.data(), static_cast<std::streamsize>(bb.size()));
    if (fa.gcount() != fb.gcount() ||
        std::memcmp(ba.data(), bb.data(), static_cast<size_t>(fa.gcount())) !=
            0) {
      return false;
    }
  }
  return fa.eof() && fb.eof();
}

// 8 MiB of a system binary: the first candidate large enough, sliced past
// its first MiB where it is long enough.
bool MakeBinaryInput(const Options& options, const std::string& path,
                     std::string* source) {
  std::vector<std::string> candidates;
  if (!options.binary.empty()) {
    candidates.push_back(options.binary);
  } else {
    candidates = {"/usr/bin/ctest", "/usr/bin/cmake", "/usr/bin/cpack"};
    std::vector<std::string> others;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/usr/bin", error)) {
      others.push_back(entry.path());
    }
    std::sort(others.begin(), others.end());
    candidates.insert(candidates.end(), others.begin(), others.end());
  }
  for (const std::string& candidate : candidates) {
    std::error_code error;
    if (!fs::is_regular_file(candidate, error)) continue;
    uint64_t size = fs::file_size(candidate, error);
    if (error || size < kInputSize) continue;
    uint64_t offset = std::min<uint64_t>(1024 * 1024, size - kInputSize);
    std::ifstream in(candidate, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    std::vector<char> data(kInputSize);
    in.read(data.data(), static_cast<std::streamsize>(data.size()));
    if (static_cast<uint64_t>(in.gcount()) != kInputSize) continue;
    std::ofstream out(path, std::ios::binary);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
    *source = candidate + " @" + std::to_string(offset);
    return static_cast<bool>(out);
  }
  return false;
}

// 8 MiB of text: the headers below a directory, in path order.
bool MakeTextInput(const Options& options, const std::string& path,
                   std::string* source) {
  std::vector<std::string> files;
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(
           options.textDir, fs::directory_options::skip_permission_denied,
           error);
       it != fs::recursive_directory_iterator(); it.increment(error)) {
    if (error) break;
    if (it->is_regular_file(error) && it->path().extension() == ".h") {
      files.push_back(it->path());
    }
  }
  std::sort(files.begin(), files.end());
  std::ofstream out(path, std::ios::binary);
  uint64_t written = 0;
  std::vector<char> block(1 << 16);
  for (const std::string& file : files) {
    std::ifstream in(file, std::ios::binary);
    while (written < kInputSize && in) {
      in.read(block.data(), static_cast<std::streamsize>(std::min<uint64_t>(
                                block.size(), kInputSize - written)));
      out.write(block.data(), in.gcount());
      written += static_cast<uint64_t>(in.gcount());
    }
    if (written == kInputSize) break;
  }
  *source = std::to_string(files.size()) + " headers below " + options.textDir;
  return written == kInputSize && static_cast<bool>(out);
}

// 8 MiB of mixed data: 16 KiB pieces taken in turn from the text, from the
// binary (its second half), from noise and from a table of 8-byte records
// (a counter, a small field, two fixed bytes).
bool MakeMixedInput(const std::string& text, const std::string& binary,
                    const std::string& path) {
  constexpr uint64_t kPiece = 16 * 1024;
  std::ifstream textIn(text, std::ios::binary);
  std::ifstream binaryIn(binary, std::ios::binary);
  binaryIn.seekg(static_cast<std::streamoff>(kInputSize / 2));
  std::ofstream out(path, std::ios::binary);
  std::vector<char> piece(kPiece);
  uint32_t noise = 2463534242u;
  uint32_t record = 0;
  for (uint64_t done = 0; done < kInputSize; done += kPiece) {
    switch (done / kPiece % 4) {
      case 0:
        textIn.read(piece.data(), kPiece);
        break;
      case 1:
        binaryIn.read(piece.data(), kPiece);
        break;
      case 2:
        for (char& byte : piece) {
          noise ^= noise << 13;
          noise ^= noise >> 17;
          noise ^= noise << 5;
          byte = static_cast<char>(noise >> 24);
        }
        break;
      default:
        for (uint64_t i = 0; i < kPiece; i += 8, ++record) {
          const uint32_t value = record * 37 + 100000;
          std::memcpy(&piece[i], &value, 4);
          piece[i + 4] = static_cast<char>(record % 7);
          piece[i + 5] = 0;
          piece[i + 6] = 0;
          piece[i + 7] = 1;
        }
        break;
    }
    out.write(piece.data(), kPiece);
  }
  return textIn && binaryIn && static_cast<bool>(out);
}

// The size of the greedy (published) encoder's stream of a file.
uint64_t GreedyStreamSize(const std::string& path) {
  std::FILE* in = std::fopen(path.c_str(), "rb");
  if (in == nullptr) return 0;
  EncodeIo io;
  io.read = [](void* context, uint8_t* buffer, size_t count) -> long {
    std::FILE* file = static_cast<std::FILE*>(context);
    const size_t n = std::fread(buffer, 1, count, file);
    return n == 0 && std::ferror(file) ? -1 : static_cast<long>(n);
  };
  io.readContext = in;
  io.write = [](void*, const uint8_t*, size_t) { return true; };
  io.writeContext = nullptr;
  uint64_t size = 0;
  const EncodeResult result =
      EncodeStream(io, kInputSize, &size, MatchParse::kGreedy);
  std::fclose(in);
  return result == EncodeResult::kOk ? size : 0;
}

double MBps(double seconds) { return kInputSize / kMiB / seconds; }

std::string Format(const char* format, ...)
    __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
  char text[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return text;
}

struct Verdict {
  int missed = 0;
  void Check(bool holds, const std::string& line) {
    std::printf("  target: %-40s %s\n", line.c_str(), holds ? "ok" : "MISSED");
    if (!holds) ++missed;
  }
};

// Encodes the input with pkgtool encode and encode --best (leaving the
// default stream in dir/stream) and prints their speed and size against
// the greedy encoder's.
int BenchEncode(const Options& options, const std::string& name,
                const std::string& input, const std::string& source,
                Verdict* verdict) {
  const std::string dir = options.work + "/" + name;
  fs::create_directories(dir);
  const std::string stream = dir + "/stream";
  const std::string best = dir + "/stream.best";
  const std::string& tool = options.pkgtool;
  Measure lazy = Best(options.runs, {tool, "--quiet", "encode", input, stream});
  Measure optimal =
      Best(options.runs, {tool, "--quiet", "encode", "--best", input, best});
  const uint64_t greedySize = GreedyStreamSize(input);
  if (greedySize == 0) {
    std::fprintf(stderr, "pkgtool_bench: cannot encode %s\n", input.c_str());
    return 2;
  }
  // The --best stream must decode like any other.
  std::FILE* in = std::fopen(best.c_str(), "rb");
  std::FILE* out = std::fopen((dir + "/best.decoded").c_str(), "wb");
  if (in == nullptr || out == nullptr) return 2;
  const int64_t count = bench::StdioDecode(in, out);
  std::fclose(in);
  std::fclose(out);
  if (count != static_cast<int64_t>(kInputSize) ||
      !SameFiles(input, dir + "/best.decoded")) {
    std::fprintf(stderr, "pkgtool_bench: the --best stream of %s differs\n",
                 input.c_str());
    return 2;
  }
  const double lazyRatio =
      static_cast<double>(fs::file_size(stream)) / greedySize;
  const double bestRatio =
      static_cast<double>(fs::file_size(best)) / greedySize;

  std::printf("%s: 8 MiB of %s\n", name.c_str(), source.c_str());
  std::printf("  greedy stream        %10llu bytes (%.1f%% of the input)\n",
              static_cast<unsigned long long>(greedySize),
              100.0 * greedySize / kInputSize);
  std::printf(
      "  encode               %8.1f MB/s   peak %6.1f MiB   "
      "%.4f x greedy\n",
      MBps(lazy.seconds), lazy.peakKb / 1024.0, lazyRatio);
  std::printf(
      "  encode --best        %8.1f MB/s   peak %6.1f MiB   "
      "%.4f x greedy\n",
      MBps(optimal.seconds), optimal.peakKb / 1024.0, bestRatio);
  verdict->Check(bestRatio <= 0.97,
                 Format("best / greedy    %6.4f (<= 0.97)", bestRatio));
  verdict->Check(
      MBps(optimal.seconds) >= 1.0,
      Format("encode --best %6.1f MB/s (>= 1)", MBps(optimal.seconds)));
  return 0;
}

// Builds one-file media from the input (its stream is dir/stream) and
// measures decode, extract and the stdio decoder on it.
int BenchDecode(const Options& options, const std::string& name,
                const std::string& input, Verdict* verdict) {
  const std::string dir = options.work + "/" + name;
  const std::string stream = dir + "/stream";
  const std::string& tool = options.pkgtool;
  uint64_t streamSize = fs::file_size(stream);
  // One-file media.
  {
    std::ofstream manifest(dir + "/bench.manifest");
    manifest << "[package]\nprogramFile = INPUT.EXE\ntitle = Bench\n"
                "[files]\nINPUT.EXE = "
             << input << "\n";
  }
  // The media alone: no installer on disk 1.
  Measure build = Best(1, {tool, "--quiet", "build", dir + "/bench.manifest",
                           "-o", dir + "/media", "--no-installer"});
  const std::string descriptor = dir + "/media/disk1/SETUP.bin";

  // The three decoders take turns, so that a change in the machine's load
  // falls on all of them alike; each keeps its best run. What earlier work
  // left to be written to disk is written first: its writeback would
  // otherwise compete with the runs that write 8 MiB each.
  sync();
  Measure decode, extract;
  decode.seconds = extract.seconds = 1e30;
  double stdioBest = 1e30;
  for (int i = 0; i < options.runs; ++i) {
    Measure d = Best(1, {tool, "--quiet", "decode", stream, dir + "/decoded"});
    Measure e = Best(
        1, {tool, "--quiet", "extract", descriptor, "-d", dir + "/extracted"});
    decode.seconds = std::min(decode.seconds, d.seconds);
    decode.peakKb = std::max(decode.peakKb, d.peakKb);
    extract.seconds = std::min(extract.seconds, e.seconds);
    extract.peakKb = std::max(extract.peakKb, e.peakKb);

    double start = OwnCpu();
    std::FILE* in = std::fopen(stream.c_str(), "rb");
    std::FILE* out = std::fopen((dir + "/stdio").c_str(), "wb");
    if (in == nullptr || out == nullptr) return 2;
    int64_t count = bench::StdioDecode(in, out);
    std::fclose(in);
    std::fclose(out);
    if (count != static_cast<int64_t>(kInputSize)) {
      std::fprintf(stderr, "pkgtool_bench: the stdio decoder gave %lld bytes\n",
                   static_cast<long long>(count));
      return 2;
    }
    stdioBest = std::min(stdioBest, OwnCpu() - start);
  }

  for (const std::string& output :
       {dir + "/decoded", dir + "/extracted/INPUT.EXE", dir + "/stdio"}) {
    if (!SameFiles(input, output)) {
      std::fprintf(stderr, "pkgtool_bench: %s differs from %s\n",
                   output.c_str(), input.c_str());
      return 2;
    }
  }

  std::printf("  stream               %10llu bytes (%.1f%% of the input)\n",
              static_cast<unsigned long long>(streamSize),
              100.0 * streamSize / kInputSize);
  std::printf("  build                %8.1f MB/s   peak %6.1f MiB\n",
              MBps(build.seconds), build.peakKb / 1024.0);
  std::printf("  stdio decoder        %8.1f MB/s\n", MBps(stdioBest));
  std::printf("  pkgtool decode       %8.1f MB/s   peak %6.1f MiB\n",
              MBps(decode.seconds), decode.peakKb / 1024.0);
  std::printf("  pkgtool extract      %8.1f MB/s   peak %6.1f MiB\n",
              MBps(extract.seconds), extract.peakKb / 1024.0);
  double overStdio = stdioBest / extract.seconds;
  double ofDecode = decode.seconds / extract.seconds;
  verdict->Check(overStdio >= 1.5,
                 Format("extract / stdio   %5.2fx (>= 1.50x)", overStdio));
  verdict->Check(ofDecode >= 0.9,
                 Format("extract / decode  %5.2fx (>= 0.90x)", ofDecode));
  verdict->Check(
      extract.peakKb < 8 * 1024,
      Format("extract peak %6.1f MiB (< 8)", extract.peakKb / 1024.0));
  verdict->Check(
      decode.peakKb < 8 * 1024,
      Format("decode peak  %6.1f MiB (< 8)", decode.peakKb / 1024.0));
  verdict->Check(
      build.peakKb < 64 * 1024,
      Format("build peak   %6.1f MiB (< 64)", build.peakKb / 1024.0));
  return 0;
}

// Builds media of 48 MiB (the three inputs twice over) with one encoding
// job and with one per processor: the wall time of each, the media the
// same. Wall time, not CPU time, is what more jobs save.
int BenchBuild(const Options& options, const std::vector<std::string>& inputs,
               Verdict* verdict) {
  const std::string manifest = options.work + "/build.manifest";
  {
    std::ofstream out(manifest);
    out << "[package]\nprogramFile = BENCH.EXE\ntitle = Bench\n"
           "diskSize = 1440K\n[files]\nBENCH.EXE = "
        << inputs[0] << "\n";
    for (size_t i = 1; i < 6; ++i) {
      out << "DATA" << i << ".DAT = " << inputs[i % inputs.size()] << "\n";
    }
  }
  const unsigned cores = std::max(2u, std::thread::hardware_concurrency());
  const std::string jobs = "-j" + std::to_string(cores);
  const int runs = std::min(options.runs, 3);
  const Measure one =
      Best(runs, {options.pkgtool, "--quiet", "build", manifest, "-o",
                  options.work + "/j1", "-j1", "--no-installer"});
  const Measure many =
      Best(runs, {options.pkgtool, "--quiet", "build", manifest, "-o",
                  options.work + "/jn", jobs, "--no-installer"});
  bool same = true;
  for (const auto& entry :
       fs::recursive_directory_iterator(options.work + "/j1")) {
    if (!entry.is_regular_file()) continue;
    const std::string relative =
        fs::relative(entry.path(), options.work + "/j1").string();
    same = same &&
           SameFiles(entry.path().string(), options.work + "/jn/" + relative);
  }
  std::printf("build of 48 MiB (six files of 8 MiB on 1440K disks)\n");
  std::printf("  build -j1   %6.2f s wall\n", one.wall);
  std::printf("  build %-5s %6.2f s wall\n", jobs.c_str(), many.wall);
  verdict->Check(same, "-j1 and " + jobs + " make the same media");
  verdict->Check(many.wall <= 0.6 * one.wall,
                 Format("%s / -j1 wall %.2f (<= 0.6)", jobs.c_str(),
                        many.wall / one.wall));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  options.pkgtool = (fs::path(argv[0]).parent_path() / "pkgtool").string();
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "pkgtool_bench: %s needs a value\n", arg.c_str());
        std::exit(2);
      }
      return argv[++i];
    };
    if (arg == "--pkgtool") {
      options.pkgtool = value();
    } else if (arg == "--work") {
      options.work = value();
    } else if (arg == "--runs") {
      options.runs = std::max(1, std::atoi(value().c_str()));
    } else if (arg == "--binary") {
      options.binary = value();
    } else if (arg == "--text-dir") {
      options.textDir = value();
    } else {
      std::fprintf(stderr,
                   "usage: pkgtool_bench [--pkgtool PATH] [--work DIR] "
                   "[--runs N] [--binary FILE] [--text-dir DIR]\n");
      return 2;
    }
  }
  bool ownWork = options.work.empty();
  if (ownWork) {
    char pattern[] = "/tmp/pkgtool-bench.XXXXXX";
    if (mkdtemp(pattern) == nullptr) return 2;
    options.work = pattern;
  }
  fs::create_directories(options.work);

  std::string binarySource, textSource;
  const std::string binary = options.work + "/binary.in";
  const std::string text = options.work + "/text.in";
  const std::string mixed = options.work + "/mixed.in";
  if (!MakeBinaryInput(options, binary, &binarySource) ||
      !MakeTextInput(options, text, &textSource) ||
      !MakeMixedInput(text, binary, mixed)) {
    std::fprintf(stderr, "pkgtool_bench: cannot gather 8 MiB inputs\n");
    return 2;
  }
  std::printf("pkgtool: %s, best of %d runs\n\n", options.pkgtool.c_str(),
              options.runs);
  Verdict verdict;
  int status = BenchEncode(options, "binary", binary, binarySource, &verdict);
  if (status == 0) status = BenchDecode(options, "binary", binary, &verdict);
  std::printf("\n");
  if (status == 0) {
    status = BenchEncode(options, "text", text, textSource, &verdict);
  }
  if (status == 0) status = BenchDecode(options, "text", text, &verdict);
  std::printf("\n");
  if (status == 0) {
    status = BenchEncode(options, "mixed", mixed,
                         "text, binary, noise and records in turn", &verdict);
  }
  std::printf("\n");
  if (status == 0)
    status = BenchBuild(options, {binary, text, mixed}, &verdict);
  if (ownWork) fs::remove_all(options.work);
  if (status != 0) return status;
  std::printf("\n%s\n", verdict.missed == 0 ? "all targets hold"
                                            : "some targets are MISSED");
  return verdict.missed == 0 ? 0 : 1;
}
