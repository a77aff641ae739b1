// The main flow and the setup sequence: which dialogs run in which order,
// what each result leads to, and the closing steps after a successful run
// (settings write, Program Manager registration, finish dialog), with real
// files installed from two disks.
#include "app/main_flow.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "base/text.h"
#include "install_fixture.h"
#include "platform/host/host_dde.h"
#include "platform/host/host_dialogs.h"
#include "ui/destination.h"
#include "ui/resources/dialog_ids.h"
#include "ui/settings.h"

namespace {

class MainFlowTest : public InstallTest {
 protected:
  void SetUp() override {
    InstallTest::SetUp();
    host::ResetDialogs();
    host::ResetDde();
    ResetSettings();
    ResetDestination();
    mkdir(OnC("WINDOWS").c_str(), 0755);
    mkdir(OnC("GAMES").c_str(), 0755);
  }

  // Writes a two-disk game (or Control Panel) package on A: and loads its
  // descriptor as start-up would.
  void UsePackage(const std::string& magic, const std::string& programFile) {
    files_ = {{programFile, SampleBytes(3000, 1)},
              {"DATA\\LEVEL1.DAT", SampleBytes(9000, 2), 0, 0, 0, {1, 2}},
              {"uninstal.exe", SampleBytes(700, 3)}};
    const Media media = BuildMedia(magic, programFile, "Quest", files_);
    WriteMedia(media, programFile);
  }

  void WriteMedia(const Media& media, const std::string& programFile) {
    WriteFile(DiskDirectory(1) + "/SETUP.bin", media.descriptor);
    std::string volumeName = programFile;
    const size_t dot = volumeName.rfind('.');
    if (dot != std::string::npos) volumeName.resize(dot);
    for (const auto& volume : media.volumes) {
      WriteFile(DiskDirectory(volume.first) + "/" + volumeName + ".dat",
                volume.second);
    }
    LoadDescriptorForTest(media.descriptor, "A:\\");
  }

  void StoreSettings(const std::string& text) { WriteFile(IniPath(), text); }
  std::string Settings() const {
    const Bytes bytes = ReadFile(IniPath());
    return std::string(bytes.begin(), bytes.end());
  }
  std::string IniPath() const { return OnC("WINDOWS/tarny.ini"); }

  // The destination dialog accepting an existing directory.
  static void QueueDestination(const char* typed) {
    host::QueueDialog(IDD_DESTINATION, 1, [typed] {
      ASSERT_TRUE(AcceptDestination(nullptr, typed));
    });
  }

  // Every file of the package is in GAMES/QUEST, byte for byte, the
  // uninstaller under uninstaller.
  void ExpectInstalled(const std::string& uninstaller = "uninstal.exe") const {
    for (const PackageFile& file : files_) {
      std::string relative =
          file.name == "uninstal.exe" ? uninstaller : file.name;
      for (char& c : relative) c = c == '\\' ? '/' : c;
      EXPECT_EQ(ReadFile(OnC("GAMES/QUEST/" + relative)), file.content)
          << file.name;
    }
  }

  bool Created() const {
    for (const host::ProgressEvent& event : host::ProgressEvents()) {
      if (event.kind == host::ProgressEvent::kCreate) return true;
    }
    return false;
  }

  std::vector<PackageFile> files_;
};

using Templates = std::vector<int>;

TEST_F(MainFlowTest, FirstInstallationStoresDefaultRegistersAndSaysSo) {
  UsePackage("GAME", "QUEST.EXE");
  mkdir(OnC("GAMES/QUEST").c_str(), 0755);
  host::QueueDialog(IDD_WELCOME, IDC_WELCOME_SETUP);
  QueueDestination("c:\\games\\quest");
  host::QueueDialog(IDD_FINISH_FIRST, 2);
  MainFlow();

  EXPECT_EQ(host::DialogsRun(),
            (Templates{IDD_WELCOME, IDD_DESTINATION, IDD_FINISH_FIRST}));
  ExpectInstalled();
  EXPECT_EQ(ReadFile(OnC("GAMES/QUEST/uninstal.bin")),
            ReadFile(DiskDirectory(1) + "/SETUP.bin"));
  EXPECT_EQ(Settings(), "[setup]\r\ngrmf=35\r\n");
  EXPECT_EQ(host::DdeCommands().size(), 5u);
  EXPECT_EQ(Volume.InputMemory, nullptr);
  EXPECT_EQ(Volume.VolumeHandle, plat::kFileError);
}

struct PresentCase {
  const char* name;
  const char* stored;
  bool present;
};

class SettingsAtStartTest : public MainFlowTest,
                            public ::testing::WithParamInterface<PresentCase> {
};

// Settings present: the file is left alone (a value stored with a leading
// zero would be written back without it) and the finish dialog is 411; a
// stored 100 counts as absent.
TEST_P(SettingsAtStartTest, FinishAndSettingsWrite) {
  const PresentCase& c = GetParam();
  UsePackage("GAME", "QUEST.EXE");
  StoreSettings(c.stored);
  const int finish = c.present ? IDD_FINISH_AGAIN : IDD_FINISH_FIRST;
  host::QueueDialog(IDD_WELCOME, IDC_WELCOME_SETUP);
  QueueDestination("c:\\games\\new");
  host::QueueDialog(finish, 2);
  Answer(plat::kIdYes);  // create c:\games\new
  MainFlow();
  EXPECT_EQ(host::DialogsRun(),
            (Templates{IDD_WELCOME, IDD_DESTINATION, finish}));
  EXPECT_EQ(Settings(), c.present ? c.stored : "[setup]\r\ngrmf=35\r\n");
  EXPECT_EQ(host::DdeCommands().size(), 5u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SettingsAtStartTest,
    ::testing::Values(PresentCase{"Present", "[setup]\r\ngrmf=099\r\n", true},
                      PresentCase{"HundredIsAbsent", "[setup]\r\ngrmf=100\r\n",
                                  false}),
    [](const ::testing::TestParamInfo<PresentCase>& p) {
      return std::string(p.param.name);
    });

TEST_F(MainFlowTest, ControlPanelPackageIsNotRegistered) {
  UsePackage("INSV", "QUEST.CPL");
  mkdir(OnC("GAMES/QUEST").c_str(), 0755);
  host::QueueDialog(IDD_WELCOME, IDC_WELCOME_SETUP);
  QueueDestination("c:\\games\\quest");
  host::QueueDialog(IDD_FINISH_FIRST, 2);
  MainFlow();
  EXPECT_EQ(host::DialogsRun().back(), IDD_FINISH_FIRST);
  EXPECT_TRUE(host::DdeEvents().empty());
  // The uninstaller is named after the program file.
  ExpectInstalled("QUEST.exe");
}

struct DriverCase {
  const char* name;
  int dialogResult;
  GraphicsModeChoice clicked;
  const char* stored;  // afterwards
};

class ChangeDriverTest : public MainFlowTest,
                         public ::testing::WithParamInterface<DriverCase> {};

// OK stores the confirmed mode; Cancel or the close command (2) stores
// nothing, whatever was clicked: the stored text stays as it was, leading
// zero included.
TEST_P(ChangeDriverTest, StoresOnlyOnOk) {
  const DriverCase& c = GetParam();
  UsePackage("GAME", "QUEST.EXE");
  StoreSettings("[setup]\r\ngrmf=0243\r\n");
  host::QueueDialog(IDD_WELCOME, IDC_WELCOME_CHANGE_DRIVER,
                    [] { EXPECT_TRUE(ChangeDriverOffered()); });
  const DriverCase copy = c;
  host::QueueDialog(IDD_GRAPHICS_MODE, c.dialogResult, [copy] {
    if (copy.dialogResult == plat::kIdOk) {
      GraphicsModeFlags =
          GraphicsModeConfirmed(GraphicsModeFlags, copy.clicked);
    }
  });
  MainFlow();
  EXPECT_EQ(host::DialogsRun(), (Templates{IDD_WELCOME, IDD_GRAPHICS_MODE}));
  EXPECT_EQ(Settings(), c.stored);
  EXPECT_FALSE(Created());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ChangeDriverTest,
    ::testing::Values(
        DriverCase{"WinG", 1, kChoiceWinG, "[setup]\r\ngrmf=67\r\n"},
        DriverCase{"Standard", 1, kChoiceStandard, "[setup]\r\ngrmf=3\r\n"},
        DriverCase{"Cancel", 2, kChoiceWinG, "[setup]\r\ngrmf=0243\r\n"}),
    [](const ::testing::TestParamInfo<DriverCase>& p) {
      return std::string(p.param.name);
    });

// "Quit Installer", the close command and a welcome dialog that cannot be
// created all give 2: nothing else happens.
TEST_F(MainFlowTest, QuitAtWelcomeDoesNothing) {
  UsePackage("GAME", "QUEST.EXE");
  host::QueueDialog(IDD_WELCOME, 2);
  MainFlow();
  EXPECT_EQ(host::DialogsRun(), (Templates{IDD_WELCOME}));
  EXPECT_FALSE(FileExistsOnHost(IniPath()));
  EXPECT_FALSE(Created());
}

TEST_F(MainFlowTest, QuitAtDestinationEndsTheSequence) {
  UsePackage("GAME", "QUEST.EXE");
  host::QueueDialog(IDD_DESTINATION, 2);
  EXPECT_EQ(SetupSequence(), kResultCancel);
  EXPECT_EQ(host::DialogsRun(), (Templates{IDD_DESTINATION}));
  EXPECT_FALSE(Created());
}

TEST_F(MainFlowTest, NoInputBufferIsThirtySeven) {
  UsePackage("GAME", "QUEST.EXE");
  host::QueueDialog(IDD_DESTINATION, 1, [] {
    CopyText(InstallDirectory, kPathSize, "C:\\GAMES\\");
    host::InjectFault(host::Fault::kAlloc);
  });
  EXPECT_EQ(SetupSequence(), kResultNoMemory);
  EXPECT_FALSE(Created());
  EXPECT_TRUE(host::Boxes().empty());
}

struct FailedRunCase {
  const char* name;
  bool failDialog;
  ResultCode result;
};

class FailedRunTest : public MainFlowTest,
                      public ::testing::WithParamInterface<FailedRunCase> {};

// A failed or halted run: no settings write, no registration, no finish,
// and the InputBuffer released.
TEST_P(FailedRunTest, NothingAfterTheRun) {
  const FailedRunCase& c = GetParam();
  UsePackage("GAME", "QUEST.EXE");
  if (c.failDialog) {
    host::FailTransferDialog();
  } else {
    host::CancelAtPump(2, true);
  }
  host::QueueDialog(IDD_DESTINATION, 1, [] {
    CopyText(InstallDirectory, kPathSize, "C:\\GAMES\\");
  });
  EXPECT_EQ(SetupSequence(), c.result);
  EXPECT_EQ(host::DialogsRun(), (Templates{IDD_DESTINATION}));
  EXPECT_FALSE(FileExistsOnHost(IniPath()));
  EXPECT_TRUE(host::DdeEvents().empty());
  EXPECT_EQ(Volume.InputMemory, nullptr);
  EXPECT_EQ(Volume.VolumeHandle, plat::kFileError);
}

INSTANTIATE_TEST_SUITE_P(Cases, FailedRunTest,
                         ::testing::Values(FailedRunCase{"NoTransferDialog",
                                                         true, 32},
                                           FailedRunCase{"Halted", false, 2}),
                         [](const ::testing::TestParamInfo<FailedRunCase>& p) {
                           return std::string(p.param.name);
                         });

// 253 characters without an extension.
const char kLongProgramFile[] =
    "QQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQ"
    "QQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQ"
    "QQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQ"
    "QQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQ";

struct VolumeNameCase {
  const char* programFile;
  const char* volumePath;
};

class DataVolumePathTest
    : public MainFlowTest,
      public ::testing::WithParamInterface<VolumeNameCase> {};

// Nothing to install: the run returns at once and the sequence itself
// releases the InputBuffer.
TEST_P(DataVolumePathTest, ProgramFileWithDat) {
  PackageFile skipped{"README.TXT", SampleBytes(10, 4)};
  skipped.flags = kFlagNoInstall;
  WriteMedia(BuildMedia("GAME", GetParam().programFile, "Quest", {skipped}),
             GetParam().programFile);
  host::QueueDialog(IDD_DESTINATION, 1, [] {
    CopyText(InstallDirectory, kPathSize, "C:\\GAMES\\");
  });
  host::QueueDialog(IDD_FINISH_FIRST, 2);
  EXPECT_EQ(SetupSequence(), kResultOk);
  EXPECT_STREQ(Volume.DataVolumePath, GetParam().volumePath);
  EXPECT_EQ(Volume.InputMemory, nullptr);
  EXPECT_FALSE(Created());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DataVolumePathTest,
    ::testing::Values(VolumeNameCase{"QUEST.EXE", "A:\\QUEST.dat"},
                      VolumeNameCase{"QUEST", "A:\\QUEST.dat"},
                      VolumeNameCase{"Q.V2.EXE", "A:\\Q.V2.dat"},
                      // 3 + 253 + ".dat" would be 259 + 1: no room, no
                      // cut name; the volume path stays empty.
                      VolumeNameCase{kLongProgramFile, ""}));

}  // namespace
