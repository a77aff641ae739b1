// The encoding stage: every stream encoded by worker threads into their
// temporary files, or only measured.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <thread>

#include "build/stages.h"
#include "common/console.h"
#include "stream/encoder.h"

namespace pkgtool {
namespace {

constexpr char kTempName[] = ".pkgtool-streams.tmp";

// What the workers share: the bar and the bytes read so far, under a lock.
struct EncodeProgress {
  std::mutex lock;
  ProgressBar* bar;
  uint64_t done = 0;
};

struct EncodeContext {
  std::FILE* in;
  std::FILE* out;  // the worker's temporary file, or null: only measured
  EncodeProgress* progress;
  int readError = 0;  // errno of a failed read
};

long ReadSource(void* context, uint8_t* buffer, size_t count) {
  auto* encode = static_cast<EncodeContext*>(context);
  size_t n = std::fread(buffer, 1, count, encode->in);
  if (n == 0 && std::ferror(encode->in)) {
    encode->readError = errno;
    return -1;
  }
  std::lock_guard<std::mutex> hold(encode->progress->lock);
  encode->progress->done += n;
  encode->progress->bar->Update(encode->progress->done);
  return static_cast<long>(n);
}

bool WriteTemp(void* context, const uint8_t* bytes, size_t count) {
  auto* encode = static_cast<EncodeContext*>(context);
  return encode->out == nullptr ||
         std::fwrite(bytes, 1, count, encode->out) == count;
}

// Encodes one file's stream at the end of out (null: only measured) and
// records where it lies; "" or what went wrong.
std::string EncodeOne(const Manifest& manifest, const PreparedFile& file,
                      std::FILE* out, const std::string& outPath,
                      EncodeProgress* progress, StreamStore::Span* span) {
  FileCloser in(std::fopen(file.file.sourcePath.c_str(), "rb"));
  if (in.get() == nullptr) {
    return At(manifest, file.file) + file.file.sourcePath +
           ": cannot open: " + SystemError();
  }
  if (out != nullptr) {
    const long offset = std::ftell(out);
    if (offset < 0)
      return outPath + ": cannot tell its position: " + SystemError();
    span->offset = static_cast<uint64_t>(offset);
  }
  {
    std::lock_guard<std::mutex> hold(progress->lock);
    progress->bar->SetLabel(file.file.utf8Target);
  }
  EncodeContext context{in.get(), out, progress};
  EncodeIo io{ReadSource, &context, WriteTemp, &context};
  uint64_t streamSize = 0;
  const EncodeResult result =
      EncodeStream(io, static_cast<uint32_t>(file.size), &streamSize,
                   manifest.best ? MatchParse::kBest : MatchParse::kLazy);
  span->length = streamSize;
  switch (result) {
    case EncodeResult::kOk:
      return std::string();
    case EncodeResult::kWriteFailed:
      return outPath + ": write error: " + SystemError();
    case EncodeResult::kNoMemory:
      return "not enough memory to encode " + file.file.utf8Target;
    case EncodeResult::kInputShort:
      return At(manifest, file.file) + file.file.sourcePath +
             ": ended before its " + Num(file.size) +
             " bytes (did it change during the build?)";
    case EncodeResult::kReadFailed:
      break;
  }
  return At(manifest, file.file) + file.file.sourcePath +
         ": read error: " + std::strerror(context.readError);
}

}  // namespace

bool EncodeAll(const Manifest& manifest, const std::vector<PreparedFile>& files,
               const std::string& dir, unsigned jobs, const Console& console,
               Staging* staging, StreamStore* store,
               std::vector<std::string>* errors) {
  uint64_t total = 0;
  for (const PreparedFile& file : files) {
    if (!file.file.noInstall) total += file.size;
  }
  ProgressBar bar(console, total);
  EncodeProgress progress;
  progress.bar = &bar;
  store->spans.assign(files.size(), StreamStore::Span());
  jobs = std::max(
      1u, std::min<unsigned>(jobs, static_cast<unsigned>(files.size())));
  for (unsigned worker = 0; !dir.empty() && worker < jobs; ++worker) {
    const std::string path =
        JoinPath(dir, std::string(kTempName) + "." + Num(worker + 1));
    store->paths.push_back(path);
    staging->AddScratch(path);
    store->files.push_back(std::fopen(path.c_str(), "w+b"));
    if (store->files.back() == nullptr) {
      store->files.pop_back();
      errors->push_back(path + ": cannot create: " + SystemError());
      return false;
    }
  }
  // The workers take the files in turn; the first failure in manifest
  // order is the one reported.
  std::atomic<size_t> next{0};
  std::atomic<bool> failed{false};
  std::vector<std::string> faults(files.size());
  auto work = [&](unsigned worker) {
    std::FILE* out = dir.empty() ? nullptr : store->files[worker];
    const std::string outPath = dir.empty() ? "" : store->paths[worker];
    for (size_t i = next++; i < files.size() && !failed; i = next++) {
      if (files[i].file.noInstall) continue;
      store->spans[i].file = worker;
      faults[i] = EncodeOne(manifest, files[i], out, outPath, &progress,
                            &store->spans[i]);
      if (!faults[i].empty()) failed = true;
    }
    if (out != nullptr && std::fflush(out) != 0 && !failed) {
      faults[0] = outPath + ": write error: " + SystemError();
      failed = true;
    }
  };
  std::vector<std::thread> workers;
  for (unsigned worker = 1; worker < jobs; ++worker) {
    workers.emplace_back(work, worker);
  }
  work(0);
  for (std::thread& worker : workers) worker.join();
  for (const std::string& fault : faults) {
    if (!fault.empty()) {
      errors->push_back(fault);
      return false;
    }
  }
  return true;
}
}  // namespace pkgtool
