// Target names: which a manifest may give, and where extract puts a name
// read from a descriptor (never above the destination).
#include <gtest/gtest.h>

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
