// The installation run: counting and progress, the shared-file pass with
// its version check, halting, the descriptor step with its disk prompt,
// and the version library that the shared-file pass asks.
#include "install/run.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "install_fixture.h"
#include "platform/dialogs.h"
#include "platform/progress.h"

namespace {

constexpr char kInstallDirectory[] = "C:\\GAMES\\QUEST\\";
constexpr uint16_t kShared = 2;

PackageFile Shared(const std::string& name, const Bytes& content,
                   uint32_t ms = 0x00010000, uint32_t ls = 0) {
  PackageFile file{name, content};
  file.flags = kShared;
  file.versionMs = ms;
  file.versionLs = ls;
  return file;
}

class RunTest : public InstallTest {
 protected:
  void SetUp() override {
    InstallTest::SetUp();
    mkdir(OnC("GAMES").c_str(), 0755);
    mkdir(OnC("GAMES/QUEST").c_str(), 0755);
    mkdir(OnC("WINDOWS").c_str(), 0755);
    mkdir(OnC("WINDOWS/SYSTEM").c_str(), 0755);
  }

  ResultCode Install(const std::vector<PackageFile>& files) {
    media_ = BuildMedia("GAME", "QUEST.EXE", "Quest", files);
    Prepare(media_, "QUEST.EXE");
    return RunInstallation(kInstallDirectory);
  }

  std::string InGame(const std::string& name) const {
    return OnC("GAMES/QUEST/" + name);
  }
  std::string InSystem(const std::string& name) const {
    return OnC("WINDOWS/SYSTEM/" + name);
  }

  static std::vector<int> Percents() {
    std::vector<int> values;
    for (const host::ProgressEvent& event : host::ProgressEvents()) {
      if (event.kind == host::ProgressEvent::kPercent) {
        values.push_back(event.value);
      }
    }
    return values;
  }
  static std::vector<std::string> NamesShown() {
    std::vector<std::string> names;
    for (const host::ProgressEvent& event : host::ProgressEvents()) {
      if (event.kind == host::ProgressEvent::kName) names.push_back(event.name);
    }
    return names;
  }

  Media media_;
};

TEST_F(RunTest, ThreeCountedRecordsShowZeroThirtyThreeSixtySixHundred) {
  PackageFile skipped{"README.TXT", SampleBytes(10, 1)};
  skipped.flags = kFlagNoInstall;
  std::vector<PackageFile> files = {{"A.DAT", SampleBytes(1000, 2)},
                                    skipped,
                                    {"B.DAT", SampleBytes(40000, 3)},
                                    {"C.DAT", SampleBytes(5, 4)}};
  ASSERT_EQ(Install(files), kResultOk);
  EXPECT_EQ(Percents(), (std::vector<int>{0, 33, 66, 100}));
  EXPECT_EQ(NamesShown(),
            (std::vector<std::string>{"A.DAT", "B.DAT", "C.DAT"}));
  EXPECT_EQ(Installation.FilesToInstall, 3u);
  EXPECT_EQ(Installation.FilesDone, 3u);
  EXPECT_EQ(ReadFile(InGame("A.DAT")), files[0].content);
  EXPECT_EQ(ReadFile(InGame("B.DAT")), files[2].content);
  EXPECT_EQ(ReadFile(InGame("C.DAT")), files[3].content);
  EXPECT_FALSE(FileExistsOnHost(InGame("README.TXT")));
  const auto& events = host::ProgressEvents();
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.front().kind, host::ProgressEvent::kCreate);
  EXPECT_EQ(events.back().kind, host::ProgressEvent::kDestroy);
  EXPECT_EQ(FileTransferDialog, nullptr);
  // The stream is closed and the InputBuffer released by the run.
  EXPECT_EQ(Volume.VolumeHandle, plat::kFileError);
  EXPECT_EQ(Volume.InputMemory, nullptr);
  EXPECT_TRUE(host::Boxes().empty());
}

TEST_F(RunTest, NothingToInstallReturnsAtOnceWithoutADialog) {
  PackageFile a{"A.DAT", SampleBytes(10, 5)};
  a.flags = kFlagNoInstall;
  PackageFile b = Shared("B.DLL", SampleBytes(10, 6));
  b.flags = kFlagNoInstall | kShared;
  EXPECT_EQ(Install({a, b}), kResultOk);
  EXPECT_TRUE(host::ProgressEvents().empty());
  EXPECT_TRUE(host::Boxes().empty());
}

TEST_F(RunTest, DialogThatCannotBeCreatedGivesWindowProblem) {
  host::FailTransferDialog();
  EXPECT_EQ(Install({{"A.DAT", SampleBytes(10, 7)}}), kResultWindowProblem);
  EXPECT_FALSE(FileExistsOnHost(InGame("A.DAT")));
  EXPECT_TRUE(host::Boxes().empty());
}

// ---- the version check
// --------------------------------------------------------

struct VersionCase {
  const char* label;
  uint32_t installedMs, installedLs;
  uint32_t packagedMs, packagedLs;
  bool placed;
};

void PrintTo(const VersionCase& c, std::ostream* out) { *out << c.label; }

class VersionCheck : public RunTest,
                     public ::testing::WithParamInterface<VersionCase> {};

TEST_P(VersionCheck, InstalledCopyIsReplacedUnlessNewer) {
  const VersionCase& c = GetParam();
  const Bytes installed = MakeVersionedImage(c.installedMs, c.installedLs);
  WriteFile(InSystem("SHARED.DLL"), installed);
  const Bytes packaged = MakeVersionedImage(c.packagedMs, c.packagedLs);
  ASSERT_EQ(
      Install({Shared("SHARED.DLL", packaged, c.packagedMs, c.packagedLs)}),
      kResultOk);
  EXPECT_EQ(ReadFile(InSystem("SHARED.DLL")), c.placed ? packaged : installed);
  EXPECT_EQ(Percents(), (std::vector<int>{0, 100}));
  EXPECT_TRUE(host::Boxes().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Comparisons, VersionCheck,
    ::testing::Values(
        VersionCase{"equal", 0x00020001, 7, 0x00020001, 7, true},
        VersionCase{"older", 0x00010000, 9, 0x00020000, 0, true},
        VersionCase{"greater MS", 0x00020002, 0, 0x00020001, 9, false},
        VersionCase{"equal MS, greater LS", 0x00020001, 8, 0x00020001, 7,
                    false},
        VersionCase{"equal MS, smaller LS", 0x00020001, 6, 0x00020001, 7, true},
        VersionCase{"installed MS top bit", 0x80000000u, 0, 0x7FFFFFFF,
                    0xFFFFFFFFu, false},
        VersionCase{"packaged MS top bit", 0x7FFFFFFF, 0xFFFFFFFFu, 0x80000000u,
                    0, true},
        VersionCase{"LS top bit", 0x00010000, 0x80000000u, 0x00010000,
                    0x7FFFFFFF, false}));

TEST_F(RunTest, InstalledCopyWithoutVersionIsReplaced) {
  WriteFile(InSystem("SHARED.DLL"), "no version here");
  const Bytes packaged = MakeVersionedImage(1, 0);
  ASSERT_EQ(Install({Shared("SHARED.DLL", packaged, 1, 0)}), kResultOk);
  EXPECT_EQ(ReadFile(InSystem("SHARED.DLL")), packaged);
}

TEST_F(RunTest, SharedFileNotInstalledGoesWhereTheLibraryProposes) {
  const Bytes packaged = MakeVersionedImage(1, 0);
  ASSERT_EQ(Install({Shared("NEW.DLL", packaged, 1, 0)}), kResultOk);
  EXPECT_EQ(ReadFile(InSystem("NEW.DLL")), packaged);
  EXPECT_FALSE(FileExistsOnHost(InGame("NEW.DLL")));
}

class NeverWritten : public RunTest,
                     public ::testing::WithParamInterface<const char*> {};

TEST_P(NeverWritten, SharedDva386IsCountedButNeverWritten) {
  const Bytes content = SampleBytes(64, 8);
  ASSERT_EQ(Install({Shared(GetParam(), content, 9, 9),
                     {"B.DAT", SampleBytes(10, 9)}}),
            kResultOk);
  EXPECT_FALSE(FileExistsOnHost(InSystem(GetParam())));
  EXPECT_FALSE(FileExistsOnHost(InGame(GetParam())));
  EXPECT_EQ(Percents(), (std::vector<int>{0, 50, 100}));
}

TEST_P(NeverWritten, OrdinaryDva386IsPlaced) {
  const Bytes content = SampleBytes(64, 10);
  ASSERT_EQ(Install({{GetParam(), content}}), kResultOk);
  EXPECT_EQ(ReadFile(InGame(GetParam())), content);
}

INSTANTIATE_TEST_SUITE_P(AnyCase, NeverWritten,
                         ::testing::Values("dva.386", "DVA.386", "Dva.386"));

TEST_F(RunTest, InUseElsewhereThanTheDestinationIsNotAsked) {
  // Installed in the application directory and in use: VerFindFile gives
  // VFF_CURNEDEST | VFF_FILEINUSE (3); the new copy goes to the system
  // directory without message 39.
  WriteFile(InGame("SHARED.DLL"), MakeVersionedImage(1, 0));
  host::SetFileInUse("C:\\GAMES\\QUEST\\SHARED.DLL");
  const Bytes packaged = MakeVersionedImage(1, 0);
  ASSERT_EQ(Install({Shared("SHARED.DLL", packaged, 1, 0)}), kResultOk);
  EXPECT_EQ(ReadFile(InSystem("SHARED.DLL")), packaged);
  EXPECT_TRUE(host::Boxes().empty());
}

TEST_F(RunTest, InUseButNewerIsNotAsked) {
  const Bytes installed = MakeVersionedImage(5, 0);
  WriteFile(InSystem("SHARED.DLL"), installed);
  host::SetFileInUse("C:\\WINDOWS\\SYSTEM\\SHARED.DLL");
  ASSERT_EQ(Install({Shared("SHARED.DLL", MakeVersionedImage(4, 0), 4, 0)}),
            kResultOk);
  EXPECT_EQ(ReadFile(InSystem("SHARED.DLL")), installed);
  EXPECT_TRUE(host::Boxes().empty());
}

TEST_F(RunTest, InUseCancelledEndsTheRunBeforeTheOrdinaryFiles) {
  const Bytes installed = MakeVersionedImage(1, 0);
  WriteFile(InSystem("SHARED.DLL"), installed);
  host::SetFileInUse("C:\\WINDOWS\\SYSTEM\\SHARED.DLL");
  Answer(plat::kIdRetry);  // still in use: asked again
  Answer(plat::kIdCancel);
  EXPECT_EQ(Install({Shared("SHARED.DLL", MakeVersionedImage(2, 0), 2, 0),
                     {"uninstal.exe", SampleBytes(10, 11)},
                     {"A.DAT", SampleBytes(10, 12)}}),
            kResultCancel);
  EXPECT_EQ(
      BoxTexts(),
      std::vector<std::string>(
          2, "SHARED.DLL in use! Please, close all applications and retry."));
  EXPECT_EQ(ReadFile(InSystem("SHARED.DLL")), installed);
  EXPECT_FALSE(FileExistsOnHost(InGame("A.DAT")));
  EXPECT_FALSE(FileExistsOnHost(InGame("uninstal.bin")));
  EXPECT_EQ(Percents(), (std::vector<int>{0, 33}));
}

TEST_F(RunTest, InUseRetriedAfterTheFileIsFreedIsPlaced) {
  WriteFile(InSystem("SHARED.DLL"), MakeVersionedImage(1, 0));
  host::SetFileInUse("C:\\WINDOWS\\SYSTEM\\SHARED.DLL");
  host::SetResponder([](const host::Box&) {
    host::SetFileInUse("C:\\WINDOWS\\SYSTEM\\SHARED.DLL", false);
    return plat::kIdRetry;
  });
  const Bytes packaged = MakeVersionedImage(2, 0);
  ASSERT_EQ(Install({Shared("SHARED.DLL", packaged, 2, 0)}), kResultOk);
  EXPECT_EQ(host::Boxes().size(), 1u);
  EXPECT_EQ(ReadFile(InSystem("SHARED.DLL")), packaged);
}

// ---- halting
// --------------------------------------------------------------------

struct HaltCase {
  const char* label;
  int pump;
  bool confirm;
  ResultCode result;
  std::vector<std::string> placed;  // of S1.DLL, S2.DLL, O1, uninstal, O2
  bool descriptorCopied;
  // Instead of Cancel: the main window's close command or a quit request,
  // dispatched while this file is placed (by a box's own loop, say). It
  // halts without a confirmation.
  const char* closedDuring = nullptr;
};

void PrintTo(const HaltCase& c, std::ostream* out) { *out << c.label; }

class Halt : public RunTest, public ::testing::WithParamInterface<HaltCase> {};

TEST_P(Halt, TakesEffectBetweenFiles) {
  const HaltCase& c = GetParam();
  if (c.closedDuring != nullptr) {
    const std::string during = c.closedDuring;
    host::SetProgressObserver([during](const host::ProgressEvent& event) {
      if (event.kind == host::ProgressEvent::kName && event.name == during) {
        ModalResult = 2;
      }
    });
  } else {
    host::CancelAtPump(c.pump, c.confirm);
  }
  // Pumps: pass 1 before each of the five records (1 to 5), pass 2 again
  // (6 to 10).
  const std::vector<PackageFile> files = {Shared("S1.DLL", SampleBytes(10, 13)),
                                          Shared("S2.DLL", SampleBytes(10, 14)),
                                          {"O1.DAT", SampleBytes(9000, 15)},
                                          {"uninstal.exe", SampleBytes(10, 16)},
                                          {"O2.DAT", SampleBytes(10, 17)}};
  ASSERT_EQ(Install(files), c.result);
  // Every file placed is complete.
  std::vector<std::string> placed;
  for (const PackageFile& file : files) {
    const std::string path =
        file.flags == kShared ? InSystem(file.name) : InGame(file.name);
    if (!FileExistsOnHost(path)) continue;
    placed.push_back(file.name);
    EXPECT_EQ(ReadFile(path), file.content) << file.name;
  }
  EXPECT_EQ(placed, c.placed);
  EXPECT_EQ(FileExistsOnHost(InGame("uninstal.bin")), c.descriptorCopied);
  if (c.descriptorCopied) {
    EXPECT_EQ(ReadFile(InGame("uninstal.bin")), media_.descriptor);
  }
  EXPECT_TRUE(host::Boxes().empty());
  EXPECT_EQ(host::ProgressEvents().back().kind, host::ProgressEvent::kDestroy);
}

INSTANTIATE_TEST_SUITE_P(
    Cancel, Halt,
    ::testing::Values(
        HaltCase{"answered No",
                 2,
                 false,
                 kResultOk,
                 {"S1.DLL", "S2.DLL", "O1.DAT", "uninstal.exe", "O2.DAT"},
                 true},
        HaltCase{"Yes in pass 1", 2, true, kResultCancel, {"S1.DLL"}, false},
        HaltCase{"Yes in pass 2 after the uninstaller",
                 10,
                 true,
                 kResultCancel,
                 {"S1.DLL", "S2.DLL", "O1.DAT", "uninstal.exe"},
                 true},
        HaltCase{"close command during O1",
                 0,
                 false,
                 kResultCancel,
                 {"S1.DLL", "S2.DLL", "O1.DAT"},
                 false,
                 "O1.DAT"},
        HaltCase{"quit request during the uninstaller",
                 0,
                 false,
                 kResultCancel,
                 {"S1.DLL", "S2.DLL", "O1.DAT", "uninstal.exe"},
                 true,
                 "uninstal.exe"}));

TEST_F(RunTest, FailedOrdinaryFileIsCountedAndStopsEverything) {
  WriteFile(InGame("O1.DAT"), "old");
  chmod(InGame("O1.DAT").c_str(), 0444);
  Answer(plat::kIdAbort);
  EXPECT_EQ(Install({{"uninstal.exe", SampleBytes(10, 18)},
                     {"O1.DAT", SampleBytes(10, 19)},
                     {"O2.DAT", SampleBytes(10, 20)}}),
            kResultCancel);
  EXPECT_EQ(Percents(), (std::vector<int>{0, 33, 66}));
  EXPECT_FALSE(FileExistsOnHost(InGame("O2.DAT")));
  EXPECT_FALSE(FileExistsOnHost(InGame("uninstal.bin")));
  EXPECT_STREQ(Placement.UninstallerName, "uninstal.exe");
}

// A placement buffer that cannot be had ends the run with 37, shown to
// nobody: no further file, no descriptor copy.
TEST_F(RunTest, BufferThatCannotBeHadEndsTheRunWithThirtySeven) {
  media_ = BuildMedia("GAME", "QUEST.EXE", "Quest",
                      {{"uninstal.exe", SampleBytes(10, 26)},
                       {"O1.DAT", SampleBytes(10, 27)},
                       {"O2.DAT", SampleBytes(10, 28)}});
  Prepare(media_, "QUEST.EXE");
  host::InjectFault(host::Fault::kAlloc, 2);  // O1.DAT's output buffer
  EXPECT_EQ(RunInstallation(kInstallDirectory), kResultNoMemory);
  EXPECT_TRUE(FileExistsOnHost(InGame("uninstal.exe")));
  EXPECT_FALSE(FileExistsOnHost(InGame("O1.DAT")));
  EXPECT_FALSE(FileExistsOnHost(InGame("O2.DAT")));
  EXPECT_FALSE(FileExistsOnHost(InGame("uninstal.bin")));
  EXPECT_TRUE(host::Boxes().empty());
  EXPECT_EQ(host::ProgressEvents().back().kind, host::ProgressEvent::kDestroy);
  EXPECT_EQ(Volume.InputMemory, nullptr);
}

// ---- the descriptor step
// -------------------------------------------------------

TEST_F(RunTest, OneDiskPackageCopiesTheDescriptorWithoutAPrompt) {
  ASSERT_EQ(Install({{"uninstal.exe", SampleBytes(100, 21)},
                     {"QUEST.EXE", SampleBytes(100, 22)}}),
            kResultOk);
  EXPECT_TRUE(host::Boxes().empty());
  EXPECT_EQ(ReadFile(InGame("uninstal.bin")), media_.descriptor);
  EXPECT_STREQ(Placement.UninstallerName, "uninstal.exe");
  EXPECT_EQ(NamesShown().back(), "uninstal.bin");
}

class TwoDisks : public RunTest {
 protected:
  std::vector<PackageFile> Files() const {
    PackageFile big{"BIG.DAT", SampleBytes(90000, 23)};
    big.disks = {1, 2};
    PackageFile last{"LAST.DAT", SampleBytes(500, 24)};
    last.disks = {2};
    return {{"uninstal.exe", SampleBytes(100, 25)}, big, last};
  }
};

TEST_F(TwoDisks, AskForDiskOneAgainBeforeTheCopy) {
  ASSERT_EQ(Install(Files()), kResultOk);
  EXPECT_EQ(BoxTexts(),
            (std::vector<std::string>{"Insert disk 2 in drive A.",
                                      "Insert disk 1 in drive A."}));
  EXPECT_EQ(ReadFile(InGame("BIG.DAT")), SampleBytes(90000, 23));
  EXPECT_EQ(ReadFile(InGame("LAST.DAT")), SampleBytes(500, 24));
  EXPECT_EQ(ReadFile(InGame("uninstal.bin")), media_.descriptor);
  EXPECT_EQ(Volume.CurrentDisk, 1);
}

TEST_F(TwoDisks, CancelledDiskOnePromptSkipsOnlyTheCopy) {
  DiskAnswer(plat::kIdOk);
  DiskAnswer(plat::kIdCancel);
  ASSERT_EQ(Install(Files()), kResultOk);
  EXPECT_EQ(host::Boxes().size(), 2u);
  EXPECT_FALSE(FileExistsOnHost(InGame("uninstal.bin")));
  EXPECT_STREQ(Placement.UninstallerName, "uninstal.exe");
}

TEST_F(TwoDisks, PromptRepeatsUntilTheDescriptorIsFound) {
  int diskOnePrompts = 0;
  host::SetResponder([&](const host::Box& box) {
    if (box.text == "Insert disk 2 in drive A.") {
      host::MapDrive('A', DiskDirectory(2));
    } else if (++diskOnePrompts == 2) {
      host::MapDrive('A', DiskDirectory(1));  // the first time: still disk 2
    }
    return plat::kIdOk;
  });
  ASSERT_EQ(Install(Files()), kResultOk);
  EXPECT_EQ(diskOnePrompts, 2);
  EXPECT_EQ(ReadFile(InGame("uninstal.bin")), media_.descriptor);
}

// ---- the version library
// ------------------------------------------------------

struct LookupCase {
  const char* label;
  bool inSystem, inApp, inUse;
  const char* current;
  unsigned result;
};

void PrintTo(const LookupCase& c, std::ostream* out) { *out << c.label; }

class SharedFileLookup : public RunTest,
                         public ::testing::WithParamInterface<LookupCase> {};

TEST_P(SharedFileLookup, FindsTheInstalledCopyAndProposesTheSystemDirectory) {
  const LookupCase& c = GetParam();
  if (c.inSystem) WriteFile(InSystem("X.DLL"), "x");
  if (c.inApp) WriteFile(InGame("X.DLL"), "x");
  if (c.inUse) {
    host::SetFileInUse(std::string(c.current) + "\\X.DLL");
  }
  char current[kPathSize] = "junk";
  char destination[kPathSize] = "junk";
  unsigned currentLength = kPathSize;
  unsigned destinationLength = kPathSize;
  unsigned result = plat::VerFindFile(
      plat::kVfffIsSharedFile, "X.DLL", "C:\\WINDOWS", "C:\\GAMES\\QUEST\\",
      current, &currentLength, destination, &destinationLength);
  EXPECT_EQ(result, c.result);
  EXPECT_STREQ(current, c.current);
  EXPECT_STREQ(destination, "C:\\WINDOWS\\SYSTEM");
}

INSTANTIATE_TEST_SUITE_P(
    Places, SharedFileLookup,
    ::testing::Values(LookupCase{"nowhere", false, false, false, "", 0},
                      LookupCase{"system", true, false, false,
                                 "C:\\WINDOWS\\SYSTEM", 0},
                      LookupCase{"system in use", true, false, true,
                                 "C:\\WINDOWS\\SYSTEM", plat::kVffFileInUse},
                      LookupCase{"both: system first", true, true, false,
                                 "C:\\WINDOWS\\SYSTEM", 0},
                      LookupCase{"application", false, true, false,
                                 "C:\\GAMES\\QUEST\\", plat::kVffCurNeDest},
                      LookupCase{"application in use", false, true, true,
                                 "C:\\GAMES\\QUEST\\",
                                 plat::kVffCurNeDest | plat::kVffFileInUse}));

TEST_F(RunTest, VersionInformationComesFromTheFilesResource) {
  WriteFile(InSystem("V.DLL"), MakeVersionedImage(0x00030002, 0x00010000));
  const char* path = "C:\\WINDOWS\\SYSTEM\\V.DLL";
  const uint32_t size = plat::GetFileVersionInfoSize(path);
  ASSERT_GT(size, 0u);
  std::vector<uint8_t> data(size);
  ASSERT_TRUE(plat::GetFileVersionInfo(path, size, data.data()));
  uint32_t ms = 0, ls = 0;
  ASSERT_TRUE(plat::QueryFileVersion(data.data(), &ms, &ls));
  EXPECT_EQ(ms, 0x00030002u);
  EXPECT_EQ(ls, 0x00010000u);
  // A block too small for the resource stays bounded and is refused.
  std::vector<uint8_t> small(16);
  ASSERT_TRUE(plat::GetFileVersionInfo(path, 16, small.data()));
  EXPECT_FALSE(plat::QueryFileVersion(small.data(), &ms, &ls));
  WriteFile(InSystem("PLAIN.DLL"), "plain");
  EXPECT_EQ(plat::GetFileVersionInfoSize("C:\\WINDOWS\\SYSTEM\\PLAIN.DLL"), 0u);
}

}  // namespace
