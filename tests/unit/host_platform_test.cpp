// The Linux platform that every other test stands on: DOS path mapping,
// file semantics that the installer relies on, settings files, faults.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "install_fixture.h"
#include "platform/dde.h"
#include "platform/format.h"
#include "platform/host/host_control.h"
#include "platform/host/host_dde.h"
#include "platform/platform.h"
#include "test_support.h"

namespace {

class HostPlatform : public ::testing::Test {
 protected:
  void SetUp() override { host::MapDrive('C', dir_.path()); }
  std::string Host(const std::string& relative) {
    return dir_.path() + "/" + relative;
  }
  TempDir dir_;
};

TEST_F(HostPlatform, ExistingComponentsAreFoundWithoutRegardToCase) {
  WriteFile(Host("games/quest.exe"), "MZ");
  EXPECT_EQ(host::HostPath("C:\\GAMES\\Quest.EXE"), Host("games/quest.exe"));
  // The part that does not exist keeps the case it was written in.
  EXPECT_EQ(host::HostPath("c:\\Games\\New\\File.Txt"),
            Host("games/New/File.Txt"));
  EXPECT_EQ(host::HostPath("C:\\a\\..\\..\\games"), Host("games"));
  EXPECT_EQ(host::HostPath("Q:\\x"), "");  // unmapped drive
  EXPECT_EQ(host::HostPath("\\\\server\\share\\x"), "");
}

TEST_F(HostPlatform, RelativePathsFollowTheCurrentDirectory) {
  WriteFile(Host("games/a.txt"), "a");
  ASSERT_TRUE(plat::SetCurrentDirectory("C:\\GAMES"));
  EXPECT_EQ(host::CurrentDirectory(), "C:\\GAMES");
  EXPECT_EQ(host::HostPath("a.txt"), Host("games/a.txt"));
  EXPECT_EQ(host::HostPath("\\games\\a.txt"), Host("games/a.txt"));
  EXPECT_FALSE(plat::SetCurrentDirectory("C:\\GAMES\\A.TXT"));  // a file
  EXPECT_FALSE(plat::SetCurrentDirectory("C:\\NOWHERE"));
  EXPECT_EQ(host::CurrentDirectory(), "C:\\GAMES");
}

TEST_F(HostPlatform, FilesReadWriteSeekAndCreate) {
  plat::HFile file = plat::lcreat("C:\\NEW.DAT", 0);
  ASSERT_NE(file, plat::kFileError);
  EXPECT_EQ(plat::lwrite(file, "hello", 5), 5);
  plat::lclose(file);
  file = plat::lopen("C:\\new.dat", plat::kOpenRead);
  ASSERT_NE(file, plat::kFileError);
  EXPECT_EQ(plat::llseek(file, 0, plat::kSeekEnd), 5);
  EXPECT_EQ(plat::llseek(file, 1, plat::kSeekSet), 1);
  char buffer[8] = {};
  EXPECT_EQ(plat::lread(file, buffer, 8), 4);
  EXPECT_STREQ(buffer, "ello");
  EXPECT_EQ(plat::lread(file, buffer, 8), 0);
  plat::lclose(file);
  EXPECT_EQ(plat::lopen("C:\\MISSING", plat::kOpenRead), plat::kFileError);
  EXPECT_EQ(plat::lcreat("C:\\NO\\DIR.DAT", 0), plat::kFileError);
}

TEST_F(HostPlatform, ReadOnlyFilesCannotBeReplacedEvenByRoot) {
  plat::HFile file = plat::lcreat("C:\\RO.DAT", 1);
  ASSERT_NE(file, plat::kFileError);
  plat::lwrite(file, "old", 3);
  plat::lclose(file);
  EXPECT_EQ(plat::lcreat("C:\\RO.DAT", 0), plat::kFileError);
  EXPECT_EQ(plat::lopen("C:\\RO.DAT", plat::kOpenWrite), plat::kFileError);
  EXPECT_EQ(ReadFile(Host("RO.DAT")), Bytes({'o', 'l', 'd'}));
  ASSERT_TRUE(plat::CreateDirectory("C:\\DIR"));
  EXPECT_FALSE(plat::CreateDirectory("C:\\DIR"));
  EXPECT_EQ(plat::lcreat("C:\\DIR", 0), plat::kFileError);
}

TEST_F(HostPlatform, InjectedFaultsHitTheChosenCallOnly) {
  WriteFile(Host("data.bin"), Bytes(100, 7));
  plat::HFile file = plat::lopen("C:\\DATA.BIN", plat::kOpenRead);
  ASSERT_NE(file, plat::kFileError);
  uint8_t buffer[100];
  host::InjectFault(host::Fault::kShortRead, 2);
  EXPECT_EQ(plat::lread(file, buffer, 10), 10);
  EXPECT_EQ(plat::lread(file, buffer, 10), 5);
  EXPECT_EQ(plat::lread(file, buffer, 10), 10);
  host::InjectFault(host::Fault::kRead, 1, 2);
  EXPECT_EQ(plat::lread(file, buffer, 10), plat::kIoError);
  EXPECT_EQ(plat::lread(file, buffer, 10), plat::kIoError);
  EXPECT_EQ(plat::lread(file, buffer, 10), 10);
  EXPECT_EQ(host::CallCount(host::Fault::kRead), 6);
  plat::lclose(file);
  host::InjectFault(host::Fault::kOpen);
  EXPECT_EQ(plat::lopen("C:\\DATA.BIN", plat::kOpenRead), plat::kFileError);
  EXPECT_NE(plat::lopen("C:\\DATA.BIN", plat::kOpenRead), plat::kFileError);
}

// Each kind's fault fails one call as an I/O error and leaves things as
// they were; the next call of the kind succeeds.
TEST_F(HostPlatform, EveryKindFailsItsCallOnceAsAnIoError) {
  WriteFile(Host("WINDOWS/SYSTEM/GFX.DLL"), MakeVersionedImage(1, 2));
  WriteFile(Host("A.TXT"), "a");
  const char* dll = "C:\\WINDOWS\\SYSTEM\\GFX.DLL";
  std::vector<uint8_t> info(4096);
  uint32_t ms = 0, ls = 0;
  const plat::HFile file = plat::lopen("C:\\A.TXT", plat::kOpenRead);
  plat::DdeInstance dde = 0;
  char reply[8], current[260], destination[260];
  unsigned currentLength = 260, destinationLength = 260;
  struct Case {
    host::Fault kind;
    std::function<bool()> call;  // true when the call succeeded
  } cases[] = {
      {host::Fault::kSeek, [&] { return plat::llseek(file, 1, 0) == 1; }},
      {host::Fault::kDelete, [] { return plat::DeleteFile("C:\\A.TXT"); }},
      {host::Fault::kCreateDirectory,
       [] { return plat::CreateDirectory("C:\\D"); }},
      {host::Fault::kCurrentDirectory,
       [] { return plat::SetCurrentDirectory("C:\\D"); }},
      {host::Fault::kAttributes,
       [] { return plat::GetFileAttributes("C:\\D") != 0xFFFFFFFFu; }},
      {host::Fault::kRemoveDirectory,
       [] { return plat::RemoveDirectory("C:\\D"); }},
      {host::Fault::kVersion,
       [&] {
         currentLength = destinationLength = 260;
         return plat::VerFindFile(plat::kVfffIsSharedFile, "GFX.DLL", "", "",
                                  current, &currentLength, destination,
                                  &destinationLength) == 0 &&
                current[0] != '\0';
       }},
      {host::Fault::kVersion,
       [&] { return plat::GetFileVersionInfoSize(dll) != 0; }},
      {host::Fault::kVersion,
       [&] { return plat::GetFileVersionInfo(dll, 4096, info.data()); }},
      {host::Fault::kVersion,
       [&] { return plat::QueryFileVersion(info.data(), &ms, &ls); }},
      {host::Fault::kProfileWrite,
       [] {
         return plat::WritePrivateProfileString("s", "k", "1", "tarny.ini");
       }},
      {host::Fault::kDde, [&] { return plat::DdeInitializeClient(&dde) == 0; }},
      {host::Fault::kDde, [&] { return plat::SendProgmanCommand(dde, "x"); }},
      {host::Fault::kDde,
       [&] { return plat::RequestProgmanGroup(dde, "G", reply, 8); }},
      {host::Fault::kClose,
       [&] { return plat::lclose(plat::lopen("C:\\B", 0)) == 0; }},
  };
  WriteFile(Host("B"), "b");
  host::AnswerGroupRequests("");
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(index++);
    host::InjectFault(c.kind);
    EXPECT_FALSE(c.call());
    EXPECT_EQ(host::TakeLastError(), EIO);
    EXPECT_TRUE(c.call());
  }
  EXPECT_EQ(ms, 1u);
  EXPECT_EQ(ReadFile(Host("WINDOWS/tarny.ini")),
            Bytes({'[', 's', ']', '\r', '\n', 'k', '=', '1', '\r', '\n'}));
  plat::lclose(file);
}

TEST_F(HostPlatform, ShortWriteWritesLessAndSaysHowMuch) {
  plat::HFile file = plat::lcreat("C:\\OUT.BIN", 0);
  host::InjectFault(host::Fault::kShortWrite);
  EXPECT_EQ(plat::lwrite(file, "abcdefgh", 8), 4);
  host::InjectFault(host::Fault::kWrite);
  EXPECT_EQ(plat::lwrite(file, "efgh", 4), plat::kIoError);
  EXPECT_EQ(plat::lwrite(file, "efgh", 4), 4);
  plat::lclose(file);
  EXPECT_EQ(ReadFile(Host("OUT.BIN")),
            Bytes({'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'}));
}

TEST_F(HostPlatform, SettingsFileKeepsEveryOtherLine) {
  WriteFile(Host("WINDOWS/tarny.ini"),
            "; comment\r\n[other]\r\ngrmf=1\r\n\r\n[Setup]\r\nsound=on\r\n"
            "\r\n[last]\r\nx=y\r\n");
  EXPECT_EQ(static_cast<int>(
                plat::GetPrivateProfileInt("setup", "grmf", 100, "tarny.ini")),
            100);
  ASSERT_TRUE(
      plat::WritePrivateProfileString("setup", "grmf", "35", "tarny.ini"));
  EXPECT_EQ(plat::GetPrivateProfileInt("setup", "GRMF", 100, "tarny.ini"), 35u);
  Bytes data = ReadFile(Host("WINDOWS/tarny.ini"));
  std::string text(data.begin(), data.end());
  EXPECT_EQ(text,
            "; comment\r\n[other]\r\ngrmf=1\r\n\r\n[Setup]\r\nsound=on\r\n"
            "grmf=35\r\n\r\n[last]\r\nx=y\r\n");
  ASSERT_TRUE(
      plat::WritePrivateProfileString("setup", "grmf", "-3", "tarny.ini"));
  EXPECT_EQ(static_cast<int>(
                plat::GetPrivateProfileInt("setup", "grmf", 100, "tarny.ini")),
            -3);
}

TEST_F(HostPlatform, SettingsFileIsCreatedWhenMissing) {
  ASSERT_TRUE(plat::CreateDirectory("C:\\WINDOWS"));
  EXPECT_EQ(plat::GetPrivateProfileInt("setup", "grmf", 100, "tarny.ini"),
            100u);
  ASSERT_TRUE(
      plat::WritePrivateProfileString("setup", "grmf", "35", "tarny.ini"));
  Bytes data = ReadFile(Host("WINDOWS/tarny.ini"));
  EXPECT_EQ(std::string(data.begin(), data.end()), "[setup]\r\ngrmf=35\r\n");
}

TEST_F(HostPlatform, StringsComeFromTheOneTable) {
  char text[8];
  EXPECT_EQ(plat::LoadString(309, text, sizeof(text)), 5);
  EXPECT_STREQ(text, "Setup");
  EXPECT_EQ(plat::LoadString(304, text, sizeof(text)), 7);  // cut
  EXPECT_STREQ(text, "Insert ");
  EXPECT_EQ(plat::LoadString(999, text, sizeof(text)), 0);
}

}  // namespace

// The Windows build's formatting, which links no C library, against the C
// library's for every conversion the programs use, with the limit cutting
// through a number and through a text.
namespace {

std::string Bounded(size_t size, const char* format, ...) {
  char buffer[129];
  memset(buffer, '#', sizeof buffer);
  va_list args;
  va_start(args, format);
  plat::BoundedFormat(buffer, size, format, args);
  va_end(args);
  EXPECT_EQ(buffer[size], '#') << "wrote past the limit: " << format;
  return std::string(buffer, strnlen(buffer, size));
}

}  // namespace

TEST(BoundedFormat, FormatsAsTheCLibraryDoesWithinItsLimit) {
  char expected[128];
  snprintf(expected, sizeof expected, "%d|%i|%u|%lu|%llu|%x|%X|%zu|%c|%s|%%",
           -2147483647 - 1, 42, 4294967295u, 123456789ul,
           18446744073709551615ull, 0xbeefu, 0xbeefu, size_t{7}, 'q', "text");
  EXPECT_EQ(
      Bounded(128, "%d|%i|%u|%lu|%llu|%x|%X|%zu|%c|%s|%%", -2147483647 - 1, 42,
              4294967295u, 123456789ul, 18446744073709551615ull, 0xbeefu,
              0xbeefu, size_t{7}, 'q', "text"),
      expected);
  snprintf(expected, sizeof expected, "[%5d][%-5d][%05d][%-4s][%3s][%lld]", -42,
           42, -42, "ab", "abcd", -9000000000ll);
  EXPECT_EQ(Bounded(128, "[%5d][%-5d][%05d][%-4s][%3s][%lld]", -42, 42, -42,
                    "ab", "abcd", -9000000000ll),
            expected);
  // Cut at the limit, terminated.
  EXPECT_EQ(Bounded(5, "%d%%", 123456), "1234");
  EXPECT_EQ(Bounded(9, "Insert disk %d in drive %s.", 2, "A"), "Insert d");
  EXPECT_EQ(Bounded(1, "%s", "x"), "");
  // A conversion it does not know is copied and takes no argument.
  EXPECT_EQ(Bounded(64, "%q %s %", "s"), "%q s %");
}
