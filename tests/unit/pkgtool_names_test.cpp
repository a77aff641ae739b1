// Target names: which a manifest may give, and where extract puts a name
// read from a descriptor (never above the destination).
#include <gtest/gtest.h>
#include <iconv.h>

#include "common/codepage.h"
#include "manifest/target_name.h"

namespace pkgtool {
namespace {

struct NameCase {
  const char* name;
  const char* fault;  // "" when the name is sound
};

class PkgtoolTargetName : public ::testing::TestWithParam<NameCase> {};

TEST_P(PkgtoolTargetName, IsCheckedAsTheInstallerWillResolveIt) {
  EXPECT_EQ(CheckTargetName(GetParam().name), GetParam().fault);
}

INSTANTIATE_TEST_SUITE_P(
    Accepted, PkgtoolTargetName,
    ::testing::Values(NameCase{"QUEST.EXE", ""},
                      NameCase{"DATA\\LEVEL1.DAT", ""},
                      NameCase{"\\WINDOWS\\QUEST.INI", ""},
                      NameCase{"C:\\SYS\\X.DLL", ""}, NameCase{"a..b", ""},
                      NameCase{"... .x", ""}, NameCase{"uninstal.exe", ""},
                      NameCase{"CONSOLE.TXT", ""}, NameCase{"COM10", ""},
                      NameCase{"LPT0.DOC", ""}, NameCase{"XNUL", ""},
                      NameCase{"DATA\\AUXILIARY", ""},
                      NameCase{"with space\\and=equals.txt", ""}));

INSTANTIATE_TEST_SUITE_P(
    Refused, PkgtoolTargetName,
    ::testing::Values(
        NameCase{"", "the name is empty"},
        NameCase{"x\\..\\y", "the name has a '..' component"},
        NameCase{"..\\y", "the name has a '..' component"},
        NameCase{"C:\\..", "the name has a '..' component"},
        NameCase{"a\\.\\b", "the name has a '.' component"},
        NameCase{"a\\\\b", "the name has an empty component"},
        NameCase{"DATA\\", "the name has an empty component"},
        NameCase{"\\\\server\\x", "the name has an empty component"},
        NameCase{"\\", "the name names no file"},
        NameCase{"C:\\", "the name names no file"},
        NameCase{"C:X.DLL", "a drive letter must be followed by '\\'"},
        NameCase{"DATA/LEVEL1.DAT",
                 "the name contains '/' (separate with '\\')"},
        NameCase{"A:B:C",
                 "the name contains ':' other than after a drive "
                 "letter"},
        NameCase{"1:\\X",
                 "the name contains ':' other than after a drive "
                 "letter"},
        NameCase{"what?.txt", "the name contains '?'"},
        NameCase{"tab\there",
                 "the name contains a control character at "
                 "position 4"},
        NameCase{"x\x7F",
                 "the name contains a control character at "
                 "position 2"},
        NameCase{"a<b", "the name contains '<'"},
        NameCase{"a|b", "the name contains '|'"},
        NameCase{"TRAIL.",
                 "the component \"TRAIL.\" ends in a dot, which Windows "
                 "drops from a name"},
        NameCase{"...",
                 "the component \"...\" ends in a dot, which "
                 "Windows drops from a name"},
        NameCase{"DIR \\X",
                 "the component \"DIR \" ends in a space, which "
                 "Windows drops from a name"},
        NameCase{"CON.TXT",
                 "the component \"CON.TXT\" is a device name "
                 "Windows reserves (CON, PRN, AUX, NUL, COM1-9, "
                 "LPT1-9, with any extension)"},
        NameCase{"NUL",
                 "the component \"NUL\" is a device name Windows "
                 "reserves (CON, PRN, AUX, NUL, COM1-9, LPT1-9, with "
                 "any extension)"},
        NameCase{"DATA\\aux",
                 "the component \"aux\" is a device name "
                 "Windows reserves (CON, PRN, AUX, NUL, COM1-9, "
                 "LPT1-9, with any extension)"},
        NameCase{"C:\\lpt1.doc\\X",
                 "the component \"lpt1.doc\" is a device name Windows "
                 "reserves (CON, PRN, AUX, NUL, COM1-9, LPT1-9, with any "
                 "extension)"},
        NameCase{"\\prn .x",
                 "the component \"prn .x\" is a device name "
                 "Windows reserves (CON, PRN, AUX, NUL, COM1-9, "
                 "LPT1-9, with any extension)"},
        NameCase{"Com9",
                 "the component \"Com9\" is a device name Windows "
                 "reserves (CON, PRN, AUX, NUL, COM1-9, LPT1-9, with "
                 "any extension)"}));

TEST(PkgtoolTargetName, AllowsAtMost259Bytes) {
  EXPECT_EQ(CheckTargetLength(259), "");
  EXPECT_EQ(CheckTargetLength(260), "the name is 260 bytes long (at most 259)");
}

struct ExtractCase {
  const char* name;
  std::vector<std::string> components;  // empty: refused
};

class PkgtoolExtractionPlace : public ::testing::TestWithParam<ExtractCase> {};

TEST_P(PkgtoolExtractionPlace, ComparesComponentByComponent) {
  std::vector<std::string> components;
  std::string why;
  bool placed = ExtractionComponents(GetParam().name, &components, &why);
  EXPECT_EQ(placed, !GetParam().components.empty()) << why;
  EXPECT_EQ(components, GetParam().components);
}

using V = std::vector<std::string>;

INSTANTIATE_TEST_SUITE_P(
    Placed, PkgtoolExtractionPlace,
    ::testing::Values(
        ExtractCase{"QUEST.EXE", V{"QUEST.EXE"}},
        ExtractCase{"DATA\\L1.DAT", V{"DATA", "L1.DAT"}},
        ExtractCase{"\\WINDOWS\\Q.INI", V{"WINDOWS", "Q.INI"}},
        ExtractCase{"C:\\SYS\\X.DLL", V{"SYS", "X.DLL"}},
        ExtractCase{"z:rel.txt", V{"rel.txt"}}, ExtractCase{"a..b", V{"a..b"}},
        ExtractCase{"..b\\c..", V{"..b", "c.."}}, ExtractCase{"...", V{"..."}},
        ExtractCase{"a\\.\\b//c", V{"a", "b", "c"}},
        ExtractCase{"\\\\server\\share\\f", V{"server", "share", "f"}}));

INSTANTIATE_TEST_SUITE_P(
    Refused, PkgtoolExtractionPlace,
    ::testing::Values(ExtractCase{"x\\..\\y", V{}}, ExtractCase{"..", V{}},
                      ExtractCase{"..\\evil", V{}},
                      ExtractCase{"C:\\..\\evil", V{}},
                      ExtractCase{"C:..\\evil", V{}},
                      ExtractCase{"a/../../evil", V{}},
                      ExtractCase{"a\\b\\..", V{}}, ExtractCase{"\\", V{}},
                      ExtractCase{"C:", V{}}, ExtractCase{"", V{}}));

}  // namespace
}  // namespace pkgtool

// Code page 1252 is converted without iconv: every byte decodes as iconv's
// CP1252 does (an undefined one as the character of its number), every
// character it holds encodes back to its byte, and others are refused.
TEST(PkgtoolCodePage, Windows1252AgreesWithIconv) {
  iconv_t iconv1252 = iconv_open("UTF-8", "CP1252");
  ASSERT_NE(iconv1252, reinterpret_cast<iconv_t>(-1));
  for (int value = 1; value < 256; ++value) {
    const std::string byte(1, static_cast<char>(value));
    char out[8];
    char* in = const_cast<char*>(byte.data());
    char* at = out;
    size_t inLeft = 1, outLeft = sizeof out;
    std::string expected;
    const bool defined = iconv(iconv1252, &in, &inLeft, &at, &outLeft) !=
                         static_cast<size_t>(-1);
    if (defined) {
      expected.assign(out, static_cast<size_t>(at - out));
    } else {
      expected = value < 0x80
                     ? byte
                     : std::string{static_cast<char>(0xC0 | value >> 6),
                                   static_cast<char>(0x80 | (value & 0x3F))};
    }
    iconv(iconv1252, nullptr, nullptr, nullptr, nullptr);
    const std::string utf8 = pkgtool::DecodeText(byte, 1252);
    EXPECT_EQ(utf8, expected) << value;
    std::string back, why;
    EXPECT_EQ(pkgtool::EncodeText(utf8, 1252, &back, &why), defined) << value;
    if (defined) {
      EXPECT_EQ(back, byte) << value;
    }
  }
  iconv_close(iconv1252);
  std::string bytes, why;
  EXPECT_FALSE(pkgtool::EncodeText("\xE4\xB8\xAD.TXT", 1252, &bytes, &why));
  EXPECT_EQ(
      why, "holds \"\xE4\xB8\xAD\" (U+4E2D), which code page 1252 cannot hold");
}
