// The installer's engine and the uninstaller under platform faults. A full
// installation of a two-disk product over an earlier installation (from
// the destination dialog's OK to the finish dialog), and an uninstallation
// of what it installed, are each run once for every call of every fault
// kind that a clean run makes, with just that call failing, and every box
// answered by a fixed policy. Each run must end with a result its failures
// allow, show only the failure texts of the string table, leave every file
// that existed before either as it was or complete in its new form (never
// truncated or missing), leave no temporary file and no open handle, and
// say success only when everything is in place.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/main_flow.h"
#include "install_fixture.h"
#include "platform/host/host_dde.h"
#include "platform/host/host_dialogs.h"
#include "ui/destination.h"
#include "ui/resources/dialog_ids.h"
#include "ui/settings.h"
#include "uninstall/uninstall.h"

namespace {

using host::Fault;

// Files below a root: relative host path ("GAMES/QUEST/QUEST.EXE") to bytes.
using Tree = std::map<std::string, Bytes>;

Tree Snapshot(const std::string& root) {
  Tree tree;
  for (const auto& entry :
       std::filesystem::recursive_directory_iterator(root)) {
    if (entry.is_regular_file()) {
      tree[std::filesystem::relative(entry.path(), root).string()] =
          ReadFile(entry.path().string());
    }
  }
  return tree;
}

void WriteTree(const std::string& root, const Tree& tree) {
  for (const auto& file : tree) WriteFile(root + "/" + file.first, file.second);
}

// Where the runs' drives go: memory, when the machine offers it and
// TMPDIR does not say otherwise, so that the campaign stays fast.
const char* Scratch() {
  if (getenv("TMPDIR") == nullptr && access("/dev/shm", W_OK) == 0) {
    return "/dev/shm";
  }
  return nullptr;
}

int OpenDescriptors() {
  int count = 0;
  DIR* dir = opendir("/proc/self/fd");
  while (dir != nullptr && readdir(dir) != nullptr) ++count;
  if (dir != nullptr) closedir(dir);
  return count;
}

bool StartsWith(const Bytes& whole, const Bytes& part) {
  return part.size() <= whole.size() &&
         std::equal(part.begin(), part.end(), whole.begin());
}

// Whether text is format with each placeholder (%s, %d, %lu) standing for
// any text.
bool Matches(const char* text, const char* format) {
  if (*format == '\0') return *text == '\0';
  if (format[0] == '%' && format[1] != '\0') {
    const char* rest = format + (format[1] == 'l' ? 3 : 2);
    for (const char* at = text;; ++at) {
      if (Matches(at, rest)) return true;
      if (*at == '\0') return false;
    }
  }
  return *text == *format && Matches(text + 1, format + 1);
}

// The string of the table that a box shows (a closing box may carry the
// sentence on shared files after a blank line); 0 when none.
unsigned StringOf(const std::string& text) {
  char shared[256];
  plat::LoadString(kStrSharedKept, shared, sizeof shared);
  const std::string tail = std::string("\n\n") + shared;
  std::string body = text;
  if (body.size() > tail.size() &&
      body.compare(body.size() - tail.size(), tail.size(), tail) == 0) {
    body.resize(body.size() - tail.size());
  }
  // Where the files the user added remain, after a blank line.
  char where[256];
  plat::LoadString(kStrAddedFilesWhere, where, sizeof where);
  const size_t gap = body.find("\n\n");
  if (gap != std::string::npos && Matches(body.c_str() + gap + 2, where)) {
    body.resize(gap);
  }
  // The failure messages, the disk prompt, and the uninstaller's texts.
  for (unsigned id : {32u, 33u, 34u, 35u, 36u, 37u, 38u, 39u, 40u, 41u, 42u,
                      43u, 304u, 310u, 311u, 313u, 314u, 315u, 319u}) {
    char format[256];
    plat::LoadString(id, format, sizeof format);
    if (Matches(body.c_str(), format)) return id;
  }
  return 0;
}

// The box types each string is shown with.
bool TypeFits(unsigned id, unsigned type) {
  const unsigned ari = plat::kMbAbortRetryIgnore | plat::kMbIconExclamation;
  const unsigned retry = plat::kMbRetryCancel | plat::kMbIconExclamation;
  const unsigned notice = plat::kMbOk | plat::kMbIconExclamation;
  switch (id) {
    case kResultWriteProtected:
    case kStrCannotRemove:
      return type == ari;
    case kResultReadError:  // Retry/Cancel, or OK alone for a short read
      return type == retry || type == notice;
    case kResultWriteError:
    case kResultInUse:
    case kResultDiskFull:
      return type == retry;
    case kStrInsertDisk:
      return type == (plat::kMbOkCancel | plat::kMbIconExclamation);
    case kStrUninstallQuestion:
      return type == (plat::kMbYesNo | plat::kMbIconQuestion);
    case kStrUninstallDone:
    case kStrAddedFilesKept:
      return type == (plat::kMbOk | plat::kMbIconInformation);
    default:
      return type == notice;
  }
}

// How the boxes are answered: Retry once per box (then the other way on),
// or the other way at once (Ignore for Abort/Retry/Ignore, Cancel for
// Retry/Cancel). A disk prompt gets the disk it asks for and OK, except
// when it asks again for the disk that is in the drive (a failure made it
// ask): then it counts as a Retry. Notices get OK, the question Yes.
enum class Policy {
  kRetryOnce,     // the fault fails one call
  kGiveUp,        // the fault fails one call
  kRetryLasting,  // the fault fails every call of its kind from then on
};

const char* PolicyName(Policy policy) {
  switch (policy) {
    case Policy::kRetryOnce:
      return "once, retry";
    case Policy::kGiveUp:
      return "once, give up";
    case Policy::kRetryLasting:
      break;
  }
  return "lasting, retry";
}

constexpr size_t kBoxLimit = 40;  // more means the run loops

class Responder {
 public:
  Responder(Policy policy, std::function<void(int)> insertDisk)
      : policy_(policy), insertDisk_(std::move(insertDisk)) {}

  int Answer(const host::Box& box) {
    const unsigned id = StringOf(box.text);
    const bool again = seen_[box.text]++ > 0;
    const bool retry = policy_ != Policy::kGiveUp && !again &&
                       host::Boxes().size() < kBoxLimit;
    if (id == kStrInsertDisk) {
      const int disk = atoi(box.text.c_str() + 12);
      if (disk != inDrive_) {
        inDrive_ = disk;
        insertDisk_(disk);
        return plat::kIdOk;
      }
      // Asked again for the disk in the drive: a failure made it ask.
      const bool first = reasked_[disk]++ == 0;
      return policy_ != Policy::kGiveUp && first &&
                     host::Boxes().size() < kBoxLimit
                 ? plat::kIdOk
                 : plat::kIdCancel;
    }
    switch (box.type & 0x0F) {
      case plat::kMbAbortRetryIgnore:
        return retry ? plat::kIdRetry : plat::kIdIgnore;
      case plat::kMbRetryCancel:
        return retry ? plat::kIdRetry : plat::kIdCancel;
      case plat::kMbYesNo:
        return plat::kIdYes;
      default:
        return plat::kIdOk;
    }
  }

 private:
  Policy policy_;
  std::function<void(int)> insertDisk_;
  int inDrive_ = 1;
  std::map<std::string, int> seen_;
  std::map<int, int> reasked_;  // prompts for the disk already in the drive
};

// A fault kind and the strings a failure of it may show (besides the disk
// prompt during an installation, and the question and the closing box of
// an uninstallation).
struct KindCase {
  const char* name;
  Fault kind;
  std::set<unsigned> install;
  std::set<unsigned> uninstall;
};

void PrintTo(const KindCase& kind, std::ostream* out) { *out << kind.name; }

const KindCase kKinds[] = {
    {"Alloc", Fault::kAlloc, {}, {kResultNoMemory}},
    {"Lock", Fault::kLock, {}, {kResultNoMemory}},
    {"Open",
     Fault::kOpen,
     {kResultWriteProtected, kResultReadError, kResultWriteError},
     {kResultMissing}},
    {"Read", Fault::kRead, {kResultReadError}, {kStrListDamaged}},
    {"ShortRead", Fault::kShortRead, {kResultReadError}, {kStrListDamaged}},
    {"Write", Fault::kWrite, {kResultWriteError}, {}},
    {"ShortWrite",
     Fault::kShortWrite,
     {kResultWriteError, kResultDiskFull},
     {}},
    {"Seek", Fault::kSeek, {kResultReadError}, {kStrListDamaged}},
    {"Close", Fault::kClose, {}, {}},
    {"Delete", Fault::kDelete, {}, {kStrCannotRemove}},
    {"Move", Fault::kMoveFile, {kResultWriteProtected}, {}},
    {"CreateDirectory", Fault::kCreateDirectory, {kResultWriteError}, {}},
    {"RemoveDirectory", Fault::kRemoveDirectory, {}, {}},
    {"Attributes", Fault::kAttributes, {}, {kStrCannotRemove}},
    {"CurrentDirectory", Fault::kCurrentDirectory, {kResultWriteError}, {}},
    {"Version", Fault::kVersion, {}, {}},
    {"ProfileWrite", Fault::kProfileWrite, {}, {}},
    {"Dde", Fault::kDde, {}, {}},
};

constexpr char kProgramFile[] = "QUEST.EXE";
constexpr char kProduct[] = "GAMES/QUEST/";
constexpr char kSettings[] = "WINDOWS/tarny.ini";
constexpr char kNewerShared[] = "WINDOWS/SYSTEM/VBRUN.DLL";
constexpr int kFailingRunsShown = 5;  // per kind and run type

std::vector<PackageFile> PackageFiles() {
  PackageFile gfx{"QUESTGFX.DLL", MakeVersionedImage(0x00020000, 0), 2,
                  0x20000};
  PackageFile vbrun{"VBRUN.DLL", MakeVersionedImage(0x00030000, 0), 2, 0x30000};
  PackageFile level{"DATA\\LEVEL1.DAT", SampleBytes(70000, 2)};
  level.disks = {1, 2};
  PackageFile deep{"DATA\\MAPS\\DEEP.DAT", SampleBytes(2000, 3)};
  deep.disks = {2};
  PackageFile uninstaller{"uninstal.exe", SampleBytes(700, 4)};
  uninstaller.disks = {2};
  return {gfx,   vbrun, {kProgramFile, SampleBytes(3000, 1)},
          level, deep,  uninstaller};
}

// What an earlier installation of the product left: older files, an older
// shared library and a newer one, its uninstaller and list, the settings
// file (without the graphics key, so it is written), a saved game.
Tree EarlierInstallation() {
  Tree tree;
  auto text = [](const std::string& s) { return Bytes(s.begin(), s.end()); };
  tree["WINDOWS/SYSTEM/QUESTGFX.DLL"] = MakeVersionedImage(0x00010000, 0);
  tree[kNewerShared] = MakeVersionedImage(0x00050000, 0);
  tree[kSettings] = text("[desktop]\r\nwallpaper=tiles.bmp\r\n");
  tree["GAMES/QUEST/QUEST.EXE"] = SampleBytes(2500, 11);
  tree["GAMES/QUEST/DATA/LEVEL1.DAT"] = SampleBytes(60000, 12);
  tree["GAMES/QUEST/uninstal.exe"] = SampleBytes(600, 13);
  tree["GAMES/QUEST/uninstal.bin"] =
      MakeDescriptor("GAME", kProgramFile, "Quest", {});
  tree["GAMES/QUEST/SAVE1.SAV"] = text("my progress");
  return tree;
}

struct Outcome {
  int result = 0;
  Tree after;
  std::vector<host::Box> boxes;
  std::vector<host::DdeEvent> dde;
  std::vector<int> dialogs;
  std::string uninstallerName;
  std::vector<int> calls;  // of each kind, during the run
  int finish = -1;  // the uninstaller's finishing copy's code; -1: not run
  bool buffersHeld = false;  // the installation kept a buffer it took
};

class FaultCampaign : public ::testing::TestWithParam<KindCase> {
 protected:
  // What every kind's runs share: the media on their disks, and the clean
  // runs' results and calls.
  struct Shared {
    TempDir disks;
    Media media;
    Tree installed;  // after a clean installation
    std::vector<int> installCalls;
    std::vector<int> uninstallCalls;
  };

  static void SetUpTestSuite() {
    shared_ = new Shared;
    shared_->media = BuildMedia("GAME", kProgramFile, "Quest", PackageFiles());
    WriteFile(Disk(1) + "/SETUP.bin", shared_->media.descriptor);
    for (const auto& volume : shared_->media.volumes) {
      WriteFile(Disk(volume.first) + "/QUEST.dat", volume.second);
    }
  }
  static void TearDownTestSuite() {
    delete shared_;
    shared_ = nullptr;
  }

  // The clean runs, once for all kinds.
  void SetUp() override {
    if (!shared_->installCalls.empty()) return;
    TempDir installRoot(Scratch());
    const Outcome installation =
        Install(installRoot, Policy::kRetryOnce, Fault::kAlloc, 0);
    ASSERT_EQ(installation.result, kResultOk);
    ASSERT_EQ(installation.boxes.size(), 2u);  // disk 2, then disk 1 again
    TempDir uninstallRoot(Scratch());
    const Outcome removal = Uninstall(uninstallRoot, installation.after,
                                      Policy::kRetryOnce, Fault::kAlloc, 0);
    // The saved game is the user's: it stays, and the removal says so.
    ASSERT_EQ(removal.result, kUninstallAddedKept);
    ASSERT_EQ(removal.finish, kUninstallAddedKept);
    shared_->installed = installation.after;
    shared_->installCalls = installation.calls;
    shared_->uninstallCalls = removal.calls;
  }

  static std::string Disk(int disk) {
    return shared_->disks.path() + "/disk" + std::to_string(disk);
  }

  // A fresh platform over a fresh drive C: holding tree, boxes answered by
  // policy.
  void Fresh(const TempDir& root, const Tree& tree, Policy policy) {
    ResetAllState();
    host::ResetDde();
    host::ResetDialogs();
    host::MapDrive('C', root.path());
    host::MapDrive('A', Disk(1));
    WriteTree(root.path(), tree);
    responder_ = std::make_unique<Responder>(
        policy, [](int disk) { host::MapDrive('A', Disk(disk)); });
    host::SetResponder(
        [this](const host::Box& box) { return responder_->Answer(box); });
  }

  // The setup sequence from the destination dialog's OK to the finish
  // dialog, the descriptor loaded from A:\SETUP.EXE and the settings read
  // as start-up and the main flow do; with call nth of kind failing.
  Outcome Install(const TempDir& root, Policy policy, Fault kind, int nth) {
    Fresh(root, EarlierInstallation(), policy);
    LoadDescriptorForTest(shared_->media.descriptor, "A:\\");
    host::QueueDialog(IDD_DESTINATION, 1, [] {
      CopyText(InstallDirectory, kPathSize, "C:\\GAMES\\QUEST\\");
    });
    host::QueueDialog(IDD_FINISH_FIRST, 2);
    ReadSettings();
    Outcome outcome;
    Start(kind, nth, policy, &outcome);
    outcome.result = SetupSequence();
    outcome.uninstallerName = Placement.UninstallerName;
    outcome.buffersHeld =
        Volume.InputMemory != nullptr || Output.OutputMemory != nullptr;
    return Finish(root, std::move(outcome));
  }

  // Both parts of the uninstaller over tree, as their two processes run
  // them: the result is the first part's exit code, finish the finishing
  // copy's.
  Outcome Uninstall(const TempDir& root, const Tree& tree, Policy policy,
                    Fault kind, int nth) {
    Fresh(root, tree, policy);
    host::AnswerGroupRequests("\"Games\",C:\\WINDOWS\\GAMES.GRP,0\r\n");
    const char* program = "C:\\GAMES\\QUEST\\uninstal.exe";
    bool finish = false;
    Outcome outcome;
    Start(kind, nth, policy, &outcome);
    outcome.result = RunUninstall(program, &finish);
    ReleaseUninstallList();
    if (finish) outcome.finish = FinishUninstall(program);
    ReleaseUninstallList();
    return Finish(root, std::move(outcome));
  }

  // Plans call nth of kind to fail (none when nth is 0), and every later
  // one with kRetryLasting, and notes where the run's calls start.
  static void Start(Fault kind, int nth, Policy policy, Outcome* outcome) {
    const int lasting = 1 << 30;
    if (nth > 0) {
      host::InjectFault(kind, nth,
                        policy == Policy::kRetryLasting ? lasting : 1);
    }
    for (int k = 0; k < host::kFaultKindCount; ++k) {
      outcome->calls.push_back(-host::CallCount(static_cast<Fault>(k)));
    }
  }

  static Outcome Finish(const TempDir& root, Outcome outcome) {
    host::ClearFaults();
    for (int k = 0; k < host::kFaultKindCount; ++k) {
      outcome.calls[static_cast<size_t>(k)] +=
          host::CallCount(static_cast<Fault>(k));
    }
    outcome.after = Snapshot(root.path());
    outcome.boxes = host::Boxes();
    outcome.dde = host::DdeEvents();
    outcome.dialogs = host::DialogsRun();
    host::SetResponder(nullptr);
    return outcome;
  }

  static Shared* shared_;
  std::unique_ptr<Responder> responder_;
};

FaultCampaign::Shared* FaultCampaign::shared_ = nullptr;

int CallsOf(const std::vector<int>& calls, Fault kind) {
  return calls[static_cast<size_t>(kind)];
}

// The boxes of a run and their answers, for a failure's message.
std::string Shown(const Outcome& run) {
  std::string shown;
  for (const host::Box& box : run.boxes) {
    shown += ", \"" + box.text + "\" " + std::to_string(box.answer);
  }
  return shown;
}

// ---- checks of one installation run -----------------------------------------

std::string Relative(const std::string& dosPath) {
  // C:\GAMES\QUEST\QUEST.EXE -> GAMES/QUEST/QUEST.EXE
  std::string relative = dosPath.size() > 3 ? dosPath.substr(3) : "";
  std::replace(relative.begin(), relative.end(), '\\', '/');
  return relative;
}

std::string Sibling(const std::string& name, const char* extension) {
  return std::string(kProduct) + name.substr(0, name.rfind('.')) + extension;
}

// The problems found in one run, "" when none.
struct Problems {
  std::string text;
  void Add(const std::string& what) { text += what + "; "; }
};

// What the boxes of an installation run tell about it.
struct BoxFacts {
  bool shortRead = false;  // "read error" with OK alone: the file stopped
  bool stopped = false;    // the user chose to stop, or was told it stopped
  bool descriptorSkipped = false;  // a disk prompt was cancelled
  std::set<std::string> ignored;   // paths whose box was answered Ignore
};

// Checks that an installation run gave back what it took, that every box
// is a failure text of the kind, shown as its string is, and that the
// result fits the answers.
BoxFacts CheckInstallBoxes(const KindCase& kind, Policy policy,
                           const Outcome& run, Problems* problems) {
  const bool memory = kind.kind == Fault::kAlloc || kind.kind == Fault::kLock;
  if (run.result != kResultOk && run.result != kResultCancel &&
      !(memory && run.result == kResultNoMemory)) {
    problems->Add("result " + std::to_string(run.result));
  }
  if (run.boxes.size() > kBoxLimit) problems->Add("boxes without end");
  if (run.buffersHeld) problems->Add("a buffer held after the run");
  BoxFacts facts;
  bool failureShown = false;
  for (const host::Box& box : run.boxes) {
    const unsigned id = StringOf(box.text);
    if (id != kStrInsertDisk && kind.install.count(id) == 0) {
      problems->Add("box \"" + box.text + "\"");
    } else if (!TypeFits(id, box.type)) {
      problems->Add("box type " + std::to_string(box.type) + " for " +
                    box.text);
    }
    failureShown = failureShown || id != kStrInsertDisk;
    facts.shortRead = facts.shortRead ||
                      (id == kResultReadError &&
                       box.type == (plat::kMbOk | plat::kMbIconExclamation));
    facts.stopped = facts.stopped || facts.shortRead ||
                    box.answer == plat::kIdCancel ||
                    box.answer == plat::kIdAbort;
    if (id == kStrInsertDisk && box.answer == plat::kIdCancel) {
      facts.descriptorSkipped = true;
    }
    if (box.answer == plat::kIdIgnore) {
      facts.ignored.insert(Relative(box.text.substr(0, box.text.find(':', 2))));
    }
  }
  if (run.result == kResultNoMemory && failureShown) {
    problems->Add("37 after a failure box");
  }
  if (run.result == kResultCancel && !facts.stopped) {
    problems->Add("2 without a stop");
  }
  // Retry repeats the failed step in place: only a read that came up short
  // (told with OK alone) stops a run whose boxes are all retried.
  if (policy == Policy::kRetryOnce && run.result == kResultCancel &&
      !facts.shortRead) {
    problems->Add("Retry did not recover");
  }
  return facts;
}

// The path where a run put what the clean run put at path: the uninstaller
// and its list may have been given the next free name.
std::string Placed(const Outcome& run, const std::string& path) {
  const std::string& name = run.uninstallerName;
  if (name.empty() || name == "uninstal.exe") return path;
  if (path == std::string(kProduct) + "uninstal.exe") return kProduct + name;
  if (path == std::string(kProduct) + "uninstal.bin") {
    return Sibling(name, ".bin");
  }
  return path;
}

// Whether a failure of the kind leaves the installed version of a shared
// file unread, so that the packaged one replaces it.
bool VersionUnread(const KindCase& kind) {
  return kind.kind == Fault::kAlloc || kind.kind == Fault::kLock ||
         kind.kind == Fault::kVersion;
}

// Checks that every file is its old bytes or its complete new bytes (a new
// file of a failed run: as far as it was written), that none was lost and
// that nothing temporary was left.
void CheckInstallFiles(const KindCase& kind, const Tree& before,
                       const Tree& clean, const Outcome& run,
                       Problems* problems) {
  std::map<std::string, const Bytes*> complete;
  for (const auto& file : clean)
    complete[Placed(run, file.first)] = &file.second;
  for (const auto& file : run.after) {
    const std::string& path = file.first;
    if (path.find("SETUP$$") != std::string::npos) {
      problems->Add(path + " left");
    }
    auto done = complete.find(path);
    auto old = before.find(path);
    const bool isNew = done != complete.end() && file.second == *done->second;
    bool fits = isNew || (old != before.end() && file.second == old->second);
    if (path == kNewerShared && VersionUnread(kind)) {
      fits = fits || file.second == MakeVersionedImage(0x00030000, 0);
    }
    if (!fits && old == before.end() && done != complete.end() &&
        run.result != kResultOk) {
      fits = StartsWith(*done->second, file.second);
    }
    if (!fits) problems->Add(path + " holds neither its old nor its new bytes");
  }
  for (const auto& file : before) {
    if (run.after.count(file.first) == 0) problems->Add(file.first + " lost");
  }
}

// Checks what follows the run: after a failure nothing (no settings write,
// no DDE); after success every file complete but those the user or the
// failure kind leaves as they were, the finish dialog and the DDE commands.
void CheckInstallEnd(const KindCase& kind, const BoxFacts& facts,
                     const Tree& before, const Tree& clean, const Outcome& run,
                     Problems* problems) {
  if (run.result != kResultOk) {
    if (!run.dde.empty()) problems->Add("DDE after a failed run");
    if (run.after.at(kSettings) != before.at(kSettings)) {
      problems->Add("settings written after a failed run");
    }
    return;
  }
  for (const auto& file : clean) {
    const std::string& path = file.first;
    const std::string at = Placed(run, path);
    auto it = run.after.find(at);
    if (it != run.after.end() && it->second == file.second) continue;
    const bool keptOld = before.count(at) > 0 && it != run.after.end() &&
                         it->second == before.at(at);
    const bool excused =
        (keptOld && facts.ignored.count(at) > 0) ||
        (keptOld && path == kSettings && kind.kind == Fault::kProfileWrite) ||
        (path == kNewerShared && VersionUnread(kind)) ||
        (at == Placed(run, std::string(kProduct) + "uninstal.bin") &&
         facts.descriptorSkipped);
    if (!excused) problems->Add("success without " + at + " complete");
  }
  if (std::count(run.dialogs.begin(), run.dialogs.end(), IDD_FINISH_FIRST) !=
      1) {
    problems->Add("no finish dialog after success");
  }
  size_t accepted = 0;
  for (const host::DdeEvent& event : run.dde) {
    if (event.kind == host::DdeEvent::kCommand && event.result == 1) {
      ++accepted;
    }
  }
  const bool memory = kind.kind == Fault::kAlloc || kind.kind == Fault::kLock;
  if (accepted != 5 && kind.kind != Fault::kDde && !memory) {
    problems->Add(std::to_string(accepted) + " DDE commands");
  }
}

// What went wrong with an installation run, "" when nothing did.
std::string InstallProblems(const KindCase& kind, Policy policy,
                            const Tree& before, const Tree& clean,
                            const Outcome& run) {
  Problems problems;
  const BoxFacts facts = CheckInstallBoxes(kind, policy, run, &problems);
  CheckInstallFiles(kind, before, clean, run, &problems);
  CheckInstallEnd(kind, facts, before, clean, run, &problems);
  return problems.text;
}

// The leftovers and runs of one campaign, reported only when a run fails.
class Tally {
 public:
  explicit Tally(const char* what) : what_(what) {}
  // Records the problems of run nth; false once too many runs failed.
  bool Add(const char* kind, int nth, Policy policy, const std::string& bad) {
    ++runs_;
    if (bad.empty()) return true;
    ADD_FAILURE() << what_ << " " << kind << " call " << nth << " failing ("
                  << PolicyName(policy) << "): " << bad;
    return ++failed_ < kFailingRunsShown;
  }
  int runs() const { return runs_; }

 private:
  const char* what_;
  int runs_ = 0;
  int failed_ = 0;
};

// Fails every call of a kind that a clean run makes (calls of them), one
// run each, under each answer policy while the failure shows a box: run
// makes the run in root and returns its problems ("" for none).
template <typename Run>
void FailEveryCall(const char* what, const KindCase& kind, int calls, Run run) {
  Tally tally(what);
  const int descriptors = OpenDescriptors();
  for (int nth = 1; nth <= calls; ++nth) {
    for (Policy policy :
         {Policy::kRetryOnce, Policy::kGiveUp, Policy::kRetryLasting}) {
      TempDir root(Scratch());
      Outcome outcome;
      std::string bad = run(root, policy, nth, &outcome);
      if (!bad.empty()) {
        bad += "result " + std::to_string(outcome.result) + Shown(outcome);
      }
      if (OpenDescriptors() != descriptors) bad += "a handle left open; ";
      if (!tally.Add(kind.name, nth, policy, bad)) return;
      // The policy matters only where the failure showed a box.
      if (outcome.boxes.size() == 2) break;
    }
  }
  ::testing::Test::RecordProperty("calls", calls);
  ::testing::Test::RecordProperty("runs", tally.runs());
}

TEST_P(FaultCampaign, InstallationSurvivesEveryFailingCall) {
  const KindCase& kind = GetParam();
  const Tree before = EarlierInstallation();
  const Tree& clean = shared_->installed;
  const int calls = CallsOf(shared_->installCalls, kind.kind);
  FailEveryCall("installation", kind, calls,
                [&](const TempDir& root, Policy policy, int nth, Outcome* run) {
                  *run = Install(root, policy, kind.kind, nth);
                  return InstallProblems(kind, policy, before, clean, *run);
                });
}

// ---- checks of one uninstallation run ---------------------------------------

// What went wrong with an uninstallation run, "" when nothing did.
std::string UninstallProblems(const KindCase& kind, const Tree& installed,
                              const Outcome& run) {
  std::string problems;
  auto problem = [&](const std::string& what) { problems += what + "; "; };
  int closing = 0;
  for (const host::Box& box : run.boxes) {
    const unsigned id = StringOf(box.text);
    const bool closes = id == kStrUninstallDone || id == kStrFilesKept ||
                        id == kStrAddedFilesKept;
    if (closes) closing = static_cast<int>(id);
    if (id != kStrUninstallQuestion && !closes &&
        kind.uninstall.count(id) == 0) {
      problem("box \"" + box.text + "\"");
    } else if (!TypeFits(id, box.type)) {
      problem("box type " + std::to_string(box.type) + " for " + box.text);
    }
  }
  if (run.boxes.size() > kBoxLimit) problem("boxes without end");

  // Nothing is ever changed, only removed; what must stay, stays.
  for (const auto& file : run.after) {
    auto old = installed.find(file.first);
    if (old == installed.end() || old->second != file.second) {
      problem(file.first + " changed");
    }
  }
  for (const char* kept : {"WINDOWS/SYSTEM/QUESTGFX.DLL", kNewerShared,
                           kSettings, "GAMES/QUEST/SAVE1.SAV"}) {
    if (run.after.count(kept) == 0) problem(std::string(kept) + " removed");
  }
  const std::string program = std::string(kProduct) + "uninstal.exe";
  const std::string list = std::string(kProduct) + "uninstal.bin";
  const bool programThere = run.after.count(program) > 0;
  const bool listThere = run.after.count(list) > 0;
  if (programThere && !listThere) {
    problem("the uninstaller left without its list");
  }
  size_t filesLeft = 0;
  for (const char* path :
       {"GAMES/QUEST/QUEST.EXE", "GAMES/QUEST/DATA/LEVEL1.DAT",
        "GAMES/QUEST/DATA/MAPS/DEEP.DAT"}) {
    filesLeft += run.after.count(path);
  }

  // The first part's exit code tells about the product's files.
  if (run.result == kUninstallNothing) {
    if (run.after != installed) problem("nothing, but something removed");
    if (run.finish >= 0) problem("finishing after nothing");
  } else if (run.result == kUninstallAddedKept && filesLeft > 0) {
    problem("done, but a file is still there");
  } else if (run.result == kUninstallKept && filesLeft == 0) {
    problem("kept, but every file is gone");
  } else if (run.result != kUninstallAddedKept &&
             run.result != kUninstallKept) {
    problem("exit code " + std::to_string(run.result));
  }
  // The finishing copy's, and its closing box, about everything.
  const bool everythingGone = filesLeft == 0 && !programThere && !listThere;
  // (The user's saved game stays: a complete removal says so.)
  if (run.finish == kUninstallAddedKept &&
      (!everythingGone || closing != kStrAddedFilesKept)) {
    problem("finished as done, but not everything is gone");
  } else if (run.finish == kUninstallKept &&
             (everythingGone || closing != kStrFilesKept)) {
    problem("finished as kept, but everything is gone");
  } else if (run.finish == kUninstallNothing && (!programThere || closing)) {
    problem("the finishing copy removed, but said nothing");
  }
  return problems;
}

TEST_P(FaultCampaign, UninstallationSurvivesEveryFailingCall) {
  const KindCase& kind = GetParam();
  const Tree& installed = shared_->installed;
  const int calls = CallsOf(shared_->uninstallCalls, kind.kind);
  FailEveryCall("uninstallation", kind, calls,
                [&](const TempDir& root, Policy policy, int nth, Outcome* run) {
                  *run = Uninstall(root, installed, policy, kind.kind, nth);
                  return UninstallProblems(kind, installed, *run);
                });
}

INSTANTIATE_TEST_SUITE_P(EveryKind, FaultCampaign, ::testing::ValuesIn(kKinds),
                         [](const ::testing::TestParamInfo<KindCase>& p) {
                           return std::string(p.param.name);
                         });

}  // namespace
