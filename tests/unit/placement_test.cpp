// Placing one file: target paths, the uninstaller's name, directory
// creation, write-protected files, bounded paths, and the descriptor copy
// beside the uninstaller.
#include "install/placement.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "install_fixture.h"

namespace {

// ---- target path forms ------------------------------------------------------

struct TargetCase {
  const char* destination;
  const char* name;
  const char* target;
};

class TargetPathForms : public ::testing::TestWithParam<TargetCase> {};

TEST_P(TargetPathForms, ResolveAgainstTheDestination) {
  char target[kPathSize];
  ASSERT_TRUE(
      ResolveTargetPath(GetParam().name, GetParam().destination, target));
  EXPECT_STREQ(target, GetParam().target);
}

INSTANTIATE_TEST_SUITE_P(
    DriveAndUnc, TargetPathForms,
    ::testing::Values(
        TargetCase{"C:\\PROD\\", "\\WINDOWS\\PROD.INI",
                   "C:\\WINDOWS\\PROD.INI"},
        TargetCase{"C:\\PROD\\", "D:\\SYS\\X.DLL", "C:\\SYS\\X.DLL"},
        TargetCase{"C:\\PROD\\", "DATA\\A.DAT", "C:\\PROD\\DATA\\A.DAT"},
        // A UNC destination has no drive: a rooted name stays as it is.
        TargetCase{"\\\\srv\\share\\prod\\", "\\WINDOWS\\PROD.INI",
                   "\\WINDOWS\\PROD.INI"},
        TargetCase{"\\\\srv\\share\\prod\\", "D:\\SYS\\X.DLL", "\\SYS\\X.DLL"},
        TargetCase{"\\\\srv\\share\\prod\\", "DATA\\A.DAT",
                   "\\\\srv\\share\\prod\\DATA\\A.DAT"}));

TEST(TargetPath, ThatWouldNotFitKeepsOnlyWhatFits) {
  std::string destination = "C:\\" + std::string(250, 'D') + "\\";
  char target[kPathSize];
  EXPECT_FALSE(ResolveTargetPath("LONGNAME.DAT", destination.c_str(), target));
  EXPECT_EQ(std::string(target),
            (destination + "LONGNAME.DAT").substr(0, kPathSize - 1));
}

// ---- placing files
// ------------------------------------------------------------

class Placing : public InstallTest {
 protected:
  // Prepares a package of the given files (programFile QUEST.EXE) and
  // makes a dialog stand-in the owner of the boxes.
  void PrepareFiles(const std::vector<PackageFile>& files,
                    const std::string& magic = "GAME",
                    const std::string& programFile = "QUEST.EXE") {
    Prepare(BuildMedia(magic, programFile, "Quest", files), programFile);
    FileTransferDialog = &dialog_;
  }
  char dialog_ = 0;
};

TEST_F(Placing, NameFormsLandWhereTheyResolve) {
  std::vector<PackageFile> files = {{"\\WINDOWS\\PROD.INI", SampleBytes(10, 1)},
                                    {"D:\\SYS\\X.DLL", SampleBytes(40000, 2)},
                                    {"DATA\\A.DAT", SampleBytes(70000, 3)}};
  mkdir(OnC("PROD").c_str(), 0755);
  PrepareFiles(files);
  const char* places[] = {"WINDOWS/PROD.INI", "SYS/X.DLL", "PROD/DATA/A.DAT"};
  for (unsigned i = 0; i < files.size(); ++i) {
    ASSERT_EQ(InstallFileRecord(Record(i), "C:\\PROD\\"), kResultOk);
    EXPECT_EQ(ReadFile(OnC(places[i])), files[i].content) << places[i];
    EXPECT_EQ(Volume.CurrentRecord, Record(i));
  }
  EXPECT_EQ(Output.OutputHandle, plat::kFileError);
  EXPECT_EQ(Output.OutputMemory, nullptr);
  EXPECT_TRUE(host::Boxes().empty());
  EXPECT_STREQ(Placement.UninstallerName, "");
}

TEST_F(Placing, DeepTargetCreatesItsDirectoriesWithoutAMessage) {
  mkdir(OnC("PROD").c_str(), 0755);
  PrepareFiles({{"A\\B\\F.DAT", SampleBytes(100, 4)}});
  ASSERT_EQ(InstallFileRecord(Record(0), "C:\\PROD\\"), kResultOk);
  EXPECT_EQ(ReadFile(OnC("PROD/A/B/F.DAT")), SampleBytes(100, 4));
  // One level at a time: A, then A\B.
  EXPECT_EQ(host::CallCount(host::Fault::kCreateDirectory), 2);
  EXPECT_TRUE(host::Boxes().empty());
}

TEST_F(Placing, NameWithoutBackslashInMissingDirectoryAsksAtOnce) {
  PrepareFiles({{"F.DAT", SampleBytes(10, 5)}});
  Answer(plat::kIdCancel);
  EXPECT_EQ(InstallFileRecord(Record(0), "C:\\NOWHERE\\"), kResultCancel);
  EXPECT_EQ(BoxTexts(),
            std::vector<std::string>{"C:\\NOWHERE\\F.DAT: write error!"});
  EXPECT_EQ(host::Boxes()[0].owner, &dialog_);
  EXPECT_EQ(host::Boxes()[0].type,
            plat::kMbRetryCancel | plat::kMbIconExclamation);
  EXPECT_EQ(host::CallCount(host::Fault::kCreateDirectory), 0);
  EXPECT_FALSE(FileExistsOnHost(OnC("NOWHERE")));
}

TEST_F(Placing, UncWalkStartsAtTheServerAndAsksWhenNothingCanBeCreated) {
  PrepareFiles({{"DATA\\F.DAT", SampleBytes(10, 6)}});
  Answer(plat::kIdRetry);  // walks again, fails again
  Answer(plat::kIdCancel);
  EXPECT_EQ(InstallFileRecord(Record(0), "\\\\srv\\share\\prod\\"),
            kResultCancel);
  // \\srv, \\srv\share, \\srv\share\prod, ...\DATA on each attempt.
  EXPECT_EQ(host::CallCount(host::Fault::kCreateDirectory), 8);
  EXPECT_EQ(host::Boxes().size(), 2u);
}

TEST_F(Placing, WalkRetriedOnceMoreAfterTheUserAnswersRetry) {
  mkdir(OnC("PROD").c_str(), 0755);
  PrepareFiles({{"SUB\\F.DAT", SampleBytes(10, 7)}});
  host::InjectFault(host::Fault::kCreateDirectory);
  Answer(plat::kIdRetry);
  ASSERT_EQ(InstallFileRecord(Record(0), "C:\\PROD\\"), kResultOk);
  EXPECT_EQ(BoxTexts(),
            std::vector<std::string>{"C:\\PROD\\SUB\\F.DAT: write error!"});
  EXPECT_EQ(ReadFile(OnC("PROD/SUB/F.DAT")), SampleBytes(10, 7));
}

struct ProtectedCase {
  std::vector<int> answers;  // Retry asks again
  ResultCode result;
};

class WriteProtected : public Placing,
                       public ::testing::WithParamInterface<ProtectedCase> {};

TEST_P(WriteProtected, ExistingFileIsAskedAboutAndKeptUnlessReplaced) {
  const Bytes old = {'o', 'l', 'd'};
  WriteFile(OnC("PROD/F.DAT"), old);
  chmod(OnC("PROD/F.DAT").c_str(), 0444);
  PrepareFiles({{"F.DAT", SampleBytes(50, 8)}});
  for (int answer : GetParam().answers) Answer(answer);
  EXPECT_EQ(InstallFileRecord(Record(0), "C:\\PROD\\"), GetParam().result);
  ASSERT_EQ(host::Boxes().size(), GetParam().answers.size());
  EXPECT_EQ(host::Boxes()[0].text,
            "C:\\PROD\\F.DAT: Setup cannot replace this file because it is "
            "write protected.");
  EXPECT_EQ(host::Boxes()[0].type,
            plat::kMbAbortRetryIgnore | plat::kMbIconExclamation);
  EXPECT_EQ(ReadFile(OnC("PROD/F.DAT")), old);
  EXPECT_EQ(host::CallCount(host::Fault::kRead), 0);  // nothing decoded
}

INSTANTIATE_TEST_SUITE_P(
    Answers, WriteProtected,
    ::testing::Values(ProtectedCase{{plat::kIdIgnore}, kResultOk},
                      ProtectedCase{{plat::kIdAbort}, kResultCancel},
                      ProtectedCase{{plat::kIdRetry, plat::kIdIgnore},
                                    kResultOk}));

// A file that existed is replaced only by a complete new one: what fails
// while the new one is decoded or put in its place leaves the old one as it
// was, and no temporary file behind.
struct ReplaceCase {
  const char* name;
  bool volumeMissing;  // decoding fails: read error, Cancel
  int moveFailures;    // putting the new file in place fails this often
  std::vector<int> answers;
  ResultCode result;
  bool replaced;
  bool unreadable = false;  // the old file cannot be opened to see it is
                            // there (it is, all the same)
};

class Replacing : public Placing,
                  public ::testing::WithParamInterface<ReplaceCase> {};

TEST_P(Replacing, OldFileStaysUnlessTheNewOneIsComplete) {
  const ReplaceCase& c = GetParam();
  const Bytes old = {'o', 'l', 'd'};
  WriteFile(OnC("PROD/F.DAT"), old);
  PrepareFiles({{"F.DAT", SampleBytes(70000, 12)}});
  if (c.volumeMissing) host::MapDrive('A', DiskDirectory(9));
  if (c.unreadable) host::InjectFault(host::Fault::kOpen);
  if (c.moveFailures > 0) {
    host::InjectFault(host::Fault::kMoveFile, 1, c.moveFailures);
  }
  for (int answer : c.answers) Answer(answer);
  EXPECT_EQ(InstallFileRecord(Record(0), "C:\\PROD\\"), c.result);
  EXPECT_EQ(host::Boxes().size(), c.answers.size());
  EXPECT_EQ(ReadFile(OnC("PROD/F.DAT")),
            c.replaced ? SampleBytes(70000, 12) : old);
  EXPECT_FALSE(FileExistsOnHost(OnC("PROD/SETUP$$$.TMP")));
  EXPECT_EQ(Output.OutputHandle, plat::kFileError);
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, Replacing,
    ::testing::Values(
        ReplaceCase{"Complete", false, 0, {}, kResultOk, true},
        ReplaceCase{
            "DecodeFails", true, 0, {plat::kIdCancel}, kResultCancel, false},
        ReplaceCase{"UnreadableOldFileDecodeFails",
                    true,
                    0,
                    {plat::kIdCancel},
                    kResultCancel,
                    false,
                    true},
        ReplaceCase{"SwapRetried", false, 1, {plat::kIdRetry}, kResultOk, true},
        ReplaceCase{
            "SwapIgnored", false, 1, {plat::kIdIgnore}, kResultOk, false},
        ReplaceCase{"SwapAborted",
                    false,
                    2,
                    {plat::kIdRetry, plat::kIdAbort},
                    kResultCancel,
                    false}),
    [](const ::testing::TestParamInfo<ReplaceCase>& param) {
      return std::string(param.param.name);
    });

TEST_F(Placing, NoOutputBufferMeansNotEnoughMemoryAndNothingTouched) {
  PrepareFiles({{"F.DAT", SampleBytes(50, 10)}});
  host::InjectFault(host::Fault::kAlloc);
  EXPECT_EQ(InstallFileRecord(Record(0), "C:\\"), kResultNoMemory);
  EXPECT_FALSE(FileExistsOnHost(OnC("F.DAT")));
  EXPECT_TRUE(host::Boxes().empty());
}

TEST_F(Placing, FailedDecodeLeavesThePartFileAndGivesCancel) {
  PrepareFiles({{"F.DAT", SampleBytes(50, 11)}});
  host::MapDrive('A', DiskDirectory(9));  // no volume in the drive
  Answer(plat::kIdCancel);
  EXPECT_EQ(InstallFileRecord(Record(0), "C:\\"), kResultCancel);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"A:\\QUEST.dat: read error!"});
  EXPECT_TRUE(FileExistsOnHost(OnC("F.DAT")));
  EXPECT_EQ(Output.OutputHandle, plat::kFileError);
}

TEST_F(Placing, OverlongTargetIsRefusedNamingWhatFits) {
  std::string directory(240, 'D');
  mkdir(OnC(directory).c_str(), 0755);
  std::string name = std::string(30, 'N') + ".DAT";
  PrepareFiles({{name, SampleBytes(5, 12)}});
  Answer(plat::kIdRetry);
  Answer(plat::kIdCancel);
  std::string destination = "C:\\" + directory + "\\";
  EXPECT_EQ(InstallFileRecord(Record(0), destination.c_str()), kResultCancel);
  const std::string cut = (destination + name).substr(0, kPathSize - 1);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>(2, cut + ": write error!"));
  EXPECT_FALSE(FileExistsOnHost(OnC(directory + "/" + cut.substr(244))));
  EXPECT_EQ(host::CallCount(host::Fault::kOpen), 0);
}

// ---- the uninstaller's name
// ---------------------------------------------------

// A file in the destination before the install: a name and, for a sibling
// descriptor, the programFile it names (empty: an uninstaller program).
struct Existing {
  const char* name;
  const char* programFile;
};

struct NamingCase {
  const char* label;
  std::vector<Existing> existing;
  const char* recordName;
  const char* magic;
  const char* programFile;
  const char* uninstallerName;  // expected; "" when none is named
  const char* placedAt;         // where the record's bytes land
};

void PrintTo(const NamingCase& c, std::ostream* out) { *out << c.label; }

class UninstallerNaming : public Placing,
                          public ::testing::WithParamInterface<NamingCase> {};

TEST_P(UninstallerNaming, ChoosesTheExpectedCandidate) {
  const NamingCase& c = GetParam();
  for (const Existing& file : c.existing) {
    if (file.programFile[0] == '\0') {
      WriteFile(OnC(std::string("PROD/") + file.name), "earlier");
    } else {
      WriteFile(OnC(std::string("PROD/") + file.name),
                MakeDescriptor("GAME", file.programFile, "Other", {}));
    }
  }
  mkdir(OnC("PROD").c_str(), 0755);
  PrepareFiles({{c.recordName, SampleBytes(300, 13)}}, c.magic, c.programFile);
  ASSERT_EQ(InstallFileRecord(Record(0), "C:\\PROD\\"), kResultOk);
  EXPECT_STREQ(Placement.UninstallerName, c.uninstallerName);
  EXPECT_EQ(ReadFile(OnC(std::string("PROD/") + c.placedAt)),
            SampleBytes(300, 13));
  EXPECT_TRUE(host::Boxes().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Candidates, UninstallerNaming,
    ::testing::Values(NamingCase{"free",
                                 {},
                                 "uninstal.exe",
                                 "GAME",
                                 "QUEST.EXE",
                                 "uninstal.exe",
                                 "uninstal.exe"},
                      // A free name keeps the record's spelling.
                      NamingCase{"any case triggers",
                                 {},
                                 "UNINSTAL.EXE",
                                 "GAME",
                                 "QUEST.EXE",
                                 "uninstal.exe",
                                 "UNINSTAL.EXE"},
                      NamingCase{
                          "ours in another case is replaced",
                          {{"uninstal.exe", ""}, {"uninstal.bin", "quest.exe"}},
                          "uninstal.exe",
                          "GAME",
                          "QUEST.EXE",
                          "uninstal.exe",
                          "uninstal.exe"},
                      NamingCase{"no sibling",
                                 {{"uninstal.exe", ""}},
                                 "uninstal.exe",
                                 "GAME",
                                 "QUEST.EXE",
                                 "unins1.exe",
                                 "unins1.exe"},
                      NamingCase{"another product, then no sibling",
                                 {{"uninstal.exe", ""},
                                  {"uninstal.bin", "OTHER.EXE"},
                                  {"unins1.exe", ""}},
                                 "uninstal.exe",
                                 "GAME",
                                 "QUEST.EXE",
                                 "unins2.exe",
                                 "unins2.exe"},
                      NamingCase{"ours found further on",
                                 {{"uninstal.exe", ""},
                                  {"uninstal.bin", "OTHER.EXE"},
                                  {"unins1.exe", ""},
                                  {"unins1.bin", "Quest.Exe"}},
                                 "uninstal.exe",
                                 "GAME",
                                 "QUEST.EXE",
                                 "unins1.exe",
                                 "unins1.exe"},
                      NamingCase{"rooted name is an ordinary file",
                                 {},
                                 "\\uninstal.exe",
                                 "GAME",
                                 "QUEST.EXE",
                                 "",
                                 "../uninstal.exe"},
                      NamingCase{"name in a sub-directory is an ordinary file",
                                 {},
                                 "SUB\\uninstal.exe",
                                 "GAME",
                                 "QUEST.EXE",
                                 "",
                                 "SUB/uninstal.exe"},
                      NamingCase{"control panel with extension",
                                 {{"X.exe", ""}},
                                 "uninstal.exe",
                                 "INSV",
                                 "X.CPL",
                                 "X.exe",
                                 "X.exe"},
                      NamingCase{"control panel without extension",
                                 {},
                                 "uninstal.exe",
                                 "INSV",
                                 "X",
                                 "X.exe",
                                 "X.exe"}));

TEST_F(Placing, EveryCandidateTakenLeavesUnins999) {
  WriteFile(OnC("PROD/uninstal.exe"), "other");
  for (int n = 1; n <= 998; ++n) {
    WriteFile(OnC("PROD/unins" + std::to_string(n) + ".exe"), "other");
  }
  PrepareFiles({{"uninstal.exe", SampleBytes(20, 14)}});
  ASSERT_EQ(InstallFileRecord(Record(0), "C:\\PROD\\"), kResultOk);
  EXPECT_STREQ(Placement.UninstallerName, "unins999.exe");
  EXPECT_EQ(ReadFile(OnC("PROD/unins999.exe")), SampleBytes(20, 14));
}

TEST_F(Placing, Unins999OfAnotherProductIsNotOverwritten) {
  WriteFile(OnC("PROD/uninstal.exe"), "other");
  for (int n = 1; n <= 999; ++n) {
    WriteFile(OnC("PROD/unins" + std::to_string(n) + ".exe"), "other");
  }
  WriteFile(OnC("PROD/unins999.bin"),
            MakeDescriptor("GAME", "OTHER.EXE", "Other", {}));
  PrepareFiles({{"uninstal.exe", SampleBytes(20, 15)}});
  Answer(plat::kIdCancel);
  EXPECT_EQ(InstallFileRecord(Record(0), "C:\\PROD\\"), kResultCancel);
  EXPECT_EQ(BoxTexts(),
            std::vector<std::string>{"C:\\PROD\\unins999.exe: write error!"});
  EXPECT_EQ(ReadFile(OnC("PROD/unins999.exe")),
            Bytes({'o', 't', 'h', 'e', 'r'}));
}

TEST_F(Placing, ControlPanelNameThatCannotFitIsRefused) {
  std::string programFile(kProgramFileSize - 1, 'X');  // no extension
  PrepareFiles({{"uninstal.exe", SampleBytes(20, 16)}}, "INSV", programFile);
  Answer(plat::kIdCancel);
  EXPECT_EQ(InstallFileRecord(Record(0), "C:\\"), kResultCancel);
  EXPECT_STREQ(Placement.UninstallerName, "");
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{
                            ("C:\\" + programFile).substr(0, kPathSize - 1) +
                            ": write error!"});
  EXPECT_EQ(host::CallCount(host::Fault::kOpen), 0);
}

// ---- the descriptor copy
// --------------------------------------------------------

class DescriptorCopy : public Placing {
 protected:
  // A source descriptor of size bytes as A:\SETUP.bin, and C:\PROD.
  Bytes MakeSource(size_t size) {
    PrepareFiles({});
    Bytes data = SampleBytes(size, 17);
    WriteFile(DiskDirectory(1) + "/SETUP.bin", data);
    mkdir(OnC("PROD").c_str(), 0755);
    return data;
  }
};

class CopySizes : public DescriptorCopy,
                  public ::testing::WithParamInterface<size_t> {};

TEST_P(CopySizes, CopiesInBlocksOf32768) {
  const Bytes data = MakeSource(GetParam());
  const int readsBefore = host::CallCount(host::Fault::kRead);
  ASSERT_EQ(
      CopyDescriptorForUninstaller("uninstal.bin", "SETUP.bin", "C:\\PROD\\"),
      kResultOk);
  EXPECT_EQ(ReadFile(OnC("PROD/uninstal.bin")), data);
  EXPECT_TRUE(FileExistsOnHost(OnC("PROD/uninstal.bin")));
  const int blocks = static_cast<int>((GetParam() + 32767) / 32768);
  EXPECT_EQ(host::CallCount(host::Fault::kRead) - readsBefore, blocks);
  EXPECT_EQ(host::CallCount(host::Fault::kWrite), blocks);
}

INSTANTIATE_TEST_SUITE_P(Lengths, CopySizes,
                         ::testing::Values(0u, 32768u, 32769u, 65536u));

TEST_F(DescriptorCopy, ShortReadAndShortWriteAreRetriedToAnExactCopy) {
  const Bytes data = MakeSource(70000);
  host::InjectFault(host::Fault::kShortRead, 2);   // the second block
  host::InjectFault(host::Fault::kShortWrite, 3);  // the third block
  Answer(plat::kIdRetry);
  Answer(plat::kIdRetry);
  ASSERT_EQ(
      CopyDescriptorForUninstaller("uninstal.bin", "SETUP.bin", "C:\\PROD\\"),
      kResultOk);
  EXPECT_EQ(BoxTexts(),
            (std::vector<std::string>{"A:\\SETUP.bin: read error!",
                                      "C:\\PROD\\uninstal.bin: write error!"}));
  EXPECT_EQ(ReadFile(OnC("PROD/uninstal.bin")), data);
}

TEST_F(DescriptorCopy, MissingSourceAsksAndCancelGivesCancel) {
  MakeSource(10);
  Answer(plat::kIdRetry);
  Answer(plat::kIdCancel);
  EXPECT_EQ(
      CopyDescriptorForUninstaller("uninstal.bin", "MISSING.bin", "C:\\PROD\\"),
      kResultCancel);
  EXPECT_EQ(BoxTexts(),
            std::vector<std::string>(2, "A:\\MISSING.bin: read error!"));
  EXPECT_FALSE(FileExistsOnHost(OnC("PROD/uninstal.bin")));
}

TEST_F(DescriptorCopy, WriteProtectedDestinationIgnoredCopiesNothing) {
  MakeSource(10);
  WriteFile(OnC("PROD/uninstal.bin"), "old");
  chmod(OnC("PROD/uninstal.bin").c_str(), 0444);
  Answer(plat::kIdIgnore);
  EXPECT_EQ(
      CopyDescriptorForUninstaller("uninstal.bin", "SETUP.bin", "C:\\PROD\\"),
      kResultOk);
  EXPECT_EQ(ReadFile(OnC("PROD/uninstal.bin")), Bytes({'o', 'l', 'd'}));
}

TEST_F(DescriptorCopy, NoCopyBufferMeansNotEnoughMemory) {
  MakeSource(10);
  host::InjectFault(host::Fault::kAlloc);
  EXPECT_EQ(
      CopyDescriptorForUninstaller("uninstal.bin", "SETUP.bin", "C:\\PROD\\"),
      kResultNoMemory);
  EXPECT_TRUE(host::Boxes().empty());
}

TEST_F(DescriptorCopy, WalkCoversOnlyTheDirectoriesOfTheName) {
  const Bytes data = MakeSource(100);
  ASSERT_EQ(
      CopyDescriptorForUninstaller("SUB\\X.bin", "SETUP.bin", "C:\\PROD\\"),
      kResultOk);
  EXPECT_EQ(ReadFile(OnC("PROD/SUB/X.bin")), data);
  EXPECT_EQ(host::CallCount(host::Fault::kCreateDirectory), 1);
}

TEST_F(DescriptorCopy, OverlongDestinationIsRefusedNamingWhatFits) {
  MakeSource(10);
  std::string directory = "C:\\" + std::string(250, 'D') + "\\";
  Answer(plat::kIdCancel);
  EXPECT_EQ(CopyDescriptorForUninstaller("uninstal.bin", "SETUP.bin",
                                         directory.c_str()),
            kResultCancel);
  EXPECT_EQ(BoxTexts(),
            std::vector<std::string>{
                (directory + "uninstal.bin").substr(0, kPathSize - 1) +
                ": write error!"});
}

}  // namespace
