// The destination dialog's decisions: the default directory, the free-space
// measurement, the OK steps with their boxes, and the creation of a missing
// directory.
#include "ui/destination.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "package/descriptor.h"
#include "platform/host/host_control.h"
#include "test_support.h"
#include "ui/messages.h"

namespace {

// The owner the dialog would pass.
char dialogToken;
plat::Window const kDialog = &dialogToken;

void SetProgramFile(const char* name) {
  memset(Package.Header.programFile, 0, sizeof Package.Header.programFile);
  strncpy(Package.Header.programFile, name,
          sizeof Package.Header.programFile - 1);
}

// ---- free space ------------------------------------------------------------

struct GeometryCase {
  const char* name;
  uint32_t sectorsPerCluster, bytesPerSector, freeClusters;
  uint32_t kb;
};

class FreeSpaceFromGeometryTest
    : public ::testing::TestWithParam<GeometryCase> {};

TEST_P(FreeSpaceFromGeometryTest, Kilobytes) {
  const GeometryCase& c = GetParam();
  EXPECT_EQ(FreeSpaceFromGeometry(c.sectorsPerCluster, c.bytesPerSector,
                                  c.freeClusters),
            c.kb);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FreeSpaceFromGeometryTest,
    ::testing::Values(
        GeometryCase{"FourKilobyteClusters", 8, 512, 1000, 4000},
        GeometryCase{"HalfKilobyteClustersRoundDown", 1, 512, 3, 1},
        GeometryCase{"NothingFree", 64, 512, 0, 0},
        // 2^28 clusters of 4 KiB are 1 TiB: 2^32 units of 256 bytes, which
        // wraps to 0 in 32 bits.
        GeometryCase{"OneTebibyteDoesNotWrap", 8, 512, 1u << 28, 1u << 30},
        GeometryCase{"JustBelowTheLimit", 2, 512, 0xFFFFFFFEu, 0xFFFFFFFEu},
        // Exactly all ones would mean "cannot be determined".
        GeometryCase{"AllOnesSaturatesBelowUnknown", 2, 512, 0xFFFFFFFFu,
                     0xFFFFFFFEu},
        GeometryCase{"HugeVolumeSaturates", 128, 512, 0xFFFFFFFFu, 0xFFFFFFFEu},
        GeometryCase{"ExtremeGeometrySaturates", 0xFFFFFFFFu, 0xFFFFFFFFu,
                     0xFFFFFFFFu, 0xFFFFFFFEu}),
    [](const ::testing::TestParamInfo<GeometryCase>& p) {
      return std::string(p.param.name);
    });

class DestinationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetDestination();
    host::MapDrive('C', root_.path());
    root_.Make("WINDOWS/");
    root_.Make("SETUP/");
    root_.Make("GAMES/");
    SetProgramFile("QUEST.EXE");
    // The installer's own directory holds an accented letter: \334 is a
    // capital U with diaeresis in Windows-1252, \374 its small letter.
    strcpy(Package.SourceDirectory, "C:\\SETUP\\\334BER\\");
    Package.RequiredKb = 1000;
    host::SetFreeSpace(8, 512, 1000, 2000);  // 4000 Kb free
    LoadCaption();
  }
  bool Exists(const std::string& relative) const {
    return FileExistsOnHost(root_.path() + "/" + relative);
  }

  TempDir root_;
};

TEST_F(DestinationTest, FreeSpaceIsAskedOfAMappedDriveOnly) {
  EXPECT_EQ(FreeSpaceKb("c:\\games\\missing\\deeper"), 4000u);
  EXPECT_EQ(FreeSpaceKb("c:"), 4000u);
  EXPECT_EQ(FreeSpaceKb("q:\\games"), kFreeSpaceUnknown);
  EXPECT_EQ(FreeSpaceKb("\\\\server\\share"), kFreeSpaceUnknown);
  host::FailFreeSpace();
  EXPECT_EQ(FreeSpaceKb("c:\\games"), kFreeSpaceUnknown);
}

// ---- the default
// --------------------------------------------------------------

struct DefaultCase {
  const char* name;
  std::string windows;
  const char* programFile;
  bool controlPanel;
  const char* expected;
};

class DefaultDirectoryTest : public ::testing::TestWithParam<DefaultCase> {
 protected:
  void SetUp() override { ResetDestination(); }
};

TEST_P(DefaultDirectoryTest, Proposal) {
  const DefaultCase& c = GetParam();
  host::SetWindowsDirectory(c.windows);
  SetProgramFile(c.programFile);
  Package.ControlPanelPackage = c.controlPanel ? 1 : 0;
  SetDefaultInstallDirectory();
  EXPECT_STREQ(InstallDirectory, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DefaultDirectoryTest,
    ::testing::Values(
        DefaultCase{"Game", "C:\\WINDOWS", "GAME.EXE", false,
                    "c:\\windows\\game"},
        DefaultCase{"ControlPanel", "C:\\WINDOWS", "GAME.EXE", true,
                    "c:\\windows"},
        DefaultCase{"WindowsInRoot", "D:\\", "GAME.EXE", false, "d:\\game"},
        DefaultCase{"ControlPanelInRoot", "D:\\", "GAME.EXE", true, "d:\\"},
        DefaultCase{"OnlyTheLastExtensionGoes", "C:\\WINDOWS", "Quest.V2.Exe",
                    false, "c:\\windows\\quest.v2"},
        // A full stop in the Windows directory is not the program's
        // extension.
        DefaultCase{"DotInDirectoryKept", "C:\\WIN.95", "SETUP", false,
                    "c:\\win.95\\setup"},
        // A Windows directory that does not fit its buffer: "c:\".
        DefaultCase{"NoWindowsDirectory", "C:\\" + std::string(280, 'A'),
                    "GAME.EXE", false, "c:\\game"}),
    [](const ::testing::TestParamInfo<DefaultCase>& p) {
      return std::string(p.param.name);
    });

// ---- the OK steps
// ---------------------------------------------------------------

struct FormCase {
  const char* text;
  bool acceptable;
};

class DestinationFormTest : public ::testing::TestWithParam<FormCase> {};

TEST_P(DestinationFormTest, Form) {
  EXPECT_EQ(DestinationFormAcceptable(GetParam().text), GetParam().acceptable)
      << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DestinationFormTest,
    ::testing::Values(FormCase{"c:\\", true}, FormCase{"c:\\games", true},
                      FormCase{"\\\\srv\\share\\games", true},
                      FormCase{"c:", false}, FormCase{"games", false},
                      FormCase{"c:games", false}, FormCase{"\\games", false},
                      FormCase{"", false}));

// Each refusal shows "Invalid directory!" under the default title and
// keeps the dialog open.
class RefusedDestinationTest
    : public DestinationTest,
      public ::testing::WithParamInterface<std::string> {};

TEST_P(RefusedDestinationTest, InvalidDirectory) {
  host::QueueAnswer(plat::kIdOk);
  EXPECT_FALSE(AcceptDestination(kDialog, GetParam().c_str()));
  ASSERT_EQ(host::Boxes().size(), 1u);
  EXPECT_EQ(host::Boxes()[0].text, "Invalid directory!");
  EXPECT_TRUE(host::Boxes()[0].defaultCaption);
  EXPECT_EQ(host::Boxes()[0].owner, kDialog);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RefusedDestinationTest,
    ::testing::Values("c:", "games", "c:games",
                      // The installer's own directory, in any case (the
                      // accented letter included), with or without its
                      // backslash.
                      "C:\\SETUP\\\334BER\\", "c:\\setup\\\334BER",
                      "c:\\Setup\\\374ber\\", "c:\\setup\\\374ber",
                      // 259 characters leave no room for the backslash.
                      "c:\\" + std::string(256, 'a')));

TEST_F(DestinationTest, ExistingDirectoryIsTakenAsTypedWithOneBackslash) {
  EXPECT_TRUE(AcceptDestination(kDialog, "C:\\Games"));
  EXPECT_STREQ(InstallDirectory, "C:\\Games\\");
  EXPECT_TRUE(AcceptDestination(kDialog, "c:\\games\\"));
  EXPECT_STREQ(InstallDirectory, "c:\\games\\");
  EXPECT_TRUE(host::Boxes().empty());
}

TEST_F(DestinationTest, DriveRootKeepsItsBackslash) {
  EXPECT_TRUE(AcceptDestination(kDialog, "c:\\"));
  EXPECT_STREQ(InstallDirectory, "c:\\");
  EXPECT_TRUE(host::Boxes().empty());
}

// Only less than RequiredKb is short: exactly as much passes.
TEST_F(DestinationTest, SpaceExactlyAsRequiredPasses) {
  Package.RequiredKb = 4000;
  EXPECT_TRUE(AcceptDestination(kDialog, "c:\\games"));
  EXPECT_TRUE(host::Boxes().empty());
}

TEST_F(DestinationTest, LowSpaceAbortKeepsTheDialog) {
  Package.RequiredKb = 4001;
  host::QueueAnswer(plat::kIdAbort);
  EXPECT_FALSE(AcceptDestination(kDialog, "c:\\games"));
  ASSERT_EQ(host::Boxes().size(), 1u);
  EXPECT_EQ(host::Boxes()[0].text,
            "There is not enough disk space in the target directory. Do you "
            "want to try anyway?");
  EXPECT_EQ(host::Boxes()[0].caption, "Setup");
  EXPECT_EQ(host::Boxes()[0].type, 0x42u);
}

TEST_F(DestinationTest, LowSpaceIgnoreGoesOn) {
  Package.RequiredKb = 4001;
  host::QueueAnswer(plat::kIdIgnore);
  EXPECT_TRUE(AcceptDestination(kDialog, "c:\\games"));
  EXPECT_EQ(host::Boxes().size(), 1u);
}

// Retry measures again; once space has been freed the checks go on without
// a further message.
TEST_F(DestinationTest, LowSpaceRetryMeasuresAgain) {
  Package.RequiredKb = 4001;
  int asked = 0;
  host::SetResponder([&asked](const host::Box&) {
    if (++asked == 2) host::SetFreeSpace(8, 512, 2000, 4000);
    return plat::kIdRetry;
  });
  EXPECT_TRUE(AcceptDestination(kDialog, "c:\\games"));
  EXPECT_EQ(asked, 2);
}

TEST_F(DestinationTest, UnknownSpacePassesTheCheck) {
  Package.RequiredKb = 0xFFFFFFF0u;
  host::FailFreeSpace();
  EXPECT_TRUE(AcceptDestination(kDialog, "c:\\games"));
  EXPECT_TRUE(host::Boxes().empty());
}

TEST_F(DestinationTest, MissingDirectoryNotWantedStays) {
  host::QueueAnswer(plat::kIdNo);
  EXPECT_FALSE(AcceptDestination(kDialog, "c:\\new\\quest\\"));
  ASSERT_EQ(host::Boxes().size(), 1u);
  EXPECT_EQ(host::Boxes()[0].text,
            "The directory c:\\new\\quest does not exist. \n\nDo you want to "
            "create it?\n\nIf you choose \"No\", you will have to re-enter a "
            "different location.");
  EXPECT_EQ(host::Boxes()[0].caption, "QUEST.EXE");
  EXPECT_EQ(host::Boxes()[0].type, 0x24u);
  EXPECT_FALSE(Exists("new"));
}

TEST_F(DestinationTest, MissingDirectoryIsCreatedAfterYes) {
  host::QueueAnswer(plat::kIdYes);
  EXPECT_TRUE(AcceptDestination(kDialog, "c:\\new\\quest"));
  EXPECT_STREQ(InstallDirectory, "c:\\new\\quest\\");
  EXPECT_TRUE(Exists("new/quest"));
}

struct CannotCreateCase {
  const char* name;
  const char* typed;
  const char* file;  // a file in the way, or null
  bool failCreation;
  const char* message;
};

class CannotCreateTest
    : public DestinationTest,
      public ::testing::WithParamInterface<CannotCreateCase> {};

// After Yes, a directory that cannot be made is named with its backslash
// and the dialog stays.
TEST_P(CannotCreateTest, CannotCreateNamesThePathWithItsBackslash) {
  const CannotCreateCase& c = GetParam();
  if (c.file != nullptr) WriteFile(root_.path() + "/" + c.file, "x");
  if (c.failCreation) host::InjectFault(host::Fault::kCreateDirectory, 2);
  host::QueueAnswer(plat::kIdYes);
  host::QueueAnswer(plat::kIdOk);
  EXPECT_FALSE(AcceptDestination(kDialog, c.typed));
  ASSERT_EQ(host::Boxes().size(), 2u);
  EXPECT_EQ(host::Boxes()[1].text, c.message);
  EXPECT_EQ(host::Boxes()[1].type, 0x30u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CannotCreateTest,
    ::testing::Values(
        CannotCreateCase{"DriveThatDoesNotExist", "q:\\games", nullptr, false,
                         "Cannot create q:\\games\\!"},
        CannotCreateCase{"NameIsAFile", "c:\\games\\quest", "GAMES/quest",
                         false, "Cannot create c:\\games\\quest\\!"},
        CannotCreateCase{"SecondLevelFails", "c:\\new\\quest", nullptr, true,
                         "Cannot create c:\\new\\quest\\!"}),
    [](const ::testing::TestParamInfo<CannotCreateCase>& p) {
      return std::string(p.param.name);
    });

TEST_F(DestinationTest, CreationKeepsWhatItMadeBeforeAFailure) {
  strcpy(InstallDirectory, "c:\\one\\two\\three");
  host::InjectFault(host::Fault::kCreateDirectory, 2);
  EXPECT_EQ(CreateInstallDirectory(), kResultCannotCreate);
  EXPECT_STREQ(InstallDirectory, "c:\\one\\two\\three\\");
  EXPECT_TRUE(Exists("one"));
  EXPECT_FALSE(Exists("one/two"));
}

TEST_F(DestinationTest, CreationOfExistingPathsAndRoots) {
  strcpy(InstallDirectory, "C:\\GAMES");
  EXPECT_EQ(CreateInstallDirectory(), kResultOk);
  EXPECT_STREQ(InstallDirectory, "C:\\GAMES\\");
  strcpy(InstallDirectory, "c:\\");
  EXPECT_EQ(CreateInstallDirectory(), kResultOk);
  strcpy(InstallDirectory, "q:\\");
  EXPECT_EQ(CreateInstallDirectory(), kResultCannotCreate);
  // A UNC path's walk starts with the server alone, which is never a
  // directory.
  strcpy(InstallDirectory, "\\\\srv\\share\\new");
  EXPECT_EQ(CreateInstallDirectory(), kResultCannotCreate);
}

}  // namespace
