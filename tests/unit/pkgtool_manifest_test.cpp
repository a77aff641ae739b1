// The package manifest: what a sound manifest yields, and that every fault
// is reported with the manifest's name and the line it is on.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "manifest/manifest.h"
#include "test_support.h"

namespace pkgtool {
namespace {

const Variables kNoVariables;

TEST(PkgtoolManifest, ReadsPackageFieldsFilesFlagsAndVersions) {
  const char* text =
      "; a comment\n"
      "# another\n"
      "[Package]\n"
      "programFile = QUEST.EXE\n"
      "title = Quest of the Dragon\n"
      "KIND = controlpanel\n"
      "diskSize = 360K\n"
      "installerReserve = 1M\n"
      "\n"
      "[files]\n"
      "QUEST.EXE = bin/quest.exe\n"
      "DATA\\LEVEL1.DAT = /abs/level1.dat\n"
      "\\WINDOWS\\QUEST.INI = quest.ini, noInstall\n"
      "C:\\SYS\\GFX.DLL = \"odd, name.dll\" , SHARED , version = 1.2.3.4\n"
      "PLAIN.DLL = plain.dll, shared\n";
  Manifest manifest;
  std::vector<std::string> errors;
  ASSERT_TRUE(
      ParseManifest(text, "dir/m.manifest", kNoVariables, &manifest, &errors))
      << errors.front();
  EXPECT_EQ(manifest.programFile, "QUEST.EXE");
  EXPECT_EQ(manifest.title, "Quest of the Dragon");
  EXPECT_EQ(manifest.kind, PackageKind::kControlPanel);
  EXPECT_EQ(manifest.diskSize, 360u * 1024);
  EXPECT_EQ(manifest.installerReserve, 1024u * 1024);
  ASSERT_EQ(manifest.files.size(), 5u);

  EXPECT_EQ(manifest.files[0].target, "QUEST.EXE");
  EXPECT_EQ(manifest.files[0].sourcePath, "dir/bin/quest.exe");
  EXPECT_EQ(manifest.files[0].line, 11);
  EXPECT_FALSE(manifest.files[0].shared || manifest.files[0].noInstall);
  EXPECT_EQ(manifest.files[1].sourcePath, "/abs/level1.dat");
  EXPECT_TRUE(manifest.files[2].noInstall);
  EXPECT_EQ(manifest.files[3].source, "odd, name.dll");
  EXPECT_TRUE(manifest.files[3].shared);
  EXPECT_TRUE(manifest.files[3].hasVersion);
  EXPECT_EQ(manifest.files[3].versionMs, 0x00010002u);
  EXPECT_EQ(manifest.files[3].versionLs, 0x00030004u);
  EXPECT_TRUE(manifest.files[4].shared);
  EXPECT_FALSE(manifest.files[4].hasVersion);
}

TEST(PkgtoolManifest, DefaultsToOneGameDiskWithoutReserve) {
  Manifest manifest;
  std::vector<std::string> errors;
  ASSERT_TRUE(
      ParseManifest("[package]\nprogramFile=A.EXE\ntitle=A\n"
                    "[files]\nA.EXE=a.exe\n",
                    "m", kNoVariables, &manifest, &errors));
  EXPECT_EQ(manifest.kind, PackageKind::kGame);
  EXPECT_EQ(manifest.diskSize, kMaxDiskSize);
  EXPECT_EQ(manifest.installerReserve, 0u);
}

TEST(PkgtoolManifest, ReplacesVariablesInValuesAndTargets) {
  Variables variables{{"BIN", "/build/bin"}, {"V", "2.0"}, {"D", "DATA"}};
  Manifest manifest;
  std::vector<std::string> errors;
  ASSERT_TRUE(
      ParseManifest("[package]\nprogramFile=A.EXE\ntitle=${V} $x\n"
                    "[files]\nA.EXE=${BIN}/a.exe\n${D}\\A.DAT=a\n",
                    "m", variables, &manifest, &errors));
  EXPECT_EQ(manifest.title, "2.0 $x");
  EXPECT_EQ(manifest.files[0].sourcePath, "/build/bin/a.exe");
  EXPECT_EQ(manifest.files[1].target, "DATA\\A.DAT");
}

TEST(PkgtoolManifest, StoresTextsInTheCodePageAndCountsTheirBytes) {
  // 79 "é" are 158 bytes of UTF-8 but 79 of code page 1252: the longest
  // title.
  std::string title;
  for (int i = 0; i < 79; ++i) title += "\xC3\xA9";
  Manifest manifest;
  std::vector<std::string> errors;
  ASSERT_TRUE(ParseManifest("[package]\nprogramFile=A.EXE\ntitle=" + title +
                                "\n[files]\nCAF\xC3\x89.TXT = c\n",
                            "m", kNoVariables, &manifest, &errors))
      << errors.front();
  EXPECT_EQ(manifest.title, std::string(79, '\xE9'));
  EXPECT_EQ(manifest.files[0].target, "CAF\xC9.TXT");
  EXPECT_EQ(manifest.files[0].utf8Target, "CAF\xC3\x89.TXT");

  // The option wins over the manifest's code page, which has no "É".
  const std::string head =
      "[package]\nprogramFile=A.EXE\ntitle=A\ncodepage = 932\n[files]\n";
  EXPECT_FALSE(ParseManifest(head + "CAF\xC3\x89\xE2\x82\xAC.TXT = c\n", "m",
                             kNoVariables, &manifest, &errors, 437));
  EXPECT_EQ(errors, (std::vector<std::string>{
                        "m:6: target name \"CAF\xC3\x89\xE2\x82\xAC.TXT\" "
                        "holds \"\xE2\x82\xAC\" (U+20AC), which code page "
                        "437 cannot hold"}));
  // In code page 932 "あ" takes 2 bytes: 130 of them are one too many.
  std::string name;
  for (int i = 0; i < 130; ++i) name += "\xE3\x81\x82";
  errors.clear();
  EXPECT_FALSE(ParseManifest(head + name + " = c\n", "m", kNoVariables,
                             &manifest, &errors));
  EXPECT_EQ(errors, (std::vector<std::string>{
                        "m:6: target \"" + name +
                        "\": the name is 260 bytes long (at most 259)"}));
}

TEST(PkgtoolManifest, DirectoryAndGlobSourcesAddTheirFilesInByteOrder) {
  TempDir dir;
  for (const char* name :
       {"docs/index.html", "docs/img/a.png", "docs/img0/b.png", "docs/Z.txt"}) {
    WriteFile(dir.Make(name), std::string(name));
  }
  // A link to a file is followed; a link back up is not entered again.
  ASSERT_EQ(::symlink("index.html", (dir.path() + "/docs/link.html").c_str()),
            0);
  ASSERT_EQ(::symlink("..", (dir.path() + "/docs/img/up").c_str()), 0);
  // A real directory keeps its name whatever links to it sort first; a
  // link to a directory outside the tree is entered under its own name; a
  // link that leads nowhere is named in a warning.
  WriteFile(dir.Make("docs/python3/x.py"), std::string("x"));
  WriteFile(dir.Make("outside/o.txt"), std::string("o"));
  ASSERT_EQ(::symlink("python3", (dir.path() + "/docs/p").c_str()), 0);
  ASSERT_EQ(::symlink("../python3", (dir.path() + "/docs/img/py").c_str()), 0);
  ASSERT_EQ(::symlink("../outside", (dir.path() + "/docs/ext").c_str()), 0);
  ASSERT_EQ(::symlink("nowhere", (dir.path() + "/docs/gone").c_str()), 0);
  ASSERT_EQ(::symlink("nowhere", (dir.path() + "/docs/gone.html").c_str()), 0);
  ASSERT_EQ(::mkdir((dir.path() + "/empty").c_str(), 0755), 0);
  const std::string path = dir.path() + "/m";
  Manifest manifest;
  std::vector<std::string> errors;
  ASSERT_TRUE(ParseManifest(
      "[package]\nprogramFile=A.EXE\ntitle=A\n[files]\n"
      "DOC\\ = docs, noInstall\nWEB\\ = docs/*.html\n\\ = docs/Z.txt\n",
      path, kNoVariables, &manifest, &errors))
      << errors.front();
  std::vector<std::string> targets;
  for (const ManifestFile& file : manifest.files) {
    targets.push_back(file.target + (file.noInstall ? " noInstall" : ""));
  }
  EXPECT_EQ(targets,
            (std::vector<std::string>{
                "DOC\\Z.txt noInstall", "DOC\\ext\\o.txt noInstall",
                "DOC\\img0\\b.png noInstall", "DOC\\img\\a.png noInstall",
                "DOC\\index.html noInstall", "DOC\\link.html noInstall",
                "DOC\\python3\\x.py noInstall", "WEB\\index.html",
                "WEB\\link.html", "\\Z.txt"}));
  EXPECT_EQ(
      manifest.warnings,
      (std::vector<std::string>{
          path + ":5: " + dir.path() +
              "/docs/gone: a symbolic link that leads nowhere (to "
              "nowhere); passed over",
          path + ":5: " + dir.path() +
              "/docs/gone.html: a symbolic link that leads nowhere (to "
              "nowhere); passed over",
          path + ":6: " + dir.path() +
              "/docs/gone.html: a symbolic link that leads nowhere; passed "
              "over"}));
  EXPECT_EQ(manifest.files[3].sourcePath, dir.path() + "/docs/img/a.png");

  EXPECT_FALSE(
      ParseManifest("[package]\nprogramFile=A.EXE\ntitle=A\n[files]\n"
                    "E\\ = empty\nG\\ = docs/*.gif\n",
                    path, kNoVariables, &manifest, &errors));
  EXPECT_EQ(errors, (std::vector<std::string>{
                        path + ":5: " + dir.path() + "/empty holds no file",
                        path + ":6: \"docs/*.gif\" matches no file"}));
}

struct ManifestFault {
  const char* lines;     // inserted as line 4, after a sound [package]
  const char* expected;  // the error, after "m.manifest:"
};

class PkgtoolManifestFault : public ::testing::TestWithParam<ManifestFault> {};

TEST_P(PkgtoolManifestFault, IsReportedWithFileAndLine) {
  std::string text =
      std::string("[package]\nprogramFile = A.EXE\ntitle = A\n") +
      GetParam().lines + "\n[files]\nA.EXE = a.exe\n";
  Manifest manifest;
  std::vector<std::string> errors;
  EXPECT_FALSE(
      ParseManifest(text, "m.manifest", kNoVariables, &manifest, &errors));
  ASSERT_EQ(errors.size(), 1u) << errors.front();
  EXPECT_EQ(errors[0], std::string("m.manifest:") + GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    PackageSection, PkgtoolManifestFault,
    ::testing::Values(
        ManifestFault{"colour = red",
                      "4: unknown key \"colour\" in [package] "
                      "(programFile, title, kind, diskSize, diskFormat, "
                      "installerReserve, codepage, best)"},
        ManifestFault{"diskFormat = 2.88M",
                      "4: diskFormat \"2.88M\" is no floppy format (1.44M, "
                      "720K, 1.2M or 360K)"},
        ManifestFault{"diskFormat = 720K\ndiskSize = 1M",
                      "4: diskFormat and diskSize (line 5) both give the "
                      "disks' capacity; keep one"},
        ManifestFault{"codepage = 99999",
                      "4: codepage \"99999\" is not a code page iconv "
                      "converts (1252, 437, ...)"},
        ManifestFault{"TITLE = B", "4: TITLE is given twice (first on line 3)"},
        ManifestFault{"kind = tool",
                      "4: kind is \"tool\" (expected game or controlpanel)"},
        ManifestFault{"diskSize = 1.44M",
                      "4: diskSize \"1.44M\" is not a size (bytes, K or M)"},
        ManifestFault{"diskSize = 100",
                      "4: diskSize 100 is outside 1024 to 2147483647"},
        ManifestFault{"diskSize = 2048M",
                      "4: diskSize 2147483648 is outside 1024 to 2147483647"},
        ManifestFault{"installerReserve = lots",
                      "4: installerReserve \"lots\" is not a size (bytes, K "
                      "or M)"},
        ManifestFault{"no equals sign", "4: expected \"name = value\""},
        ManifestFault{"[extras]",
                      "4: unknown section [extras] (expected "
                      "[package] or [files])"},
        ManifestFault{"[files", "4: a section header must end with ']'"}));

INSTANTIATE_TEST_SUITE_P(
    FilesSection, PkgtoolManifestFault,
    ::testing::Values(
        ManifestFault{"[files]\nB.EXE = b.exe, hidden",
                      "5: unknown flag \"hidden\" (shared, noInstall, "
                      "version=a.b.c.d)"},
        ManifestFault{"[files]\nB.DLL = b.dll, version=1.0",
                      "5: version= is only for shared files"},
        ManifestFault{"[files]\nB.DLL = b.dll, shared, version=1.70000",
                      "5: version \"1.70000\" is not a.b.c.d (each 0 to "
                      "65535)"},
        ManifestFault{"[files]\nB.DLL = b.dll, shared, version=1.2.3.4.5",
                      "5: version \"1.2.3.4.5\" is not a.b.c.d (each 0 to "
                      "65535)"},
        ManifestFault{"[files]\nB.EXE =",
                      "5: target \"B.EXE\" has no source "
                      "file"},
        ManifestFault{"[files]\nB.EXE = \"b.exe",
                      "5: the quoted source has no closing '\"'"},
        ManifestFault{"[files]\nB.EXE = ${NOPE}/b.exe",
                      "5: undefined variable ${NOPE} (define it with -D "
                      "NOPE=VALUE)"},
        ManifestFault{"[files]\nB.EXE = ${OPEN",
                      "5: \"${\" without a closing '}'"},
        ManifestFault{"[files]\na.exe = other.exe",
                      "7: target \"A.EXE\" (./a.exe) and \"a.exe\" on line 5 "
                      "(./other.exe) are one file on Windows, which ignores "
                      "case"},
        ManifestFault{"[files]\ncaf\xC3\xA9 = x\nCAF\xC3\x89 = y",
                      "6: target \"CAF\xC3\x89\" (./y) and \"caf\xC3\xA9\" on "
                      "line 5 (./x) are one file on Windows, which ignores "
                      "case"},
        ManifestFault{"[files]\nSUB\\..\\B.EXE = b.exe",
                      "5: target \"SUB\\..\\B.EXE\": the name has a '..' "
                      "component"},
        ManifestFault{"[files]\n = b.exe", "5: target \"\": the name is empty"},
        ManifestFault{"[files]\nDATA\\LPT1.DOC = b.exe",
                      "5: target \"DATA\\LPT1.DOC\": the component "
                      "\"LPT1.DOC\" is a device name Windows reserves (CON, "
                      "PRN, AUX, NUL, COM1-9, LPT1-9, with any extension)"},
        ManifestFault{"[files]\nTRAIL.\\ = b.exe",
                      "5: target \"TRAIL.\\\": the component \"TRAIL.\" "
                      "ends in a dot, which Windows drops from a name"}));

TEST(PkgtoolManifest, RefusesOverlongTitleProgramFileAndTargetName) {
  std::string title(80, 't');
  std::string program(256, 'p');
  std::string target(260, 'n');
  std::string text = "[package]\nprogramFile = " + program +
                     ".EXE\ntitle = " + title + "\n[files]\n" + target +
                     " = a\n";
  Manifest manifest;
  std::vector<std::string> errors;
  EXPECT_FALSE(ParseManifest(text, "m", kNoVariables, &manifest, &errors));
  ASSERT_EQ(errors.size(), 3u);
  EXPECT_EQ(errors[0], "m:2: programFile is 260 bytes long (at most 259)");
  EXPECT_EQ(errors[1], "m:3: title is 80 bytes long (at most 79)");
  EXPECT_EQ(errors[2], "m:5: target \"" + target +
                           "\": the name is 260 bytes long (at most 259)");
}

TEST(PkgtoolManifest, AcceptsTheLongestTitleAndProgramFile) {
  std::string text = "[package]\nprogramFile = " + std::string(255, 'p') +
                     ".EXE\ntitle = " + std::string(79, 't') + "\n[files]\n" +
                     std::string(259, 'n') + " = a\n";
  Manifest manifest;
  std::vector<std::string> errors;
  EXPECT_TRUE(ParseManifest(text, "m", kNoVariables, &manifest, &errors));
}

TEST(PkgtoolManifest, RefusesAProgramFileThatLeavesNoRoomForTheVolumeName) {
  for (const std::string& program :
       {std::string(256, 'p'), std::string(256, 'p') + ".EX"}) {
    Manifest manifest;
    std::vector<std::string> errors;
    EXPECT_FALSE(ParseManifest(
        "[package]\nprogramFile = " + program + "\ntitle=A\n[files]\nA.EXE=a\n",
        "m", kNoVariables, &manifest, &errors));
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "m:2: programFile pppppppppppppppp... (" +
                             std::to_string(program.size()) +
                             " bytes) leaves no room for the data "
                             "volume's name: with \".dat\" in place of its "
                             "extension it would be longer than 259 "
                             "bytes");
  }
}

TEST(PkgtoolManifest, RefusesAProgramFileWithADirectory) {
  Manifest manifest;
  std::vector<std::string> errors;
  EXPECT_FALSE(
      ParseManifest("[package]\nprogramFile = BIN\\A.EXE\ntitle=A\n"
                    "[files]\nA.EXE=a\n",
                    "m", kNoVariables, &manifest, &errors));
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0],
            "m:2: programFile must be a plain file name, without a directory");
}

TEST(PkgtoolManifest, ReportsWhatIsMissingWithoutALine) {
  Manifest manifest;
  std::vector<std::string> errors;
  EXPECT_FALSE(ParseManifest("[package]\nkind = game\n", "m", kNoVariables,
                             &manifest, &errors));
  EXPECT_EQ(errors,
            (std::vector<std::string>{"m: [package] has no programFile",
                                      "m: [package] has no title",
                                      "m: there is no [files] section"}));
  errors.clear();
  EXPECT_FALSE(ParseManifest("[package]\nprogramFile=A\ntitle=A\n[files]\n",
                             "m", kNoVariables, &manifest, &errors));
  EXPECT_EQ(errors, (std::vector<std::string>{
                        "m: [files] names no file (a package needs at least "
                        "one)"}));
}

TEST(PkgtoolManifest, ALineBeforeAnySectionIsAnError) {
  Manifest manifest;
  std::vector<std::string> errors;
  EXPECT_FALSE(
      ParseManifest("title = A\n", "m", kNoVariables, &manifest, &errors));
  EXPECT_EQ(errors.front(), "m:1: \"title\" stands before any section");
}

struct SizeCase {
  const char* text;
  bool valid;
  uint64_t bytes;
};

class PkgtoolByteSize : public ::testing::TestWithParam<SizeCase> {};

TEST_P(PkgtoolByteSize, ParsesBytesKilobytesAndMegabytes) {
  uint64_t bytes = 0;
  EXPECT_EQ(ParseByteSize(GetParam().text, &bytes), GetParam().valid);
  if (GetParam().valid) {
    EXPECT_EQ(bytes, GetParam().bytes);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, PkgtoolByteSize,
    ::testing::Values(SizeCase{"150000", true, 150000},
                      SizeCase{"360K", true, 368640},
                      SizeCase{"360 kb", true, 368640},
                      SizeCase{"1M", true, 1048576},
                      SizeCase{"2mb", true, 2097152}, SizeCase{"12B", true, 12},
                      SizeCase{"", false, 0}, SizeCase{"K", false, 0},
                      SizeCase{"1.5M", false, 0}, SizeCase{"10G", false, 0},
                      SizeCase{"-1", false, 0}));

TEST(PkgtoolVersion, FillsMissingPartsWithZeroAndFormatsBack) {
  uint32_t ms = 0, ls = 0;
  ASSERT_TRUE(ParseVersion("3", &ms, &ls));
  EXPECT_EQ(FormatVersion(ms, ls), "3.0.0.0");
  ASSERT_TRUE(ParseVersion("65535.1.2.65535", &ms, &ls));
  EXPECT_EQ(ms, 0xFFFF0001u);
  EXPECT_EQ(ls, 0x0002FFFFu);
  EXPECT_EQ(FormatVersion(ms, ls), "65535.1.2.65535");
  EXPECT_FALSE(ParseVersion("1..2", &ms, &ls));
  EXPECT_FALSE(ParseVersion("1.2.", &ms, &ls));
  EXPECT_FALSE(ParseVersion("v1", &ms, &ls));
}

}  // namespace
}  // namespace pkgtool
