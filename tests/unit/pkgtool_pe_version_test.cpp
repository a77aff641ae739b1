// The version resource of a PE image: found in PE32 and PE32+ images, and
// a damaged or hostile image gives "no version" without reading outside it.
#include <gtest/gtest.h>

#include <random>

#include "pkgtool_testing.h"
#include "platform/host/pe_version.h"

namespace {

using pkgtool_testing::MakePeImage;
using pkgtool_testing::PutU16;
using pkgtool_testing::PutU32;

bool VersionOf(const Bytes& image, uint32_t* ms, uint32_t* ls) {
  host::MemoryImage source(image.data(), image.size());
  std::vector<uint8_t> block;
  return host::ReadVersionBlock(source, &block) &&
         host::ParseFixedFileVersion(block.data(), block.size(), ms, ls);
}

TEST(PkgtoolPeVersion, ReadsTheFileVersionOfPe32AndPe32Plus) {
  for (bool plus : {false, true}) {
    uint32_t ms = 0, ls = 0;
    EXPECT_TRUE(VersionOf(MakePeImage(0x00010002, 0x00030004, plus), &ms, &ls));
    EXPECT_EQ(ms, 0x00010002u);
    EXPECT_EQ(ls, 0x00030004u);
  }
}

TEST(PkgtoolPeVersion, ReadsAFileOnDisk) {
  TempDir dir;
  WriteFile(dir.Make("x.dll"), MakePeImage(0xFFFF0001, 0x00020003));
  uint32_t ms = 0, ls = 0;
  ASSERT_TRUE(host::ReadFileVersion(dir.path() + "/x.dll", &ms, &ls));
  EXPECT_EQ(ms, 0xFFFF0001u);
  EXPECT_EQ(ls, 0x00020003u);
  EXPECT_FALSE(host::ReadFileVersion(dir.path() + "/none.dll", &ms, &ls));
  EXPECT_FALSE(host::ReadFileVersion(dir.path(), &ms, &ls));
}

// One change to the sound image (offsets as MakePeImage lays it out).
struct Damage {
  const char* what;
  size_t offset;
  uint32_t value;
  int width;  // 2 or 4 bytes
};

class PkgtoolPeDamage : public ::testing::TestWithParam<Damage> {};

TEST_P(PkgtoolPeDamage, GivesNoVersion) {
  Bytes image = MakePeImage(1, 2);
  if (GetParam().width == 2) {
    PutU16(&image, GetParam().offset, GetParam().value);
  } else {
    PutU32(&image, GetParam().offset, GetParam().value);
  }
  uint32_t ms = 7, ls = 7;
  EXPECT_FALSE(VersionOf(image, &ms, &ls));
  EXPECT_EQ(ms, 7u);
  EXPECT_EQ(ls, 7u);
}

// PE header at 0x40, optional header at 0x58, sections at 0x138, resource
// section at 0x200, version block at 0x258.
INSTANTIATE_TEST_SUITE_P(
    Images, PkgtoolPeDamage,
    ::testing::Values(
        Damage{"not MZ", 0, 0x5A4E, 2},
        Damage{"e_lfanew past the end", 0x3C, 0x7FFFFFF0, 4},
        Damage{"no PE signature", 0x40, 0x4551, 4},
        Damage{"unknown optional magic", 0x58, 0x0107, 2},
        Damage{"optional header too short", 0x54, 100, 2},
        Damage{"too few directories", 0x58 + 92, 2, 4},
        Damage{"no resource directory", 0x58 + 96 + 16, 0, 4},
        Damage{"resource RVA in no section", 0x58 + 96 + 16, 0x9000, 4},
        Damage{"no sections", 0x46, 0, 2},
        Damage{"raw data past the end", 0x138 + 20, 0x10000, 4},
        Damage{"no version type", 0x210, 15, 4},
        Damage{"type entry not a directory", 0x214, 0x18, 4},
        Damage{"language entry is a directory", 0x200 + 0x30 + 20, 0x80000048u,
               4},
        Damage{"data outside the section", 0x248, 0x1000 + 0x58 + 8, 4},
        Damage{"data of size 0", 0x24C, 0, 4},
        Damage{"block shorter than its fixed part", 0x258, 80, 2},
        Damage{"wrong key", 0x258 + 6, 'X', 2},
        Damage{"wrong signature", 0x258 + 40, 0xFEEF04BC, 4},
        Damage{"value too short", 0x258 + 2, 40, 2},
        Damage{"named entries past the end", 0x20C, 0xFFFF, 2}));

TEST(PkgtoolPeVersion, EveryTruncationGivesNoVersion) {
  Bytes image = MakePeImage(1, 2);
  for (size_t size = 0; size < image.size(); ++size) {
    Bytes cut(image.begin(), image.begin() + static_cast<long>(size));
    uint32_t ms = 0, ls = 0;
    EXPECT_FALSE(VersionOf(cut, &ms, &ls)) << size;
  }
}

TEST(PkgtoolPeVersion, HugeCountsStayBounded) {
  Bytes image = MakePeImage(1, 2);
  PutU16(&image, 0x46, 0xFFFF);        // sections
  PutU16(&image, 0x200 + 12, 0xFFFF);  // named entries of the root
  PutU16(&image, 0x200 + 14, 0xFFFF);  // id entries of the root
  image.resize(image.size() + 0x80000, 0);
  uint32_t ms = 0, ls = 0;
  EXPECT_FALSE(VersionOf(image, &ms, &ls));
}

TEST(PkgtoolPeVersion, RandomDamageNeverReadsOutsideTheImage) {
  uint32_t seed = pkgtool_testing::TestSeed();
  std::mt19937 random(seed);
  const Bytes sound = MakePeImage(0x00010000, 0);
  for (int round = 0; round < 20000; ++round) {
    Bytes image = sound;
    int changes = 1 + static_cast<int>(random() % 4);
    for (int c = 0; c < changes; ++c) {
      image[random() % image.size()] = static_cast<uint8_t>(random());
    }
    if (random() % 8 == 0) image.resize(random() % image.size());
    uint32_t ms = 0, ls = 0;
    // Either answer is fine; what matters is staying inside the image
    // (checked by the sanitizer builds) and coming back.
    VersionOf(image, &ms, &ls);
  }
  SUCCEED();
}

}  // namespace
