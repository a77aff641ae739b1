// Floppy images: the formats' layouts against what mformat makes, the room
// a disk's files take, and images written and read back through mtools.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/floppy.h"
#include "common/host_files.h"
#include "pkgtool_testing.h"

namespace pkgtool {
namespace {

using pkgtool_testing::IsDir;
using pkgtool_testing::IsImage;
using pkgtool_testing::Listing;
using pkgtool_testing::SizeOf;
using Sizes = std::vector<std::pair<std::string, uint64_t>>;
using Files = std::vector<std::pair<std::string, std::string>>;

bool HaveMtools() {
  std::string output, error;
  return RunMtools({"mformat", "--version"}, &output, &error);
}

#define SKIP_WITHOUT_MTOOLS() \
  if (!HaveMtools()) GTEST_SKIP() << "mtools is not installed"

// Sets an environment variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    const char* old = std::getenv(name);
    had_ = old != nullptr;
    if (had_) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (had_) {
      setenv(name_, old_.c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  bool had_;
  std::string old_;
};

std::string Mtools(const std::vector<std::string>& args) {
  std::string output, error;
  EXPECT_TRUE(RunMtools(args, &output, &error)) << error;
  return output;
}

// "1 457 664 bytes free" in mdir's listing, as a number.
uint64_t BytesFree(const std::string& image) {
  std::string listing = Mtools({"mdir", "-i", image, "::"});
  size_t end = listing.find("bytes free");
  size_t start = listing.rfind('\n', end);
  uint64_t value = 0;
  for (size_t i = start + 1; i < end; ++i) {
    if (listing[i] >= '0' && listing[i] <= '9')
      value = value * 10 + (listing[i] - '0');
  }
  return value;
}

// "Volume Serial Number is 1234-5678" in mdir's listing.
std::string SerialNumberOf(const std::string& image) {
  std::string listing = Mtools({"mdir", "-i", image, "::"});
  size_t at = listing.find("Serial Number is ");
  return at == std::string::npos ? "" : listing.substr(at + 17, 9);
}

// The root directory entries in use on an image of the format.
unsigned UsedRootEntries(const FloppyFormat& format, const std::string& image) {
  Bytes data = ReadFile(image);
  size_t root = (1 + 2 * format.fatSectors) * 512;
  unsigned used = 0;
  for (unsigned i = 0; i < format.rootEntries; ++i) {
    uint8_t first = data[root + 32 * i];
    if (first == 0) break;
    if (first != 0xE5) ++used;
  }
  return used;
}

TEST(PkgtoolFloppyFormat, LayoutsAreThoseMformatMakes) {
  const struct {
    const char* name;
    uint64_t imageBytes, dataBytes;
  } kCases[] = {{"1.44M", 1474560, 1457664},
                {"720K", 737280, 730112},
                {"1.2M", 1228800, 1213952},
                {"360K", 368640, 362496}};
  for (const auto& c : kCases) {
    const FloppyFormat* format = FindFloppyFormat(c.name);
    ASSERT_NE(format, nullptr) << c.name;
    EXPECT_EQ(format->ImageBytes(), c.imageBytes) << c.name;
    EXPECT_EQ(format->DataBytes(), c.dataBytes) << c.name;
  }
  EXPECT_EQ(FindFloppyFormat("1440k"), FindFloppyFormat("1.44M"));
  EXPECT_EQ(FindFloppyFormat("1200K"), FindFloppyFormat("1.2m"));
  EXPECT_EQ(FindFloppyFormat("2.88M"), nullptr);
  EXPECT_EQ(FloppyFormatNames(), "1.44M, 720K, 1.2M or 360K");

  SKIP_WITHOUT_MTOOLS();
  TempDir dir;
  for (const auto& c : kCases) {
    const FloppyFormat& format = *FindFloppyFormat(c.name);
    std::string image = dir.Make(std::string("empty-") + c.name + ".img");
    std::string error;
    ASSERT_TRUE(WriteFloppyImage(format, "EMPTY", {}, image, &error)) << error;
    EXPECT_EQ(BytesFree(image), format.DataBytes()) << c.name;
  }
}

TEST(PkgtoolFloppyRoom, ClustersEntriesAndWhatFits) {
  const FloppyFormat& hd = *FindFloppyFormat("1.44M");
  const FloppyFormat& dd = *FindFloppyFormat("720K");
  EXPECT_EQ(ClusterRounded(hd, 0), 0u);
  EXPECT_EQ(ClusterRounded(hd, 512), 512u);
  EXPECT_EQ(ClusterRounded(hd, 513), 1024u);
  EXPECT_EQ(ClusterRounded(dd, 1), 1024u);

  const struct {
    const char* name;
    unsigned entries;
  } kNames[] = {
      {"QUEST.dat", 1},  {"setup.bin", 1},    {"setup.exe", 1},
      {"README.TXT", 1}, {"12345678.123", 1}, {"X~1.TXT", 1},
      {"SHA256SUMS", 2}, {"Quest.dat", 2},    {"a+b.txt", 2},
      {"AB.TXTX", 2},    {"x.y.z", 2},        {"LongFileName.txt", 3}};
  for (const auto& n : kNames) {
    EXPECT_EQ(DirectoryEntries(n.name), n.entries) << n.name;
  }

  std::string why;
  EXPECT_TRUE(FitsOnFloppy(hd, {{"QUEST.dat", hd.DataBytes()}}, &why));
  EXPECT_FALSE(FitsOnFloppy(hd, {{"QUEST.dat", hd.DataBytes() + 1}}, &why));
  EXPECT_EQ(why, "needs 1458176 bytes of clusters, the disk holds 1457664");
  EXPECT_FALSE(FitsOnFloppy(dd, {{"A", 1}, {"B", dd.DataBytes() - 1}}, &why));
  Sizes files;
  for (unsigned i = 0; i < 223; ++i) files.push_back({std::to_string(i), 0});
  EXPECT_TRUE(FitsOnFloppy(hd, files, &why));  // and the label: 224
  files.push_back({"SHA256SUMS", 0});
  EXPECT_FALSE(FitsOnFloppy(hd, files, &why));
  EXPECT_EQ(why, "needs 226 root entries of 224 (the label takes one)");
}

TEST(PkgtoolFloppyRoom, NamesTakeTheEntriesMcopyWrites) {
  SKIP_WITHOUT_MTOOLS();
  TempDir dir;
  std::string empty = dir.Make("empty");
  WriteFile(empty, "");
  Files files;
  unsigned expected = 1;  // the label
  for (const char* name :
       {"QUEST.dat", "setup.bin", "setup.exe", "README.TXT", "readme.1st",
        "SHA256SUMS", "Dragon.DAT", "a b.txt", "x.y.z", "LongFileName.txt",
        "A-B_C~$!.{}", "a very long name of forty characters.txt"}) {
    files.push_back({name, empty});
    expected += DirectoryEntries(name);
  }
  const FloppyFormat& format = *FindFloppyFormat("360K");
  std::string image = dir.Make("names.img"), error;
  ASSERT_TRUE(WriteFloppyImage(format, "NAMES", files, image, &error)) << error;
  EXPECT_EQ(UsedRootEntries(format, image), expected);
}

TEST(PkgtoolFloppyLabel, UpperCaseTitleCutBeforeTheDiskNumber) {
  EXPECT_EQ(VolumeLabel("Quest", 1), "QUEST 1");
  EXPECT_EQ(VolumeLabel("First Game", 12), "FIRST GA 12");
  EXPECT_EQ(VolumeLabel("  Ünïcode+Game", 2), "_N_CODE_G 2");
  EXPECT_EQ(VolumeLabel("ab-cd_ef gh", 3), "AB-CD_EF 3");
  EXPECT_EQ(VolumeLabel("", 4), "4");
}

TEST(PkgtoolFloppyImage, FilesComeBackWithTheirNamesLabelAndFixedDates) {
  SKIP_WITHOUT_MTOOLS();
  ScopedEnv epoch("SOURCE_DATE_EPOCH", "1000000000");  // 2001-09-09 01:46:40
  TempDir dir;
  uint32_t seed = pkgtool_testing::TestSeed();
  Files files;
  std::vector<Bytes> contents;
  size_t sizes[] = {100000, 300, 0, 1024, 5000};
  const char* names[] = {"QUEST.dat", "SHA256SUMS", "EMPTY", "setup.exe",
                         "Docs/Read Me.txt"};
  for (size_t i = 0; i < 5; ++i) {
    contents.push_back(pkgtool_testing::SampleBytes(sizes[i], seed + i));
    std::string host = dir.Make("in/" + std::to_string(i));
    WriteFile(host, contents.back());
    files.push_back({names[i], host});
  }
  const FloppyFormat& format = *FindFloppyFormat("720K");
  std::string first = dir.Make("disk1.img"), second = dir.Make("again.IMG");
  std::string error;
  ASSERT_TRUE(WriteFloppyImage(format, "QUEST 1", files, first, &error))
      << error;
  ASSERT_TRUE(WriteFloppyImage(format, "QUEST 1", files, second, &error))
      << error;
  EXPECT_EQ(ReadFile(first).size(), format.ImageBytes());
  EXPECT_EQ(ReadFile(first), ReadFile(second));
  EXPECT_TRUE(IsImage(first));
  EXPECT_TRUE(IsImage(second));

  EXPECT_NE(Mtools({"mlabel", "-s", "-i", first, "::"}).find("QUEST 1"),
            std::string::npos);
  std::string listing = Mtools({"mdir", "-i", first, "::"});
  EXPECT_NE(listing.find("2001-09-09"), std::string::npos) << listing;
  // Each disk of a set has its own serial number.
  std::string disk2 = dir.Make("disk2.img");
  ASSERT_TRUE(WriteFloppyImage(format, "QUEST 2", files, disk2, &error))
      << error;
  EXPECT_NE(SerialNumberOf(disk2), SerialNumberOf(first));

  // Unpacking takes sub-directories too, which images of other makers have.
  Mtools({"mmd", "-i", first, "::Sub"});
  Mtools({"mcopy", "-i", first, files[1].second, "::Sub/Inner.txt"});
  std::string out = DirName(dir.Make("out/x"));
  ASSERT_TRUE(UnpackFloppyImage(first, out, &error)) << error;
  std::vector<std::string> expected(names, names + 4);
  expected.push_back("Docs");
  expected.push_back("Sub");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(Listing(out), expected);
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(ReadFile(JoinPath(out, names[i])), contents[i]) << names[i];
  }
  EXPECT_EQ(ReadFile(JoinPath(out, "Sub/Inner.txt")), contents[1]);
}

TEST(PkgtoolFloppyImage, FailuresSayWhatWentWrongAndLeaveNoImage) {
  SKIP_WITHOUT_MTOOLS();
  TempDir dir;
  const FloppyFormat& format = *FindFloppyFormat("1.44M");
  std::string host = dir.Make("data");
  WriteFile(host, "data");
  std::string image = dir.Make("disk.img"), error;
  {
    ScopedEnv path("PATH", DirName(dir.Make("no-tools/x")));
    EXPECT_FALSE(WriteFloppyImage(format, "X", {{"A", host}}, image, &error));
  }
  EXPECT_NE(error.find("mformat not found: install mtools (apt-get install "
                       "mtools)"),
            std::string::npos)
      << error;
  EXPECT_FALSE(FileExistsOnHost(image));

  EXPECT_FALSE(WriteFloppyImage(
      format, "X", {{"QUEST.dat", host}, {"quest.DAT", host}}, image, &error));
  EXPECT_NE(error.find("QUEST.dat and quest.DAT"), std::string::npos) << error;
  EXPECT_FALSE(WriteFloppyImage(format, "X", {{"A", dir.Make("missing")}},
                                image, &error));
  EXPECT_FALSE(FileExistsOnHost(image));

  // Of the right size and name, but no FAT.
  WriteFile(image, Bytes(format.ImageBytes(), 0));
  EXPECT_TRUE(IsImage(image));
  EXPECT_FALSE(UnpackFloppyImage(image, dir.path(), &error));
  EXPECT_NE(error.find("cannot read it as a FAT floppy"), std::string::npos)
      << error;
  WriteFile(dir.Make("short.img"), Bytes(1000, 0));
  EXPECT_FALSE(IsImage(dir.Make("short.img")));
  WriteFile(dir.Make("disk.bin"), Bytes(format.ImageBytes(), 0));
  EXPECT_FALSE(IsImage(dir.Make("disk.bin")));
}

}  // namespace
}  // namespace pkgtool
