// The graphics-mode setting: reading the settings file, the bit rules of
// the graphics-mode dialog and the settings write.
#include "ui/settings.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/host/host_control.h"
#include "test_support.h"

namespace {

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSettings();
    host::MapDrive('C', root_.path());
    windows_ = root_.Make("WINDOWS/");
  }
  std::string IniPath() const { return windows_ + "tarny.ini"; }

  TempDir root_;
  std::string windows_;
};

struct ReadCase {
  const char* name;
  const char* file;  // null: no settings file
  int flags;
  int present;
};

class ReadSettingsTest : public SettingsTest,
                         public ::testing::WithParamInterface<ReadCase> {};

TEST_P(ReadSettingsTest, ValueOrDefault) {
  const ReadCase& c = GetParam();
  if (c.file != nullptr) WriteFile(IniPath(), std::string(c.file));
  GraphicsModeFlags = 12345;
  SettingsPresent = 7;
  ReadSettings();
  EXPECT_EQ(GraphicsModeFlags, c.flags);
  EXPECT_EQ(SettingsPresent, c.present);
  EXPECT_EQ(ChangeDriverOffered(), c.present == 1);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadSettingsTest,
    ::testing::Values(
        ReadCase{"NoFile", nullptr, 35, 0},
        ReadCase{"NoKey", "[setup]\r\nother=4\r\n", 35, 0},
        ReadCase{"KeyInAnotherSection", "[game]\r\ngrmf=99\r\n", 35, 0},
        ReadCase{"HundredMeansAbsent", "[setup]\r\ngrmf=100\r\n", 35, 0},
        ReadCase{"Stored", "[setup]\r\ngrmf=99\r\n", 99, 1},
        ReadCase{"Zero", "[setup]\r\ngrmf=0\r\n", 0, 1},
        ReadCase{"Negative", "[setup]\r\ngrmf=-1\r\n", -1, 1}),
    [](const ::testing::TestParamInfo<ReadCase>& p) {
      return std::string(p.param.name);
    });

struct ModeCase {
  int stored;
  GraphicsModeChoice shown;
  GraphicsModeChoice chosen;
  int confirmed;
};

class GraphicsModeTest : public ::testing::TestWithParam<ModeCase> {};

TEST_P(GraphicsModeTest, ShownAndConfirmed) {
  const ModeCase& c = GetParam();
  EXPECT_EQ(GraphicsModeShown(c.stored), c.shown);
  EXPECT_EQ(GraphicsModeConfirmed(c.stored, c.chosen), c.confirmed);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GraphicsModeTest,
    ::testing::Values(
        // 0x63: both mode bits; optimised wins, confirmed unchanged is 35.
        ModeCase{99, kChoiceOptimised, kChoiceOptimised, 35},
        ModeCase{64, kChoiceWinG, kChoiceStandard, 0},
        ModeCase{64, kChoiceWinG, kChoiceWinG, 64},
        // 0xF3 keeps only its low four bits through any choice.
        ModeCase{243, kChoiceOptimised, kChoiceOptimised, 35},
        ModeCase{243, kChoiceOptimised, kChoiceWinG, 67},
        ModeCase{243, kChoiceOptimised, kChoiceStandard, 3},
        ModeCase{0, kChoiceStandard, kChoiceOptimised, 32},
        ModeCase{-1, kChoiceOptimised, kChoiceWinG, 79}));

TEST_F(SettingsTest, WriteStoresSignedDecimalInTheWindowsDirectory) {
  WriteSettingsInt("setup", "grmf", -2147483647 - 1, "tarny.ini");
  const Bytes written = ReadFile(IniPath());
  EXPECT_EQ(std::string(written.begin(), written.end()),
            "[setup]\r\ngrmf=-2147483648\r\n");
  GraphicsModeFlags = 67;
  WriteGraphicsMode();
  ReadSettings();
  EXPECT_EQ(GraphicsModeFlags, 67);
  EXPECT_EQ(SettingsPresent, 1);
}

TEST_F(SettingsTest, FailedWriteGoesUnnoticed) {
  host::MapDrive('C', root_.path() + "/missing");
  GraphicsModeFlags = 35;
  WriteGraphicsMode();  // nothing to check but that nothing is shown
  EXPECT_TRUE(host::Boxes().empty());
}

}  // namespace
