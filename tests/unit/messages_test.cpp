// Message boxes, ReportResult, the string table's coverage, the path
// helpers and locked memory.
#include "ui/messages.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/memory.h"
#include "base/result.h"
#include "base/text.h"
#include "package/descriptor.h"
#include "platform/host/host_control.h"
#include "platform/host/string_table.h"
#include "test_support.h"

namespace {

plat::Window Owner() { return reinterpret_cast<plat::Window>(0x1234); }

void SetProgramFile(const char* name) {
  CopyText(Package.Header.programFile, sizeof(Package.Header.programFile),
           name);
}

struct BoxCase {
  const char* label;
  int (*show)(plat::Window, unsigned, const char*);
  unsigned type;
};

class FormattedVariants : public ::testing::TestWithParam<BoxCase> {};

TEST_P(FormattedVariants, CaptionIsProgramFileAndTypeIsFixed) {
  SetProgramFile("QUEST.EXE");
  host::QueueAnswer(plat::kIdRetry);
  int answer = GetParam().show(Owner(), kResultReadError, "A:\\QUEST.DAT");
  EXPECT_EQ(answer, plat::kIdRetry);
  ASSERT_EQ(host::Boxes().size(), 1u);
  const host::Box& box = host::Boxes()[0];
  EXPECT_EQ(box.caption, "QUEST.EXE");
  EXPECT_EQ(box.text, "A:\\QUEST.DAT: read error!");
  EXPECT_EQ(box.type, GetParam().type);
  EXPECT_EQ(box.owner, Owner());
}

INSTANTIATE_TEST_SUITE_P(
    AllVariants, FormattedVariants,
    ::testing::Values(BoxCase{"Notice", NoticeBox, 0x30},
                      BoxCase{"RetryCancel", RetryCancelBox, 0x35},
                      BoxCase{"YesNo", YesNoBox, 0x24},
                      BoxCase{"AbortRetryIgnore", AbortRetryIgnoreBox, 0x32}),
    [](const ::testing::TestParamInfo<BoxCase>& param) {
      return std::string(param.param.label);
    });

TEST(MessageBoxes, SetupBoxUsesCaptionAndCallersType) {
  LoadCaption();
  EXPECT_STREQ(Caption, "Setup");
  host::QueueAnswer(plat::kIdIgnore);
  EXPECT_EQ(SetupBox(Owner(), kResultLowSpace, 0x42), plat::kIdIgnore);
  const host::Box& box = host::Boxes().at(0);
  EXPECT_EQ(box.caption, "Setup");
  EXPECT_EQ(box.type, 0x42u);
  EXPECT_EQ(box.text,
            "There is not enough disk space in the target directory. Do you "
            "want to try anyway?");
}

TEST(MessageBoxes, PlainWarningHasDefaultTitleAndShowsPlaceholderUnchanged) {
  host::QueueAnswer(plat::kIdOk);
  PlainWarningBox(nullptr, kResultMissing);
  const host::Box& box = host::Boxes().at(0);
  EXPECT_TRUE(box.defaultCaption);
  EXPECT_EQ(box.type, 0x30u);
  EXPECT_EQ(box.text, "%s is missing!");
}

TEST(MessageBoxes, FormattedTextIsBoundedWithLongestStringAndPath) {
  SetProgramFile("GAME.EXE");
  std::string path(259, 'x');
  host::QueueAnswer(plat::kIdYes);
  YesNoBox(Owner(), kStrCreateDirectory, path.c_str());
  const std::string& text = host::Boxes().at(0).text;
  EXPECT_LE(text.size(), 511u);
  EXPECT_EQ(text.rfind("The directory " + path + " does not exist. \n\n", 0),
            0u);
  EXPECT_NE(text.find("If you choose \"No\", you will have to re-enter"),
            std::string::npos);
}

TEST(MessageBoxes, UnterminatedProgramFileCaptionStaysInsideItsField) {
  memset(Package.Header.programFile, 'A', sizeof(Package.Header.programFile));
  memset(Package.Header.productTitle, 'B', sizeof(Package.Header.productTitle));
  host::QueueAnswer(plat::kIdOk);
  NoticeBox(Owner(), kResultWriteError, "x");
  EXPECT_EQ(host::Boxes().at(0).caption.find('B'), std::string::npos);
}

TEST(MessageBoxes, FormatWithoutPlaceholderIgnoresArgument) {
  host::QueueAnswer(plat::kIdRetry);
  RetryCancelBox(Owner(), kResultDiskFull, "C:\\GAME\\X.DAT");
  EXPECT_EQ(host::Boxes().at(0).text, "Disk full!");
}

TEST(ReportResult, PathCodesNameSubjectPathUnderProgramFileCaption) {
  CopyText(SubjectPath, kPathSize, "D:\\SETUP.bin");
  for (int i = 0; i < 3; ++i) host::QueueAnswer(plat::kIdOk);
  ReportResult(Owner(), kResultMissing);
  ReportResult(Owner(), kResultReadError);
  ReportResult(Owner(), kResultWriteError);
  ASSERT_EQ(host::Boxes().size(), 3u);
  EXPECT_EQ(host::Boxes()[0].text, "D:\\SETUP.bin is missing!");
  EXPECT_EQ(host::Boxes()[0].caption, "");  // descriptor never read
  EXPECT_EQ(host::Boxes()[1].text, "D:\\SETUP.bin: read error!");
  EXPECT_EQ(host::Boxes()[2].text, "D:\\SETUP.bin: write error!");
  for (const host::Box& box : host::Boxes()) EXPECT_EQ(box.type, 0x30u);
}

// Every failure (32 to 43) and every other string id has a text in the
// string table; the button answers are not failures and have none.
TEST(StringTable, EveryResultCodeAndStringIdHasAText) {
  for (ResultCode code = kResultWindowProblem; code <= kResultError; ++code) {
    const char* text = StringTableText(static_cast<unsigned>(code));
    EXPECT_TRUE(text != nullptr && *text != '\0') << "result " << code;
  }
  for (unsigned id :
       {kStrCreateDirectory, kStrKb, kStrInsertDisk, kStrFinishGame,
        kStrFinishControlPanel, kStrGroup, kStrUninstallItem, kStrCaption}) {
    const char* text = StringTableText(id);
    EXPECT_TRUE(text != nullptr && *text != '\0') << "string " << id;
  }
  for (ResultCode answer :
       {kResultOk, kResultCancel, kResultAbort, kResultRetry, kResultIgnore}) {
    EXPECT_EQ(StringTableText(static_cast<unsigned>(answer)), nullptr);
  }
}

TEST(ReportResult, OtherCodesArePlainWarnings) {
  for (int i = 0; i < 3; ++i) host::QueueAnswer(plat::kIdOk);
  ReportResult(nullptr, kResultWindowProblem);
  ReportResult(nullptr, kResultNoMemory);
  ReportResult(nullptr, kResultError);
  EXPECT_EQ(host::Boxes()[0].text, "Window problem...");
  EXPECT_EQ(host::Boxes()[1].text, "Not enough memory!");
  EXPECT_EQ(host::Boxes()[2].text, "Error!");
  for (const host::Box& box : host::Boxes()) EXPECT_TRUE(box.defaultCaption);
}

struct PathCase {
  const char* before;
  const char* after;
};

class RemoveTrailing : public ::testing::TestWithParam<PathCase> {};
TEST_P(RemoveTrailing, RemovesOneBackslashFromTextsLongerThanThree) {
  char path[kPathSize];
  CopyText(path, kPathSize, GetParam().before);
  RemoveTrailingBackslash(path);
  EXPECT_STREQ(path, GetParam().after);
}
INSTANTIATE_TEST_SUITE_P(Cases, RemoveTrailing,
                         ::testing::Values(PathCase{"C:\\", "C:\\"},
                                           PathCase{"C:\\A\\", "C:\\A"},
                                           PathCase{"ab\\", "ab\\"},
                                           PathCase{"C:\\A\\\\", "C:\\A\\"},
                                           PathCase{"C:\\A", "C:\\A"},
                                           PathCase{"", ""}));

class AddTrailing : public ::testing::TestWithParam<PathCase> {};
TEST_P(AddTrailing, AppendsOneBackslashToNonEmptyTexts) {
  char path[kPathSize];
  CopyText(path, kPathSize, GetParam().before);
  EXPECT_TRUE(AddTrailingBackslash(path));
  EXPECT_STREQ(path, GetParam().after);
}
INSTANTIATE_TEST_SUITE_P(
    Cases, AddTrailing,
    ::testing::Values(PathCase{"", ""}, PathCase{"C:", "C:\\"},
                      PathCase{"C:\\", "C:\\"},
                      PathCase{"c:\\games", "c:\\games\\"}));

class Extension : public ::testing::TestWithParam<PathCase> {};
TEST_P(Extension, OnlyTheLastDotOfTheLastComponentCounts) {
  char path[kPathSize];
  CopyText(path, kPathSize, GetParam().before);
  EXPECT_TRUE(ReplaceExtension(path, ".bin"));
  EXPECT_STREQ(path, GetParam().after);
}
INSTANTIATE_TEST_SUITE_P(
    Cases, Extension,
    ::testing::Values(PathCase{"D:\\SETUP.EXE", "D:\\SETUP.bin"},
                      PathCase{"D:\\SETUP", "D:\\SETUP.bin"},
                      PathCase{"D:\\V1.0\\SETUP", "D:\\V1.0\\SETUP.bin"},
                      PathCase{"SETUP.V2.EXE", "SETUP.V2.bin"},
                      PathCase{"NAME.", "NAME.bin"}, PathCase{"", ".bin"}));

TEST(PathHelpers, GrowingPastTheBufferFailsAndKeepsTheText) {
  char path[kPathSize];
  std::string full(259, 'a');
  CopyText(path, kPathSize, full.c_str());
  EXPECT_FALSE(AddTrailingBackslash(path));
  EXPECT_EQ(std::string(path), full);
  std::string almost = std::string(256, 'b') + ".e";  // base 256 + ".bin"
  CopyText(path, kPathSize, almost.c_str());
  EXPECT_FALSE(ReplaceExtension(path, ".bin"));
  EXPECT_EQ(std::string(path), almost);
  std::string fits = std::string(255, 'c') + ".e";  // base 255 + ".bin" = 259
  CopyText(path, kPathSize, fits.c_str());
  EXPECT_TRUE(ReplaceExtension(path, ".bin"));
  EXPECT_EQ(strlen(path), 259u);
}

TEST(TextHelpers, CopyAndAppendCutAtTheLimitAndSaySo) {
  char buffer[8];
  EXPECT_TRUE(CopyText(buffer, sizeof(buffer), "abc"));
  EXPECT_TRUE(AppendText(buffer, sizeof(buffer), "defg"));
  EXPECT_STREQ(buffer, "abcdefg");
  EXPECT_FALSE(AppendText(buffer, sizeof(buffer), "h"));
  EXPECT_STREQ(buffer, "abcdefg");
  EXPECT_FALSE(CopyText(buffer, sizeof(buffer), "0123456789"));
  EXPECT_STREQ(buffer, "0123456");
  char small[4];
  FormatText(small, sizeof(small), "%lu Kb", 4294967295ul);
  EXPECT_STREQ(small, "429");
}

TEST(LockedMemory, BlocksAreZeroFilledAndFreedOnce) {
  plat::MemHandle handle = nullptr;
  auto* block = static_cast<uint8_t*>(AllocLocked(32000, &handle));
  ASSERT_NE(block, nullptr);
  EXPECT_NE(handle, nullptr);
  for (int i = 0; i < 32000; ++i) ASSERT_EQ(block[i], 0);
  FreeLocked(&handle);
  EXPECT_EQ(handle, nullptr);
  FreeLocked(&handle);  // harmless on a cleared handle
}

TEST(LockedMemory, FailuresLeaveTheHandleCleared) {
  plat::MemHandle handle = reinterpret_cast<plat::MemHandle>(1);
  EXPECT_EQ(AllocLocked(0, &handle), nullptr);  // no lockable zero block
  EXPECT_EQ(handle, nullptr);
  host::InjectFault(host::Fault::kAlloc);
  EXPECT_EQ(AllocLocked(16, &handle), nullptr);
  EXPECT_EQ(handle, nullptr);
  host::InjectFault(host::Fault::kLock);
  EXPECT_EQ(AllocLocked(16, &handle), nullptr);
  EXPECT_EQ(handle, nullptr);
}

}  // namespace
